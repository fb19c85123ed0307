// Burning with libburn: the burn's judgements as plain functions, and whole burns on stdio:
// pseudo-drives that a stand-in for libburn's drive scan lists the way a real scan lists
// burners and readers.
#include "DriveScanStandin.h"
#include "TestFiles.h"
#include "platform/BurnDecisions.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <functional>

using namespace burn;
using namespace testing;

namespace {

const QString cdInDrive = "Fehler: Im Laufwerk liegt eine CD (%1). Für eine Video-DVD wird ein "
                          "DVD-Rohling gebraucht.";
const QString tooBig =
    "Fehler: Das Abbild (%1 MB) ist größer als der freie Platz auf der DVD (%2 MB).";

struct Burned {
    QString ending = "none"; // "done", "failed" or "setup error N"
    QStringList messages;
    QString events; // what the burn had done with the listed drives when it ended
};

// Runs one burn with verification on the first burner the scan lists, polling it as the service
// does; the burn is aborted once, at the first report abortWhen accepts.
Burned burnImage(const QString& image, std::function<bool(const BurnReport&)> abortWhen = {}) {
    Burned burned;
    const std::unique_ptr<DiscBurn> burn = makeLibburnBackend()->createBurn();
    burn->start(image, true, false);
    for (QDeadlineTimer deadline(120000); burned.ending == "none" && !deadline.hasExpired();
         QThread::msleep(5)) {
        for (const BurnReport& report : burn->poll()) {
            burned.messages << report.messages;
            if (abortWhen && abortWhen(report)) {
                burn->abort();
                abortWhen = {};
            }
            if (report.setupError)
                burned.ending = "setup error " + QString::number(*report.setupError);
            else if (report.state == BurnState::done || report.state == BurnState::failed)
                burned.ending = report.state == BurnState::done ? "done" : "failed";
            if (burned.ending != "none") {
                burned.events = QString::fromStdString(standin::events());
                break;
            }
        }
    }
    return burned;
}

// Sets the stand-in's variables from "NAME=value" entries, NAME without KESTRIN_STANDIN_.
void configure(const QStringList& settings) {
    for (const QString& setting : settings)
        qputenv(("KESTRIN_STANDIN_" + setting.section('=', 0, 0)).toLatin1().constData(),
                QFile::encodeName(setting.section('=', 1)));
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

    // The burn's judgements as plain functions: each row holds what the function said and what
    // it should have said.
    void judgements_data() {
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& said, const QString& expected) {
            QTest::newRow(name) << said << expected;
        };

        // Media: whether erasing is wanted; status, profile, its name, erasable, write-only.
        const auto medium = [](bool erase, burn_disc_status status, int profile = 0,
                               const char* name = "", bool erasable = false,
                               bool writeOnly = false) {
            const MediumVerdict judged =
                judgeMedium({status, profile, name, erasable, writeOnly}, erase);
            return judged.action == MediumVerdict::Action::write        ? QString("write")
                   : judged.action == MediumVerdict::Action::eraseFirst ? QString("erase first")
                                                                        : judged.reason;
        };
        const auto blank = BURN_DISC_BLANK;
        const auto full = BURN_DISC_FULL;
        const QString notErasable =
            "Fehler: Die DVD im Laufwerk ist nicht leer und lässt sich nicht löschen.";
        const QString bd = "Fehler: Im Laufwerk liegt eine Blu-ray (%1). Für eine Video-DVD wird "
                           "ein DVD-Rohling gebraucht.";
        const QString unsuitable =
            "Fehler: Das Medium im Laufwerk (%1) lässt sich nicht als Video-DVD beschreiben.";
        for (const int profile : {0x11, 0x12, 0x13, 0x14, 0x15, 0x1a, 0x1b, 0x2b, 0xffff})
            QTest::addRow("blank, profile 0x%x", profile)
                << medium(profile == 0x1b, blank, profile) << "write";
        row("no disc", medium(false, BURN_DISC_EMPTY), "Fehler: Kein Rohling im Laufwerk.");
        row("written DVD-RW kept", medium(false, full, 0x14, "", true),
            "Fehler: Die DVD im Laufwerk ist nicht leer. Zum Überschreiben „DVD löschen“ "
            "einschalten.");
        row("written DVD-RW erased", medium(true, full, 0x14, "", true), "erase first");
        row("appendable DVD-R, erase wanted", medium(true, BURN_DISC_APPENDABLE, 0x11),
            notErasable);
        row("DVD of unreadable state", medium(false, BURN_DISC_UNSUITABLE, 0x1b, "DVD+R"),
            "Fehler: Der Zustand der DVD im Laufwerk (DVD+R) ist nicht lesbar.");
        row("written CD-RW, erase wanted", medium(true, full, 0x0a, "CD-RW", true),
            cdInDrive.arg("CD-RW"));
        row("BD-ROM", medium(false, full, 0x40, "BD-ROM"), bd.arg("BD-ROM"));
        row("BD-RE, erase wanted", medium(true, blank, 0x43, "BD-RE"), bd.arg("BD-RE"));
        row("DVD-ROM", medium(true, full, 0x10, "DVD-ROM"), unsuitable.arg("DVD-ROM"));
        row("unknown medium", medium(false, full), unsuitable.arg("unbekannt"));
        row("write-only stdio file, erase wanted", medium(true, blank, 0xffff, "", false, true),
            "erase first");
        row("read-only stdio file, erase wanted", medium(true, full, 0xffff), notErasable);

        // Drives as letters: r reads only, w writes DVD-R, m writes DVD-RAM, + lists the DVD+R
        // profile, c lists only CD profiles; the burner chosen, -1 for none.
        const auto burner = [](const QString& drives) {
            QList<DriveAbilities> abilities;
            for (QChar letter : drives)
                abilities << DriveAbilities{letter == 'w', letter == 'm',
                                            letter == '+'   ? QList{0x10, 0x1b}
                                            : letter == 'c' ? QList{0x08, 0x09, 0x0a}
                                                            : QList<int>{}};
            return QString::number(firstDvdBurner(abilities).value_or(-1));
        };
        row("two burners", burner("wm"), "0");
        row("DVD-RAM writer", burner("rm"), "1");
        row("DVD+R writer known by its profiles", burner("r+"), "1");
        row("CD writer and reader only", burner("cr"), "-1");

        // Image and free bytes.
        const qint64 dvd = 2'295'104LL * 2048;
        row("exactly full", capacityShortfall(dvd, dvd).value_or(""), "");
        row("one byte into another sector", capacityShortfall(dvd + 1, dvd).value_or(""),
            tooBig.arg("4.700,4", "4.700,4"));
        row("free space with a partial sector", capacityShortfall(dvd, dvd + 2047).value_or(""),
            "");
        row("far over", capacityShortfall(4'700'000'000, 4'200'000'000).value_or(""),
            tooBig.arg("4.700,0", "4.200,0"));

        // The first sector of a verify chunk at that offset that reads back otherwise, -1 for none.
        const auto differing = [](qint64 offset, const QByteArray& expected,
                                  const QByteArray& readBack) {
            return QString::number(firstDifferingSector(offset, expected, readBack).value_or(-1));
        };
        const QByteArray chunk = QByteArray(512 * 2048, 'a');
        const auto changed = [&](qsizetype at) { return QByteArray(chunk).replace(at, 1, "b"); };
        row("same", differing(0, chunk, chunk), "-1");
        row("last byte of the chunk", differing(0, chunk, changed(chunk.size() - 1)), "511");
        row("second chunk", differing(512 * 2048, chunk, changed(2048 * 3 + 7)), "515");
        row("read back short", differing(2048, chunk, chunk.left(2048 * 10)), "11");
        row("image ends inside a sector", differing(0, chunk.left(3000), changed(2999).left(4096)),
            "1");

        // libburn's messages as "SEVERITY code text"; 0x2010b is its summary of a failed run.
        const auto reason = [](const QStringList& messages) {
            QList<LibburnMessage> queue;
            for (const QString& message : messages)
                queue << LibburnMessage{message.section(' ', 0, 0),
                                        message.section(' ', 1, 1).toInt(nullptr, 16),
                                        message.section(' ', 2)};
            return failureReason(queue).value_or("");
        };
        row("the most severe",
            reason({"SORRY 0x20102 A drive operation is still going on",
                    "FAILURE 0x2011d SCSI error on write: Write error",
                    "FATAL 0x2010b Burn run failed"}),
            "SCSI error on write: Write error");
        row("the earliest of equals", reason({"SORRY 0x1 first cause", "SORRY 0x2 consequence"}),
            "first cause");
        row("the summary when nothing else was said",
            reason({"WARNING 0x4 warning", "FATAL 0x2010b Burn run failed"}), "Burn run failed");

        row("device without permission", deviceProblem("/dev/sr0", EACCES, "cdrom"),
            "Fehler: Keine Berechtigung für /dev/sr0 (Gruppe „cdrom“). Den Benutzer in diese "
            "Gruppe aufnehmen und neu anmelden.");
        row("device in use", deviceProblem("/dev/sr0", EBUSY, "cdrom"),
            "Fehler: /dev/sr0 ist belegt, zum Beispiel durch eine eingehängte DVD. Die DVD "
            "aushängen und erneut versuchen.");
    }
    void judgements() {
        QFETCH(QString, said);
        QFETCH(QString, expected);
        QCOMPARE(said, expected);
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

    // Each ending says why and lets go of every drive: a reader listed first at once, the burner
    // after it has the image or has refused; nothing is left that stops the next burn.
    void burnEndings_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("events");
        const QString drive = "DRIVES=" + burner();
        const QString reader = "reader=stdio:" + path("reader.img");
        const QString found = "Brenner: STANDIN DVD-RW DW-1";
        const QString refused = "grab burner, release burner, free burner";
        const QString failed = "grab burner, write burner, release burner, free burner";
        QTest::newRow("a reader, then the burner")
            << QStringList{"DRIVES=" + reader + ";" + burner()} << "done" << QStringList{found}
            << "forget reader, grab burner, write burner, release burner eject, free burner";
        QTest::newRow("no drive") << QStringList{} << "setup error -1"
                                  << QStringList{"Fehler: Kein Laufwerk gefunden."} << "";
        QTest::newRow("a reader only")
            << QStringList{"DRIVES=" + reader} << "setup error -1"
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
        const Burned burned = burnImage(m_image);
        QCOMPARE(burned.messages, messages);
        QCOMPARE(burned.ending, ending);
        QCOMPARE(burned.events, events);
        if (ending == "done")
            QVERIFY(fileContents(path("disc.img")) == fileContents(m_image));
        if (!events.contains("write"))
            QVERIFY(!QFile::exists(path("disc.img")));

        cleanup();
        configure({"DRIVES=" + burner()});
        QCOMPARE(burnImage(m_image).ending, "done");
    }

    // While the write is being started, which clears libburn's own cancel flag (tst_dvd_disc
    // aborts a burn under way); a race, hence rounds.
    void abortNeverWritesAWholeImage_data() {
        QTest::addColumn<int>("round");
        for (int round = 1; round <= 4; ++round)
            QTest::addRow("round %d", round) << round;
    }
    void abortNeverWritesAWholeImage() {
        configure({"DRIVES=" + burner(), "WRITE_DELAY_MS=300"});
        const Burned burned = burnImage(m_bigImage, [&](const BurnReport& report) {
            // The scan, which clears the events, comes before preparing.
            return report.state != BurnState::none &&
                   standin::events().find("write") != std::string::npos;
        });
        QCOMPARE(burned.ending, "failed");
        QVERIFY(QFileInfo(path("disc.img")).size() < QFileInfo(m_bigImage).size());
        QVERIFY(!burned.events.contains("eject"));
    }
};

QTEST_GUILESS_MAIN(BurnerTest)
#include "tst_burner.moc"
