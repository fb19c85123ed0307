// The main window's workflow driven through its operations, with the real tools: encode, the
// chain to VIDEO_TS, ISO and a burn onto a libburn stdio file, the stage buttons, failures,
// pause, resume and abort.
#include "AwaitTask.h"
#include "ContentView.h"
#include "TestFiles.h"
#include "platform/Notifications.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <csignal>

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

// Everything the window showed while it ran, each change once.
struct Seen {
    QStringList statuses;
    QStringList phases;

    explicit Seen(ContentView& view) {
        QObject::connect(&view, &ContentView::changed, [this, &view] {
            if (statuses.isEmpty() || statuses.last() != view.statusText)
                statuses << view.statusText;
            if (phases.isEmpty() || phases.last() != view.currentPhaseLabel)
                phases << view.currentPhaseLabel;
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

} // namespace

class WindowWorkflowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;
    QString m_longClip;
    ChosenFiles m_files;

    // A window with the real tools, burning onto a stdio file.
    std::unique_ptr<ContentView> window(const QString& disc = {}) {
        auto view = std::make_unique<ContentView>(m_files);
        view->settings.setFfmpegPath("/usr/bin/ffmpeg");
        view->settings.setDvdauthorPath("/usr/bin/dvdauthor");
        view->settings.setHdiutilPath(QStringLiteral(KESTRIN_HDIUTIL));
        view->settings.setEraseBeforeBurn(false);
        view->settings.setVerifyAfterBurn(false);
        view->service.setBurnerBackend(
            makeLibburnBackend("stdio:" + (disc.isEmpty() ? m_dir.filePath("disc.img") : disc)));
        view->checkTools();
        return view;
    }

    void waitForEnd(ContentView& view, int timeoutMs = 120000) {
        QTRY_VERIFY_WITH_TIMEOUT(!view.isRunning(), timeoutMs);
        QTest::qWait(200); // the run's last scheduled jobs
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
    }

    void newWindowDefaults() {
        const QString config = m_dir.filePath("config/Kestrin/Kestrin.conf");
        QFile::remove(config);
        ContentView view(m_files);
        QCOMPARE(view.statusText, "Bereit.");
        QCOMPARE(view.isoVolumeName, "DVD_VIDEO");
        QVERIFY(view.createVideoTSAfterConvert && view.createISOAfterVideoTS && !view.burnAfterISO);
        QCOMPARE(view.settings.ffmpegPath(), "/usr/bin/ffmpeg");
        QCOMPARE(view.settings.dvdauthorPath(), "/usr/bin/dvdauthor");
        QVERIFY(view.settings.hdiutilPath().endsWith("/hdiutil"));
        QCOMPARE(view.settings.aspectMode(), 0);
        QCOMPARE(view.settings.audioStreamIndexStored(), -1);
        QCOMPARE(view.settings.qualityPreset(), 0);
        QVERIFY(!view.settings.verifyAfterBurn() && !view.settings.eraseBeforeBurn());
        QVERIFY(!view.settings.isoSectionExpanded());
        QVERIFY(!QFile::exists(config)); // nothing is written at creation

        // Another window (the settings window) sees a change at once.
        StoredSettings other;
        other.setFfmpegPath("/opt/ffmpeg");
        QCOMPARE(view.settings.ffmpegPath(), "/opt/ffmpeg");
        view.setBurnAfterISO(true);
        QVERIFY(other.isoSectionExpanded());
        QSettings raw("Kestrin", "Kestrin");
        QCOMPARE(raw.value("tool.ffmpegPath").toString(), "/opt/ffmpeg");
        QCOMPARE(raw.value("ui.isoSectionExpanded").toBool(), true);
    }

    void toolsCheckAndAudioStreams() {
        auto view = window();
        QVERIFY(view->toolsOK);
        QCOMPARE(view->statusText, "Bereit.");

        view->sourceURL = m_clip;
        view->settings.setAudioStreamIndexStored(1);
        await(view->reloadAudioStreams());
        QCOMPARE(view->audioStreams.size(), 1);
        QCOMPARE(view->audioStreams[0].index, 1);
        QCOMPARE(view->settings.audioStreamIndexStored(), 1);
        QTRY_VERIFY(!view->isLoadingAudioStreams);

        view->settings.setAudioStreamIndexStored(3);
        view->applyAudioStreams({{1, {}, {}, {}, {}}, {2, {}, {}, {}, {}}});
        QCOMPARE(view->settings.audioStreamIndexStored(), -1);
        view->settings.setAudioStreamIndexStored(-2);
        view->applyAudioStreams({});
        QCOMPARE(view->settings.audioStreamIndexStored(), -2);

        view->settings.setDvdauthorPath(m_dir.filePath("missing/dvdauthor"));
        view->checkTools();
        QVERIFY(!view->toolsOK);
        QVERIFY(view->showMissingToolsAlert);
        QCOMPARE(view->statusText, "Tools fehlen ❌");
        QVERIFY(view->missingToolsMessage.contains(
            "• dvdauthor (" + m_dir.filePath("missing/dvdauthor") + ")\n\nInstallation (apt):"));
        await(view->reloadAudioStreams());
        QVERIFY(view->audioStreams.isEmpty());
    }

    void chainedRunFromVideoToDisc() {
        const QString disc = m_dir.filePath("chained-disc.img");
        QFile(disc).open(QIODevice::WriteOnly);
        auto view = window(disc);
        view->settings.setVerifyAfterBurn(true);
        view->sourceURL = m_clip;
        view->destinationURL = m_dir.filePath("Reise_PAL_DVD.mpg");
        view->setBurnAfterISO(true);
        Seen seen(*view);

        view->startConversion();
        QCOMPARE(view->statusText, "Kodieren…");
        QCOMPARE(view->currentPhaseLabel, "Kodieren");
        QVERIFY(view->isRunning());
        QVERIFY(QRegularExpression("^Kodiere Datei\\. Startzeit: \\S+ Uhr\\.$")
                    .match(newestLine(*view))
                    .hasMatch());
        waitForEnd(*view);

        QCOMPARE(view->statusText, "Fertig ✅");
        QCOMPARE(newestLine(*view), "Fertig ✅");
        QCOMPARE(view->progress, 1.0);
        QCOMPARE(view->currentPhaseLabel, "Start");
        QVERIFY2(
            inOrder(seen.phases, {"Kodieren", "Erstellen", "ISO erstellen", "Brennen", "Start"}),
            qPrintable(seen.phases.join(" | ")));
        QVERIFY2(
            inOrder(seen.statuses, {"Kodieren…", "Erzeuge VIDEO_TS…", "Erzeuge ISO…", "Fertig ✅"}),
            qPrintable(seen.statuses.join(" | ")));
        QCOMPARE(view->dvdFolderURL, m_dir.filePath("Reise_PAL_DVD_DVD"));
        QCOMPARE(view->isoURL, m_dir.filePath("Reise_PAL_DVD_DVD.iso"));
        QCOMPARE(readAll(disc), readAll(*view->isoURL));

        // Oldest first: the start, each stage's pulse line, the burn's texts, the end.
        QStringList lines = logLines(*view);
        std::reverse(lines.begin(), lines.end());
        QVERIFY(lines.first().startsWith("Kodiere Datei. Startzeit: "));
        const auto pulse = [&](const QString& base) {
            return lines.indexOf(QRegularExpression("^" + base + "\\.{1,3}$"));
        };
        QVERIFY(pulse("Erstelle VIDEO_TS Ordner") > 0);
        QVERIFY(pulse("Erstelle ISO") > pulse("Erstelle VIDEO_TS Ordner"));
        QVERIFY(pulse("Prüfe gebrannte DVD") > pulse("Erstelle ISO"));
        QVERIFY(lines.contains("Brennen abgeschlossen."));
        QCOMPARE(lines.last(), "Fertig ✅");
        QVERIFY(!lines.contains("Fertig ✅ VIDEO_TS erstellt: " + *view->dvdFolderURL));
    }

    void stageButtons() {
        auto view = window();
        view->destinationURL = m_dir.filePath("Stage.mpg");
        QVERIFY(QFile::copy(m_dir.filePath("Reise_PAL_DVD.mpg"), *view->destinationURL));
        view->createISOAfterVideoTS = false;
        view->burnAfterISO = true; // needs the ISO step, so it does not burn

        view->startVideoTSRun();
        QCOMPARE(view->statusText, "Erstellen…");
        QCOMPARE(view->currentPhaseLabel, "Erstellen");
        waitForEnd(*view);
        const QString folder = m_dir.filePath("Stage_DVD");
        QCOMPARE(view->statusText, "Fertig ✅ VIDEO_TS erstellt: " + folder);
        QCOMPARE(newestLine(*view), view->statusText);
        QCOMPARE(view->currentPhaseLabel, "Erstellen");
        QCOMPARE(view->dvdFolderURL, folder);

        view->isoVolumeName = "";
        view->startISORun();
        QCOMPARE(view->currentPhaseLabel, "ISO erstellen");
        waitForEnd(*view);
        QCOMPARE(view->statusText, "Fertig ✅ ISO erstellt: " + folder + ".iso");
        QVERIFY(QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", folder + ".iso"}))
                    .contains("Volume id: Stage_DVD"));

        // The ISO location stays the target of the next image.
        view->isoURL = m_dir.filePath("Anders.img");
        view->startISORun();
        waitForEnd(*view);
        QCOMPARE(view->isoURL, m_dir.filePath("Anders.iso"));
        QVERIFY(QFile::exists(m_dir.filePath("Anders.iso")));

        view->startBurnRun();
        QCOMPARE(view->statusText, "Brennen…");
        waitForEnd(*view);
        QCOMPARE(view->statusText, "Fertig ✅ Brennvorgang gestartet/abgeschlossen.");
        QCOMPARE(view->currentPhaseLabel, "Start");
        QCOMPARE(view->progress, 1.0);
        QCOMPARE(readAll(m_dir.filePath("disc.img")), readAll(m_dir.filePath("Anders.iso")));

        // A button without its input does nothing.
        view->dvdFolderURL.reset();
        view->startISORun();
        QVERIFY(!view->isRunning());
    }

    void failuresSayWhy() {
        auto view = window();
        view->sourceURL = m_clip;
        view->destinationURL = m_dir.filePath("fail.mpg");

        view->settings.setFfmpegPath(m_dir.filePath("nowhere/ffmpeg"));
        view->startConversion();
        waitForEnd(*view);
        const QString missing = "Fehler ❌ Tool nicht gefunden oder nicht ausführbar: " +
                                m_dir.filePath("nowhere/ffmpeg");
        QCOMPARE(view->statusText, missing);
        QCOMPARE(newestLine(*view), missing);
        view->settings.setFfmpegPath("/usr/bin/ffmpeg");

        QFile text(m_dir.filePath("liste.mp4"));
        text.open(QIODevice::WriteOnly);
        text.write("Milch, Brot\n");
        text.close();
        view->sourceURL = text.fileName();
        view->startConversion();
        waitForEnd(*view);
        QVERIFY2(view->statusText.startsWith("Fehler ❌ ffprobe Analyse fehlgeschlagen: "),
                 qPrintable(view->statusText));

        // A tool that fails with a reason: the reason goes to the log just before the error.
        view->dvdFolderURL = m_dir.filePath("Reise_PAL_DVD_DVD");
        view->settings.setHdiutilPath(
            writeScript(m_dir, "hdiutil-fails",
                        "echo 'working' ; echo '/Out/x.iso: Permission denied' >&2; exit 3"));
        view->startISORun();
        waitForEnd(*view);
        QCOMPARE(view->statusText, "Fehler ❌ Vorgang fehlgeschlagen (Exit Code 3).");
        QCOMPARE(logLines(*view).mid(0, 2),
                 (QStringList{"Fehler ❌ Vorgang fehlgeschlagen (Exit Code 3).",
                              "Fehlerursache: /Out/x.iso: Permission denied"}));
        QVERIFY(logLines(*view).at(2).startsWith("Erstelle ISO."));
        QCOMPARE(view->currentPhaseLabel, "ISO erstellen");
    }

    void abortDuringEncode() {
        auto view = window();
        view->sourceURL = m_longClip;
        view->destinationURL = m_dir.filePath("lang.mpg");
        view->startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(view->progress > 0, 20000);
        qint64 pid = 0;
        {
            std::lock_guard lock(view->service.processLock);
            pid = view->service.currentProcess->processId();
        }
        view->abortRun();
        QCOMPARE(view->statusText, "Abgebrochen.");
        QVERIFY(!view->isRunning());
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QCOMPARE(view->statusText, "Abgebrochen.");
        QTRY_VERIFY(!processExists(pid));
    }

    void pauseResumeAndAbortWhilePaused() {
        auto view = window();
        view->sourceURL = m_longClip;
        view->destinationURL = m_dir.filePath("pause.mpg");
        view->createVideoTSAfterConvert = false;
        view->startConversion();
        QTRY_VERIFY_WITH_TIMEOUT(view->progress > 0.02, 20000);
        const qint64 pid = view->service.currentProcess->processId();

        view->togglePause();
        QVERIFY(view->isPaused);
        QCOMPARE(view->statusText, "Pausiert.");
        QTRY_COMPARE(processState(pid), 'T');
        QTest::qWait(300);
        const double paused = view->progress;
        QTest::qWait(500);
        QCOMPARE(view->progress, paused);

        view->togglePause();
        QCOMPARE(view->statusText, "Fortgesetzt…");
        QTRY_VERIFY(processState(pid) != 'T');
        QTRY_VERIFY_WITH_TIMEOUT(view->progress >= 0.1, 30000);
        QTRY_VERIFY(view->statusText.startsWith("Starte… Fertig um: "));
        QVERIFY(logLines(*view)
                    .filter(QRegularExpression("^Voraussichtliches Ende um: .+ Uhr\\.$"))
                    .size() == 1);

        view->togglePause();
        QTRY_COMPARE(processState(pid), 'T');
        view->abortRun();
        QVERIFY(!view->isPaused);
        QTRY_VERIFY(!processExists(pid));
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    void abortDuringAuthoringIsNoError() {
        auto view = window();
        view->destinationURL = m_dir.filePath("Reise_PAL_DVD.mpg");
        view->settings.setDvdauthorPath(writeScript(m_dir, "dvdauthor-slow", "exec sleep 30"));
        view->startVideoTSRun();
        QCOMPARE(newestLine(*view), "Erstelle VIDEO_TS Ordner.");
        // The pulse: two dots at once, then one more a second, wrapping after three.
        QTRY_COMPARE_WITH_TIMEOUT(newestLine(*view), "Erstelle VIDEO_TS Ordner..", 500);
        QTRY_COMPARE_WITH_TIMEOUT(newestLine(*view), "Erstelle VIDEO_TS Ordner...", 1500);
        QTRY_COMPARE_WITH_TIMEOUT(newestLine(*view), "Erstelle VIDEO_TS Ordner.", 1500);
        QTRY_VERIFY(view->service.currentProcess);
        view->abortRun();
        QCOMPARE(newestLine(*view), "Erstelle VIDEO_TS Ordner.");
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QCOMPARE(view->statusText, "Abgebrochen.");
        QCOMPARE(view->currentPhaseLabel, "Start");
        QCOMPARE(logLines(*view).at(1), "Erstelle VIDEO_TS Ordner.");
        QVERIFY(!view->logText().contains("Fehler"));
    }

    void endingOfAnAbortedRunLeavesTheNewRunAlone() {
        auto view = window();
        view->destinationURL = m_dir.filePath("Reise_PAL_DVD.mpg");
        view->dvdFolderURL = m_dir.filePath("Reise_PAL_DVD_DVD");
        // dvdauthor that ignores the abort for a moment, so that its run ends after the next began.
        view->settings.setDvdauthorPath(
            writeScript(m_dir, "dvdauthor-stubborn", "trap '' TERM\nsleep 1\nexit 0"));
        view->settings.setHdiutilPath(writeScript(m_dir, "hdiutil-slow", "exec sleep 3"));
        view->startVideoTSRun();
        QTRY_VERIFY(view->service.currentProcess);
        view->abortRun();
        view->startISORun();
        QCOMPARE(view->statusText, "ISO erstellen…");
        QTest::qWait(1500); // the aborted run has ended meanwhile
        QVERIFY(view->isRunning());
        QCOMPARE(view->statusText, "ISO erstellen…");
        QCOMPARE(view->currentPhaseLabel, "ISO erstellen");
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
        QCOMPARE(first->statusText, "Log gespeichert ✅");
        QCOMPARE(readAll(target), "Fertig ✅ zwei\n"); // the second window saved last

        m_files.toSave = m_dir.filePath("no/such/folder/log.txt");
        first->saveLog();
        QCOMPARE(first->statusText, "Fehler ❌ Log konnte nicht gespeichert werden");
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
