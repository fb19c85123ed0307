#include "BurnDecisions.h"
#include "BurnerBackend.h"

#include <QDir>
#include <QFile>

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace burn;

namespace {

constexpr int verifyChunkSectors = 512;

// How often the worker looks at the drive while it waits for it.
constexpr auto lookInterval = std::chrono::milliseconds(20);

// libburn's write thread says it has ended at once after a good write and about half a second
// after a failed one went idle; a write libburn refused to start says nothing.
constexpr auto writeThreadGrace = std::chrono::seconds(3);

void initializeLibburn() {
    static std::once_flag once;
    std::call_once(once, [] {
        burn_initialize();
        // Role 5 drives (stdio:/dev/fd/N) let tests exercise erasing on a plain file.
        burn_allow_drive_role_4(1);
        burn_msgs_set_severities(const_cast<char*>("DEBUG"), const_cast<char*>("NEVER"),
                                 const_cast<char*>("kestrin: "));
    });
}

// One drive session at a time in this process: libburn's drive list is global, and it refuses
// to scan while drives of an earlier scan are held.
std::mutex& driveSessionLock() {
    static std::mutex lock;
    return lock;
}

void waitForDrive() {
    std::this_thread::sleep_for(lookInterval);
}

QString driveName(const burn_drive_info& info) {
    return (QString::fromLatin1(info.vendor).trimmed() + QLatin1Char(' ') +
            QString::fromLatin1(info.product).trimmed())
        .trimmed();
}

DriveAbilities abilitiesOf(const burn_drive_info& info) {
    DriveAbilities abilities{bool(info.write_dvdr), bool(info.write_dvdram), {}};
    int count = 0;
    int profiles[64];
    char current[64];
    burn_drive_get_all_profiles(info.drive, &count, profiles, current);
    for (int i = 0; i < count; ++i)
        abilities.profiles << profiles[i];
    return abilities;
}

QStringList opticalDevices() {
    QStringList devices;
    for (const QString& name : QDir(QStringLiteral("/dev")).entryList({"sr*"}, QDir::System))
        devices << QStringLiteral("/dev/") + name;
    return devices;
}

// Why this user cannot have the device for a burn, if so: libburn opens drives exclusively.
std::optional<QString> accessProblem(const QString& device) {
    const QByteArray path = QFile::encodeName(device);
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_EXCL);
    if (fd >= 0) {
        ::close(fd);
        return std::nullopt;
    }
    const int error = errno;
    struct stat status {};
    QString groupName;
    if (::stat(path.constData(), &status) == 0) {
        const struct group* owner = ::getgrgid(status.st_gid);
        groupName = owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(status.st_gid);
    }
    return deviceProblem(device, error, groupName);
}

// libburn's messages of the step in progress.
class StepMessages {
public:
    // Drops what earlier steps left behind.
    void begin() {
        collect();
        m_messages.clear();
    }
    void collect() {
        int code = 0;
        int osErrno = 0;
        char text[BURN_MSGS_MESSAGE_LEN];
        char severity[80];
        while (burn_msgs_obtain(const_cast<char*>("ALL"), &code, text, &osErrno, severity) > 0)
            m_messages << LibburnMessage{QString::fromLatin1(severity), code,
                                         QString::fromLocal8Bit(text), osErrno};
    }
    bool contains(int code) const {
        return std::ranges::any_of(m_messages,
                                   [code](const LibburnMessage& m) { return m.code == code; });
    }
    // A German failure line followed by libburn's best reason, if it gave one.
    QString explain(const QString& failure) {
        collect();
        return (failure + QLatin1Char(' ') + failureReason(m_messages).value_or(QString()))
            .trimmed();
    }

private:
    QList<LibburnMessage> m_messages;
};

// The drive list of one scan and the drive grabbed from it. Closing releases the drive, with
// eject when wanted, and frees the list, which lets go of every drive still in it.
class DriveSession {
public:
    DriveSession() = default;
    DriveSession(const DriveSession&) = delete;
    DriveSession& operator=(const DriveSession&) = delete;
    ~DriveSession() { close(false); }

    burn_drive_info** list() { return &m_list; }
    void grabbed(burn_drive* drive) { m_grabbed = drive; }

    void close(bool eject) {
        if (m_grabbed)
            burn_drive_release(m_grabbed, eject);
        m_grabbed = nullptr;
        if (m_list)
            burn_drive_info_free(m_list);
        m_list = nullptr;
    }

private:
    burn_drive_info* m_list = nullptr;
    burn_drive* m_grabbed = nullptr;
};

class LibburnBurn : public DiscBurn {
public:
    explicit LibburnBurn(std::optional<QString> driveAddress)
        : m_driveAddress(std::move(driveAddress)) {}

