// Burning with libburn: the burn's judgements as plain functions, and whole burns on stdio:
// pseudo-drives that a stand-in for libburn's drive scan lists as a real scan lists drives.
#include "DriveScanStandin.h"
#include "TestFiles.h"
#include "platform/BurnDecisions.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <functional>

using namespace burn;
using namespace testing;

namespace {

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
    QString m_bigImage = m_dir.filePath("big.iso"); // far longer to write than an abort takes

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
        for (const char* name : {"DRIVES", "BAD_SECTOR", "WRITE_DELAY_MS"})
            qunsetenv(QByteArray("KESTRIN_STANDIN_").append(name).constData());
        QFile::remove(path("disc.img"));
    }

    // The burn's judgements as plain functions: what the function said, and what it should say.
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
            "Fehler: Im Laufwerk liegt eine CD (CD-RW). Für eine Video-DVD wird ein DVD-Rohling "
            "gebraucht.");
        row("BD-RE, erase wanted", medium(true, blank, 0x43, "BD-RE"),
            "Fehler: Im Laufwerk liegt eine Blu-ray (BD-RE). Für eine Video-DVD wird ein "
            "DVD-Rohling gebraucht.");
        row("unknown medium", medium(true, full),
            "Fehler: Das Medium im Laufwerk (unbekannt) lässt sich nicht als Video-DVD "
            "beschreiben.");
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
        row("DVD-RAM writer", burner("rm"), "1");
        row("DVD+R writer known by its profiles", burner("r+"), "1");
        row("CD writer and reader only", burner("cr"), "-1");

        // Image and free bytes.
        const qint64 dvd = 2'295'104LL * 2048;
        row("exactly full", capacityShortfall(dvd, dvd + 2047).value_or(""), "");
        row("one byte into another sector", capacityShortfall(dvd + 1, dvd + 2047).value_or(""),
            "Fehler: Das Abbild (4.700,4 MB) ist größer als der freie Platz auf der DVD (4.700,4 "
            "MB).");

        // The first sector of a verify chunk at that offset that reads back otherwise, -1 for none.
        const auto differing = [](qint64 offset, const QByteArray& expected,
                                  const QByteArray& readBack) {
            return QString::number(firstDifferingSector(offset, expected, readBack).value_or(-1));
        };
        const QByteArray chunk = QByteArray(512 * 2048, 'a');
        const auto changed = [&](qsizetype at) { return QByteArray(chunk).replace(at, 1, "b"); };
        row("same", differing(0, chunk, chunk), "-1");
        row("second chunk, last byte", differing(512 * 2048, chunk, changed(chunk.size() - 1)),
            "1023");
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
    }
    void judgements() {
        QFETCH(QString, said);
        QFETCH(QString, expected);
        QCOMPARE(said, expected);
    }

    // Each ending says why and lets go of every drive (a reader at once): the next burn runs.
    void burnEndings_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("events");
        const QString reader = "reader=stdio:" + path("reader.img");
        QTest::newRow("a reader, then the burner")
            << QStringList{"DRIVES=" + reader + ";" + burner()} << "done"
            << QStringList{"Brenner: STANDIN DVD-RW DW-1"}
            << "forget reader, grab burner, write burner, release burner eject, free burner";
        QTest::newRow("no drive") << QStringList{} << "setup error -1"
                                  << QStringList{"Fehler: Kein Laufwerk gefunden."} << "";
        QTest::newRow("a reader only")
            << QStringList{"DRIVES=" + reader} << "setup error -1"
            << QStringList{"Fehler: Kein DVD-Brenner gefunden (nur: STANDIN DVD-ROM DR-1)."}
            << "forget reader";
        QTest::newRow("verify: last byte of the first chunk")
            << QStringList{"DRIVES=" + burner(), "BAD_SECTOR=511"} << "failed"
            << QStringList{"Brenner: STANDIN DVD-RW DW-1",
                           "Fehler: Verifizierung fehlgeschlagen, Sektor 511 weicht vom Abbild ab."}
            << "grab burner, write burner, release burner, free burner";
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

    // While the write is being started, which clears libburn's own cancel flag; a race: rounds.
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
