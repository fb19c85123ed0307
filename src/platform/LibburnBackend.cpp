#include "BurnerBackend.h"

#include <QFile>
#include <QLocale>

#include <libburn/libburn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

using namespace burn;

namespace {

constexpr off_t sectorSize = 2048;
constexpr int verifyChunkSectors = 512;

void initializeLibburn() {
    static std::once_flag once;
    std::call_once(once, [] {
        burn_initialize();
        // Role 5 drives (stdio:/dev/fd/N) let tests exercise erasing on a plain file.
        burn_allow_drive_role_4(1);
        burn_msgs_set_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                 const_cast<char*>("kestrin: "));
    });
}

// libburn's own account of the last problem, for the log.
QString libburnMessage() {
    QString text;
    int code = 0;
    char message[BURN_MSGS_MESSAGE_LEN];
    int osErrno = 0;
    char severity[80];
    while (burn_msgs_obtain(const_cast<char*>("SORRY"), &code, message, &osErrno, severity) > 0)
        text = QString::fromLocal8Bit(message);
    return text;
}

QString megabytes(off_t bytes) {
    return QLocale().toString(double(bytes) / 1e6, 'f', 1) + " MB";
}

// How often the worker looks at the drive while it waits for it.
void waitForDrive() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

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
        QList<BurnReport> reports = std::exchange(m_pending, {});
        if (reports.isEmpty())
            reports << m_current;
        m_current.messages.clear();
        return reports;
    }

    void abort() override {
        m_cancelled = true;
        std::lock_guard lock(m_mutex);
        if (m_writing)
            burn_drive_cancel(m_drive);
    }