    ~LibburnBurn() override {
        abort();
        if (m_worker.joinable())
            m_worker.join();
    }

    void start(const QString& imagePath, bool verify, bool eraseBeforeBurn) override {
        m_worker = std::thread([=, this] { run(imagePath, verify, eraseBeforeBurn); });
    }

    QList<BurnReport> poll() override {
        std::lock_guard lock(m_mutex);
        if (m_pending.isEmpty())
            return {m_current};
        return std::exchange(m_pending, {});
    }

    void abort() override {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        if (m_writing)
            burn_drive_cancel(m_drive);
    }

private:
    // Every new state is kept as a report of its own, so that a poll sees each one.
    void enter(BurnState state, std::optional<double> fraction) {
        std::lock_guard lock(m_mutex);
        if (fraction)
            m_current.fraction = fraction;
        if (state != m_current.state) {
            m_current.state = state;
            m_pending << BurnReport{state, m_current.fraction, {}, {}};
        } else if (!m_pending.isEmpty()) {
            m_pending.last().fraction = m_current.fraction;
        }
    }

    void say(const QString& message) {
        std::lock_guard lock(m_mutex);
        if (m_pending.isEmpty())
            m_pending << BurnReport{m_current.state, m_current.fraction, {}, {}};
        m_pending.last().messages << message;
    }

    // In a report of its own: the service ends at a setup error without reading the rest.
    void failSetup(int code) {
        std::lock_guard lock(m_mutex);
        m_pending << BurnReport{m_current.state, m_current.fraction, {}, code};
    }

    bool cancelled() {
        std::lock_guard lock(m_mutex);
        return m_cancelled;
    }

    void run(const QString& imagePath, bool verify, bool eraseBeforeBurn) {
        initializeLibburn();
        std::lock_guard session(driveSessionLock());
        DriveSession drives;
        if (!(m_driveAddress ? grabAddress(drives) : grabBurner(drives))) {
            drives.close(false);
            failSetup(-1);
            return;
        }
        QFile image(imagePath);
        if (!image.open(QIODevice::ReadOnly) || image.size() <= 0 || image.read(1).isEmpty()) {
            drives.close(false);
            failSetup(-2);
            return;
        }
        const bool done = burnImage(image, verify, eraseBeforeBurn);
        // Ejecting makes the system read the new disc afresh.
        drives.close(done);
        enter(done ? BurnState::done : BurnState::failed, done ? std::optional(1.0) : std::nullopt);
    }

    bool grabAddress(DriveSession& drives) {
        m_messages.begin();
        QByteArray address = m_driveAddress->toLocal8Bit();
        if (burn_drive_scan_and_grab(drives.list(), address.data(), 0) != 1) {
            say(m_messages.explain(
                QStringLiteral("Fehler: Das Laufwerk %1 lässt sich nicht öffnen.")
                    .arg(*m_driveAddress)));
            return false;
        }
        return use((*drives.list())[0], drives);
    }

    // Scans to the end, keeps the first DVD burner and lets go of every other drive at once.
    bool grabBurner(DriveSession& drives) {
        m_messages.begin();
        unsigned int count = 0;
        int scanned = 0;
        while ((scanned = burn_drive_scan(drives.list(), &count)) == 0)
            waitForDrive();
        if (scanned < 0) {
            say(m_messages.explain(
                QStringLiteral("Fehler: Die Laufwerkssuche ist fehlgeschlagen.")));
            sayAccessProblems(opticalDevices());
            return false;
        }
        burn_drive_info* infos = *drives.list();
        QList<DriveAbilities> abilities;
        QStringList others;
        for (unsigned int i = 0; i < count; ++i) {
            abilities << abilitiesOf(infos[i]);
            others << driveName(infos[i]);
        }
        const std::optional<qsizetype> burner = firstDvdBurner(abilities);
        for (unsigned int i = 0; i < count; ++i)
            if (qsizetype(i) != burner)
                burn_drive_info_forget(&infos[i], 0);
        if (!burner) {
            say(m_messages.explain(
                count == 0 ? QStringLiteral("Fehler: Kein Laufwerk gefunden.")
                           : QStringLiteral("Fehler: Kein DVD-Brenner gefunden (nur: %1).")
                                 .arg(others.join(QStringLiteral(", ")))));
            sayAccessProblems(opticalDevices());
            return false;
        }
        return use(infos[*burner], drives);
    }

