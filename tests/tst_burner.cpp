// Burning with libburn: the burn's judgements as plain functions, and whole burns on stdio:
// pseudo-drives that a stand-in for libburn's drive scan lists the way a real scan lists
// burners and readers.
#include "DriveScanStandin.h"
#include "platform/BurnDecisions.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <functional>

using namespace burn;

namespace {

const QString cdInDrive = "Fehler: Im Laufwerk liegt eine CD (%1). Für eine Video-DVD wird ein "
                          "DVD-Rohling gebraucht.";
const QString tooBig =
    "Fehler: Das Abbild (%1 MB) ist größer als der freie Platz auf der DVD (%2 MB).";

struct Outcome {
    QString ending = "none"; // "done", "failed" or "setup error N"
    QList<BurnState> states; // the state of each report
    QStringList messages;
    QString events; // what the burn had done with the listed drives when it ended
};

// Runs one burn on the first burner the scan lists, polling it as the service does; the burn is
// aborted once, at the first report abortWhen accepts.
Outcome burnImage(const QString& image, bool verify,
                  std::function<bool(const BurnReport&)> abortWhen = {}) {
    Outcome outcome;
    const std::unique_ptr<DiscBurn> burn = makeLibburnBackend()->createBurn();
    burn->start(image, verify, false);
    for (QDeadlineTimer deadline(120000); outcome.ending == "none" && !deadline.hasExpired();
         QThread::msleep(5)) {
        for (const BurnReport& report : burn->poll()) {
            outcome.states << report.state;
            outcome.messages << report.messages;
            if (abortWhen && abortWhen(report)) {
                burn->abort();
                abortWhen = {};
            }
            if (report.setupError)
                outcome.ending = "setup error " + QString::number(*report.setupError);
            else if (report.state == BurnState::done || report.state == BurnState::failed)
                outcome.ending = report.state == BurnState::done ? "done" : "failed";
            if (outcome.ending != "none") {
                outcome.events = QString::fromStdString(standin::events());
                break;
            }
        }
    }
    return outcome;
}

Medium medium(burn_disc_status status, int profile = 0, const char* name = "",
              bool erasable = false, bool writeOnly = false) {
    return {status, profile, name, erasable, writeOnly};
}

// Sets the stand-in's variables from "NAME=value" entries, NAME without KESTRIN_STANDIN_.
void configure(const QStringList& settings) {
    for (const QString& setting : settings)
        qputenv(("KESTRIN_STANDIN_" + setting.section('=', 0, 0)).toLatin1().constData(),
                QFile::encodeName(setting.section('=', 1)));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class BurnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image = m_dir.filePath("image.iso");
    // Far longer to write than any abort takes; its holes cost nothing to read.
    QString m_bigImage = m_dir.filePath("big.iso");

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString burner() const { return "burner=stdio:" + path("disc.img"); }

private slots:
    void initTestCase() {
        // German numbers whatever the process locale is.
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
        // 1500 sectors, 3,072,000 bytes: almost three verify chunks.
        QByteArray bytes(1500 * sectorBytes, Qt::Uninitialized);
        QRandomGenerator(13).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        QFile image(m_image);
        QVERIFY(image.open(QIODevice::WriteOnly) && image.write(bytes) == bytes.size());
        QFile big(m_bigImage);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(2) << 30));
    }

    void cleanup() {
        for (const char* name : {"DRIVES", "FREE_BYTES", "PROFILE", "BAD_SECTOR", "WRITE_DELAY_MS"})
            qunsetenv(QByteArray("KESTRIN_STANDIN_").append(name).constData());
        QFile::remove(path("disc.img"));
    }

    void mediumDecisions_data() {
        QTest::addColumn<Medium>("medium"); // status, profile, its name, erasable, write-only
        QTest::addColumn<bool>("erase");
        QTest::addColumn<QString>("verdict"); // "write", "erase first" or the refusal
        const auto blank = BURN_DISC_BLANK;
        const auto full = BURN_DISC_FULL;
        const QString notBlank = "Fehler: Die DVD im Laufwerk ist nicht leer. Zum Überschreiben "
                                 "„DVD löschen“ einschalten.";
        const QString notErasable =
            "Fehler: Die DVD im Laufwerk ist nicht leer und lässt sich nicht löschen.";
        const QString bd = "Fehler: Im Laufwerk liegt eine Blu-ray (%1). Für eine Video-DVD wird "
                           "ein DVD-Rohling gebraucht.";
        const QString unsuitable =
            "Fehler: Das Medium im Laufwerk (%1) lässt sich nicht als Video-DVD beschreiben.";
        const QList<std::pair<const char*, int>> writable{
            {"DVD-R", 0x11},   {"DVD+R", 0x1b},  {"DVD+R DL", 0x2b}, {"DVD-R DL", 0x15},
            {"DVD-RAM", 0x12}, {"DVD+RW", 0x1a}, {"DVD-RW", 0x13},   {"stdio file", 0xffff}};
        for (const auto& [name, profile] : writable)
            QTest::addRow("blank %s", name)
                << medium(blank, profile) << (profile == 0x1b) << "write";
        QTest::newRow("no disc") << medium(BURN_DISC_EMPTY) << false
                                 << "Fehler: Kein Rohling im Laufwerk.";
        QTest::newRow("written DVD-RW kept") << medium(full, 0x14, "", true) << false << notBlank;
        QTest::newRow("written DVD-RW erased")
            << medium(full, 0x14, "", true) << true << "erase first";
        QTest::newRow("appendable DVD-R, erase wanted")
            << medium(BURN_DISC_APPENDABLE, 0x11) << true << notErasable;
        QTest::newRow("DVD of unreadable state")
            << medium(BURN_DISC_UNSUITABLE, 0x1b, "DVD+R") << false
            << "Fehler: Der Zustand der DVD im Laufwerk (DVD+R) ist nicht lesbar.";
        QTest::newRow("blank CD-R")
            << medium(blank, 0x09, "CD-R") << false << cdInDrive.arg("CD-R");
        QTest::newRow("written CD-RW, erase wanted")
            << medium(full, 0x0a, "CD-RW", true) << true << cdInDrive.arg("CD-RW");
        QTest::newRow("BD-ROM") << medium(full, 0x40, "BD-ROM") << false << bd.arg("BD-ROM");
        QTest::newRow("BD-RE, erase wanted")
            << medium(blank, 0x43, "BD-RE") << true << bd.arg("BD-RE");
        QTest::newRow("DVD-ROM") << medium(full, 0x10, "DVD-ROM") << true
                                 << unsuitable.arg("DVD-ROM");
        QTest::newRow("unknown medium") << medium(full) << false << unsuitable.arg("unbekannt");
        QTest::newRow("write-only stdio file, erase wanted")
            << medium(blank, 0xffff, "", false, true) << true << "erase first";
        QTest::newRow("read-only stdio file, erase wanted")
            << medium(full, 0xffff) << true << notErasable;
    }
    void mediumDecisions() {
        QFETCH(Medium, medium);
        QFETCH(bool, erase);
        QFETCH(QString, verdict);
        const MediumVerdict judged = judgeMedium(medium, erase);
        QCOMPARE(judged.action == MediumVerdict::Action::write        ? QString("write")
                 : judged.action == MediumVerdict::Action::eraseFirst ? QString("erase first")
                                                                      : judged.reason,
                 verdict);
    }

    // Drives as letters: r reads only, w writes DVD-R, m writes DVD-RAM, + lists the DVD+R
    // profile, c lists only CD profiles.
    void burnerChoice_data() {
        QTest::addColumn<QString>("drives");
        QTest::addColumn<int>("chosen");
        QTest::newRow("two burners") << "wm" << 0;
        QTest::newRow("DVD-RAM writer") << "rm" << 1;
        QTest::newRow("DVD+R writer known by its profiles") << "r+" << 1;
        QTest::newRow("CD writer and reader only") << "cr" << -1;
    }
    void burnerChoice() {
        QFETCH(QString, drives);
        QFETCH(int, chosen);
        QList<DriveAbilities> abilities;
        for (QChar letter : drives)
            abilities << DriveAbilities{letter == 'w', letter == 'm',
                                        letter == '+'   ? QList{0x10, 0x1b}
                                        : letter == 'c' ? QList{0x08, 0x09, 0x0a}
                                                        : QList<int>{}};
        QCOMPARE(int(firstDvdBurner(abilities).value_or(-1)), chosen);
    }

    void capacity_data() {
        QTest::addColumn<qint64>("image");
        QTest::addColumn<qint64>("free");
        QTest::addColumn<QString>("shortfall");
        const qint64 dvd = 2'295'104LL * 2048;
        const QString over = tooBig.arg("4.700,4", "4.700,4");
        QTest::newRow("exactly full") << dvd << dvd << "";
        QTest::newRow("one sector over") << dvd + 2048 << dvd << over;
        QTest::newRow("one byte into another sector") << dvd + 1 << dvd << over;
        QTest::newRow("free space with a partial sector") << dvd << dvd + 2047 << "";
        QTest::newRow("far over") << qint64(4'700'000'000) << qint64(4'200'000'000)
                                  << tooBig.arg("4.700,0", "4.200,0");
    }
    void capacity() {
        QFETCH(qint64, image);
        QFETCH(qint64, free);
        QFETCH(QString, shortfall);
        QCOMPARE(capacityShortfall(image, free).value_or(QString()), shortfall);
    }

    void verifyComparison_data() {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<qint64>("sector");
        const QByteArray chunk = QByteArray(512 * 2048, 'a');
        const auto changed = [&](qsizetype at) { return QByteArray(chunk).replace(at, 1, "b"); };
        QTest::newRow("same") << qint64(0) << chunk << chunk << qint64(-1);
        QTest::newRow("last byte of the chunk")
            << qint64(0) << chunk << changed(chunk.size() - 1) << qint64(511);
        QTest::newRow("second chunk")
            << qint64(512 * 2048) << chunk << changed(2048 * 3 + 7) << qint64(515);
        QTest::newRow("read back short")
            << qint64(2048) << chunk << chunk.left(2048 * 10) << qint64(11);
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
    // I lead-in, O lead-out, T closing track, C closing session; then the write ends well.
    void writeStates_data() {
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QList<BurnState>>("entered");
        using enum BurnState;
        QTest::newRow("stdio file")
            << "S 0 0, W 0 0, W 300 1000, W 1000 1000" << QList{trackWrite, finishing};
        QTest::newRow("DVD-R: lead-out while libburn says writing")
            << "S 0 0, W 0 0, W 0 5000, W 4000 5000, W 5000 5000, C 5000 5000, W 5000 5000, W 0 0"
            << QList{trackWrite, finishing};
        QTest::newRow("DVD+R: writing again after closing")
            << "W 10 90, C 89 90, W 90 90, C 90 90, W 0 0"
            << QList{trackWrite, sessionClose, finishing};
        QTest::newRow("no sectors yet is not finished") << "W 0 0, W 0 0" << QList{trackWrite};
        QTest::newRow("lead-in first")
            << "I 0 0, W 5 10, O 9 10, T 9 10" << QList{trackOpen, trackWrite, trackClose};
        QTest::newRow("never seen writing") << "S 0 0" << QList{trackWrite};
    }
    void writeStates() {
        QFETCH(QString, looks);
        QFETCH(QList<BurnState>, entered);
        const QHash<QChar, burn_drive_status> statuses{
            {'S', BURN_DRIVE_SPAWNING},       {'W', BURN_DRIVE_WRITING},
            {'I', BURN_DRIVE_WRITING_LEADIN}, {'O', BURN_DRIVE_WRITING_LEADOUT},
            {'T', BURN_DRIVE_CLOSING_TRACK},  {'C', BURN_DRIVE_CLOSING_SESSION}};
        WriteStates states;
        QList<BurnState> seen;
        for (const QString& look : looks.split(", ")) {
            const QStringList parts = look.split(' ');
            seen << states.look(statuses.value(parts[0][0]), parts[1].toInt(), parts[2].toInt());
        }
        QCOMPARE(seen << states.endedWell(), entered);
    }

    // libburn's messages as "SEVERITY code text"; 0x2010b is its summary of a failed run.
    void failureReasons_data() {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the most severe")
            << QStringList{"SORRY 0x20102 A drive operation is still going on",
                           "FAILURE 0x2011d SCSI error on write: Write error",
                           "FATAL 0x2010b Burn run failed"}
            << "SCSI error on write: Write error";
        QTest::newRow("the earliest of equals")
            << QStringList{"SORRY 0x1 first cause", "SORRY 0x2 consequence"} << "first cause";
        QTest::newRow("the summary when nothing else was said")
            << QStringList{"WARNING 0x4 warning", "FATAL 0x2010b Burn run failed"}
            << "Burn run failed";
    }
    void failureReasons() {
        QFETCH(QStringList, messages);
        QFETCH(QString, reason);
        QList<LibburnMessage> queue;
        for (const QString& message : messages)
            queue << LibburnMessage{message.section(' ', 0, 0),
                                    message.section(' ', 1, 1).toInt(nullptr, 16),
                                    message.section(' ', 2)};
        QCOMPARE(failureReason(queue).value_or(QString()), reason);
    }

    void deviceProblems() {
        QCOMPARE(deviceProblem("/dev/sr0", EACCES, "cdrom"),
                 "Fehler: Keine Berechtigung für /dev/sr0 (Gruppe „cdrom“). Den Benutzer in diese "
                 "Gruppe aufnehmen und neu anmelden.");
        QCOMPARE(deviceProblem("/dev/sr0", EBUSY, "cdrom"),
                 "Fehler: /dev/sr0 ist belegt, zum Beispiel durch eine eingehängte DVD. Die DVD "
                 "aushängen und erneut versuchen.");
    }

    // The reader listed first is let go at once; the burner gets the image, every time.
    void threeBurnsInARow() {
        QFile reader(path("reader.img"));
        QVERIFY(reader.open(QIODevice::WriteOnly) && reader.write(QByteArray(8192, 'r')) == 8192);
        reader.close();
        configure({"DRIVES=reader=stdio:" + reader.fileName() + ";" + burner()});
        for (int round = 1; round <= 3; ++round) {
            QFile::remove(path("disc.img"));
            const Outcome outcome = burnImage(m_image, true);
            QCOMPARE(outcome.messages, QStringList{"Brenner: STANDIN DVD-RW DW-1"});
            QCOMPARE(outcome.ending, "done");
            QVERIFY(outcome.states.contains(BurnState::verifying));
            QCOMPARE(outcome.events, "forget reader, grab burner, write burner, "
                                     "release burner eject, free burner");
            QVERIFY(readAll(path("disc.img")) == readAll(m_image));
            QCOMPARE(readAll(reader.fileName()), QByteArray(8192, 'r'));
        }
    }

    // Each ending says why, lets go of every drive, and leaves nothing that stops the next burn.
    void burnEndings_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("events");
        const QString drive = "DRIVES=" + burner();
        const QString found = "Brenner: STANDIN DVD-RW DW-1";
        const QString refused = "grab burner, release burner, free burner";
        const QString failed = "grab burner, write burner, release burner, free burner";
        QTest::newRow("no drive") << QStringList{} << "setup error -1"
                                  << QStringList{"Fehler: Kein Laufwerk gefunden."} << "";
        QTest::newRow("a reader only")
            << QStringList{"DRIVES=reader=stdio:" + path("reader.img")} << "setup error -1"
            << QStringList{"Fehler: Kein DVD-Brenner gefunden (nur: STANDIN DVD-ROM DR-1)."}
            << "forget reader";
        QTest::newRow("a burner that cannot be opened")
            << QStringList{"DRIVES=burner=stdio:" + path("no/such/folder/disc.img")}
            << "setup error -1"
            << QStringList{"Fehler: Kein Laufwerk gefunden. Neither stdio-path nor its directory "
                           "exist"}
            << "";
        QTest::newRow("a CD") << QStringList{drive, "PROFILE=0x09 CD-R"} << "failed"
                              << QStringList{found, cdInDrive.arg("CD-R")} << refused;
        QTest::newRow("one sector short")
            << QStringList{drive, "FREE_BYTES=3069952"} << "failed"
            << QStringList{found, tooBig.arg("3,1", "3,1")} << refused;
        QTest::newRow("verify: last byte of the first chunk")
            << QStringList{drive, "BAD_SECTOR=511"} << "failed"
            << QStringList{found, "Fehler: Verifizierung fehlgeschlagen, Sektor 511 weicht vom "
                                  "Abbild ab."}
            << failed;
        QTest::newRow("a full disc")
            << QStringList{"DRIVES=burner=stdio:/dev/full"} << "failed"
            << QStringList{found, "Fehler: Brennen fehlgeschlagen. Cannot write desired amount "
                                  "of 32768 bytes. write(2) returned -1. (" +
                                      QString::fromLocal8Bit(std::strerror(ENOSPC)) + ")"}
            << failed;
    }
    void burnEndings() {
        QFETCH(QStringList, settings);
        QFETCH(QString, ending);
        QFETCH(QStringList, messages);
        QFETCH(QString, events);
        configure(settings);
        const Outcome outcome = burnImage(m_image, true);
        QCOMPARE(outcome.messages, messages);
        QCOMPARE(outcome.ending, ending);
        QCOMPARE(outcome.events, events);
        if (ending == "done")
            QVERIFY(readAll(path("disc.img")) == readAll(m_image));
        if (!events.contains("write"))
            QVERIFY(!QFile::exists(path("disc.img")));

        cleanup();
        configure({"DRIVES=" + burner()});
        QCOMPARE(burnImage(m_image, false).ending, "done");
    }

    // At the first progress report, and while the write is being started, which clears
    // libburn's own cancel flag.
    void abortNeverWritesAWholeImage_data() {
        QTest::addColumn<bool>("whileStarting");
        for (int round = 1; round <= 3; ++round) {
            QTest::addRow("first progress report, round %d", round) << false;
            QTest::addRow("while the write is being started, round %d", round) << true;
        }
    }
    void abortNeverWritesAWholeImage() {
        QFETCH(bool, whileStarting);
        configure({"DRIVES=" + burner(), whileStarting ? "WRITE_DELAY_MS=300" : "WRITE_DELAY_MS="});
        const Outcome outcome = burnImage(m_bigImage, true, [&](const BurnReport& report) {
            // The scan, which clears the events, comes before preparing.
            return whileStarting ? report.state != BurnState::none &&
                                       standin::events().find("write") != std::string::npos
                                 : report.fraction.has_value();
        });
        QCOMPARE(outcome.ending, "failed");
        QVERIFY(QFileInfo(path("disc.img")).size() < QFileInfo(m_bigImage).size());
        QVERIFY(!outcome.events.contains("eject"));
    }
};

QTEST_GUILESS_MAIN(BurnerTest)
#include "tst_burner.moc"