private:
    // Every new state is kept as a report of its own, so that a poll sees each one.
    void report(BurnState state, std::optional<double> fraction) {
        std::lock_guard lock(m_mutex);
        if (state != m_current.state) {
            m_current.state = state;
            m_current.messages.clear();
        }
        if (fraction)
            m_current.fraction = fraction;
        if (m_pending.isEmpty() || m_pending.last().state != state)
            m_pending << m_current;
        else
            m_pending.last().fraction = m_current.fraction;
    }

    void say(const QString& message) {
        std::lock_guard lock(m_mutex);
        m_current.messages << message;
        if (m_pending.isEmpty())
            m_pending << m_current;
        else
            m_pending.last().messages << message;
    }

    void failSetup(int code) {
        std::lock_guard lock(m_mutex);
        m_current.setupError = code;
        m_pending << m_current;
    }

    void fail(const QString& message) {
        if (!message.isEmpty())
            say(message);
        report(BurnState::failed, std::nullopt);
    }

    void run(const QString& imagePath, bool verify, bool eraseBeforeBurn) {
        initializeLibburn();
        burn_drive_info* drives = nullptr;
        if (!grabDrive(&drives)) {
            failSetup(-1);
            return;
        }
        burnGrabbed(imagePath, verify, eraseBeforeBurn);
        burn_drive_release(m_drive, 0);
        burn_drive_info_free(drives);
    }

    bool grabDrive(burn_drive_info** drives) {
        unsigned int count = 0;
        if (m_driveAddress) {
            QByteArray address = m_driveAddress->toLocal8Bit();
            if (burn_drive_scan_and_grab(drives, address.data(), 0) <= 0)
                return false;
        } else {
            if (burn_drive_scan(drives, &count) <= 0 || count == 0)
                return false;
            if (burn_drive_grab((*drives)[0].drive, 1) <= 0) {
                burn_drive_info_free(*drives);
                return false;
            }
        }
        m_drive = (*drives)[0].drive;
        return true;
    }

    void burnGrabbed(const QString& imagePath, bool verify, bool eraseBeforeBurn) {
        QFile image(imagePath);
        if (!image.open(QIODevice::ReadOnly) || image.size() <= 0 || image.read(1).isEmpty()) {
            failSetup(-2);
            return;
        }
        const off_t imageSize = image.size();
        report(BurnState::preparing, 0.0);
        if (!prepareDisc(imageSize, eraseBeforeBurn))
            return;
        if (!write(imagePath))
            return;
        if (verify && !verifyAgainst(image, imageSize))
            return;
        report(BurnState::done, 1.0);
    }

    // A disc that holds data is erased first when that is wanted and possible; then the image
    // must fit.
    bool prepareDisc(off_t imageSize, bool eraseBeforeBurn) {
        const burn_disc_status status = burn_disc_get_status(m_drive);
        if (status == BURN_DISC_EMPTY) {
            fail(QStringLiteral("Fehler: Kein Rohling im Laufwerk."));
            return false;
        }
        // A write-only target (libburn role 5) cannot be inspected and counts as blank; when
        // erasing is wanted it is erased all the same, which empties it.
        const bool writeOnlyTarget = burn_drive_get_drive_role(m_drive) == 5;
        if (status != BURN_DISC_BLANK || (eraseBeforeBurn && writeOnlyTarget)) {
            if (!eraseBeforeBurn) {
                fail(QStringLiteral("Fehler: Die DVD im Laufwerk ist nicht leer. Zum Überschreiben "
                                    "„DVD löschen“ einschalten."));
                return false;
            }
            if (!burn_disc_erasable(m_drive) && !writeOnlyTarget) {
                fail(QStringLiteral("Fehler: Die DVD im Laufwerk ist nicht leer und lässt sich "
                                    "nicht löschen."));
                return false;
            }
            // Erasing cannot be cancelled once started, so it is not started after an abort.
            if (m_cancelled) {
                fail({});
                return false;
            }
            burn_disc_erase(m_drive, 1);
            while (burn_drive_get_status(m_drive, nullptr) != BURN_DRIVE_IDLE)
                waitForDrive();
            burn_drive_re_assess(m_drive, 0);
            if (burn_disc_get_status(m_drive) != BURN_DISC_BLANK) {
                fail(QStringLiteral("Fehler: Die DVD konnte nicht gelöscht werden. ") +
                     libburnMessage());
                return false;
            }
        }
        const off_t available = burn_disc_available_space(m_drive, nullptr);
        if (available < imageSize) {
            fail(QStringLiteral("Fehler: Das Abbild (%1) ist größer als der freie Platz auf der "
                                "DVD (%2).")
                     .arg(megabytes(imageSize), megabytes(available)));
            return false;
        }
        return true;
    }

    bool write(const QString& imagePath) {
        // The image is read straight from the local file: it comes far faster than any drive
        // writes, and libburn's fifo would only copy it once more.
        burn_source* file = burn_file_source_new(QFile::encodeName(imagePath).constData(), nullptr);
        if (!file) {
            fail(QStringLiteral("Fehler: Das Abbild kann nicht gelesen werden."));
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
        if (!ok)
            fail(QStringLiteral("Fehler: Der Rohling kann so nicht beschrieben werden (%1).")
                     .arg(QString::fromLocal8Bit(reasons)));
        if (ok && !m_cancelled) {
            {
                std::lock_guard lock(m_mutex);
                m_writing = true;
            }
            burn_disc_write(options, disc);
            followWrite();
            {
                std::lock_guard lock(m_mutex);
                m_writing = false;
            }
            ok = burn_drive_wrote_well(m_drive) && !m_cancelled;
            if (!ok)
                fail(m_cancelled
                         ? QString()
                         : QStringLiteral("Fehler: Brennen fehlgeschlagen. ") + libburnMessage());
        } else if (ok) {
            fail({});
            ok = false;
        }
        burn_write_opts_free(options);
        burn_source_free(file);
        burn_track_free(track);
        burn_session_free(session);
        burn_disc_free(disc);
        return ok;
    }

    // Reports libburn's drive states until the drive is idle again. At idle the sector counts
    // are reset, so the last figures seen while writing stand. A write too short to be seen
    // between two looks is still reported as written.
    void followWrite() {
        burn_progress progress{};
        burn_drive_status status;
        bool sawWriting = false;
        while ((status = burn_drive_get_status(m_drive, &progress)) != BURN_DRIVE_IDLE) {
            std::optional<double> fraction;
            if (progress.sectors > 0)
                fraction = std::min(1.0, double(progress.sector) / progress.sectors);
            sawWriting = sawWriting || stateOf(status) == BurnState::trackWrite;
            report(stateOf(status), fraction);
            waitForDrive();
        }
        if (!sawWriting && burn_drive_wrote_well(m_drive))
            report(BurnState::trackWrite, 1.0);
    }

    static BurnState stateOf(burn_drive_status status) {
        switch (status) {
        case BURN_DRIVE_WRITING_LEADIN:
        case BURN_DRIVE_WRITING_PREGAP:
            return BurnState::trackOpen;
        case BURN_DRIVE_WRITING:
        case BURN_DRIVE_WRITING_SYNC:
            return BurnState::trackWrite;
        case BURN_DRIVE_WRITING_LEADOUT:
        case BURN_DRIVE_CLOSING_TRACK:
            return BurnState::trackClose;
        case BURN_DRIVE_CLOSING_SESSION:
            return BurnState::sessionClose;
        default:
            return BurnState::preparing;
        }
    }

    bool verifyAgainst(QFile& image, off_t imageSize) {
        report(BurnState::verifying, 0.0);
        burn_drive_re_assess(m_drive, 0);
        image.seek(0);
        QByteArray written(verifyChunkSectors * sectorSize, Qt::Uninitialized);
        for (off_t at = 0; at < imageSize; at += written.size()) {
            if (m_cancelled) {
                fail({});
                return false;
            }
            const QByteArray expected = image.read(std::min<off_t>(written.size(), imageSize - at));
            off_t count = 0;
            const off_t wanted = (expected.size() + sectorSize - 1) / sectorSize * sectorSize;
            if (burn_read_data(m_drive, at, written.data(), wanted, &count, 2) <= 0 ||
                count < expected.size()) {
                fail(QStringLiteral("Fehler: Verifizierung fehlgeschlagen, Sektor %1 ist nicht "
                                    "lesbar.")
                         .arg(at / sectorSize));
                return false;
            }
            if (std::memcmp(written.constData(), expected.constData(), expected.size()) != 0) {
                const auto differs =
                    std::mismatch(expected.cbegin(), expected.cend(), written.cbegin());
                fail(QStringLiteral("Fehler: Verifizierung fehlgeschlagen, Sektor %1 weicht "
                                    "vom Abbild ab.")
                         .arg((at + (differs.first - expected.cbegin())) / sectorSize));
                return false;
            }
            report(BurnState::verifying, double(at + expected.size()) / imageSize);
        }
        return true;
    }

    std::optional<QString> m_driveAddress;
    std::thread m_worker;
    std::mutex m_mutex;
    BurnReport m_current;
    QList<BurnReport> m_pending;
    std::atomic<bool> m_cancelled = false;
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
