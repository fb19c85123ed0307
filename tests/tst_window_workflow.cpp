// The main window's workflow driven through its operations, with the real tools: the encode, the
// chain to VIDEO_TS, ISO and a burn onto a libburn stdio file, the stage buttons, failures with
// their reasons, pause, resume and abort reaching the tools, the expected end time from a clock
// the test sets, files that are complete under their final names, and the runs that are refused
// before they write anything: an image too large for the disc it is burnt on, a film too long
// for "Passend", a destination without room.
#include "AwaitTask.h"
#include "ContentView.h"
#include "ScriptedBurner.h"
#include "TestFiles.h"
#include "platform/Notifications.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace testing;

namespace {

class ChosenFiles : public FilePanels {
public:
    std::optional<QString> toSave;
    int asked = 0;
    std::optional<QString> chooseFileToOpen(const QString&, const QStringList&) override {
        ++asked;
        return std::nullopt;
    }
    std::optional<QString> chooseFileToSave(const QString&, const QStringList&,
                                            const QString&) override {
        ++asked;
        return toSave;
    }
};

class SetClock : public Clock {
public:
    QDateTime moment{QDate(2026, 12, 6), QTime(10, 0, 0)};
    QDateTime now() const override { return moment; }
};

// Everything the window showed while it ran, each change once.
struct Seen {
    QStringList statuses;
    QStringList phases;
    QList<std::pair<double, double>> progress; // progress, burn progress