    bool use(burn_drive_info& info, DriveSession& drives) {
        say(QStringLiteral("Brenner: ") + driveName(info));
        if (!m_driveAddress && burn_drive_grab(info.drive, 1) != 1) {
            say(m_messages.explain(QStringLiteral("Fehler: Der Brenner lässt sich nicht öffnen.")));
            char address[BURN_DRIVE_ADR_LEN];
            if (burn_drive_d_get_adr(info.drive, address) > 0)
                sayAccessProblems({QString::fromLocal8Bit(address)});
            return false;
        }
        drives.grabbed(info.drive);
        std::lock_guard lock(m_mutex);
        m_drive = info.drive;
        return true;
    }

    void sayAccessProblems(const QStringList& devices) {
        for (const QString& device : devices)
            if (device.startsWith(QStringLiteral("/dev/")))
                if (const std::optional<QString> problem = accessProblem(device))
                    say(*problem);
    }

    bool burnImage(QFile& image, bool verify, bool eraseBeforeBurn) {
        enter(BurnState::preparing, 0.0);
        return prepareDisc(image.size(), eraseBeforeBurn) && write(image.fileName()) &&
               (!verify || verifyAgainst(image));
    }

    // Only a DVD is written; one that holds data is erased first when that is wanted and
    // possible; then the image must fit.
    bool prepareDisc(qint64 imageSize, bool eraseBeforeBurn) {
        Medium medium;
        medium.status = burn_disc_get_status(m_drive);
        char profileName[80] = {};
        burn_disc_get_profile(m_drive, &medium.profile, profileName);
        medium.profileName = QString::fromLatin1(profileName);
        medium.erasable = burn_disc_erasable(m_drive);
        medium.writeOnly = burn_drive_get_drive_role(m_drive) == 5;
        const MediumVerdict verdict = judgeMedium(medium, eraseBeforeBurn);
        if (verdict.action == MediumVerdict::Action::refuse) {
            say(verdict.reason);
            return false;
        }
        if (verdict.action == MediumVerdict::Action::eraseFirst && !erase())
            return false;
        if (const auto shortfall =
                capacityShortfall(imageSize, burn_disc_available_space(m_drive, nullptr))) {
            say(*shortfall);
            return false;
        }
        return true;
    }

    bool erase() {
        m_messages.begin();
        {
            // Erasing cannot be cancelled once started, so it is not started after an abort.
            std::lock_guard lock(m_mutex);
            if (m_cancelled)
                return false;
            burn_disc_erase(m_drive, 1);
        }
        while (burn_drive_get_status(m_drive, nullptr) != BURN_DRIVE_IDLE)
            waitForDrive();
        burn_drive_re_assess(m_drive, 0);
        if (burn_disc_get_status(m_drive) != BURN_DISC_BLANK) {
            say(m_messages.explain(
                QStringLiteral("Fehler: Die DVD konnte nicht gelöscht werden.")));
            return false;
        }
        return true;
    }

    bool write(const QString& imagePath) {
        // The image is read straight from the local file: it comes far faster than any drive
        // writes, and libburn's fifo would only copy it once more.
        burn_source* file = burn_file_source_new(QFile::encodeName(imagePath).constData(), nullptr);
        if (!file) {
            say(QStringLiteral("Fehler: Das Abbild kann nicht gelesen werden."));
            return false;
        }
        burn_disc* disc = burn_disc_create();
        burn_session* session = burn_session_create();
        burn_track* track = burn_track_create();
        burn_disc_add_session(disc, session, BURN_POS_END);
        burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
        burn_track_set_source(track, file);
        burn_session_add_track(session, track, BURN_POS_END);

        burn_write_opts* options = burn_write_opts_new(m_drive);
        burn_write_opts_set_perform_opc(options, 0);
        burn_write_opts_set_multi(options, 0);
        burn_write_opts_set_underrun_proof(options, 1);
        // A file target is flushed once at the end instead of every 16 MB: the image is on disk
        // before the burn reports done, without stalling the writer all the way.
        burn_write_opts_set_stdio_fsync(options, 1);
        char reasons[BURN_REASONS_LEN];
        bool ok = burn_write_opts_auto_write_type(options, disc, reasons, 0) != BURN_WRITE_NONE;
        if (ok)
            ok = writeDisc(options, disc);
        else
            say(QStringLiteral("Fehler: Der Rohling kann so nicht beschrieben werden (%1).")
                    .arg(QString::fromLocal8Bit(reasons)));
        burn_write_opts_free(options);
        burn_source_free(file);
        burn_track_free(track);
        burn_session_free(session);
        burn_disc_free(disc);
        return ok;
    }

