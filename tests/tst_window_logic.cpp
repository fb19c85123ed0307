// The pure parts of the main window: log filter and log order, tool check message, audio labels
// and positions, ISO names and arguments.
#include "ActivityLog.h"
#include "AudioChoice.h"
#include "IsoImage.h"
#include "ToolCheckMessage.h"

#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

class WindowLogicTest : public QObject {
    Q_OBJECT

private slots:
    void logWords_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("kept");
        QTest::newRow("progress line") << "frame=  100 fps=50 time=00:00:04.00" << false;
        QTest::newRow("error in capitals") << "[mpeg2video] ERROR while decoding" << true;
        QTest::newRow("start line") << "Kodiere Datei. Startzeit: 10:00 Uhr." << true;
        QTest::newRow("inside a word") << "unfertiges Ding" << true;
        QTest::newRow("capital umlaut") << "PRÜFE gebrannte DVD" << true;
        QTest::newRow("lösche") << "Lösche DVD" << true;
        QTest::newRow("header") << "=== ffmpeg ===" << false;
        QTest::newRow("invalid") << "Invalid data found when processing input" << true;
        QTest::newRow("nothing") << "" << false;
    }
    void logWords() {
        QFETCH(QString, line);
        QFETCH(bool, kept);
        QCOMPARE(isLogWorthy(line), kept);
    }

    void logIsNewestFirst() {
        ActivityLog log;
        QVERIFY(log.isEmpty());
        log.append("A");
        log.append("B\n");
        log.append("C1\nC2");
        QCOMPARE(log.text(), "C1\nC2\nB\nA\n");
    }

    void pulseStaysOnTopAndKeepsItsDots() {
        ActivityLog log;
        log.append("Fertig ✅ VIDEO_TS erstellt: /x");
        log.startPulse("Erstelle ISO");
        QCOMPARE(log.text(), "Erstelle ISO.\nFertig ✅ VIDEO_TS erstellt: /x\n");
        log.setPulseDots(2);
        log.append("error: one");
        log.append("error: two");
        QCOMPARE(log.text(),
                 "Erstelle ISO..\nerror: two\nerror: one\nFertig ✅ VIDEO_TS erstellt: /x\n");
        log.stopPulse();
        log.append("Fertig ✅");
        QCOMPARE(
            log.text(),
            "Fertig ✅\nErstelle ISO..\nerror: two\nerror: one\nFertig ✅ VIDEO_TS erstellt: /x\n");
        log.startPulse("Brenne auf DVD");
        log.startPulse("Prüfe gebrannte DVD");
        QVERIFY(log.text().startsWith("Prüfe gebrannte DVD.\nBrenne auf DVD.\nFertig ✅\n"));
        log.clear();
        QCOMPARE(log.text(), "");
    }

    void toolCheckMessage() {
        QTemporaryDir dir;
        const QString tool = testing::writeScript(dir, "tool", "exit 0");
        QVERIFY(missingToolEntries(tool, tool, tool).isEmpty());
        QCOMPARE(missingToolEntries(tool, "/nix/dvdauthor", tool),
                 QStringList{"dvdauthor (/nix/dvdauthor)"});
        QCOMPARE(missingToolEntries("", dir.path(), dir.filePath("none")),
                 (QStringList{"ffmpeg ()", "dvdauthor (" + dir.path() + ")",
                              "hdiutil (" + dir.filePath("none") + ")"}));
        QCOMPARE(missingToolsText({"ffmpeg (/a)", "hdiutil (/b)"}),
                 "Folgende Tools fehlen oder sind nicht ausführbar:\n\n"
                 "• ffmpeg (/a)\n• hdiutil (/b)\n\n"
                 "Installation (apt):\n"
                 "sudo apt install ffmpeg\n"
                 "sudo apt install dvdauthor genisoimage\n\n"
                 "Hinweis: hdiutil wird mit Kestrin installiert und nutzt genisoimage.\n\n"
                 "Öffne Einstellungen, um Pfade anzupassen, oder beende die App.");
    }

    void audioLabelsAndPositions() {
        QCOMPARE(displayLabel({1, "ac3", 6, "ger", "Deutsch"}), "#1 • ger • ac3 • 6ch • Deutsch");
        QCOMPARE(displayLabel({2, "aac", {}, {}, {}}), "#2 • aac");
        QCOMPARE(displayLabel({4, "dts", {}, "", "Kommentar"}), "#4 • dts • Kommentar");

        const QList<AudioStreamInfo> streams{{3, {}, {}, {}, {}}, {1, {}, {}, {}, {}}};
        QCOMPARE(audioStreamPosition(1, streams), 0);
        QCOMPARE(audioStreamPosition(3, streams), 1);
        QCOMPARE(audioStreamPosition(2, streams), std::nullopt);
        QCOMPARE(audioStreamPosition(-1, streams), std::nullopt);
        QCOMPARE(audioStreamPosition(-2, streams), std::nullopt);
        QCOMPARE(audioStreamPosition(1, {}), std::nullopt);
    }

    void isoNames() {
        QCOMPARE(isoTargetFor(std::nullopt, "/Out/Film_DVD"), "/Out/Film_DVD.iso");
        QCOMPARE(isoBasePath("/Out/Film_DVD.iso"), "/Out/Film_DVD");
        QCOMPARE(isoBasePath("/Out/x.img"), "/Out/x");
        QCOMPARE(isoBasePath("/Out.d/x"), "/Out.d/x");
        QCOMPARE(isoVolumeNameFor("", "/Out/Film_DVD"), "Film_DVD");
        QCOMPARE(isoVolumeNameFor("DVD_VIDEO", "/Out/Film_DVD"), "DVD_VIDEO");
        QCOMPARE(hdiutilArguments("DVD_VIDEO", "/Out/x", "/Out/Film_DVD"),
                 (QStringList{"makehybrid", "-udf", "-iso", "-joliet", "-default-volume-name",
                              "DVD_VIDEO", "-o", "/Out/x", "/Out/Film_DVD"}));
    }
};

QTEST_GUILESS_MAIN(WindowLogicTest)
#include "tst_window_logic.moc"