    explicit Seen(ContentView& view) {
        QObject::connect(&view, &ContentView::changed, &view, [this, &view] {
            if (statuses.isEmpty() || statuses.last() != view.statusText())
                statuses << view.statusText();
            if (phases.isEmpty() || phases.last() != view.currentPhaseLabel())
                phases << view.currentPhaseLabel();
            progress << std::pair{view.progress(), view.burnProgressValue()};
        });
    }
};

QString newestLine(const ContentView& view) {
    return view.logText().section(u'\n', 0, 0);
}

QStringList logLines(const ContentView& view) {
    return view.logText().split(u'\n', Qt::SkipEmptyParts);
}

// True when the items appear in list in this order (others may stand between them).
bool inOrder(const QStringList& list, const QStringList& items) {
    qsizetype at = 0;
    for (const QString& item : items) {
        at = list.indexOf(item, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

// The tools this test program runs at the moment, and the tools those run.
QList<qint64> runningTools() {
    return childProcesses(QCoreApplication::applicationPid());
}

} // namespace

class WindowWorkflowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_longClip;
    QString m_mpg;
    ChosenFiles m_files;

    // A window with the real tools, burning onto a stdio file.
    std::unique_ptr<ContentView> window(const Clock& clock = Clock::system()) {
        auto view = std::make_unique<ContentView>(m_files, clock);
        view->settings().setValue(Setting::ffmpegPath, QStringLiteral("/usr/bin/ffmpeg"));
        view->settings().setValue(Setting::dvdauthorPath, QStringLiteral("/usr/bin/dvdauthor"));
        view->settings().setValue(Setting::hdiutilPath, QStringLiteral(KESTRIN_HDIUTIL));
        view->settings().setValue(Setting::eraseBeforeBurn, false);
        view->settings().setValue(Setting::verifyAfterBurn, false);
        view->settings().setValue(Setting::qualityPreset, 0);
        view->settings().setValue(Setting::discSize, 0);
        view->service().setBurnerBackend(makeLibburnBackend("stdio:" + m_dir.filePath("disc.img")));
        view->checkTools();
        return view;
    }

    QString folder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase() {
        // The settings of the tests live in a folder of their own.
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        m_clip = makeClip(m_dir, "Reise.mp4",
                          {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                           "sine=d=2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
        m_longClip =
            makeClip(m_dir, "Lang.mp4",
                     {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=60", "-f", "lavfi", "-i",
                      "sine=d=60", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
        m_mpg = makeClip(m_dir, "Vorlage.mpg",
                         {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                          "sine=d=2", "-target", "pal-dvd", "-aspect", "16:9"});
    }

    void newWindowDefaults() {
        const QString config = m_dir.filePath("config/Kestrin/Kestrin.conf");
        QFile::remove(config);
        ContentView view(m_files);
        QCOMPARE(view.statusText(), "Bereit.");
        QCOMPARE(view.isoVolumeName(), "DVD_VIDEO");
        QVERIFY(view.createVideoTSAfterConvert() && view.createISOAfterVideoTS() &&
                !view.burnAfterISO());
        QVERIFY(!QFile::exists(config)); // nothing is written at creation

        // Another window (the settings window) writes: this one sees it, and shows it.
        QSignalSpy changed(&view, &ContentView::changed);
        StoredSettings().setValue(Setting::aspectMode, 2);
        QCOMPARE(view.settings().value(Setting::aspectMode), 2);
        QTRY_COMPARE(changed.count(), 1);
        view.setBurnAfterISO(true);
        QVERIFY(StoredSettings().value(Setting::isoSectionExpanded));
        view.setBurnAfterISO(false);
        QVERIFY(!StoredSettings().value(Setting::isoSectionExpanded));
    }

    void toolsCheckAndAudioStreams() {
        auto view = window();
        QVERIFY(view->toolsOK());
        QCOMPARE(view->statusText(), "Bereit.");

        view->settings().setValue(Setting::audioStreamIndex, 1);
        view->applySource(m_clip);
        QCOMPARE(view->destinationURL(), m_dir.filePath("Reise_PAL_DVD.mpg"));
        QTRY_VERIFY(!view->isLoadingAudioStreams());
        QCOMPARE(view->audioStreams().size(), 1);
        QCOMPARE(view->audioStreams()[0].index, 1);
        QCOMPARE(view->settings().value(Setting::audioStreamIndex), 1);

        view->settings().setValue(Setting::audioStreamIndex, 3);
        view->applyAudioStreams({{1, {}, {}, {}, {}}, {2, {}, {}, {}, {}}});
        QCOMPARE(view->settings().value(Setting::audioStreamIndex), -1);

        // A wrong path in the settings window counts at once, quietly; a corrected one too.
        const QString missing = m_dir.filePath("missing/dvdauthor");
        StoredSettings().setValue(Setting::dvdauthorPath, missing);
        QVERIFY(!view->toolsOK());
        QCOMPARE(view->statusText(), "Tools fehlen ❌");
        QVERIFY(!view->showMissingToolsAlert());
        StoredSettings().setValue(Setting::dvdauthorPath, QStringLiteral("/usr/bin/dvdauthor"));
        QVERIFY(view->toolsOK());
        QCOMPARE(view->statusText(), "Bereit.");

        // The check when the window is shown raises the alert.
        view->settings().setValue(Setting::dvdauthorPath, missing);
        view->checkTools();
        QVERIFY(view->showMissingToolsAlert());
        QVERIFY(view->missingToolsMessage().contains("• dvdauthor (" + missing +
                                                     ")\n\nInstallation (apt):"));
        await(view->reloadAudioStreams());
        QVERIFY(view->audioStreams().isEmpty());
    }

    // Two sources chosen quickly: only the read for the second one changes the list.
    void overlappingAudioReads() {
        const QString tools = folder("slow-probe");
        QFile::link("/usr/bin/ffmpeg", tools + "/ffmpeg");
        writeScript(m_dir, "slow-probe/ffprobe",
                    "case \"$*\" in *Reise*) sleep 1;; esac\nexec /usr/bin/ffprobe \"$@\"");
        const QString twoStreams =
            makeClip(m_dir, "Zwei.mkv", {"-f",   "lavfi", "-i",   "testsrc2=s=64x64:d=1",
                                         "-f",   "lavfi", "-i",   "sine=d=1",
                                         "-f",   "lavfi", "-i",   "sine=d=1",
                                         "-map", "0",     "-map", "1",
                                         "-map", "2",     "-c:v", "mpeg4"});
        auto view = window();
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->applySource(m_clip);
        view->applySource(twoStreams);
        QTRY_VERIFY(!view->isLoadingAudioStreams());
        QCOMPARE(view->audioStreams().size(), 2);
        QTest::qWait(1500); // the slow first read has ended meanwhile
        QCOMPARE(view->audioStreams().size(), 2);
        QVERIFY(!view->isLoadingAudioStreams());
    }

    void chainedRunFromVideoToDisc() {
        const QString out = folder("chained");
        const QString disc = out + "/disc.img";
        writeFile(disc, {});
        auto view = window();
        view->service().setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        view->settings().setValue(Setting::verifyAfterBurn, true);
        view->applySource(m_clip);
        view->applyDestination(out + "/Reise_PAL_DVD.mpg");
        view->setBurnAfterISO(true);
        Seen seen(*view);

        view->startConversion();
        QCOMPARE(view->statusText(), "Kodieren…");
        QCOMPARE(view->currentPhaseLabel(), "Kodieren");
        QVERIFY(view->isRunning());
        QVERIFY(QRegularExpression("^Kodiere Datei\\. Startzeit: \\d\\d:\\d\\d Uhr\\.$")
                    .match(newestLine(*view))
                    .hasMatch());
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 120000);

        QCOMPARE(view->statusText(), "Fertig ✅");
        QCOMPARE(newestLine(*view), "Fertig ✅");
        QCOMPARE(view->progress(), 1.0);
        QCOMPARE(view->currentPhaseLabel(), "Start");
        QVERIFY2(
            inOrder(seen.phases, {"Kodieren", "Erstellen", "ISO erstellen", "Brennen", "Start"}),
            qPrintable(seen.phases.join(" | ")));
        QVERIFY2(
            inOrder(seen.statuses, {"Kodieren…", "Erzeuge VIDEO_TS…", "Erzeuge ISO…", "Fertig ✅"}),
            qPrintable(seen.statuses.join(" | ")));
        QCOMPARE(view->dvdFolderURL(), out + "/Reise_PAL_DVD_DVD");
        QCOMPARE(view->isoURL(), out + "/Reise_PAL_DVD_DVD.iso");
        QCOMPARE(readAll(disc), readAll(out + "/Reise_PAL_DVD_DVD.iso"));

        // Oldest first: the start, each stage's pulse line, the burn's texts, the end.
        QStringList lines = logLines(*view);
        std::reverse(lines.begin(), lines.end());
        const auto pulse = [&](const QString& base) {
            return lines.indexOf(QRegularExpression("^" + base + "\\.{1,3}$"));
        };
        QVERIFY(pulse("Erstelle VIDEO_TS Ordner") > 0);
        QVERIFY(pulse("Erstelle ISO") > pulse("Erstelle VIDEO_TS Ordner"));
        QVERIFY(pulse("Prüfe gebrannte DVD") > pulse("Erstelle ISO"));
        QVERIFY(lines.contains("Brennen abgeschlossen."));
        QCOMPARE(lines.last(), "Fertig ✅");
        QVERIFY(!view->logText().contains("VIDEO_TS erstellt"));
    }

    void stageButtons() {
        const QString out = folder("stages");
        const QString mpg = out + "/Stage.mpg";
        QVERIFY(QFile::copy(m_mpg, mpg));
        auto view = window();
        view->applyDestination(mpg);
        view->setCreateISOAfterVideoTS(false);
        view->setBurnAfterISO(true); // needs the ISO step, so it does not burn

        view->startVideoTSRun();
        QCOMPARE(view->statusText(), "Erstellen…");
        QCOMPARE(view->currentPhaseLabel(), "Erstellen");
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        const QString dvdFolder = out + "/Stage_DVD";
        QCOMPARE(view->statusText(), "Fertig ✅ VIDEO_TS erstellt: " + dvdFolder);
        QCOMPARE(newestLine(*view), view->statusText());
        QCOMPARE(view->currentPhaseLabel(), "Erstellen");
        QCOMPARE(view->dvdFolderURL(), dvdFolder);

        view->setIsoVolumeName("");
        view->startISORun();
        QCOMPARE(view->currentPhaseLabel(), "ISO erstellen");
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fertig ✅ ISO erstellt: " + dvdFolder + ".iso");
        QVERIFY(QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", dvdFolder + ".iso"}))
                    .contains("Volume id: Stage_DVD"));

        // The ISO location stays the target of the next image.
        view->applyISODestination(out + "/Anders.img");
        view->startISORun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->isoURL(), out + "/Anders.iso");

        const QString disc = out + "/disc.img";
        writeFile(disc, {});
        view->service().setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        view->startBurnRun();
        QCOMPARE(view->statusText(), "Brennen…");
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fertig ✅ Brennvorgang gestartet/abgeschlossen.");
        QCOMPARE(view->currentPhaseLabel(), "Start");
        QCOMPARE(view->progress(), 1.0);
        QCOMPARE(readAll(disc), readAll(out + "/Anders.iso"));

        // A new destination forgets the folder and the image; the buttons then do nothing.
        view->applyDestination(out + "/Neu.mpg");
        view->startISORun();
        view->startBurnRun();
        QVERIFY(!view->isRunning());
    }

    // The burn's states decide what the window shows: erasing, burning, closing, verifying.
    void burnPhasesFollowTheBurnStates() {
        auto view = window();
        view->settings().setValue(Setting::eraseBeforeBurn, true);
        view->settings().setValue(Setting::verifyAfterBurn, true);
        const auto report = [](BurnState state, double fraction) {
            return QList<BurnReport>{BurnReport{state, fraction, {}, {}}};
        };
        view->service().setBurnerBackend(std::make_unique<ScriptedBackend>(QList<QList<BurnReport>>{
            report(BurnState::preparing, 0.0), report(BurnState::preparing, 0.005),
            report(BurnState::trackWrite, 0.008), report(BurnState::trackWrite, 0.02),
            report(BurnState::sessionClose, 0.5), report(BurnState::verifying, 0.1),
            report(BurnState::done, 1.0)}));
        // A burn run needs an image location: made by the ISO stage.
        const QString out = folder("phases");
        QVERIFY(QFile::copy(m_mpg, out + "/P.mpg"));
        view->applyDestination(out + "/P.mpg");
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QVERIFY2(view->isoURL(), qPrintable(view->statusText()));

        Seen seen(*view);
        view->startBurnRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 20000);
        // The last state's text shows for a moment before the run's end.
        QVERIFY2(seen.phases ==
                     (QStringList{"Löschen", "Brennen", "Überprüfen", "Brennen", "Start"}),
                 qPrintable(seen.phases.join(" | ")));
        QVERIFY2(inOrder(seen.statuses,
                         {"Löschen…", "Brennen…", "Sitzung wird abgeschlossen…", "Überprüfen…",
                          "Fertig ✅ Brennvorgang abgeschlossen (mit Verify)."}),
                 qPrintable(seen.statuses.join(" | ")));
        QVERIFY(!seen.statuses.contains("Brennvorgang läuft…")); // still erasing then
        QVERIFY(seen.progress.contains(std::pair{0.95, 0.5}));   // closing: at least 95 %
        QStringList lines = logLines(*view);
        std::reverse(lines.begin(), lines.end());
        QVERIFY2(inOrder(lines.replaceInStrings(QRegularExpression("\\.+$"), "."),
                         {"DVD löschen.", "Brenne auf DVD.", "Prüfe gebrannte DVD.",
                          "Fertig ✅ Brennvorgang abgeschlossen (mit Verify)."}),
                 qPrintable(lines.join(" | ")));
    }

    void failuresSayWhy() {
        auto view = window();
        view->applySource(m_clip);
        view->applyDestination(m_dir.filePath("fail.mpg"));

        view->settings().setValue(Setting::ffmpegPath, m_dir.filePath("nowhere/ffmpeg"));
        view->startConversion();
        QTRY_VERIFY(!view->isRunning());
        const QString missing = "Fehler ❌ Tool nicht gefunden oder nicht ausführbar: " +
                                m_dir.filePath("nowhere/ffmpeg");
        QTRY_COMPARE(view->statusText(), missing);
        QCOMPARE(newestLine(*view), missing);
        view->settings().setValue(Setting::ffmpegPath, QStringLiteral("/usr/bin/ffmpeg"));

        // An unreadable source: one status line, ffprobe's whole report in the log.
        writeFile(m_dir.filePath("liste.mkv"), "Milch, Brot\n");
        view->applySource(m_dir.filePath("liste.mkv"));
        view->startConversion();
        QTRY_VERIFY(view->statusText().startsWith("Fehler ❌"));
        QCOMPARE(view->statusText(),
                 "Fehler ❌ ffprobe Analyse fehlgeschlagen: " + m_dir.filePath("liste.mkv") +
                     ": Invalid data found when processing input");
        QVERIFY(view->logText().startsWith("Fehler ❌ ffprobe Analyse fehlgeschlagen: "));
        QVERIFY(view->logText().contains("EBML header parsing failed"));

        // A tool that fails with a reason: the reason goes to the log just before the error.
        view->settings().setValue(
            Setting::hdiutilPath,
            writeScript(m_dir, "hdiutil-fails",
                        "echo 'working' ; echo '/Out/x.iso: Permission denied' >&2; exit 3"));
        const QString out = folder("fails");
        QVERIFY(QFile::copy(m_mpg, out + "/F.mpg"));
        view->applyDestination(out + "/F.mpg");
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fehler ❌ Vorgang fehlgeschlagen (Exit Code 3).");
        QCOMPARE(logLines(*view).mid(0, 2),
                 (QStringList{"Fehler ❌ Vorgang fehlgeschlagen (Exit Code 3).",
                              "Fehlerursache: /Out/x.iso: Permission denied"}));
        QVERIFY(logLines(*view).at(2).startsWith("Erstelle ISO."));
        QCOMPARE(view->currentPhaseLabel(), "Start");
    }

    // The expected end from the work done so far, with a clock the test sets and an ffmpeg that
    // reports its position step by step.
    void expectedEndFromTheClock() {
        const QString tools = folder("stepper");
        QFile::link("/usr/bin/ffprobe", tools + "/ffprobe");
        writeScript(m_dir, "stepper/ffmpeg",
                    QStringLiteral("for t in 03 06 30; do\n"
                                   "  while [ ! -e '%1/go-'$t ]; do sleep 0.02; done\n"
                                   "  echo \"frame=1 size=    2048kB time=00:00:$t.00 "
                                   "bitrate=1\" >&2\n"
                                   "done\nexec sleep 30")
                        .arg(tools));
        SetClock clock;
        auto view = window(clock);
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->applySource(m_longClip); // 60 s
        view->applyDestination(tools + "/out.mpg");
        view->startConversion();
        QCOMPARE(newestLine(*view), "Kodiere Datei. Startzeit: 10:00 Uhr.");
        // The size expected for a minute at "Standard", from the plan, before ffmpeg reports.
        QTRY_COMPARE(newestLine(*view), "Voraussichtliche Größe: 0,05 GB (DVD-5: 4,70 GB)");

        clock.moment = clock.moment.addSecs(30);
        writeFile(tools + "/go-03", {});
        QTRY_COMPARE(view->progress(), 0.05);
        QCOMPARE(view->statusText(), "Kodieren…");

        clock.moment = clock.moment.addSecs(30); // 10:01, a tenth done: nine minutes to go
        writeFile(tools + "/go-06", {});
        QTRY_COMPARE(view->statusText(), "Starte… Fertig um: 10:10");
        // Beside it the size projected from the 2 MiB written in a tenth: about 22 MB.
        QCOMPARE(logLines(*view).mid(0, 2),
                 (QStringList{"Voraussichtliches Ende um: 10:10 Uhr.",
                              "Hochgerechnete Größe: 0,02 GB (DVD-5: 4,70 GB)"}));

        clock.moment = clock.moment.addSecs(60); // 10:02, half done
        writeFile(tools + "/go-30", {});
        QTRY_COMPARE(view->statusText(), "Starte… Fertig um: 10:04");
        QCOMPARE(logLines(*view).filter("Voraussichtliches Ende").size(), 1);
        QCOMPARE(logLines(*view).filter("Hochgerechnete Größe").size(), 1);

        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    // A fixed preset whose image will not fit the chosen disc: a chain that burns does not
    // start, any other chain is warned and goes on. An ffmpeg stands in that only notes that it
    // ran; the sources are two hours of a tiny picture.
    void chainSureToFailDoesNotStart() {
        const QString tools = folder("sure-to-fail");
        QFile::link("/usr/bin/ffprobe", tools + "/ffprobe");
        writeScript(m_dir, "sure-to-fail/ffmpeg",
                    QStringLiteral("touch '%1/ran'\nexec sleep 30").arg(tools));
        const QString film = makeClip(m_dir, "Zwei Stunden.mkv",
                                      {"-f", "lavfi", "-i", "color=c=black:s=64x64:r=1:d=7200",
                                       "-c:v", "libx264", "-preset", "ultrafast"});
        auto view = window();
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->settings().setValue(Setting::qualityPreset, 0);
        view->settings().setValue(Setting::discSize, 0);
        view->applySource(film);
        view->applyDestination(tools + "/Film.mpg");
        view->setBurnAfterISO(true);

        view->startConversion();
        QTRY_VERIFY(!view->isRunning());
        const QString tooLarge = "Das Abbild wird voraussichtlich 5,68 GB groß und passt nicht auf "
                                 "eine DVD-5 (4,70 GB). Bitte „Passend“ oder DVD-9 wählen.";
        QCOMPARE(view->statusText(), "Fehler ❌ " + tooLarge);
        QCOMPARE(logLines(*view).mid(0, 2),
                 (QStringList{"Fehler ❌ " + tooLarge,
                              "Voraussichtliche Größe: 5,68 GB (DVD-5: 4,70 GB)"}));
        QVERIFY(!QFile::exists(tools + "/ran"));
        QCOMPARE(QDir(tools).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"ffmpeg", "ffprobe"}));

        // Without the burn: a warning, and the encode starts.
        view->setBurnAfterISO(false);
        view->startConversion();
        QTRY_VERIFY(QFile::exists(tools + "/ran"));
        QVERIFY(view->isRunning());
        QCOMPARE(logLines(*view).mid(0, 2),
                 (QStringList{"Warnung: Das Abbild wird voraussichtlich 5,68 GB groß und passt "
                              "nicht auf eine DVD-5 (4,70 GB).",
                              "Voraussichtliche Größe: 5,68 GB (DVD-5: 4,70 GB)"}));
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QFile::remove(tools + "/ran");

        // On a DVD-9 it fits, and "Passend" fits it on the DVD-5: both burning chains start.
        view->setBurnAfterISO(true);
        view->settings().setValue(Setting::discSize, 1);
        view->startConversion();
        QTRY_VERIFY(QFile::exists(tools + "/ran"));
        QCOMPARE(newestLine(*view), "Voraussichtliche Größe: 5,68 GB (DVD-9: 8,54 GB)");
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QFile::remove(tools + "/ran");
        view->settings().setValue(Setting::discSize, 0);
        view->settings().setValue(Setting::qualityPreset, 3);
        view->startConversion();
        QTRY_VERIFY(QFile::exists(tools + "/ran"));
        QVERIFY(
            QRegularExpression("^Voraussichtliche Größe: 4,(5[6-9]|6\\d) GB \\(DVD-5: 4,70 GB\\)$")
                .match(logLines(*view).at(0))
                .hasMatch());
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    // Even the lowest rate of "Passend" overflows the disc: refused after the probe.
    void passendRefusesAFilmTooLong() {
        const QString tools = folder("too-long");
        QFile::link("/usr/bin/ffprobe", tools + "/ffprobe");
        writeScript(m_dir, "too-long/ffmpeg",
                    QStringLiteral("touch '%1/ran'\nexec sleep 30").arg(tools));
        const QString film = makeClip(m_dir, "Sechs Stunden.mkv",
                                      {"-f", "lavfi", "-i", "color=c=black:s=64x64:r=1:d=21600",
                                       "-c:v", "libx264", "-preset", "ultrafast"});
        auto view = window();
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->settings().setValue(Setting::qualityPreset, 3);
        view->settings().setValue(Setting::discSize, 0);
        view->applySource(film);
        view->applyDestination(tools + "/Film.mpg");
        view->startConversion();
        QTRY_VERIFY(!view->isRunning());
        QCOMPARE(view->statusText(), "Fehler ❌ Der Film ist mit 6:00 h zu lang für eine DVD-5.");
        QVERIFY(!QFile::exists(tools + "/ran"));

        // Six hours fit a DVD-9.
        view->settings().setValue(Setting::discSize, 1);
        view->startConversion();
        QTRY_VERIFY(QFile::exists(tools + "/ran"));
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    // A destination without room for what the run writes refuses before any tool starts: a
    // 2 MiB tmpfs mounted in a mount namespace of this test's own (a user namespace makes that
    // possible without root), in which this test program runs this function once more.
    void fullDestinationRefusesBeforeAnyTool() {
        const QByteArray mounted = qgetenv("KESTRIN_TMPFS");
        if (mounted.isEmpty()) {
            QTemporaryDir mountPoint;
            const ProgramRun inner = runProgram("unshare",
                                                {"--user", "--map-root-user", "--mount",
                                                 QCoreApplication::applicationFilePath(),
                                                 "fullDestinationRefusesBeforeAnyTool"},
                                                {{"KESTRIN_TMPFS", mountPoint.path()}});
            QVERIFY2(inner.exitCode == 0, inner.output + inner.errorOutput.toUtf8());
            QVERIFY2(inner.output.contains("PASS   : WindowWorkflowTest::"
                                           "fullDestinationRefusesBeforeAnyTool()"),
                     inner.output);
            return;
        }
        const QString full = QString::fromUtf8(mounted);
        if (runProgram("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", full}).exitCode != 0)
            QFAIL("A small tmpfs cannot be mounted here (unshare --user --map-root-user --mount, "
                  "then mount -t tmpfs; user namespaces may be switched off)");
        const auto entries = [&] {
            return QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        // Named after the first folder the run writes to on the full file system.
        const QRegularExpression refusal(
            "^Fehler ❌ Nicht genug Speicherplatz in " + QRegularExpression::escape(full) +
            "(/Vorlage_DVD)?: benötigt (\\d+,\\d) MB, frei (\\d,\\d) MB\\.$");
        auto view = window();

        // Start: the MPEG file, the DVD folder and the image of two seconds, about 6 MB.
        view->applySource(m_clip);
        view->applyDestination(full + "/Reise.mpg");
        view->startConversion();
        QTRY_VERIFY(!view->isRunning());
        QRegularExpressionMatch match = refusal.match(view->statusText());
        QVERIFY2(match.hasMatch(), qPrintable(view->statusText()));
        QCOMPARE(match.captured(1), QString());
        QCOMPARE(match.captured(3), "2,1");
        QCOMPARE(newestLine(*view), view->statusText());
        QCOMPARE(entries(), QStringList());

        // "VIDEO_TS erstellen": an MPEG file that fits, but not its DVD folder beside it.
        QVERIFY(QFile::copy(m_mpg, full + "/Vorlage.mpg"));
        view->applyDestination(full + "/Vorlage.mpg");
        view->startVideoTSRun();
        QVERIFY(!view->isRunning());
        QVERIFY2(refusal.match(view->statusText()).hasMatch(), qPrintable(view->statusText()));
        QCOMPARE(entries(), QStringList{"Vorlage.mpg"});
        QVERIFY(runningTools().isEmpty());

        // "ISO erstellen": a DVD folder elsewhere, its image onto the full file system.
        const QString out = folder("full-iso");
        QVERIFY(QFile::copy(m_mpg, out + "/V.mpg"));
        view->applyDestination(out + "/V.mpg");
        view->setCreateISOAfterVideoTS(false);
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QVERIFY2(view->dvdFolderURL(), qPrintable(view->statusText()));
        view->applyISODestination(full + "/V.iso");
        view->startISORun();
        QVERIFY(!view->isRunning());
        QVERIFY2(refusal.match(view->statusText()).hasMatch(), qPrintable(view->statusText()));
        QCOMPARE(entries(), QStringList{"Vorlage.mpg"});
    }

    void pauseResumeAndAbortWhilePaused() {
        auto view = window();
        view->applySource(m_longClip);
        view->applyDestination(m_dir.filePath("pause.mpg"));
        view->setCreateVideoTSAfterConvert(false);
        view->startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(view->progress() > 0.02, 20000);
        QCOMPARE(runningTools().size(), 1);
        const qint64 pid = runningTools().first();

        view->togglePause();
        QVERIFY(view->isPaused());
        QCOMPARE(view->statusText(), "Pausiert.");
        QTRY_COMPARE(processState(pid), 'T');
        QTest::qWait(300);
        const double paused = view->progress();
        QTest::qWait(500);
        QCOMPARE(view->progress(), paused);

        view->togglePause();
        QCOMPARE(view->statusText(), "Fortgesetzt…");
        QTRY_VERIFY(processState(pid) != 'T');

        view->togglePause();
        QTRY_COMPARE(processState(pid), 'T');
        view->abortRun();
        QCOMPARE(view->statusText(), "Abgebrochen.");
        QVERIFY(!view->isPaused() && !view->isRunning());
        QTRY_VERIFY(!processExists(pid));
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QCOMPARE(view->statusText(), "Abgebrochen.");
    }

    // Pause and abort during the image reach the image tool and the program it runs.
    void pauseAndAbortReachTheImageTool() {
        const QString fakes = folder("fake-genisoimage");
        writeScript(m_dir, "fake-genisoimage/genisoimage", "exec sleep 30");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", fakes.toUtf8() + ":" + path);
        const QString out = folder("paused-image");
        QVERIFY(QFile::copy(m_mpg, out + "/P.mpg"));
        auto view = window();
        view->applyDestination(out + "/P.mpg");
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(
            view->currentPhaseLabel() == "Erstellen" && view->statusText() == "Erzeuge ISO…" &&
                runningTools().size() == 1 && childProcesses(runningTools().first()).size() == 1,
            60000);
        qputenv("PATH", path);
        const qint64 hdiutil = runningTools().first();
        const qint64 genisoimage = childProcesses(hdiutil).first();

        view->togglePause();
        QTRY_COMPARE(processState(hdiutil), 'T');
        QTRY_COMPARE(processState(genisoimage), 'T');
        view->togglePause();
        QTRY_VERIFY(processState(genisoimage) != 'T');
        view->abortRun();
        QTRY_VERIFY(!processExists(genisoimage) && !processExists(hdiutil));
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"P.mpg"});
    }

    // An aborted, failed or abandoned encode leaves no file under the MPEG file's name, and an
    // older complete one stays.
    void onlyCompleteFilesUnderTheirNames() {
        const QString out = folder("complete");
        const QString mpg = out + "/Lang_PAL_DVD.mpg";
        writeFile(mpg, "older, complete");
        auto view = window();
        view->applySource(m_longClip);
        view->applyDestination(mpg);
        view->setCreateVideoTSAfterConvert(false);
        view->startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(view->progress() > 0.02, 20000);
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QCOMPARE(readAll(mpg), "older, complete");
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"Lang_PAL_DVD.mpg"});

        // Quitting during the encode: the tool and the pending file go with the window.
        view->startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(view->progress() > 0.02, 20000);
        const qint64 pid = runningTools().first();
        view.reset();
        QVERIFY(!processExists(pid));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"Lang_PAL_DVD.mpg"});
        QCOMPARE(readAll(mpg), "older, complete");

        // A complete encode replaces the older file.
        view = window();
        view->applySource(m_clip);
        view->applyDestination(mpg);
        view->setCreateVideoTSAfterConvert(false);
        view->startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fertig ✅");
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"Lang_PAL_DVD.mpg"});
        QVERIFY(QFileInfo(mpg).size() > 100000);
    }

    void abortDuringAuthoringIsNoError() {
        auto view = window();
        view->applyDestination(m_mpg);
        view->settings().setValue(Setting::dvdauthorPath,
                                  writeScript(m_dir, "dvdauthor-slow", "exec sleep 30"));
        view->startVideoTSRun();
        QCOMPARE(newestLine(*view), "Erstelle VIDEO_TS Ordner.");
        // The pulse: two dots at once, then one more a second, wrapping after three.
        QTRY_COMPARE_WITH_TIMEOUT(newestLine(*view), "Erstelle VIDEO_TS Ordner..", 500);
        QTRY_COMPARE_WITH_TIMEOUT(newestLine(*view), "Erstelle VIDEO_TS Ordner...", 1500);
        QTRY_COMPARE_WITH_TIMEOUT(newestLine(*view), "Erstelle VIDEO_TS Ordner.", 1500);
        QTRY_COMPARE(runningTools().size(), 1);
        view->abortRun();
        QCOMPARE(newestLine(*view), "Erstelle VIDEO_TS Ordner.");
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QCOMPARE(view->statusText(), "Abgebrochen.");
        QCOMPARE(view->currentPhaseLabel(), "Start");
        QCOMPARE(logLines(*view).at(1), "Erstelle VIDEO_TS Ordner.");
        QVERIFY(!view->logText().contains("Fehler"));
    }

    void endingOfAnAbortedRunLeavesTheNewRunAlone() {
        const QString out = folder("replaced");
        QVERIFY(QFile::copy(m_mpg, out + "/R.mpg"));
        auto view = window();
        view->applyDestination(out + "/R.mpg");
        view->setCreateISOAfterVideoTS(false);
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(view->dvdFolderURL(), 60000);
        // dvdauthor that ignores the abort for a moment, so that its run ends after the next began.
        view->settings().setValue(
            Setting::dvdauthorPath,
            writeScript(m_dir, "dvdauthor-stubborn", "trap '' TERM\nsleep 1\nexit 0"));
        view->settings().setValue(Setting::hdiutilPath,
                                  writeScript(m_dir, "hdiutil-slow", "exec sleep 3"));
        view->startVideoTSRun();
        QTRY_COMPARE(runningTools().size(), 1);
        view->abortRun();
        view->startISORun();
        QCOMPARE(view->statusText(), "ISO erstellen…");
        QTest::qWait(1500); // the aborted run has ended meanwhile
        QVERIFY(view->isRunning());
        QCOMPARE(view->statusText(), "ISO erstellen…");
        QCOMPARE(view->currentPhaseLabel(), "ISO erstellen");
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    void logSaveAndClearReachEveryWindow() {
        auto first = window();
        auto second = window();
        first->appendLog("Fertig ✅ eins");
        second->appendLog("Fertig ✅ zwei");

        const QString target = m_dir.filePath("Kestrin_Log.txt");
        m_files.toSave = target;
        m_files.asked = 0;
        Notifications::defaultCenter().post("Kestrin.Log.Save");
        QCOMPARE(m_files.asked, 2);
        QCOMPARE(first->statusText(), "Log gespeichert ✅");
        QCOMPARE(readAll(target), "Fertig ✅ zwei\n"); // the second window saved last

        m_files.toSave = m_dir.filePath("no/such/folder/log.txt");
        first->saveLog();
        QCOMPARE(first->statusText(), "Fehler ❌ Log konnte nicht gespeichert werden");
        QCOMPARE(first->logText(), "Fertig ✅ eins\n");

        m_files.asked = 0;
        ContentView empty(m_files);
        empty.saveLog();
        QCOMPARE(m_files.asked, 0);

        Notifications::defaultCenter().post("Kestrin.Log.Clear");
        QCOMPARE(first->logText(), "");
        QCOMPARE(second->logText(), "");
    }
};

QTEST_GUILESS_MAIN(WindowWorkflowTest)
#include "tst_window_workflow.moc"