    bool writeDisc(burn_write_opts* options, burn_disc* disc) {
        burn_drive_set_speed(m_drive, 0, 0);
        m_messages.begin();
        {
            std::lock_guard lock(m_mutex);
            if (m_cancelled)
                return false;
            m_writing = true;
        }
        burn_disc_write(options, disc);
        WriteStates states;
        followWrite(states);
        const bool wroteWell = burn_drive_wrote_well(m_drive);
        awaitWriteThreadEnd();
        bool aborted = false;
        {
            std::lock_guard lock(m_mutex);
            m_writing = false;
            aborted = m_cancelled;
        }
        if (wroteWell && !aborted) {
            for (BurnState state : states.endedWell())
                enter(state, 1.0);
            return true;
        }
        if (!aborted)
            say(m_messages.explain(QStringLiteral("Fehler: Brennen fehlgeschlagen.")));
        return false;
    }

    // Reports the drive's states until it is idle again. At idle the sector counts are reset,
    // so the last figures seen while writing stand.
    void followWrite(WriteStates& states) {
        burn_progress progress{};
        burn_drive_status status;
        while ((status = burn_drive_get_status(m_drive, &progress)) != BURN_DRIVE_IDLE) {
            if (status != BURN_DRIVE_SPAWNING) {
                // Until its thread runs, libburn clears its cancel flag: an abort that came
                // while the write was being started is given again.
                std::lock_guard lock(m_mutex);
                if (m_cancelled)
                    burn_drive_cancel(m_drive);
            }
            const QList<BurnState> entered = states.look(status, progress.sector, progress.sectors);
            std::optional<double> fraction;
            if (states.shown() == BurnState::finishing)
                fraction = 1.0;
            else if (progress.sectors > 0)
                fraction = std::min(1.0, double(progress.sector) / progress.sectors);
            for (BurnState state : entered)
                enter(state, fraction);
            if (entered.isEmpty())
                enter(states.shown(), fraction);
            m_messages.collect();
            waitForDrive();
        }
    }

    // Releasing the drive while libburn's write thread still works on it would pull the drive
    // away under that thread; its last words also say why a write failed.
    void awaitWriteThreadEnd() {
        const auto deadline = std::chrono::steady_clock::now() + writeThreadGrace;
        m_messages.collect();
        while (!m_messages.contains(writeThreadEndedCode) &&
               std::chrono::steady_clock::now() < deadline) {
            waitForDrive();
            m_messages.collect();
        }
    }

    bool verifyAgainst(QFile& image) {
        enter(BurnState::verifying, 0.0);
        m_messages.begin();
        burn_drive_re_assess(m_drive, 0);
        const qint64 imageSize = image.size();
        image.seek(0);
        QByteArray written(verifyChunkSectors * sectorBytes, Qt::Uninitialized);
        for (qint64 at = 0; at < imageSize; at += written.size()) {
            if (cancelled())
                return false;
            const QByteArray expected =
                image.read(std::min<qint64>(written.size(), imageSize - at));
            if (expected.size() != std::min<qint64>(written.size(), imageSize - at)) {
                say(QStringLiteral("Fehler: Das Abbild kann nicht gelesen werden."));
                return false;
            }
            off_t count = 0;
            const off_t wanted = (expected.size() + sectorBytes - 1) / sectorBytes * sectorBytes;
            if (burn_read_data(m_drive, at, written.data(), wanted, &count, 0) <= 0) {
                say(m_messages.explain(
                    QStringLiteral("Fehler: Verifizierung fehlgeschlagen, Sektor %1 ist nicht "
                                   "lesbar.")
                        .arg((at + count) / sectorBytes)));
                return false;
            }
            if (const std::optional<qint64> sector = firstDifferingSector(
                    at, expected, QByteArrayView(written.constData(), qsizetype(count)))) {
                say(QStringLiteral("Fehler: Verifizierung fehlgeschlagen, Sektor %1 weicht vom "
                                   "Abbild ab.")
                        .arg(*sector));
                return false;
            }
            enter(BurnState::verifying, double(at + expected.size()) / imageSize);
        }
        return true;
    }

    std::optional<QString> m_driveAddress;
    std::thread m_worker;
    StepMessages m_messages; // worker thread only
    std::mutex m_mutex;      // guards what follows
    BurnReport m_current;
    QList<BurnReport> m_pending;
    bool m_cancelled = false;
    bool m_writing = false;
    burn_drive* m_drive = nullptr;
};

class LibburnBackend : public BurnerBackend {
public:
    explicit LibburnBackend(std::optional<QString> driveAddress)
        : m_driveAddress(std::move(driveAddress)) {}
    std::unique_ptr<DiscBurn> createBurn() override {
        return std::make_unique<LibburnBurn>(m_driveAddress);
    }

private:
    std::optional<QString> m_driveAddress;
};

} // namespace

std::unique_ptr<BurnerBackend> makeLibburnBackend(std::optional<QString> driveAddress) {
    return std::make_unique<LibburnBackend>(std::move(driveAddress));
}
