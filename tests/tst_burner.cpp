// Burning with libburn: the burn's judgements as plain functions, and whole burns on stdio:
// pseudo-drives that a stand-in for libburn's drive scan lists the way a real scan lists
// burners and readers.
#include "DriveScanStandin.h"
#include "TestFiles.h"
#include "platform/BurnDecisions.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <functional>

using namespace burn;
using namespace testing;

namespace {

QString nameOf(BurnState state) {
    switch (state) {
    case BurnState::none:
        return "none";
    case BurnState::preparing:
        return "preparing";
    case BurnState::trackOpen:
        return "trackOpen";
    case BurnState::trackWrite:
        return "trackWrite";
    case BurnState::trackClose:
        return "trackClose";
    case BurnState::sessionClose:
        return "sessionClose";
    case BurnState::finishing:
        return "finishing";
    case BurnState::verifying:
        return "verifying";
    case BurnState::done:
        return "done";
    case BurnState::failed:
        return "failed";
    }
    return "?";
}

QStringList listOf(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items)
        list << QString::fromStdString(item);
    return list;
}

struct Outcome {
    bool ended = false;
    QStringList states; // each state entered, in order
    QStringList messages;
    std::optional<int> setupError;
    QStringList heldAtEnd; // listed drives still held when the burn reported its end
    QStringList events;    // what the burn did with the listed drives
};

// Runs one burn on the first burner the scan lists, polling it as the service does; the burn is
// aborted once, at the first report abortWhen accepts.
Outcome burnImage(const QString& image, bool verify,
                  const std::function<bool(const BurnReport&)>& abortWhen = {}) {
    const qsizetype eventsBefore = qsizetype(standin::events().size());
    Outcome outcome;
    {
        const std::unique_ptr<DiscBurn> burn = makeLibburnBackend()->createBurn();
        burn->start(image, verify, false);
        BurnState last = BurnState::none;
        bool aborted = false;
        const QDeadlineTimer deadline(120000);
        while (!outcome.ended && !deadline.hasExpired()) {
            for (const BurnReport& report : burn->poll()) {
                if (report.state != last)
                    outcome.states << nameOf(last = report.state);
                outcome.messages << report.messages;
                if (abortWhen && !aborted && abortWhen(report)) {
                    burn->abort();
                    aborted = true;
                }
                if (report.setupError || report.state == BurnState::done ||
                    report.state == BurnState::failed) {
                    outcome.setupError = report.setupError;
                    outcome.heldAtEnd = listOf(standin::heldDrives());
                    outcome.ended = true;
                    break;
                }
            }
            QThread::msleep(5);
        }
    }
    outcome.events = listOf(standin::events()).mid(eventsBefore);
    return outcome;
}

QString describe(const Outcome& outcome) {
    return outcome.states.join(' ') + " | " + outcome.messages.join(" | ") + " | " +
           outcome.events.join(", ");
}

void useDrives(const QString& drives) {
    qputenv("KESTRIN_STANDIN_DRIVES", QFile::encodeName(drives));
}

