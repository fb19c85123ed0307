// The pure parts of the main window, stated as tables: the log filter and order, what each run
// shows at each step and how it ends, the expected end time, the volume name, the tool check
// message, audio labels and positions, ISO names, the stored keys, German numbers, the disc
// choice, what each run writes where, and the checks of room and disc before a run.
#include "FileNames.h"
#include "IsoImage.h"
#include "TestFiles.h"
#include "inputs/AudioChoice.h"
#include "inputs/ControlStates.h"
#include "inputs/DiscChoice.h"
#include "inputs/ToolCheckMessage.h"
#include "inputs/VolumeName.h"
#include "log/ActivityLog.h"
#include "platform/GermanFormat.h"
#include "platform/StoredSettings.h"
#include "run/EndTime.h"
#include "run/RunChecks.h"
#include "run/RunPlan.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using OptionalStage = std::optional<Stage>;
Q_DECLARE_METATYPE(OptionalStage)
using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace {

OptionalText text(const char* value) {
    return value ? OptionalText(QString::fromUtf8(value)) : std::nullopt;
}

} // namespace

class WindowLogicTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8()); }

    void logWords_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("kept");
        // Every log word, in any mix of capitals, also inside a longer word.
        for (const char* word : {"FEHLER", "Error", "failed", "INVALID", "unfertig", "Abgebrochen",
                                 "erfolgreich", "Kodiere", "Startzeit", "Voraussichtliches Ende",
                                 "Erstelle", "Brenne", "PRÜFE", "Lösche"})
            QTest::newRow(word) << QStringLiteral("x %1 y").arg(QString::fromUtf8(word)) << true;
        QTest::newRow("progress line") << "frame=  100 fps=50 time=00:00:04.00" << false;
        QTest::newRow("header") << "=== ffmpeg ===" << false;
        QTest::newRow("umlaut spelled out") << "Pruefe die DVD" << false;
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
        log.clear();
        QCOMPARE(log.text(), "");
    }

    void stagesOfEachRun_data() {
        QTest::addColumn<RunKind>("kind");
        QTest::addColumn<Stage>("done");
        QTest::addColumn<int>("toggles"); // bits: VIDEO_TS, ISO, burn
        QTest::addColumn<OptionalStage>("next");
        QTest::newRow("encode, chained")
            << RunKind::chained << Stage::encode << 0b111 << OptionalStage(Stage::authoring);
        QTest::newRow("encode only")
            << RunKind::chained << Stage::encode << 0b011 << OptionalStage();
        QTest::newRow("authoring, image on")
            << RunKind::chained << Stage::authoring << 0b011 << OptionalStage(Stage::image);
        QTest::newRow("authoring, image off")
            << RunKind::videoTS << Stage::authoring << 0b101 << OptionalStage();
        QTest::newRow("image, burn on")
            << RunKind::videoTS << Stage::image << 0b111 << OptionalStage(Stage::burn);
        QTest::newRow("image, burn off")
            << RunKind::chained << Stage::image << 0b110 << OptionalStage();
        QTest::newRow("ISO run never burns")
            << RunKind::iso << Stage::image << 0b111 << OptionalStage();
        QTest::newRow("burn run") << RunKind::burn << Stage::burn << 0b111 << OptionalStage();
    }
    void stagesOfEachRun() {
        QFETCH(RunKind, kind);
        QFETCH(Stage, done);
        QFETCH(int, toggles);
        QFETCH(OptionalStage, next);
        QCOMPARE(nextStage(kind, done, {bool(toggles & 4), bool(toggles & 2), bool(toggles & 1)}),
                 next);
    }

    void whatEachStageShows_data() {
        QTest::addColumn<RunKind>("kind");
        QTest::addColumn<Stage>("stage");
        QTest::addColumn<bool>("erasing");
        QTest::addColumn<OptionalText>("status");
        QTest::addColumn<OptionalText>("phase");
        QTest::addColumn<OptionalText>("pulse");
        const auto row = [](const char* name, RunKind kind, Stage stage, bool erasing,
                            const char* status, const char* phase, const char* pulse) {
            QTest::newRow(name) << kind << stage << erasing << text(status) << text(phase)
                                << text(pulse);
        };
        row("encode", RunKind::chained, Stage::encode, false, nullptr, nullptr, nullptr);
        row("authoring, chained", RunKind::chained, Stage::authoring, false, "Erzeuge VIDEO_TS…",
            "Erstellen", "Erstelle VIDEO_TS Ordner");
        row("authoring, button", RunKind::videoTS, Stage::authoring, false, nullptr, nullptr,
            "Erstelle VIDEO_TS Ordner");
        row("image, chained", RunKind::chained, Stage::image, false, "Erzeuge ISO…",
            "ISO erstellen", "Erstelle ISO");
        row("image after VIDEO_TS button", RunKind::videoTS, Stage::image, false, "Erzeuge ISO…",
            nullptr, "Erstelle ISO");
        row("image, button", RunKind::iso, Stage::image, false, nullptr, nullptr, "Erstelle ISO");
        row("burn, chained", RunKind::chained, Stage::burn, false, "Brenne DVD…", nullptr, nullptr);
        row("burn, button", RunKind::burn, Stage::burn, false, nullptr, nullptr, nullptr);
        row("burn, erasing", RunKind::videoTS, Stage::burn, true, "Löschen…", "Löschen",
            "DVD löschen");
        row("burn button, erasing", RunKind::burn, Stage::burn, true, "Löschen…", "Löschen",
            "DVD löschen");
    }
    void whatEachStageShows() {
        QFETCH(RunKind, kind);
        QFETCH(Stage, stage);
        QFETCH(bool, erasing);
        QFETCH(OptionalText, status);
        QFETCH(OptionalText, phase);
        QFETCH(OptionalText, pulse);
        const Shown shown = stageOpening(kind, stage, erasing);
        QCOMPARE(shown.status, status);
        QCOMPARE(shown.phase, phase);
        QCOMPARE(shown.pulse, pulse);
    }

    void completionTexts() {
        QCOMPARE(stageCompletion(RunKind::videoTS, Stage::authoring, "/o/F_DVD"),
                 text("Fertig ✅ VIDEO_TS erstellt: /o/F_DVD"));
        QCOMPARE(stageCompletion(RunKind::chained, Stage::authoring, "/o/F_DVD"), OptionalText());
        QCOMPARE(stageCompletion(RunKind::iso, Stage::image, "/o/F.iso"),
                 text("Fertig ✅ ISO erstellt: /o/F.iso"));
        QCOMPARE(stageCompletion(RunKind::videoTS, Stage::image, "/o/F.iso"),
                 text("Fertig ✅ ISO erstellt: /o/F.iso"));
        QCOMPARE(stageCompletion(RunKind::chained, Stage::image, "/o/F.iso"), OptionalText());
        QCOMPARE(runOpening(RunKind::chained).status, text("Kodieren…"));
        QCOMPARE(runOpening(RunKind::videoTS).phase, text("Erstellen"));
        QCOMPARE(runOpening(RunKind::iso).status, text("ISO erstellen…"));
        QCOMPARE(runOpening(RunKind::burn).phase, text("Brennen"));
    }

    void runEndings_data() {
        QTest::addColumn<RunKind>("kind");
        QTest::addColumn<Stage>("last");
        QTest::addColumn<int>("failure"); // 0 none, 1 a tool failed, 2 cancelled
        QTest::addColumn<OptionalText>("status");
        QTest::addColumn<OptionalText>("phase");
        QTest::addColumn<double>("progress"); // -1: kept
        QTest::addColumn<OptionalText>("logged");
        QTest::addColumn<bool>("endsEncoding");
        const char* failed = "Fehler ❌ Vorgang fehlgeschlagen (Exit Code 2).";
        const char* done = "Fertig ✅";
        QTest::newRow("chained") << RunKind::chained << Stage::image << 0 << text(done)
                                 << text("Start") << 1.0 << text(done) << true;
        QTest::newRow("chained fails") << RunKind::chained << Stage::authoring << 1 << text(failed)
                                       << OptionalText() << -1.0 << text(failed) << true;
        QTest::newRow("chained aborted")
            << RunKind::chained << Stage::encode << 2 << text("Abgebrochen.") << OptionalText()
            << -1.0 << text("Abgebrochen.") << true;
        QTest::newRow("VIDEO_TS run") << RunKind::videoTS << Stage::image << 0 << OptionalText()
                                      << OptionalText() << -1.0 << OptionalText() << false;
        QTest::newRow("VIDEO_TS run burnt")
            << RunKind::videoTS << Stage::burn << 0
            << text("Fertig ✅ Brennvorgang abgeschlossen (mit Verify).") << text("Start") << 1.0
            << text("Fertig ✅ Brennvorgang abgeschlossen (mit Verify).") << false;
        QTest::newRow("VIDEO_TS run fails") << RunKind::videoTS << Stage::image << 1 << text(failed)
                                            << text("Start") << -1.0 << text(failed) << false;
        QTest::newRow("ISO run") << RunKind::iso << Stage::image << 0 << OptionalText()
                                 << OptionalText() << -1.0 << OptionalText() << false;
        QTest::newRow("ISO run fails") << RunKind::iso << Stage::image << 1 << text(failed)
                                       << OptionalText() << -1.0 << text(failed) << false;
        QTest::newRow("burn run aborted")
            << RunKind::burn << Stage::burn << 2 << text("Abgebrochen.") << text("Start") << -1.0
            << text("Abgebrochen.") << false;
    }
    void runEndings() {
        QFETCH(RunKind, kind);
        QFETCH(Stage, last);
        QFETCH(int, failure);
        QFETCH(OptionalText, status);
        QFETCH(OptionalText, phase);
        QFETCH(double, progress);
        QFETCH(OptionalText, logged);
        QFETCH(bool, endsEncoding);
        const std::optional<FFmpegError> error =
            failure == 0   ? std::nullopt
            : failure == 1 ? std::optional(FFmpegError::conversionFailed(2))
                           : std::optional(FFmpegError::cancelled());
        const RunEnding ending = runEnding(kind, last, error, true);
        QCOMPARE(ending.status, status);
        QCOMPARE(ending.phase, phase);
        QCOMPARE(ending.progress, progress < 0 ? std::nullopt : std::optional(progress));
        QCOMPARE(ending.logLine, logged);
        QCOMPARE(ending.endsEncoding, endsEncoding);
        QCOMPARE(runEnding(RunKind::burn, Stage::burn, std::nullopt, false).status,
                 text("Fertig ✅ Brennvorgang gestartet/abgeschlossen."));
    }

    // An unreadable source: the status line gets one line, the log all of ffprobe's report.
    void probeFailureOnOneLine() {
        const FFmpegError error = FFmpegError::ffprobeFailed(
            "Truncating packet of size 1\n[matroska,webm @ 0x1] EBML header parsing failed\n"
            "/x/liste.mkv: Invalid data found when processing input\n");
        const RunEnding ending = runEnding(RunKind::chained, Stage::encode, error, false);
        QCOMPARE(ending.status, text("Fehler ❌ ffprobe Analyse fehlgeschlagen: /x/liste.mkv: "
                                     "Invalid data found when processing input"));
        QCOMPARE(ending.logLine, "Fehler ❌ " + error.description());
        QVERIFY(ending.logLine->contains("EBML header parsing failed"));
    }

    void expectedEndTime() {
        const QDateTime start(QDate(2026, 12, 6), QTime(10, 0, 0));
        const QDateTime now = start.addSecs(60);
        QCOMPARE(expectedEnd(start, now, 0.1), start.addSecs(600));
        QCOMPARE(expectedEnd(start, now, 0.5), start.addSecs(120));
        QCOMPARE(expectedEnd(start, now, 1.0), now);
        QVERIFY(!showsExpectedEnd(0.0999));
        QVERIFY(showsExpectedEnd(0.1));
        QVERIFY(!showsExpectedEnd(std::nan("")));
    }

    void volumeNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "Mein Film"
                               << "MEIN FILM";
        QTest::newRow("colon") << "film: teil 2"
                               << "FILM_ TEIL 2";
        QTest::newRow("sharp s") << "Straße"
                                 << "STRASSE";
        QTest::newRow("umlaut") << "Ärger"
                                << "_RGER";
        QTest::newRow("blanks") << "  abc  "
                                << "ABC";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("long") << QString(40, 'x') << QString(32, 'X');
        QTest::newRow("blank at 32") << "A" + QString(31, ' ') + "B"
                                     << "A";
        QTest::newRow("tab and newline") << "a\tb\nc"
                                         << "A_B_C";
        QTest::newRow("combining mark") << QStringLiteral("e\u0301") << "E_";
    }
    void volumeNames() {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QCOMPARE(sanitizeVolumeName(typed), name);
    }

    // The cursor stays after what was typed, also where upper case made the text longer.
    void volumeNameEditing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("shownCursor");
        QTest::newRow("sharp s at the end") << "STRAß" << 5 << "STRASS" << 6;
        QTest::newRow("sharp s in the middle") << "STRAßE" << 5 << "STRASSE" << 6;
        QTest::newRow("ligature") << QStringLiteral("\uFB01X") << 1 << "FIX" << 2;
        QTest::newRow("blank while typing") << "URLAUB " << 7 << "URLAUB " << 7;
        QTest::newRow("leading blank") << " a" << 2 << "A" << 1;
        QTest::newRow("emoji") << QStringLiteral("A\U0001F600B") << 3 << "A_B" << 2;
    }
    void volumeNameEditing() {
        QFETCH(QString, typed);
        QFETCH(int, cursor);
        QFETCH(QString, shown);
        QFETCH(int, shownCursor);
        const VolumeNameEdit edit = editVolumeName(typed, cursor);
        QCOMPARE(edit.shown, shown);
        QCOMPARE(edit.cursor, shownCursor);
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
        QCOMPARE(audioStreamPosition(1, {}), std::nullopt);
    }

    void isoNames_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("volume");
        QTest::newRow("field") << "DVD_VIDEO"
                               << "/Out/Film_DVD"
                               << "DVD_VIDEO";
        QTest::newRow("folder") << ""
                                << "/Out/Film_DVD"
                                << "Film_DVD";
        QTest::newRow("long folder")
            << ""
            << "/Out/" + QString(24, 'a') + "_PAL_DVD_DVD" << QString(24, 'a') + "_PAL_DVD";
        // Sixteen two-byte letters fill the 32 bytes; none is cut in half.
        QTest::newRow("umlauts") << ""
                                 << "/Out/" + QString(20, QChar(0xe4)) << QString(16, QChar(0xe4));
        QTest::newRow("decomposed") << "" << QStringLiteral("/Out/A\u0308rger") << "Ärger";
    }
    void isoNames() {
        QFETCH(QString, field);
        QFETCH(QString, folder);
        QFETCH(QString, volume);
        QCOMPARE(isoVolumeNameFor(field, folder), volume);
        QVERIFY(isoVolumeNameFor(field, folder).toUtf8().size() <= 32);
        QCOMPARE(isoTargetFor(std::nullopt, "/Out/Film_DVD"), "/Out/Film_DVD.iso");
        QCOMPARE(isoBasePath("/Out/Film_DVD.iso"), "/Out/Film_DVD");
        QCOMPARE(isoBasePath("/Out/x.img"), "/Out/x");
        QCOMPARE(isoBasePath("/Out.d/x"), "/Out.d/x");
        QCOMPARE(destinationFor("/Videos/Film.final.mkv"), "/Videos/Film.final_PAL_DVD.mpg");
        QCOMPARE(hdiutilArguments("DVD_VIDEO", "/Out/x", "/Out/Film_DVD"),
                 (QStringList{"makehybrid", "-udf", "-iso", "-joliet", "-default-volume-name",
                              "DVD_VIDEO", "-o", "/Out/x", "/Out/Film_DVD"}));
    }

    // Each key as other versions of Kestrin read it, with its default when nothing is stored.
    void storedKeys_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("fallback");
        QTest::addColumn<QVariant>("written");
        QTest::newRow("ffmpeg") << "tool.ffmpegPath" << QVariant("/usr/bin/ffmpeg")
                                << QVariant("/opt/ffmpeg");
        QTest::newRow("dvdauthor")
            << "tool.dvdauthorPath" << QVariant("/usr/bin/dvdauthor") << QVariant("/opt/dvdauthor");
        QTest::newRow("hdiutil") << "tool.hdiutilPath"
                                 << QVariant(QCoreApplication::applicationDirPath() + "/hdiutil")
                                 << QVariant("/opt/hdiutil");
        QTest::newRow("iso section")
            << "ui.isoSectionExpanded" << QVariant(false) << QVariant(true);
        QTest::newRow("aspect") << "opt.aspectMode" << QVariant(0) << QVariant(2);
        QTest::newRow("audio") << "opt.audioStreamIndex" << QVariant(-1) << QVariant(3);
        QTest::newRow("quality") << "opt.qualityPreset" << QVariant(0) << QVariant(3);
        QTest::newRow("disc") << "opt.discSize" << QVariant(0) << QVariant(1);
        QTest::newRow("verify") << "opt.verifyAfterBurn" << QVariant(false) << QVariant(true);
        QTest::newRow("erase") << "opt.eraseBeforeBurn" << QVariant(false) << QVariant(true);
    }
    void storedKeys() {
        QFETCH(QString, key);
        QFETCH(QVariant, fallback);
        QFETCH(QVariant, written);
        QSettings raw("Kestrin", "Kestrin");
        raw.clear();
        StoredSettings settings;
        const auto check = [&](const auto& setting) {
            using T = typename std::decay_t<decltype(setting)>::Type;
            if (setting.name != key)
                return;
            QCOMPARE(QVariant::fromValue(settings.value(setting)), fallback);
            settings.setValue(setting, written.value<T>());
            QCOMPARE(raw.value(key), written);
        };
        check(Setting::ffmpegPath);
        check(Setting::dvdauthorPath);
        check(Setting::hdiutilPath);
        check(Setting::isoSectionExpanded);
        check(Setting::aspectMode);
        check(Setting::audioStreamIndex);
        check(Setting::qualityPreset);
        check(Setting::discSize);
        check(Setting::verifyAfterBurn);
        check(Setting::eraseBeforeBurn);
        QVERIFY2(raw.contains(key), "no setting is stored under this key");
    }

    // Facts as letters: t tools found, r running, s source, d destination, f DVD folder, i image.
    // Enabled controls as letters: S source button, D destination button, I ISO button,
    // O pickers, A reload audio, G start, P pause and abort, B burn options, V VIDEO_TS, M image,
    // U burn.
    void whichControlsMayBeUsed_data() {
        QTest::addColumn<QString>("facts");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("fresh, tools missing") << ""
                                              << "SB";
        QTest::newRow("fresh") << "t"
                               << "SOB";
        QTest::newRow("source chosen, tools missing") << "sd"
                                                      << "SDB";
        QTest::newRow("source chosen") << "tsd"
                                       << "SDOAGBV";
        QTest::newRow("destination only") << "td"
                                          << "SOBV";
        QTest::newRow("DVD folder made") << "tsdf"
                                         << "SDIOAGBVM";
        QTest::newRow("everything made") << "tsdfi"
                                         << "SDIOAGBVMU";
        QTest::newRow("image, tools missing") << "sdfi"
                                              << "SDIB";
        QTest::newRow("running") << "trsdfi"
                                 << "P";
        QTest::newRow("running, tools gone") << "rsdfi"
                                             << "P";
    }
    void whichControlsMayBeUsed() {
        QFETCH(QString, facts);
        QFETCH(QString, enabled);
        const auto fact = [&](char letter) { return facts.contains(QLatin1Char(letter)); };
        const ControlStates states =
            controlStates({fact('t'), fact('r'), fact('s'), fact('d'), fact('f'), fact('i')});
        const auto is = [&](char letter) { return enabled.contains(QLatin1Char(letter)); };
        const ControlStates expected{is('S'), is('D'), is('I'), is('O'), is('A'), is('G'),
                                     is('P'), is('B'), is('V'), is('M'), is('U')};
        QVERIFY(states == expected);
    }

    // What the disc picker stores and what it means; a value another version stored reads as
    // DVD-5.
    void discChoice_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("disc");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("DVD-5") << 0 << 0 << "DVD-5" << 2'295'104LL * 2048;
        QTest::newRow("DVD-9") << 1 << 1 << "DVD-9" << 4'171'712LL * 2048;
        QTest::newRow("unknown") << 2 << 0 << "DVD-5" << 2'295'104LL * 2048;
        QTest::newRow("negative") << -1 << 0 << "DVD-5" << 2'295'104LL * 2048;
    }
    void discChoice() {
        QFETCH(int, stored);
        QFETCH(int, shown);
        QFETCH(QString, disc);
        QFETCH(qint64, bytes);
        QCOMPARE(discChoiceLabels(), (QStringList{"DVD-5 (4,7 GB)", "DVD-9 (8,5 GB)"}));
        QCOMPARE(discChoiceIndex(stored), shown);
        QCOMPARE(chosenDisc(stored), (Disc{disc, bytes}));
    }

    // Each run with its toggles: the folders it writes into with what it writes there
    // (M: the MPEG file, F: the DVD folder, I: the image), and whether it burns.
    void whatARunWrites_data() {
        QTest::addColumn<RunKind>("kind");
        QTest::addColumn<QString>("toggles"); // v VIDEO_TS, i ISO, b burn
        QTest::addColumn<OptionalText>("isoURL");
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<bool>("burns");
        const OptionalText beside;
        const QString film = "/Filme/Film_PAL_DVD_DVD";
        QTest::newRow("Start, whole chain")
            << RunKind::chained << "vib" << beside
            << QStringList{"/Filme M", film + " F", "/Filme I"} << true;
        QTest::newRow("Start, image elsewhere")
            << RunKind::chained << "vi" << text("/Abbilder/Film.iso")
            << QStringList{"/Filme M", film + " F", "/Abbilder I"} << false;
        QTest::newRow("Start, no image")
            << RunKind::chained << "vb" << beside << QStringList{"/Filme M", film + " F"} << false;
        QTest::newRow("Start, MPEG file only")
            << RunKind::chained << "ib" << beside << QStringList{"/Filme M"} << false;
        QTest::newRow("VIDEO_TS, then image and burn")
            << RunKind::videoTS << "vib" << beside << QStringList{film + " F", "/Filme I"} << true;
        QTest::newRow("VIDEO_TS only")
            << RunKind::videoTS << "b" << beside << QStringList{film + " F"} << false;
        QTest::newRow("ISO") << RunKind::iso << "vib" << text("/Abbilder/X.iso")
                             << QStringList{"/Abbilder I"} << false;
        QTest::newRow("burn") << RunKind::burn << "vib" << beside << QStringList{} << true;
    }
    void whatARunWrites() {
        QFETCH(RunKind, kind);
        QFETCH(QString, toggles);
        QFETCH(OptionalText, isoURL);
        QFETCH(QStringList, writes);
        QFETCH(bool, burns);
        const ChainToggles chain{toggles.contains('v'), toggles.contains('i'),
                                 toggles.contains('b')};
        const QString input = kind == RunKind::iso    ? "/Filme/Film_PAL_DVD_DVD"
                              : kind == RunKind::burn ? "/Filme/Film_PAL_DVD_DVD.iso"
                                                      : "/Filme/Film_PAL_DVD.mpg";
        const SizeForecast size{1, 2, 3};
        QStringList shown;
        for (const PlannedWrite& write : runWrites(kind, chain, input, isoURL, size))
            shown << write.folder + " " + QString("?MFI").at(int(write.bytes));
        QCOMPARE(shown, writes);
        QCOMPARE(runBurns(kind, chain), burns);
    }

    void imageAgainstTheDisc() {
        const Disc dvd5 = chosenDisc(0);
        QVERIFY(!judgeImageSize(dvd5.bytes, dvd5, true).refusal);
        QVERIFY(!judgeImageSize(dvd5.bytes, dvd5, false).warning);

        const DiscVerdict burning = judgeImageSize(5'450'000'000, dvd5, true);
        QVERIFY(burning.refusal && !burning.warning);
        QCOMPARE(burning.refusal->description(),
                 "Das Abbild wird voraussichtlich 5,45 GB groß und passt nicht auf eine DVD-5 "
                 "(4,70 GB). Bitte „Passend“ oder DVD-9 wählen.");
        const DiscVerdict writing = judgeImageSize(5'450'000'000, dvd5, false);
        QVERIFY(!writing.refusal);
        QCOMPARE(writing.warning, "Warnung: Das Abbild wird voraussichtlich 5,45 GB groß und passt "
                                  "nicht auf eine DVD-5 (4,70 GB).");
        // There is no larger disc to recommend than DVD-9.
        QVERIFY(judgeImageSize(9'000'000'000, chosenDisc(1), true)
                    .refusal->description()
                    .endsWith("Bitte „Passend“ wählen."));
    }

    // Room on each file system for what is written there: folders on one file system add up.
    void roomForWhatIsWritten_data() {
        QTest::addColumn<QString>("writes"); // folder:bytes, …
        QTest::addColumn<OptionalText>("refusal");
        QTest::newRow("fits") << "/home/a/Filme:4e9,/home/a/Filme/F_DVD:4e9,/home/a/Filme:4e9"
                              << OptionalText();
        QTest::newRow("three times the film on one disk")
            << "/home/a/Filme:4.4e9,/home/a/Filme/F_DVD:4.4e9,/home/a/Filme:4.4e9"
            << text("Nicht genug Speicherplatz in /home/a/Filme: benötigt 13,2 GB, frei 12,5 "
                    "GB.");
        QTest::newRow("image on another disk")
            << "/home/a/Filme:4.4e9,/home/a/Filme/F_DVD:4.4e9,/mnt/usb:4.4e9"
            << text("Nicht genug Speicherplatz in /mnt/usb: benötigt 4,4 GB, frei 1,0 MB.");
        QTest::newRow("full USB stick only") << "/mnt/usb/Film:62.9e6"
                                             << text("Nicht genug Speicherplatz in /mnt/usb/Film: "
                                                     "benötigt 62,9 MB, frei 1,0 MB.");
        QTest::newRow("unreadable file system") << "/nirgends:1e12" << OptionalText();
    }
    void roomForWhatIsWritten() {
        QFETCH(QString, writes);
        QFETCH(OptionalText, refusal);
        // /home has 12.5 GB free, /mnt/usb 1 MB; /nirgends cannot be read.
        const VolumeQuery query = [](const QString& folder) -> std::optional<Volume> {
            if (folder.startsWith("/home"))
                return Volume{1, 12'500'000'000};
            if (folder.startsWith("/mnt/usb"))
                return Volume{2, 1'000'000};
            return std::nullopt;
        };
        QList<PlannedWrite> planned;
        for (const QString& write : writes.split(','))
            planned.append({write.section(':', 0, 0), qint64(write.section(':', 1).toDouble())});
        std::optional<QString> refused;
        try {
            checkFreeSpace(planned, query);
        } catch (const FFmpegError& error) {
            refused = error.description();
        }
        QCOMPARE(refused, refusal);
    }

    void germanNumbersInEveryLocale() {
        QLocale::setDefault(QLocale::c());
        QCOMPARE(GermanFormat::megabytes(4800e6), "4.800,0 MB");
        QCOMPARE(GermanFormat::gigabytes(4.7e9), "4,70 GB");
        QCOMPARE(GermanFormat::size(13.24e9), "13,2 GB");
        QCOMPARE(GermanFormat::size(1e9), "1,0 GB");
        QCOMPARE(GermanFormat::size(62.94e6), "62,9 MB");
        QCOMPARE(GermanFormat::size(0), "0,0 MB");
        QCOMPARE(GermanFormat::hoursMinutes(103 * 60), "1:43 h");
        QCOMPARE(GermanFormat::hoursMinutes(5 * 3600 + 39 * 60 + 31), "5:40 h");
        QCOMPARE(GermanFormat::hoursMinutes(59), "0:01 h");
        QCOMPARE(GermanFormat::hoursMinutes(10 * 3600), "10:00 h");
        QCOMPARE(GermanFormat::clockTime(QDateTime(QDate(2026, 1, 1), QTime(20, 19, 24))), "20:19");
        QLocale::setDefault(QLocale::system());
    }
};

QTEST_GUILESS_MAIN(WindowLogicTest)
#include "tst_window_logic.moc"
