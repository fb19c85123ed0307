// The main window's workflow through its operations, with the real tools: chained and single
// stages, failures with their reasons, pause, resume and abort reaching the tools, the expected
// end from a clock the test sets, and the runs refused before they write anything.
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

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
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

    // The default toggles and volume name, over an older MPEG file that the complete encode
    // replaces; only complete files are left.
    void chainedRunFromVideoToDisc() {
        const QString out = folder("chained");
        const QString disc = out + "/disc.img";
        writeFile(disc, {});
        writeFile(out + "/Reise_PAL_DVD.mpg", "older, complete");
        auto view = window();
        view->service().setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        view->settings().setValue(Setting::verifyAfterBurn, true);
        view->applySource(m_clip);
        view->applyDestination(out + "/Reise_PAL_DVD.mpg");
        view->setBurnAfterISO(true);
        QVERIFY(StoredSettings().value(Setting::isoSectionExpanded));
        Seen seen(*view);
        view->startConversion();
        QCOMPARE(view->statusText(), "Kodieren…");
        QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 120000);

        QCOMPARE(view->statusText(), "Fertig ✅");
        QCOMPARE(view->progress(), 1.0);
        QVERIFY2(
            inOrder(seen.phases, {"Kodieren", "Erstellen", "ISO erstellen", "Brennen", "Start"}),
            qPrintable(seen.phases.join(" | ")));
        QVERIFY2(
            inOrder(seen.statuses, {"Kodieren…", "Erzeuge VIDEO_TS…", "Erzeuge ISO…", "Fertig ✅"}),
            qPrintable(seen.statuses.join(" | ")));
        QCOMPARE(filesIn(out),
                 (QStringList{"disc.img", "Reise_PAL_DVD.mpg", "Reise_PAL_DVD_DVD.iso"}));
        QVERIFY(QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", disc}))
                    .contains("Volume id: DVD_VIDEO"));

        // Each stage's pulse line, the burn's texts and the end are kept in the log.
        const QStringList lines = oldestFirst(*view);
        QVERIFY2(inOrder(lines, {"Erstelle VIDEO_TS Ordner.", "Erstelle ISO.",
                                 "Brennen abgeschlossen.", "Prüfe gebrannte DVD.", "Fertig ✅"}),
                 qPrintable(lines.join(" | ")));
        QCOMPARE(lines.last(), "Fertig ✅");
        QVERIFY(!view->logText().contains("VIDEO_TS erstellt"));
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
        view->abortRun();
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
    }

    // Films of hours of a tiny picture, and an ffmpeg that only notes that it ran: a run sure
    // to overflow the disc it burns on does not start, any other is warned and goes on. The
    // pattern is the refusal, or a line of the log.
    void refusedBeforeTheEncode_data() {
        QTest::addColumn<int>("hours");
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("disc");
        QTest::addColumn<bool>("burn");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("burning chain")
            << 2 << 0 << 0 << true << true
            << "Fehler ❌ Das Abbild wird voraussichtlich 5,68 GB groß und passt nicht auf eine "
               "DVD-5 \\(4,70 GB\\)\\. Bitte „Passend“ oder DVD-9 wählen\\.";
        QTest::newRow("no burn") << 2 << 0 << 0 << false << false
                                 << "Warnung: Das Abbild wird voraussichtlich 5,68 GB groß und "
                                    "passt nicht auf eine DVD-5 \\(4,70 GB\\)\\.";
        QTest::newRow("Passend")
            << 2 << 3 << 0 << true << false
            << "Voraussichtliche Größe: 4,(5[6-9]|6\\d) GB \\(DVD-5: 4,70 GB\\)";
        QTest::newRow("Passend too long")
            << 6 << 3 << 0 << false << true
            << "Fehler ❌ Der Film ist mit 6:00 h zu lang für eine DVD-5\\.";
        QTest::newRow("Passend on DVD-9")
            << 6 << 3 << 1 << false << false << "Voraussichtliche Größe: .* \\(DVD-9: 8,54 GB\\)";
    }
    void refusedBeforeTheEncode() {
        QFETCH(int, hours);
        QFETCH(int, preset);
        QFETCH(int, disc);
        QFETCH(bool, burn);
        QFETCH(bool, refused);
        QFETCH(QString, pattern);
        const QString name = QString::number(hours) + " Stunden.mkv";
        if (!QFile::exists(m_dir.filePath(name)))
            clip(name, QString("-f lavfi -i color=s=64x64:r=1:d=%1 -c:v libx264 -preset ultrafast")
                           .arg(hours * 3600));
        const QString tools = withFfmpeg("recording", "touch '%1/ran'\nexec sleep 30");
        QFile::remove(tools + "/ran");
        auto view = window();
        view->settings().setValue(Setting::ffmpegPath, tools + "/ffmpeg");
        view->settings().setValue(Setting::qualityPreset, preset);
        view->settings().setValue(Setting::discSize, disc);
        view->applySource(m_dir.filePath(name));
        view->applyDestination(tools + "/Film.mpg");
        view->setBurnAfterISO(burn);
        view->startConversion();
        if (refused) {
            QTRY_VERIFY(!view->isRunning());
            QVERIFY(view->statusText().startsWith("Fehler ❌ "));
            QCOMPARE(filesIn(tools), (QStringList{"ffmpeg", "ffprobe"}));
        } else {
            QTRY_VERIFY(QFile::exists(tools + "/ran"));
        }
        const QRegularExpression line(QRegularExpression::anchoredPattern(pattern));
        QVERIFY2(logLines(*view).indexOf(line) >= 0, qPrintable(view->logText()));
        view->abortRun();
        QTRY_VERIFY(runningTools().isEmpty());
    }

    // A destination without room refuses before any tool starts: a 2 MiB tmpfs mounted in a
    // mount namespace of this test's own, in which this test program runs this function again.
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
        QTRY_VERIFY(!view->isLoadingAudioStreams()); // its ffprobe is no tool of the runs below
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
    }

    // Pause, resume and abort of each stage reach its tool and every program that tool runs; an
    // abort while paused ends them, is no error and leaves no file behind. The encode goes over
    // an older MPEG file, which stays as it was.
    void pauseResumeAndAbortReachTheTools_data() {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<int>("programs");
        QTest::newRow("encode") << "encode" << 1;
        QTest::newRow("authoring") << "authoring" << 1;
        QTest::newRow("image") << "image" << 2; // a genisoimage that runs sleep
    }
    void pauseResumeAndAbortReachTheTools() {
        QFETCH(QString, stage);
        QFETCH(int, programs);
        const QString mpg = mpgIn("paused-" + stage);
        auto view = window();
        if (stage == "encode") {
            view->applySource(m_longClip);
            view->setCreateVideoTSAfterConvert(false);
        } else if (stage == "authoring") {
            view->settings().setValue(Setting::dvdauthorPath,
                                      writeScript(m_dir, "dvdauthor-slow", "exec sleep 30"));
        } else {
            view->settings().setValue(Setting::genisoimagePath,
                                      writeScript(m_dir, "genisoimage-slow", "sleep 30"));
        }
        view->applyDestination(mpg);
        if (stage == "encode") {
            view->startConversion();
            QTRY_VERIFY_WITH_TIMEOUT(view->progress() > 0.02, 20000); // past the audio read
        } else {
            view->startVideoTSRun();
        }
        QTRY_VERIFY_WITH_TIMEOUT(runningTools().size() == programs, 60000);
        const QList<qint64> pids = runningTools();
        const auto stopped = [](qint64 pid) { return processState(pid) == 'T'; };

        view->togglePause();
        QCOMPARE(view->statusText(), "Pausiert.");
        QTRY_VERIFY(std::ranges::all_of(pids, stopped));
        view->togglePause();
        QCOMPARE(view->statusText(), "Fortgesetzt…");
        QTRY_VERIFY(std::ranges::all_of(pids, [&](qint64 pid) { return !stopped(pid); }));
        view->togglePause();
        QTRY_VERIFY(std::ranges::all_of(pids, stopped));
        view->abortRun();
        QCOMPARE(view->statusText(), "Abgebrochen.");
        QVERIFY(!view->isPaused() && !view->isRunning());
        QTRY_VERIFY(std::ranges::all_of(pids, [](qint64 pid) { return !processExists(pid); }));
        QTRY_COMPARE(newestLine(*view), "Abgebrochen.");
        QVERIFY(!view->logText().contains("Fehler"));
        QCOMPARE(filesIn(QFileInfo(mpg).path()), QStringList{"V.mpg"});
        QCOMPARE(readAll(mpg), readAll(m_mpg));
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