bool sameContent(const QString& a, const QString& b) {
    return runProgram("cmp", {a, b}).exitCode == 0;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class BurnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image; // a small ISO image of three verify chunks
    QString m_bigImage;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString burner() const { return "stdio:" + path("disc.img"); }
    qint64 imageSectors() const { return QFileInfo(m_image).size() / 2048; }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(path("content")));
        QFile data(path("content/film.bin"));
        QVERIFY(data.open(QIODevice::WriteOnly));
        QRandomGenerator random(13);
        QByteArray bytes(2'600'000, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        data.write(bytes);
        data.close();
        m_image = path("image.iso");
        const ProgramRun made =
            runProgram("genisoimage", {"-quiet", "-V", "KESTRIN", "-o", m_image, path("content")});
        QVERIFY2(made.exitCode == 0, qPrintable(made.errorOutput));
        QVERIFY(imageSectors() > 2 * 512);

        // Far longer to write than any abort takes; its holes cost nothing to read.
        m_bigImage = path("big.iso");
        QFile big(m_bigImage);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(2) << 30));
    }

    void cleanup() {
        for (const char* variable :
             {"KESTRIN_STANDIN_DRIVES", "KESTRIN_STANDIN_FREE_BYTES", "KESTRIN_STANDIN_PROFILE",
              "KESTRIN_STANDIN_BAD_SECTOR", "KESTRIN_STANDIN_WRITE_DELAY_MS"})
            qunsetenv(variable);
        QDir(m_dir.path()).remove("disc.img");
        QDir(m_dir.path()).remove("reader.img");
    }

    void mediumDecisions_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("profile");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("erasable");
        QTest::addColumn<bool>("writeOnly");
        QTest::addColumn<bool>("erase");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("reason");

        const int write = int(MediumVerdict::Action::write);
        const int eraseFirst = int(MediumVerdict::Action::eraseFirst);
        const int refuse = int(MediumVerdict::Action::refuse);
        const QString notBlank = "Fehler: Die DVD im Laufwerk ist nicht leer. Zum Überschreiben "
                                 "„DVD löschen“ einschalten.";
        const QString notErasable =
            "Fehler: Die DVD im Laufwerk ist nicht leer und lässt sich nicht löschen.";
        const QString cd = "Fehler: Im Laufwerk liegt eine CD (%1). Für eine Video-DVD wird ein "
                           "DVD-Rohling gebraucht.";
        const QString bd = "Fehler: Im Laufwerk liegt eine Blu-ray (%1). Für eine Video-DVD wird "
                           "ein DVD-Rohling gebraucht.";
        const QString unsuitable =
            "Fehler: Das Medium im Laufwerk (%1) lässt sich nicht als Video-DVD beschreiben.";

        QTest::newRow("no disc") << int(BURN_DISC_EMPTY) << 0 << "" << false << false << false
                                 << refuse << "Fehler: Kein Rohling im Laufwerk.";
        QTest::newRow("blank DVD-R") << int(BURN_DISC_BLANK) << 0x11 << "DVD-R sequential recording"
                                     << false << false << false << write << "";
        QTest::newRow("blank DVD+R")
            << int(BURN_DISC_BLANK) << 0x1b << "DVD+R" << false << false << true << write << "";
        QTest::newRow("blank DVD+R DL")
            << int(BURN_DISC_BLANK) << 0x2b << "DVD+R/DL" << false << false << false << write << "";
        QTest::newRow("blank DVD-R DL")
            << int(BURN_DISC_BLANK) << 0x15 << "DVD-R/DL sequential recording" << false << false
            << false << write << "";
        QTest::newRow("DVD-RAM") << int(BURN_DISC_BLANK) << 0x12 << "DVD-RAM" << false << false
                                 << false << write << "";
        QTest::newRow("DVD+RW holding data is overwritten")
            << int(BURN_DISC_BLANK) << 0x1a << "DVD+RW" << false << false << false << write << "";
        QTest::newRow("formatted DVD-RW")
            << int(BURN_DISC_BLANK) << 0x13 << "DVD-RW restricted overwrite" << false << false
            << false << write << "";
        QTest::newRow("written DVD-RW kept")
            << int(BURN_DISC_FULL) << 0x14 << "DVD-RW sequential recording" << true << false
            << false << refuse << notBlank;
        QTest::newRow("written DVD-RW erased")
            << int(BURN_DISC_FULL) << 0x14 << "DVD-RW sequential recording" << true << false << true
            << eraseFirst << "";
        QTest::newRow("appendable DVD-R cannot be erased")
            << int(BURN_DISC_APPENDABLE) << 0x11 << "DVD-R sequential recording" << false << false
            << true << refuse << notErasable;
        QTest::newRow("closed DVD+R") << int(BURN_DISC_FULL) << 0x1b << "DVD+R" << false << false
                                      << false << refuse << notBlank;
        QTest::newRow("DVD of unreadable state")
            << int(BURN_DISC_UNSUITABLE) << 0x1b << "DVD+R" << false << false << false << refuse
            << "Fehler: Der Zustand der DVD im Laufwerk (DVD+R) ist nicht lesbar.";
        QTest::newRow("blank CD-R") << int(BURN_DISC_BLANK) << 0x09 << "CD-R" << false << false
                                    << false << refuse << cd.arg("CD-R");
        QTest::newRow("written CD-RW, erase wanted")
            << int(BURN_DISC_FULL) << 0x0a << "CD-RW" << true << false << true << refuse
            << cd.arg("CD-RW");
        QTest::newRow("CD-ROM") << int(BURN_DISC_FULL) << 0x08 << "CD-ROM" << false << false
                                << false << refuse << cd.arg("CD-ROM");
        QTest::newRow("blank BD-R")
            << int(BURN_DISC_BLANK) << 0x41 << "BD-R sequential recording" << false << false
            << false << refuse << bd.arg("BD-R sequential recording");
        QTest::newRow("BD-RE") << int(BURN_DISC_BLANK) << 0x43 << "BD-RE" << false << false << true
                               << refuse << bd.arg("BD-RE");
        QTest::newRow("BD-ROM") << int(BURN_DISC_FULL) << 0x40 << "BD-ROM" << false << false
                                << false << refuse << bd.arg("BD-ROM");
        QTest::newRow("DVD-ROM") << int(BURN_DISC_FULL) << 0x10 << "DVD-ROM" << false << false
                                 << true << refuse << unsuitable.arg("DVD-ROM");
        QTest::newRow("HD DVD-R") << int(BURN_DISC_BLANK) << 0x51 << "HD DVD-R" << false << false
                                  << false << refuse << unsuitable.arg("HD DVD-R");
        QTest::newRow("unknown medium") << int(BURN_DISC_FULL) << 0 << "" << false << false << false
                                        << refuse << unsuitable.arg("unbekannt");
        QTest::newRow("stdio file") << int(BURN_DISC_BLANK) << 0xffff << "stdio file" << false
                                    << false << false << write << "";
        QTest::newRow("write-only stdio file, erase wanted")
            << int(BURN_DISC_BLANK) << 0xffff << "stdio file" << false << true << true << eraseFirst
            << "";
        QTest::newRow("read-only stdio file, erase wanted")
            << int(BURN_DISC_FULL) << 0xffff << "stdio file" << false << false << true << refuse
            << notErasable;
    }
    void mediumDecisions() {
        QFETCH(int, status);
        QFETCH(int, profile);
        QFETCH(QString, name);
        QFETCH(bool, erasable);
        QFETCH(bool, writeOnly);
        QFETCH(bool, erase);
        QFETCH(int, action);
        QFETCH(QString, reason);
        const MediumVerdict verdict =
            judgeMedium({burn_disc_status(status), profile, name, erasable, writeOnly}, erase);
        QCOMPARE(int(verdict.action), action);
        QCOMPARE(verdict.reason, reason);
    }

    // Drives as letters: r reads only, w writes DVD-R, m writes DVD-RAM, + lists the DVD+R
    // profile, c lists only CD profiles.
    void burnerChoice_data() {
        QTest::addColumn<QString>("drives");
        QTest::addColumn<int>("chosen");
        QTest::newRow("no drive") << "" << -1;
        QTest::newRow("reader before burner") << "rw" << 1;
        QTest::newRow("two burners") << "wm" << 0;
        QTest::newRow("DVD-RAM writer") << "rm" << 1;
        QTest::newRow("DVD+R writer known by its profiles") << "r+" << 1;
        QTest::newRow("CD writer and reader only") << "cr" << -1;
    }
    void burnerChoice() {
        QFETCH(QString, drives);
        QFETCH(int, chosen);
        QList<DriveAbilities> abilities;
        for (QChar letter : drives) {
            DriveAbilities drive;
            drive.writesDvdR = letter == 'w';
            drive.writesDvdRam = letter == 'm';
            if (letter == '+')
                drive.profiles = {0x10, 0x1b};
            if (letter == 'c')
                drive.profiles = {0x08, 0x09, 0x0a};
            abilities << drive;
        }
        QCOMPARE(int(firstDvdBurner(abilities).value_or(-1)), chosen);
    }

    void capacity_data() {
        QTest::addColumn<qint64>("image");
        QTest::addColumn<qint64>("free");
        QTest::addColumn<bool>("fits");
        const qint64 dvd = 2'295'104LL * 2048;
        QTest::newRow("exactly full") << dvd << dvd << true;
        QTest::newRow("one sector over") << dvd + 2048 << dvd << false;
        QTest::newRow("one byte into another sector") << dvd + 1 << dvd << false;
        QTest::newRow("free space with a partial sector") << dvd << dvd + 2047 << true;
        QTest::newRow("free space a byte short") << dvd << dvd - 1 << false;
        QTest::newRow("small image") << qint64(2048) << dvd << true;
    }
    void capacity() {
        QFETCH(qint64, image);
        QFETCH(qint64, free);
        QFETCH(bool, fits);
        QCOMPARE(!capacityShortfall(image, free).has_value(), fits);
    }

    // German numbers whatever the process locale is.
    void capacityText() {
        QLocale::setDefault(QLocale::c());
        const std::optional<QString> text = capacityShortfall(4'700'000'000, 4'699'951'000);
        QLocale::setDefault(QLocale::system());
        QCOMPARE(text.value_or(QString()),
                 "Fehler: Das Abbild (4.700,0 MB) ist größer als der freie Platz auf der DVD "
                 "(4.700,0 MB).");
    }

    void verifyComparison_data() {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<qint64>("sector");
        const QByteArray chunk = QByteArray(512 * 2048, 'a');
        const auto changed = [&](qsizetype at) {
            QByteArray copy = chunk;
            copy[at] = 'b';
            return copy;
        };
        QTest::newRow("same") << qint64(0) << chunk << chunk << qint64(-1);
        QTest::newRow("first byte") << qint64(0) << chunk << changed(0) << qint64(0);
        QTest::newRow("last byte of the chunk")
            << qint64(0) << chunk << changed(chunk.size() - 1) << qint64(511);
        QTest::newRow("second chunk")
            << qint64(512 * 2048) << chunk << changed(2048 * 3 + 7) << qint64(515);
        QTest::newRow("read back short")
            << qint64(2048) << chunk << chunk.left(2048 * 10) << qint64(11);
        QTest::newRow("padding read beyond the image")
            << qint64(0) << chunk.left(3000) << chunk.left(4096) << qint64(-1);
        QTest::newRow("image ends inside a sector")
            << qint64(0) << chunk.left(3000) << changed(2999).left(4096) << qint64(1);
    }
    void verifyComparison() {
        QFETCH(qint64, offset);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, written);
        QFETCH(qint64, sector);
        QCOMPARE(firstDifferingSector(offset, expected, written).value_or(-1), sector);
    }

    // libburn's drive states during a write as "STATUS sector sectors": S spawning, W writing,
    // I lead-in, O lead-out, T closing track, C closing session.
    void writeStates_data() {
        QTest::addColumn<QStringList>("looks");
        QTest::addColumn<QStringList>("entered");
        QTest::newRow("stdio file") << QStringList{"S 0 0", "W 0 0", "W 300 1000", "W 1000 1000"}
                                    << QStringList{"trackWrite", "finishing"};
        QTest::newRow("DVD-R: lead-out while libburn says writing")
            << QStringList{"S 0 0",       "W 0 0",       "W 0 5000",    "W 4000 5000",
                           "W 5000 5000", "C 5000 5000", "W 5000 5000", "W 0 0"}
            << QStringList{"trackWrite", "finishing"};
        QTest::newRow("DVD+R: writing again after closing")
            << QStringList{"W 10 90", "C 89 90", "W 90 90", "C 90 90", "W 0 0"}
            << QStringList{"trackWrite", "sessionClose", "finishing"};
        QTest::newRow("no sectors yet is not finished")
            << QStringList{"W 0 0", "W 0 0", "W 0 0"} << QStringList{"trackWrite"};
        QTest::newRow("lead-in first") << QStringList{"I 0 0", "W 5 10", "O 9 10", "T 9 10"}
                                       << QStringList{"trackOpen", "trackWrite", "trackClose"};
        QTest::newRow("closing seen first is preceded by writing")
            << QStringList{"S 0 0", "T 0 0"} << QStringList{"trackWrite", "trackClose"};
        QTest::newRow("all written at the first look")
            << QStringList{"W 50 50"} << QStringList{"trackWrite", "finishing"};
    }
    void writeStates() {
        QFETCH(QStringList, looks);
        QFETCH(QStringList, entered);
        const QHash<QChar, burn_drive_status> statuses{
            {'S', BURN_DRIVE_SPAWNING},       {'W', BURN_DRIVE_WRITING},
            {'I', BURN_DRIVE_WRITING_LEADIN}, {'O', BURN_DRIVE_WRITING_LEADOUT},
            {'T', BURN_DRIVE_CLOSING_TRACK},  {'C', BURN_DRIVE_CLOSING_SESSION}};
        WriteStates states;
        QStringList seen;
        for (const QString& look : looks) {
            const QStringList parts = look.split(' ');
            for (BurnState state :
                 states.look(statuses.value(parts[0][0]), parts[1].toInt(), parts[2].toInt()))
                seen << nameOf(state);
        }
        QCOMPARE(seen, entered);
        for (BurnState state : states.endedWell())
            seen << nameOf(state);
        QCOMPARE(seen, entered);
    }

    void tinyWriteEndsWell() {
        WriteStates states;
        QVERIFY(states.look(BURN_DRIVE_SPAWNING, 0, 0).isEmpty());
        QVERIFY(states.endedWell() == QList<BurnState>{BurnState::trackWrite});
        QVERIFY(states.endedWell().isEmpty());
    }

    void failureReasons_data() {
        QTest::addColumn<QStringList>("messages"); // "SEVERITY code errno text"
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing serious")
            << QStringList{"DEBUG 0x2 0 Allocating buffer", "NOTE 0x3 0 note"} << "";
        QTest::newRow("the drive's words, not the closing summary")
            << QStringList{"DEBUG 0x2 0 Allocating buffer",
                           "SORRY 0x20148 28 Cannot write desired amount of 32768 bytes.",
                           "FATAL 0x2010b 0 Burn run failed",
                           "DEBUG 0x20178 0 Write thread on drive 0 ended"}
            << "Cannot write desired amount of 32768 bytes. (" +
                   QString::fromLocal8Bit(std::strerror(ENOSPC)) + ")";
        QTest::newRow("the most severe")
            << QStringList{"SORRY 0x20102 0 A drive operation is still going on",
                           "FAILURE 0x2011d 0 SCSI error on write: Write error",
                           "FATAL 0x2010b 0 Burn run failed"}
            << "SCSI error on write: Write error";
        QTest::newRow("the earliest of equals")
            << QStringList{"SORRY 0x1 0 first cause", "SORRY 0x2 0 consequence"} << "first cause";
        QTest::newRow("the summary when nothing else was said")
            << QStringList{"WARNING 0x4 0 warning", "FATAL 0x2010b 0 Burn run failed"}
            << "Burn run failed";
    }
    void failureReasons() {
        QFETCH(QStringList, messages);
        QFETCH(QString, reason);
        QList<LibburnMessage> queue;
        for (const QString& message : messages) {
            const QStringList parts = message.split(' ');
            queue << LibburnMessage{parts[0], parts[1].toInt(nullptr, 16), parts.mid(3).join(' '),
                                    parts[2].toInt()};
        }
        QCOMPARE(failureReason(queue).value_or(QString()), reason);
    }

    void deviceProblems_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("not permitted")
            << EACCES
            << "Fehler: Keine Berechtigung für /dev/sr0 (Gruppe „cdrom“). Den Benutzer in diese "
               "Gruppe aufnehmen und neu anmelden.";
        QTest::newRow("busy") << EBUSY
                              << "Fehler: /dev/sr0 ist belegt, zum Beispiel durch eine "
                                 "eingehängte DVD. Die DVD aushängen und erneut versuchen.";
        QTest::newRow("other") << ENXIO
                               << "Fehler: /dev/sr0 lässt sich nicht öffnen (" +
                                      QString::fromLocal8Bit(std::strerror(ENXIO)) + ").";
    }
    void deviceProblems() {
        QFETCH(int, error);
        QFETCH(QString, text);
        QCOMPARE(deviceProblem("/dev/sr0", error, "cdrom"), text);
    }

    void threeBurnsInARow() {
        useDrives("burner=" + burner());
        for (int round = 1; round <= 3; ++round) {
            QFile::remove(path("disc.img"));
            const Outcome outcome = burnImage(m_image, true);
            QVERIFY2(outcome.ended && outcome.states.endsWith("done"),
                     qPrintable(describe(outcome)));
            QVERIFY(outcome.states.contains("trackWrite"));
            QVERIFY(outcome.states.contains("verifying"));
            QCOMPARE(outcome.messages, QStringList{"Brenner: STANDIN DVD-RW DW-1"});
            QVERIFY(sameContent(m_image, path("disc.img")));
            QCOMPARE(outcome.heldAtEnd, QStringList{});
            QCOMPARE(outcome.events,
                     (QStringList{"grab " + burner(), "write " + burner(),
                                  "release " + burner() + " eject", "free " + burner()}));
        }
    }

    void readerListedFirstIsReleasedAtOnce() {
        const QString reader = "stdio:" + path("reader.img");
        QFile readerDisc(path("reader.img"));
        QVERIFY(readerDisc.open(QIODevice::WriteOnly));
        readerDisc.write(QByteArray(8192, 'r'));
        readerDisc.close();
        useDrives("reader=" + reader + ";burner=" + burner());
        const Outcome outcome = burnImage(m_image, true);
        QVERIFY2(outcome.states.endsWith("done"), qPrintable(describe(outcome)));
        QVERIFY(sameContent(m_image, path("disc.img")));
        QCOMPARE(readAll(path("reader.img")), QByteArray(8192, 'r'));
        QCOMPARE(outcome.messages, QStringList{"Brenner: STANDIN DVD-RW DW-1"});
        QCOMPARE(outcome.events,
                 (QStringList{"forget " + reader, "grab " + burner(), "write " + burner(),
                              "release " + burner() + " eject", "free " + burner()}));
    }

    void scanWithoutBurnerSaysWhy_data() {
        QTest::addColumn<QString>("drives");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no drive") << ""
                                  << "Fehler: Kein Laufwerk gefunden.";
        QTest::newRow("a reader only")
            << "reader=stdio:DIR/reader.img"
            << "Fehler: Kein DVD-Brenner gefunden (nur: STANDIN DVD-ROM DR-1).";
        QTest::newRow("a burner that cannot be opened")
            << "burner=stdio:DIR/no/such/folder/disc.img"
            << "Fehler: Kein Laufwerk gefunden. Neither stdio-path nor its directory exist";
    }
    void scanWithoutBurnerSaysWhy() {
        QFETCH(QString, drives);
        QFETCH(QString, reason);
        useDrives(drives.replace("DIR", m_dir.path()));
        const Outcome outcome = burnImage(m_image, true);
        QCOMPARE(outcome.setupError.value_or(0), -1);
        QVERIFY2(outcome.messages.value(0) == reason, qPrintable(describe(outcome)));
        QCOMPARE(outcome.heldAtEnd, QStringList{});
        QVERIFY(!outcome.events.join(' ').contains("grab"));

        // Nothing is left behind that would stop the next scan.
        useDrives("burner=" + burner());
        QVERIFY(burnImage(m_image, false).states.endsWith("done"));
    }

    void scanRefusedWhileADriveIsHeldSaysWhy() {
        burn_initialize();
        burn_drive_info* held = nullptr;
        QByteArray address = ("stdio:" + path("held.img")).toLocal8Bit();
        QCOMPARE(burn_drive_scan_and_grab(&held, address.data(), 0), 1);
        useDrives("burner=" + burner());
        const Outcome refused = burnImage(m_image, true);
        burn_drive_release(held[0].drive, 0);
        burn_drive_info_free(held);
        QCOMPARE(refused.setupError.value_or(0), -1);
        QCOMPARE(refused.messages,
                 QStringList{"Fehler: Die Laufwerkssuche ist fehlgeschlagen. A drive operation "
                             "is still going on (want to scan)"});
        QVERIFY(burnImage(m_image, false).states.endsWith("done"));
    }

    void fullDiscGivesTheDrivesReason() {
        useDrives("burner=stdio:/dev/full");
        const Outcome outcome = burnImage(m_image, true);
        QVERIFY2(outcome.states.endsWith("failed") && !outcome.setupError,
                 qPrintable(describe(outcome)));
        QCOMPARE(outcome.messages.size(), 2);
        const QString reason = outcome.messages.last();
        QVERIFY2(reason.startsWith("Fehler: Brennen fehlgeschlagen. ") &&
                     reason.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(reason));
        QVERIFY(!reason.contains("Burn run failed"));
        QCOMPARE(outcome.events.last(), "free stdio:/dev/full");
        QVERIFY(outcome.events.contains("release stdio:/dev/full"));

        // libburn's write thread has ended: the next burn scans and burns.
        useDrives("burner=" + burner());
        QVERIFY(burnImage(m_image, false).states.endsWith("done"));
    }

    void refusedMediaAreNotWritten_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("CD-R") << "0x09 CD-R"
                              << "Fehler: Im Laufwerk liegt eine CD (CD-R). Für eine Video-DVD "
                                 "wird ein DVD-Rohling gebraucht.";
        QTest::newRow("BD-R") << "0x41 BD-R sequential recording"
                              << "Fehler: Im Laufwerk liegt eine Blu-ray (BD-R sequential "
                                 "recording). Für eine Video-DVD wird ein DVD-Rohling gebraucht.";
        QTest::newRow("DVD-ROM") << "0x10 DVD-ROM"
                                 << "Fehler: Das Medium im Laufwerk (DVD-ROM) lässt sich nicht "
                                    "als Video-DVD beschreiben.";
    }
    void refusedMediaAreNotWritten() {
        QFETCH(QString, profile);
        QFETCH(QString, reason);
        useDrives("burner=" + burner());
        qputenv("KESTRIN_STANDIN_PROFILE", profile.toLatin1());
        const Outcome outcome = burnImage(m_image, false);
        QVERIFY2(outcome.states.endsWith("failed"), qPrintable(describe(outcome)));
        QCOMPARE(outcome.messages, (QStringList{"Brenner: STANDIN DVD-RW DW-1", reason}));
        QCOMPARE(outcome.events,
                 (QStringList{"grab " + burner(), "release " + burner(), "free " + burner()}));
        QVERIFY(!QFileInfo::exists(path("disc.img")));
    }

    void capacityDecidesBeforeWriting_data() {
        QTest::addColumn<qint64>("spare");
        QTest::addColumn<bool>("fits");
        QTest::newRow("exactly full") << qint64(0) << true;
        QTest::newRow("one sector short") << qint64(-2048) << false;
        QTest::newRow("one byte short") << qint64(-1) << false;
    }
    void capacityDecidesBeforeWriting() {
        QFETCH(qint64, spare);
        QFETCH(bool, fits);
        useDrives("burner=" + burner());
        qputenv("KESTRIN_STANDIN_FREE_BYTES",
                QByteArray::number(QFileInfo(m_image).size() + spare));
        const Outcome outcome = burnImage(m_image, true);
        QCOMPARE(outcome.states.last(), fits ? "done" : "failed");
        QCOMPARE(QFileInfo::exists(path("disc.img")), fits);
        if (!fits)
            QVERIFY2(outcome.messages.last().startsWith("Fehler: Das Abbild (") &&
                         outcome.messages.last().contains("ist größer als der freie Platz"),
                     qPrintable(describe(outcome)));
    }

    void verifyNamesTheFirstBadSector_data() {
        QTest::addColumn<qint64>("sector");
        QTest::newRow("first") << qint64(0);
        QTest::newRow("last of the first chunk") << qint64(511);
        QTest::newRow("first of the second chunk") << qint64(512);
        QTest::newRow("last of the image") << qint64(-1);
    }
    void verifyNamesTheFirstBadSector() {
        QFETCH(qint64, sector);
        if (sector < 0)
            sector = imageSectors() - 1;
        useDrives("burner=" + burner());
        qputenv("KESTRIN_STANDIN_BAD_SECTOR", QByteArray::number(sector));
        const Outcome outcome = burnImage(m_image, true);
        QVERIFY2(outcome.states.endsWith("failed"), qPrintable(describe(outcome)));
        QCOMPARE(outcome.messages.last(),
                 QString("Fehler: Verifizierung fehlgeschlagen, Sektor %1 weicht vom Abbild ab.")
                     .arg(sector));
        QVERIFY(outcome.events.contains("release " + burner()));
    }

    void abortNeverWritesAWholeImage_data() {
        QTest::addColumn<QString>("moment");
        for (int round = 1; round <= 3; ++round) {
            QTest::addRow("first progress report, round %d", round) << "progress";
            QTest::addRow("first writing report, round %d", round) << "writing";
            QTest::addRow("while the write is being started, round %d", round) << "starting";
        }
    }
    void abortNeverWritesAWholeImage() {
        QFETCH(QString, moment);
        useDrives("burner=" + burner());
        if (moment == "starting")
            qputenv("KESTRIN_STANDIN_WRITE_DELAY_MS", "300");
        const QString startingWrite = "write " + burner();
        const qsizetype earlierEvents = qsizetype(standin::events().size());
        const Outcome outcome = burnImage(m_bigImage, true, [&](const BurnReport& report) {
            if (moment == "progress")
                return report.fraction.has_value();
            if (moment == "writing")
                return report.state == BurnState::trackWrite;
            return listOf(standin::events()).mid(earlierEvents).contains(startingWrite);
        });
        QVERIFY2(outcome.ended && outcome.states.last() == "failed" && !outcome.setupError,
                 qPrintable(describe(outcome)));
        QVERIFY(QFileInfo(path("disc.img")).size() < QFileInfo(m_bigImage).size());
        QCOMPARE(outcome.heldAtEnd, QStringList{});
        QVERIFY(!outcome.events.contains("release " + burner() + " eject"));
    }
};

QTEST_GUILESS_MAIN(BurnerTest)
#include "tst_burner.moc"
