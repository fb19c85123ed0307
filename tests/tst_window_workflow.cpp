// The main window's workflow through its operations: what the controls start, and how the window
// shows what a run reports (stages, burn states, failures, the expected end from a clock the test
// sets, pause), with the real tools where a run must make something.
#include "ChosenFiles.h"
#include "ContentView.h"
#include "ScriptedBurner.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using namespace testing;

namespace {

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

// Oldest first, the pulse lines with one dot.
QStringList oldestFirst(const ContentView& view) {
    QStringList lines = logLines(view);
    std::reverse(lines.begin(), lines.end());
    return lines.replaceInStrings(QRegularExpression("\\.+$"), ".");
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

// The tools this test program runs at the moment, and every program those run.
QList<qint64> runningTools() {
    QList<qint64> tools = childProcesses(QCoreApplication::applicationPid());
    for (qsizetype i = 0; i < tools.size(); ++i)
        tools += childProcesses(tools[i]);
    return tools;
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
        view->settings().setValue(Setting::genisoimagePath, QStringLiteral("/usr/bin/genisoimage"));
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

    // A tool folder with the real ffprobe and an ffmpeg made of this script.
    QString withFfmpeg(const QString& name, const QString& script) {
        const QString tools = folder(name);
        QFile::link("/usr/bin/ffprobe", tools + "/ffprobe");
        writeScript(m_dir, name + "/ffmpeg", script.arg(tools));
        return tools;
    }

    // A clip from ffmpeg's generators; its arguments separated by blanks.
    QString clip(const QString& name, const QString& arguments) {
        return makeClip(m_dir, name, arguments.split(u' '));
    }

    // A copy of the small MPEG file in a folder of its own.
    QString mpgIn(const QString& name) {
        const QString mpg = folder(name) + "/V.mpg";
        QFile::copy(m_mpg, mpg);
        return mpg;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        const QString sources = "-f lavfi -i testsrc2=s=320x180:r=25:d=%1 -f lavfi -i sine=d=%1 ";
        const QString h264 = "-c:v libx264 -preset ultrafast -c:a aac";
        m_clip = clip("Reise.mp4", sources.arg(2) + h264);
        m_longClip = clip("Lang.mp4", sources.arg(60) + h264);
        m_mpg = clip("Vorlage.mpg", sources.arg(2) + "-target pal-dvd -aspect 16:9");
    }

    // The audio streams are read anew for each source: of two chosen quickly, only the read for
    // the second one changes the list and the stored choice, which stays while the source has it.
    void audioStreamsOfTheSource() {
        const QString tools = folder("slow-probe");
        QFile::link("/usr/bin/ffmpeg", tools + "/ffmpeg");
        writeScript(m_dir, "slow-probe/ffprobe",
                    "case \"$*\" in *Reise*) sleep 1;; esac\nexec /usr/bin/ffprobe \"$@\"");
        const QString twoStreams = clip("Zwei.mkv", "-f lavfi -i testsrc2=s=64x64:d=1 -f lavfi -i "
                                                    "sine=d=1 -f lavfi -i sine=d=1 -map 0 -map 1 "
                                                    "-map 2 -c:v mpeg4");
        auto view = window();
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->settings().setValue(Setting::audioStreamIndex, 2);
        view->applySource(m_clip);
        view->applySource(twoStreams);
        QTRY_VERIFY(runningTools().isEmpty()); // the slow first read has ended too
        QTest::qWait(100);
        QVERIFY(!view->isLoadingAudioStreams());
        QCOMPARE(view->audioStreams().size(), 2);
        QCOMPARE(view->audioStreams()[1].index, 2);
        QCOMPARE(view->settings().value(Setting::audioStreamIndex), 2);
        view->applySource(m_clip);
        QTRY_COMPARE(view->audioStreams().size(), 1);
        QCOMPARE(view->settings().value(Setting::audioStreamIndex), -1);
    }

    void stageButtons() {
        const QString mpg = mpgIn("stages");
        const QString out = QFileInfo(mpg).path();
        auto view = window();
        view->applyDestination(mpg);
        view->setCreateISOAfterVideoTS(false);
        view->setBurnAfterISO(true); // needs the ISO step, so it does not burn
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fertig ✅ VIDEO_TS erstellt: " + out + "/V_DVD");
        QCOMPARE(newestLine(*view), view->statusText());

        // The image goes where it was chosen, named after the DVD folder; the burn writes it.
        view->setIsoVolumeName("");
        view->applyISODestination(out + "/Anders.img");
        view->startISORun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fertig ✅ ISO erstellt: " + out + "/Anders.iso");
        QVERIFY(QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", out + "/Anders.iso"}))
                    .contains("Volume id: V_DVD"));
        writeFile(m_dir.filePath("disc.img"), {});
        view->startBurnRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fertig ✅ Brennvorgang gestartet/abgeschlossen.");
        QCOMPARE(readAll(m_dir.filePath("disc.img")), readAll(out + "/Anders.iso"));

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
        using enum BurnState;
        const QList<BurnState> states{preparing,    preparing, trackWrite, trackWrite,
                                      sessionClose, verifying, done};
        const QList<double> fractions{0.0, 0.005, 0.008, 0.02, 0.5, 0.1, 1.0};
        QList<QList<BurnReport>> polls;
        for (qsizetype i = 0; i < states.size(); ++i)
            polls.append({BurnReport{states[i], fractions[i], {}, {}}});
        view->service().setBurnerBackend(std::make_unique<ScriptedBackend>(polls));
        view->applyISODestination(m_mpg);
        Seen seen(*view);
        view->startBurnRun();
        // A burn cannot be paused: the button is off, and a pause asked for changes nothing.
        QVERIFY(!view->canPause());
        view->togglePause();
        QVERIFY(!view->isPaused());
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 20000);
        // The last state's text shows for a moment before the run's end.
        QCOMPARE(seen.phases,
                 (QStringList{"Löschen", "Brennen", "Überprüfen", "Brennen", "Start"}));
        QVERIFY2(inOrder(seen.statuses,
                         {"Löschen…", "Brennen…", "Sitzung wird abgeschlossen…", "Überprüfen…",
                          "Fertig ✅ Brennvorgang abgeschlossen (mit Verify)."}),
                 qPrintable(seen.statuses.join(" | ")));
        QVERIFY(!seen.statuses.contains("Brennvorgang läuft…")); // still erasing then
        QVERIFY(seen.progress.contains(std::pair{0.95, 0.5}));   // closing: at least 95 %
        const QStringList lines = oldestFirst(*view);
        QVERIFY2(inOrder(lines, {"DVD löschen.", "Brenne auf DVD.", "Prüfe gebrannte DVD.",
                                 "Fertig ✅ Brennvorgang abgeschlossen (mit Verify)."}),
                 qPrintable(lines.join(" | ")));
    }

    // A failure says why: on one status line, and with the tool's reason in the log.
    void failuresSayWhy() {
        auto view = window();
        // An unreadable source: ffprobe's last line as the status, its whole report in the log.
        writeFile(m_dir.filePath("liste.mkv"), "Milch, Brot\n");
        view->applySource(m_dir.filePath("liste.mkv"));
        view->startConversion();
        QTRY_VERIFY(!view->isRunning());
        QCOMPARE(view->statusText(),
                 "Fehler ❌ ffprobe Analyse fehlgeschlagen: " + m_dir.filePath("liste.mkv") +
                     ": Invalid data found when processing input");
        QVERIFY(view->logText().contains("EBML header parsing failed"));

        // A tool that fails with a reason: the reason goes to the log just before the error.
        view->settings().setValue(
            Setting::genisoimagePath,
            writeScript(m_dir, "genisoimage-fails",
                        "echo 'working' ; echo '/Out/x.iso: Permission denied' >&2; exit 3"));
        view->applyDestination(mpgIn("fails"));
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 60000);
        QCOMPARE(view->statusText(), "Fehler ❌ Vorgang fehlgeschlagen (Exit Code 3).");
        QCOMPARE(logLines(*view).mid(0, 2),
                 (QStringList{view->statusText(), "Fehlerursache: /Out/x.iso: Permission denied"}));
        QVERIFY(logLines(*view).at(2).startsWith("Erstelle ISO."));
        QCOMPARE(view->currentPhaseLabel(), "Start");
    }

