// The main window's workflow: what its controls put into the run they start, and how the window
// shows what a run reports. The chain itself is checked at the service; here the tools are the
// real ffprobe and stand-ins that hang, fail or report on demand.
#include "ChosenFiles.h"
#include "ContentView.h"
#include "ScriptedBurner.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

using namespace testing;

namespace {

class SetClock : public Clock {
public:
    QDateTime moment{QDate(2026, 12, 6), QTime(10, 0, 0)};
    QDateTime now() const override { return moment; }
};

QStringList logLines(const ContentView& view) {
    return view.logText().split(u'\n', Qt::SkipEmptyParts);
}

// The tools this test program runs at the moment, and every program those run.
QList<qint64> runningTools() {
    QList<qint64> tools = childProcesses(QCoreApplication::applicationPid());
    for (qsizetype i = 0; i < tools.size(); ++i)
        tools += childProcesses(tools[i]);
    return tools;
}

// The request of the run the window has just started, which it then aborts.
RunRequest startedRequest(ContentView& view) {
    const auto* run = view.findChild<DiscRun*>();
    const RunRequest request = run ? run->request() : RunRequest{};
    view.abortRun();
    return request;
}

} // namespace

class WindowWorkflowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    ChosenFiles m_files;

    // A window whose tools hang until they are ended, with the real ffprobe beside its ffmpeg.
    std::unique_ptr<ContentView> window(const Clock& clock = Clock::system()) {
        QSettings("Kestrin", "Kestrin").clear();
        auto view = std::make_unique<ContentView>(m_files, clock);
        const QString hang = writeScript(m_dir, "tools/hang", "exec sleep 30");
        view->settings().setValue(Setting::ffmpegPath, m_dir.filePath("tools/ffmpeg"));
        view->settings().setValue(Setting::dvdauthorPath, hang);
        view->settings().setValue(Setting::genisoimagePath, hang);
        view->checkTools();
        return view;
    }

    void useTool(ContentView& view, const SettingKey<QString>& tool, const QString& script) {
        view.settings().setValue(tool, writeScript(m_dir, "tools/" + tool.name, script));
    }

    // A DVD folder from an empty MPEG file, made by a dvdauthor that only succeeds.
    void makeDvdFolder(ContentView& view, const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        const QString mpg = m_dir.filePath(name + "/V.mpg");
        QFile(mpg).open(QIODevice::WriteOnly);
        const QString hang = view.settings().value(Setting::dvdauthorPath);
        useTool(view, Setting::dvdauthorPath, "exit 0");
        view.applyDestination(mpg);
        view.setCreateISOAfterVideoTS(false);
        view.startVideoTSRun();
        QTRY_VERIFY(view.dvdFolderURL() && !view.isRunning());
        view.settings().setValue(Setting::dvdauthorPath, hang);
        view.setCreateISOAfterVideoTS(true);
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        m_clip = makeClip(m_dir, "Reise.mp4",
                          {"-f", "lavfi", "-i", "testsrc2=s=160x90:r=25:d=60", "-f", "lavfi", "-i",
                           "sine=d=60", "-c:v", "libx264", "-preset", "ultrafast"});
        QDir(m_dir.path()).mkpath("tools");
        QFile::link("/usr/bin/ffprobe", m_dir.filePath("tools/ffprobe"));
        // The content sampling before the encode ends at once; the encode hangs.
        writeScript(m_dir, "tools/ffmpeg", "case \"$*\" in *idet*) exit 0;; esac\nexec sleep 30");
    }

    void cleanup() { QTRY_VERIFY(runningTools().isEmpty()); }

    // Each button with the chain toggles (v VIDEO_TS, i ISO, b burn): the stages of the run it
    // starts and its files: what the first stage reads, the MPEG file, the chosen image.
    void buttonsAndTogglesReachTheRun_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("toggles");
        QTest::addColumn<QString>("run");
        const auto row = [](const char* name, const char* button, const char* toggles,
                            const char* run) { QTest::newRow(name) << button << toggles << run; };
        row("Start, whole chain", "Start", "vib", "Kodieren-Brennen S M I");
        row("Start, MPEG file only", "Start", "ib", "Kodieren-Kodieren S M I");
        row("Start, no image", "Start", "vb", "Kodieren-VIDEO_TS S M I");
        row("Start, no burn", "Start", "vi", "Kodieren-ISO S M I");
        row("VIDEO_TS, whole chain", "VIDEO_TS", "vib", "VIDEO_TS-Brennen M M I");
        row("VIDEO_TS only", "VIDEO_TS", "b", "VIDEO_TS-VIDEO_TS M M I");
        row("ISO, burn toggled", "ISO", "vib", "ISO-ISO F F I");
        row("burn", "Brennen", "", "Brennen-Brennen I I I");
    }
    void buttonsAndTogglesReachTheRun() {
        QFETCH(QString, button);
        QFETCH(QString, toggles);
        QFETCH(QString, run);
        auto view = window();
        view->applySource(m_clip);
        makeDvdFolder(*view, QTest::currentDataTag());
        view->applyISODestination(m_dir.filePath("I.iso"));
        view->setCreateVideoTSAfterConvert(toggles.contains('v'));
        view->setCreateISOAfterVideoTS(toggles.contains('i'));
        view->setBurnAfterISO(toggles.contains('b'));
        button == "Start"      ? view->startConversion()
        : button == "VIDEO_TS" ? view->startVideoTSRun()
        : button == "ISO"      ? view->startISORun()
                               : view->startBurnRun();
        const RunRequest request = startedRequest(*view);
        const QMap<QString, QString> letters{{*view->sourceURL(), "S"},
                                             {*view->destinationURL(), "M"},
                                             {*view->dvdFolderURL(), "F"},
                                             {*view->isoURL(), "I"}};
        QCOMPARE(QStringList({stageTitle(request.from) + "-" + stageTitle(request.until),
                              letters.value(request.input), letters.value(request.mpg),
                              letters.value(request.isoTarget.value_or("-"), "-")})
                     .join(' '),
                 run);
    }

    // The options, the audio stream chosen, the disc's name and the tools reach the run.
    void choicesReachTheRun() {
        auto view = window();
        view->applySource(m_clip);
        QTRY_VERIFY(!view->isLoadingAudioStreams());
        view->applyAudioStreams({{3, {}, {}, {}, {}}, {5, {}, {}, {}, {}}});
        StoredSettings& settings = view->settings();
        settings.setValue(Setting::audioStreamIndex, 5);
        settings.setValue(Setting::aspectMode, 1);
        settings.setValue(Setting::qualityPreset, 3);
        settings.setValue(Setting::discSize, 1);
        settings.setValue(Setting::eraseBeforeBurn, true);
        settings.setValue(Setting::verifyAfterBurn, true);
        view->setIsoVolumeName("Straße");
        view->startConversion();
        const RunRequest r = startedRequest(*view);
        QCOMPARE(
            QVariantList({r.encode.audioStreamIndex.value_or(-1),
                          r.encode.widescreen.value_or(false), r.encode.fillsDisc,
                          r.encode.disc.name, r.eraseBeforeBurn, r.verifyAfterBurn, r.volumeName}),
            QVariantList({1, true, true, "DVD-9", true, true, "STRASSE"}));
        QCOMPARE(QStringList({r.tools.ffmpeg, r.tools.dvdauthor, r.tools.genisoimage}),
                 QStringList({settings.value(Setting::ffmpegPath),
                              settings.value(Setting::dvdauthorPath),
                              settings.value(Setting::genisoimagePath)}));
    }

    // The burn's states decide the phase the window shows: erasing, burning, verifying; a burn
    // cannot be paused.
    void burnPhasesFollowTheBurnStates() {
        auto view = window();
        view->settings().setValue(Setting::eraseBeforeBurn, true);
        view->settings().setValue(Setting::verifyAfterBurn, true);
        using enum BurnState;
        const BurnState states[]{preparing,    preparing, trackWrite, trackWrite,
                                 sessionClose, verifying, done};
        const double fractions[]{0.0, 0.005, 0.008, 0.02, 0.5, 0.1, 1.0};
        QList<QList<BurnReport>> polls;
        for (int i = 0; i < 7; ++i)
            polls.append({BurnReport{states[i], fractions[i], {}, {}}});
        view->service().setBurnerBackend(std::make_unique<ScriptedBackend>(polls));
        view->applyISODestination(m_clip);
        QStringList phases;
        QObject::connect(view.get(), &ContentView::changed, view.get(), [&] {
            if (phases.value(phases.size() - 1) != view->currentPhaseLabel())
                phases << view->currentPhaseLabel();
        });
        view->startBurnRun();
        view->togglePause();
        QVERIFY(!view->canPause() && !view->isPaused());
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 20000);
        QCOMPARE(phases, (QStringList{"Löschen", "Brennen", "Überprüfen", "Start"}));
        QCOMPARE(view->statusText(), "Fertig ✅ Brennvorgang abgeschlossen (mit Verify).");
        QCOMPARE(logLines(*view).filter(QRegularExpression("^Brenne auf DVD")).size(), 1);
    }

    // An image run's and a driveless burn's status line, then the top of the log.
    void runEndings_data() {
        QTest::addColumn<QString>("genisoimage");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("made") << "exit 0"
                              << QStringList{"Fertig ✅ ISO erstellt: %1.iso",
                                             "Fertig ✅ ISO erstellt: %1.iso", "Erstelle ISO."};
        QTest::newRow("failed") << "echo '/Out/x.iso: Permission denied' >&2; exit 3"
                                << QStringList{
                                       "Fehler ❌ /Out/x.iso: Permission denied (Exit Code 3)",
                                       "Fehler ❌ Vorgang fehlgeschlagen (Exit Code 3).",
                                       "Fehlerursache: /Out/x.iso: Permission denied",
                                       "Erstelle ISO."};
        QTest::newRow("burn without drive")
            << ""
            << QStringList{"Fehler ❌ Kein Laufwerk gefunden. (Exit Code -1)",
                           "Fehler ❌ Vorgang fehlgeschlagen (Exit Code -1).",
                           "Fehlerursache: Fehler: Kein Laufwerk gefunden."};
    }
    void runEndings() {
        QFETCH(QString, genisoimage);
        QFETCH(QStringList, shown);
        auto view = window();
        useTool(*view, Setting::genisoimagePath, genisoimage);
        makeDvdFolder(*view, QTest::currentDataTag());
        if (genisoimage.isEmpty())
            view->applyISODestination(m_clip); // the stand-in's scan lists no drive
        genisoimage.isEmpty() ? view->startBurnRun() : view->startISORun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 20000);
        shown.replaceInStrings("%1", view->dvdFolderURL().value_or(""));
        QCOMPARE(view->statusText(), shown.first());
        QCOMPARE(logLines(*view)
                     .mid(0, shown.size() - 1)
                     .replaceInStrings(QRegularExpression("\\.+$"), "."),
                 shown.mid(1));
    }

    // A tool the run needs that has gone since the window checked refuses the run, named.
    void runNeedsItsTools() {
        auto view = window();
        useTool(*view, Setting::genisoimagePath, "exit 0");
        QFile::remove(view->settings().value(Setting::genisoimagePath));
        view->applySource(m_clip);
        view->startConversion();
        QVERIFY(!view->isRunning() && view->missingToolsMessage().contains("• genisoimage ("));
    }

    // An ffmpeg that reports its position step by step, each step when the test allows it: the
    // window tells the end the run expects from the clock the test sets, and logs it once.
    void expectedEndAndPause() {
        const QString go = m_dir.filePath("go-");
        SetClock clock;
        auto view = window(clock);
        useTool(*view, Setting::ffmpegPath,
                "case \"$*\" in *idet*) exit 0;; esac\nfor t in 06 30; do\n  while [ ! -e '" + go +
                    "'$t ]; do sleep 0.02; done\n"
                    "  echo \"frame=1 size=    2048kB time=00:00:$t.00 bitrate=1\" >&2\n"
                    "done\nexec sleep 30");
        view->applySource(m_clip); // 60 s
        view->startConversion();
        QCOMPARE(logLines(*view).value(0), "Kodiere Datei. Startzeit: 10:00 Uhr.");
        QTRY_COMPARE(logLines(*view).value(0), "Voraussichtliche Größe: 0,05 GB (DVD-5: 4,70 GB)");
        clock.moment = clock.moment.addSecs(60); // 10:01, a tenth done: nine minutes to go
        QFile(go + "06").open(QIODevice::WriteOnly);
        QTRY_COMPARE(view->statusText(), "Starte… Fertig um: 10:10");
        QCOMPARE(view->progress(), 0.1);
        clock.moment = clock.moment.addSecs(60); // 10:02, half done
        QFile(go + "30").open(QIODevice::WriteOnly);
        QTRY_COMPARE(view->statusText(), "Starte… Fertig um: 10:04");
        QCOMPARE(logLines(*view).filter("Voraussichtliches Ende").size(), 1);
        view->togglePause();
        QCOMPARE(view->statusText(), "Pausiert.");
        view->togglePause();
        QCOMPARE(view->statusText(), "Fortgesetzt…");
        view->abortRun();
        QTRY_COMPARE(logLines(*view).value(0), "Abgebrochen.");
    }

    // A genisoimage that ignores the abort for a moment ends after the next run began.
    void endingOfAnAbortedRunLeavesTheNewRunAlone() {
        auto view = window();
        useTool(*view, Setting::genisoimagePath, "trap '' TERM\nsleep 1\nexit 0");
        makeDvdFolder(*view, "replaced");
        view->startISORun();
        QTRY_VERIFY(!runningTools().isEmpty());
        const qint64 stubborn = runningTools().first();
        view->abortRun();
        useTool(*view, Setting::genisoimagePath, "exec sleep 30");
        view->startISORun();
        QTRY_VERIFY(!processExists(stubborn));
        QTest::qWait(100);
        QVERIFY(view->isRunning());
        QCOMPARE(view->statusText(), "ISO erstellen…");
        view->abortRun();
    }
};

QTEST_GUILESS_MAIN(WindowWorkflowTest)
#include "tst_window_workflow.moc"
