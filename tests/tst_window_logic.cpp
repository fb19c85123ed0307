// The pure parts of the main window, stated as tables.
#include "DiscVerdict.h"
#include "FileNames.h"
#include "FreeSpace.h"
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
#include "run/RunPlan.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace {

OptionalText text(const char* value) {
    return value ? OptionalText(QString::fromUtf8(value)) : std::nullopt;
}

void textRow(const char* name, const QString& in, const QString& out) {
    QTest::newRow(name) << in << out;
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
        for (const char* word : {"FEHLER", "Error", "failed", "INVALID", "unfertig", "Abgebrochen",
                                 "erfolgreich", "Kodiere", "Startzeit", "Voraussichtliches Ende",
                                 "Erstelle", "Brenne", "PRÜFE", "Lösche"})
            QTest::newRow(word) << QStringLiteral("x %1 y").arg(QString::fromUtf8(word)) << true;
        QTest::newRow("progress line") << "frame=  100 fps=50 time=00:00:04.00" << false;
        QTest::newRow("header") << "=== ffmpeg ===" << false;
        QTest::newRow("umlaut spelled out") << "Pruefe die DVD" << false;
    }
    void logWords() {
        QFETCH(QString, line);
        QFETCH(bool, kept);
        QCOMPARE(isLogWorthy(line), kept);
    }

    // Emptied where the settings window's button empties it.
    void logIsNewestFirstBelowThePulse() {
        ActivityLog log;
        log.append("A");
        log.append("B1\nB2");
        log.startPulse("Erstelle ISO");
        log.setPulseDots(2);
        log.append("error: one\n");
        QCOMPARE(log.text(), "Erstelle ISO..\nerror: one\nB1\nB2\nA\n");
        log.stopPulse();
        log.append("Fertig ✅");
        QCOMPARE(log.text(), "Fertig ✅\nErstelle ISO..\nerror: one\nB1\nB2\nA\n");
    }

    // A stage's opening (status, phase, pulse, completion) or a run's ending (status, phase,
    // progress, log line, whether the encode's start time is cleared); "-": none. Erasing is
    // checked where a burn run shows it.
    void whatEachStageShows_data() {
        QTest::addColumn<RunKind>("kind");
        QTest::addColumn<Stage>("stage");
        QTest::addColumn<int>(
            "moment"); // -1 opening; endings: 0 done, 1 a tool failed, 2 cancelled
        QTest::addColumn<QStringList>("shown");
        const auto row = [](const char* name, RunKind kind, Stage stage, int moment,
                            const QString& shown) {
            QTest::newRow(name) << kind << stage << moment << shown.split('|');
        };
        const QString failed = "Fehler ❌ Vorgang fehlgeschlagen (Exit Code 2).";
        const QString burnt = "Fertig ✅ Brennvorgang abgeschlossen (mit Verify).";
        row("encode", RunKind::chained, Stage::encode, -1, "-|-|-|-");
        row("authoring, button", RunKind::videoTS, Stage::authoring, -1,
            "-|-|Erstelle VIDEO_TS Ordner|Fertig ✅ VIDEO_TS erstellt: /o/F");
        row("image after VIDEO_TS button", RunKind::videoTS, Stage::image, -1,
            "Erzeuge ISO…|-|Erstelle ISO|Fertig ✅ ISO erstellt: /o/F");
        row("image, button", RunKind::iso, Stage::image, -1,
            "-|-|Erstelle ISO|Fertig ✅ ISO erstellt: /o/F");
        row("burn, chained", RunKind::chained, Stage::burn, -1, "Brenne DVD…|-|-|-");
        row("burn, button", RunKind::burn, Stage::burn, -1, "-|-|-|-");
        row("chained ends", RunKind::chained, Stage::image, 0, "Fertig ✅|Start|1|Fertig ✅|cleared");
        row("chained fails", RunKind::chained, Stage::authoring, 1,
            failed + "|-|-|" + failed + "|cleared");
        row("chained aborted", RunKind::chained, Stage::encode, 2,
            "Abgebrochen.|-|-|Abgebrochen.|cleared");
        row("VIDEO_TS run ends", RunKind::videoTS, Stage::image, 0, "-|-|-|-|-");
        row("VIDEO_TS run burnt", RunKind::videoTS, Stage::burn, 0,
            burnt + "|Start|1|" + burnt + "|-");
        row("ISO run ends", RunKind::iso, Stage::image, 0, "-|-|-|-|-");
        row("ISO run fails", RunKind::iso, Stage::image, 1, failed + "|-|-|" + failed + "|-");
        row("burn run aborted", RunKind::burn, Stage::burn, 2,
            "Abgebrochen.|Start|-|Abgebrochen.|-");
    }
    void whatEachStageShows() {
        QFETCH(RunKind, kind);
        QFETCH(Stage, stage);
        QFETCH(int, moment);
        QFETCH(QStringList, shown);
        QStringList seen;
        if (moment < 0) {
            const Shown opening = stageOpening(kind, stage, false);
            for (const OptionalText& value : {opening.status, opening.phase, opening.pulse,
                                              stageCompletion(kind, stage, "/o/F")})
                seen << value.value_or("-");
        } else {
            const std::optional<FFmpegError> error =
                moment == 0   ? std::nullopt
                : moment == 1 ? std::optional(FFmpegError::conversionFailed(2))
                              : std::optional(FFmpegError::cancelled());
            const RunEnding::Outcome outcome = moment == 0   ? RunEnding::Outcome::succeeded
                                               : moment == 1 ? RunEnding::Outcome::failed
                                                             : RunEnding::Outcome::cancelled;
            const EndingShown ending = endingShown(kind, {outcome, stage, error, {}}, true);
            seen = {ending.status.value_or("-"), ending.phase.value_or("-"),
                    ending.progress ? QString::number(*ending.progress) : "-",
                    ending.logLine.value_or("-"), ending.endsEncoding ? "cleared" : "-"};
        }
        QCOMPARE(seen, shown);
    }

    void volumeNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        textRow("umlaut", "Ärger", "_RGER");
        textRow("blanks", "  abc  ", "ABC");
        textRow("blank at 32", "A" + QString(31, ' ') + "B", "A");
        textRow("tab and newline", "a\tb\nc", "A_B_C");
        textRow("combining mark", QStringLiteral("e\u0301"), "E_");
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
        QTest::newRow("sharp s in the middle") << "STRAßE" << 5 << "STRASSE" << 6;
        QTest::newRow("blank while typing") << "URLAUB " << 7 << "URLAUB " << 7;
        QTest::newRow("leading blank") << " a" << 2 << "A" << 1;
        QTest::newRow("emoji") << QStringLiteral("A\U0001F600B") << 3 << "A_B" << 2;
        QTest::newRow("ligature") << QStringLiteral("\uFB01") << 1 << "FI" << 2;
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
        QCOMPARE(missingToolEntries("", dir.path(), dir.filePath("none")),
                 (QStringList{"ffmpeg ()", "dvdauthor (" + dir.path() + ")",
                              "genisoimage (" + dir.filePath("none") + ")"}));
    }

    void audioLabelsAndPositions() {
        QCOMPARE(displayLabel({1, "ac3", 6, "ger", "Deutsch"}), "#1 • ger • ac3 • 6ch • Deutsch");
        QCOMPARE(displayLabel({4, "dts", {}, "", "Kommentar"}), "#4 • dts • Kommentar");
        const QList<AudioStreamInfo> streams{{3, {}, {}, {}, {}}, {1, {}, {}, {}, {}}};
        QCOMPARE(audioStreamPosition(1, streams), 0);
        QCOMPARE(audioStreamPosition(3, streams), 1);
        QCOMPARE(audioStreamPosition(2, streams), std::nullopt);
        QCOMPARE(audioStreamPosition(-1, streams), std::nullopt);
    }

    void isoVolumeNames_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("volume");
        const auto row = [](const char* name, const QString& field, const QString& folder,
                            const QString& volume) {
            QTest::newRow(name) << field << folder << volume;
        };
        const QString a24(24, 'a');
        row("field", "DVD_VIDEO", "/Out/Film_DVD", "DVD_VIDEO");
        row("folder", "", "/Out/Film_DVD", "Film_DVD");
        row("long folder", "", "/Out/" + a24 + "_PAL_DVD_DVD", a24 + "_PAL_DVD");
        // Sixteen two-byte letters fill the 32 bytes; none is cut in half.
        row("umlauts", "", "/Out/" + QString(20, QChar(0xe4)), QString(16, QChar(0xe4)));
        row("decomposed", "", QStringLiteral("/Out/A\u0308rger"), "Ärger");
    }
    void isoVolumeNames() {
        QFETCH(QString, field);
        QFETCH(QString, folder);
        QFETCH(QString, volume);
        QCOMPARE(isoVolumeNameFor(field, folder), volume);
    }

    void isoPaths() {
        QCOMPARE(isoTargetFor(std::nullopt, "/Out/Film_DVD"), "/Out/Film_DVD.iso");
        QCOMPARE(destinationFor("/Videos/Film.final.mkv"), "/Videos/Film.final_PAL_DVD.mpg");
    }

    // Each key as other versions of Kestrin read it, with its default when nothing is stored.
    void storedKeys() {
        QSettings raw("Kestrin", "Kestrin");
        raw.clear();
        StoredSettings settings;
        const auto check = [&](const auto& setting, const QString& key, const QVariant& fallback,
                               const QVariant& written) {
            using T = typename std::decay_t<decltype(setting)>::Type;
            QCOMPARE(QVariant::fromValue(settings.value(setting)), fallback);
            settings.setValue(setting, written.value<T>());
            QCOMPARE(raw.value(key), written);
        };
        check(Setting::ffmpegPath, "tool.ffmpegPath", "/usr/bin/ffmpeg", "/opt/ffmpeg");
        check(Setting::dvdauthorPath, "tool.dvdauthorPath", "/usr/bin/dvdauthor", "/opt/dvdauthor");
        check(Setting::genisoimagePath, "tool.genisoimagePath", "/usr/bin/genisoimage",
              "/opt/genisoimage");
        check(Setting::isoSectionExpanded, "ui.isoSectionExpanded", false, true);
        check(Setting::aspectMode, "opt.aspectMode", 0, 2);
        check(Setting::audioStreamIndex, "opt.audioStreamIndex", -1, 3);
        check(Setting::qualityPreset, "opt.qualityPreset", 0, 3);
        check(Setting::discSize, "opt.discSize", 0, 1);
        check(Setting::verifyAfterBurn, "opt.verifyAfterBurn", false, true);
        check(Setting::eraseBeforeBurn, "opt.eraseBeforeBurn", false, true);
    }

    // Facts as letters: t tools found, r running, p the stage can pause, s source, d destination, f
    // DVD folder, i image. Enabled controls as letters: S source button, D destination button, I
    // ISO button, O pickers, A reload audio, G start, P pause, X abort, B burn options, V VIDEO_TS,
    // M image, U burn.
    void whichControlsMayBeUsed_data() {
        QTest::addColumn<QString>("facts");
        QTest::addColumn<QString>("enabled");
        textRow("fresh, tools missing", "", "SB");
        textRow("fresh", "t", "SOB");
        textRow("source chosen, tools missing", "sd", "SDB");
        textRow("source chosen", "tsd", "SDOAGBV");
        textRow("destination only", "td", "SOBV");
        textRow("DVD folder made", "tsdf", "SDIOAGBVM");
        textRow("everything made", "tsdfi", "SDIOAGBVMU");
        textRow("image, tools missing", "sdfi", "SDIB");
        textRow("running", "trpsdfi", "PX");
        textRow("burning", "trsdfi", "X");
        textRow("running, tools gone", "rpsdfi", "PX");
    }
    void whichControlsMayBeUsed() {
        QFETCH(QString, facts);
        QFETCH(QString, enabled);
        const auto fact = [&](char letter) { return facts.contains(QLatin1Char(letter)); };
        const ControlStates states = controlStates(
            {fact('t'), fact('r'), fact('p'), fact('s'), fact('d'), fact('f'), fact('i')});
        const auto is = [&](char letter) { return enabled.contains(QLatin1Char(letter)); };
        const ControlStates expected{is('S'), is('D'), is('I'), is('O'), is('A'), is('G'),
                                     is('P'), is('X'), is('B'), is('V'), is('M'), is('U')};
        QVERIFY(states == expected);
    }

    // A value another version stored reads as DVD-5.
    void chosenDiscs() {
        const Disc dvd5{"DVD-5", 2'295'104LL * 2048};
        QCOMPARE(chosenDisc(0), dvd5);
        QCOMPARE(chosenDisc(-1), dvd5);
        QCOMPARE(chosenDisc(1), (Disc{"DVD-9", 4'171'712LL * 2048}));
    }

    // Refusal and warning of a run are checked where the window shows them.
    void imageAgainstTheDisc() {
        const Disc dvd5 = chosenDisc(0);
        QVERIFY(!judgeImageSize(dvd5.bytes, dvd5, true).refusal);
        // There is no larger disc to recommend than DVD-9.
        const DiscVerdict dvd9 = judgeImageSize(9'000'000'000, chosenDisc(1), true);
        QVERIFY(dvd9.refusal && dvd9.refusal->description().endsWith("Bitte „Passend“ wählen."));
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
        QCOMPARE(GermanFormat::size(62.94e6), "62,9 MB");
        QCOMPARE(GermanFormat::hoursMinutes(5 * 3600 + 39 * 60 + 31), "5:40 h");
        QCOMPARE(GermanFormat::clockTime(QDateTime(QDate(2026, 1, 1), QTime(20, 19, 24))), "20:19");
        QLocale::setDefault(QLocale::system());
    }
};

QTEST_GUILESS_MAIN(WindowLogicTest)
#include "tst_window_logic.moc"