    // An ffmpeg that reports its position step by step, each step when the test allows it.
    void expectedEndFromTheClock() {
        const QString tools = withFfmpeg(
            "stepper", "for t in 03 06 30; do\n"
                       "  while [ ! -e '%1/go-'$t ]; do sleep 0.02; done\n"
                       "  echo \"frame=1 size=    2048kB time=00:00:$t.00 bitrate=1\" >&2\n"
                       "done\nexec sleep 30");
        SetClock clock;
        auto view = window(clock);
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->applySource(m_longClip); // 60 s
        view->applyDestination(tools + "/out.mpg");
        view->startConversion();
        QCOMPARE(newestLine(*view), "Kodiere Datei. Startzeit: 10:00 Uhr.");
        // The size expected for a minute at "Standard", before ffmpeg reports.
        QTRY_COMPARE(newestLine(*view), "Voraussichtliche Größe: 0,05 GB (DVD-5: 4,70 GB)");

        writeFile(tools + "/go-03", {});
        QTRY_COMPARE(view->progress(), 0.05);
        QCOMPARE(view->statusText(), "Kodieren…"); // no end told before a tenth is done
        clock.moment = clock.moment.addSecs(60);   // 10:01, a tenth done: nine minutes to go
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
        // Pausing holds the encode and says so.
        view->togglePause();
        QCOMPARE(view->statusText(), "Pausiert.");
        view->togglePause();
        QCOMPARE(view->statusText(), "Fortgesetzt…");
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    // A dvdauthor that ignores the abort for a moment ends after the next run began.
    void endingOfAnAbortedRunLeavesTheNewRunAlone() {
        auto view = window();
        view->applyDestination(mpgIn("replaced"));
        view->setCreateISOAfterVideoTS(false);
        view->startVideoTSRun();
        QTRY_VERIFY_WITH_TIMEOUT(view->dvdFolderURL(), 60000);
        view->settings().setValue(
            Setting::dvdauthorPath,
            writeScript(m_dir, "dvdauthor-stubborn", "trap '' TERM\nsleep 1\nexit 0"));
        view->settings().setValue(Setting::genisoimagePath,
                                  writeScript(m_dir, "genisoimage-slow", "exec sleep 30"));
        view->startVideoTSRun();
        QTRY_VERIFY(!runningTools().isEmpty());
        const qint64 stubborn = runningTools().first();
        view->abortRun();
        view->startISORun();
        QTRY_VERIFY(!processExists(stubborn));
        QTest::qWait(100);
        QVERIFY(view->isRunning());
        QCOMPARE(view->statusText(), "ISO erstellen…");
        QCOMPARE(view->currentPhaseLabel(), "ISO erstellen");
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }
};

QTEST_GUILESS_MAIN(WindowWorkflowTest)
#include "tst_window_workflow.moc"
