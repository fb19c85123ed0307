// Runs from a video to the disc through DiscRun with the real tools: the whole chain to a burn on
// a stdio: drive with what libdvdread's lsdvd reads from the disc, the refusals before any stage,
// pause and cancel reaching the tools, and the endings with their reasons.
#include "AwaitTask.h"
#include "MediaChecks.h"
#include "RecordedRun.h"
#include "ScriptedBurner.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using namespace testing;

Q_DECLARE_METATYPE(Stage)

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

QStringList entriesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// What lsdvd reports about an image; chapters, languages and aspect of the first title.
struct DiscReport {
    QStringList titles;
    QList<double> chapterStarts; // seconds
    QStringList languages;       // "de - Deutsch"
    QString aspect;
    QByteArray text;
};

DiscReport lsdvd(const QString& image) {
    DiscReport report;
    report.text = runProgram("lsdvd", {"-a", "-c", "-v", image}).output;
    static const QRegularExpression title(R"(^Title: (\d+),)");
    static const QRegularExpression chapter(R"(^\s+Chapter: \d+, Length: (\d+):(\d+):([0-9.]+),)");
    static const QRegularExpression audio(R"(^\s+Audio: \d+, Language: ([^,]+),)");
    static const QRegularExpression aspect(R"(Aspect ratio: ([^,]+),)");
    double start = 0;
    for (const QString& line : QString::fromUtf8(report.text).split('\n')) {
        if (const auto m = title.match(line); m.hasMatch())
            report.titles << m.captured(1);
        if (report.titles.size() != 1)
            continue;
        if (const auto m = chapter.match(line); m.hasMatch()) {
            report.chapterStarts << start;
            start += m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
                     m.captured(3).toDouble();
        } else if (const auto m = audio.match(line); m.hasMatch()) {
            report.languages << m.captured(1);
        } else if (const auto m = aspect.match(line); m.hasMatch()) {
            report.aspect = m.captured(1);
        }
    }
    return report;
}

// The tools this test program runs at the moment, and every program those run.
QList<qint64> runningTools() {
    QList<qint64> tools = childProcesses(QCoreApplication::applicationPid());
    for (qsizetype i = 0; i < tools.size(); ++i)
        tools += childProcesses(tools[i]);
    return tools;
}

} // namespace

class DiscRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_film;
    QString m_mpg;

    QString folder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

    // A copy of the small MPEG file in a folder of its own.
    QString mpgIn(const QString& name) {
        const QString mpg = folder(name) + "/V.mpg";
        QFile::copy(m_mpg, mpg);
        return mpg;
    }

private slots:
    void initTestCase() {
        // A minute of 2.39:1 film with German sound and chapters at 0, 3 and 7 s: sped up to
        // 25 frames per second it is 2.4 s shorter, more than any tolerance below.
        m_film = makeClip(
            m_dir, "Film.mkv",
            words("-f lavfi -i testsrc2=s=240x100:r=24000/1001:d=60 -f lavfi -i sine=d=60 -i") +
                QStringList{writeChapters(m_dir, {0, 3, 7}, 60)} +
                words("-map 0:v -map 1:a -map_chapters 2 -metadata:s:a:0 language=deu -c:v libx264 "
                      "-preset ultrafast -c:a aac"));
        m_mpg = makeClip(m_dir, "Vorlage.mpg",
                         words("-f lavfi -i testsrc2=s=320x180:r=25:d=2 -f lavfi -i sine=d=2 "
                               "-target pal-dvd -aspect 16:9"));
    }

    // Each run with its chain toggles: the folders it writes into with what it writes there
    // (M: the MPEG file, S: the copies of it that subtitles are muxed into, F: the DVD folder,
    // I: the image), and whether it burns.
    void whatARunWrites_data() {
        QTest::addColumn<Stage>("from");
        QTest::addColumn<QString>("toggles"); // v VIDEO_TS, i ISO, b burn
        QTest::addColumn<QString>("isoTarget");
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<bool>("burns");
        const auto row = [](const char* name, Stage from, const char* toggles, const char* iso,
                            const QStringList& writes, bool burns) {
            QTest::newRow(name) << from << QString(toggles) << QString(iso) << writes << burns;
        };
        const QString film = "/Filme/Film_PAL_DVD_DVD F";
        const QString copies = "/Filme S";
        row("Start, whole chain", Stage::encode, "vib", "", {"/Filme M", copies, film, "/Filme I"},
            true);
        row("Start, image elsewhere", Stage::encode, "vi", "/Abbilder/Film.iso",
            {"/Filme M", copies, film, "/Abbilder I"}, false);
        row("Start, no image", Stage::encode, "vb", "", {"/Filme M", copies, film}, false);
        row("Start, MPEG file only", Stage::encode, "ib", "", {"/Filme M"}, false);
        row("VIDEO_TS, then image and burn", Stage::authoring, "vib", "",
            {copies, film, "/Filme I"}, true);
        row("VIDEO_TS only", Stage::authoring, "b", "", {copies, film}, false);
        row("ISO and burn", Stage::image, "b", "/Abbilder/X.iso", {"/Abbilder I"}, true);
        row("burn", Stage::burn, "vib", "", {}, true);
    }
    void whatARunWrites() {
        QFETCH(Stage, from);
        QFETCH(QString, toggles);
        QFETCH(QString, isoTarget);
        QFETCH(QStringList, writes);
        QFETCH(bool, burns);
        const ChainToggles chain{toggles.contains('v'), toggles.contains('i'),
                                 toggles.contains('b')};
        RunRequest request = realToolsRequest(from, chain.lastStageFrom(from),
                                              from == Stage::image  ? "/Filme/Film_PAL_DVD_DVD"
                                              : from == Stage::burn ? "/Filme/Film_PAL_DVD_DVD.iso"
                                                                    : "/Filme/Film_PAL_DVD.mpg",
                                              "/Filme/Film_PAL_DVD.mpg");
        if (!isoTarget.isEmpty())
            request.isoTarget = isoTarget;
        const RunRecipe recipe(request);
        QStringList shown;
        for (const PlannedWrite& write : recipe.writes({1, 2, 3, 4}))
            shown << write.folder + " " + QString("?MFIS").at(int(write.bytes));
        QCOMPARE(shown, writes);
        QCOMPARE(recipe.burns(), burns);
    }

    // Over an older MPEG file, which the complete encode replaces; only complete files are left,
    // the image is on the disc, and the progress of the sped-up film reaches its end.
    void wholeChainToTheBurn() {
        const QString out = folder("chain");
        const QString disc = out + "/disc.img";
        writeFile(disc, {});
        writeFile(out + "/Film.mpg", "older, complete");
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        RunRequest request =
            realToolsRequest(Stage::encode, Stage::burn, m_film, out + "/Film.mpg");
        request.verifyAfterBurn = true;
        request.volumeName = "DVD_VIDEO";
        RecordedRun run(service, request);
        QVERIFY2(run.succeeds(), run.story());

        QCOMPARE(run.stages, (QList{Stage::encode, Stage::authoring, Stage::image, Stage::burn}));
        const RunProducts& made = run.ending().products;
        QCOMPARE(made.mpg, out + "/Film.mpg");
        QCOMPARE(made.dvdFolder, out + "/Film_DVD");
        QCOMPARE(made.iso, out + "/Film_DVD.iso");
        QCOMPARE(entriesIn(out), (QStringList{"disc.img", "Film.mpg", "Film_DVD", "Film_DVD.iso"}));
        QCOMPARE(fileContents(disc), fileContents(*made.iso));
        QVERIFY(QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", disc}))
                    .contains("Volume id: DVD_VIDEO"));
        QVERIFY(run.burnStates.contains(BurnState::verifying));
        // One title, its language, its shape, and the source's chapters sped up with the film.
        const DiscReport dvd = lsdvd(disc);
        QCOMPARE(dvd.titles, QStringList{"01"});
        QCOMPARE(dvd.languages, QStringList{"de - Deutsch"});
        QCOMPARE(dvd.aspect, "16/9");
        const double speedUp = 24000.0 / 1001 / 25;
        const QList<double> chapters{0, 3 * speedUp, 7 * speedUp};
        QCOMPARE(dvd.chapterStarts.size(), chapters.size());
        for (qsizetype i = 0; i < chapters.size(); ++i)
            QVERIFY2(qAbs(dvd.chapterStarts[i] - chapters[i]) < 1.0, dvd.text);

        // Authored again, the folder holds one title still, and the user's own files in it stay.
        writeFile(*made.dvdFolder + "/Notizen.txt", "meine");
        RunRequest again = realToolsRequest(Stage::authoring, Stage::image, *made.mpg);
        again.title = *made.title;
        RecordedRun rerun(service, again);
        QVERIFY2(rerun.succeeds(), rerun.story());
        QCOMPARE(rerun.toolLines.filter("Lösche die DVD-Dateien des letzten Laufs: ").size(), 1);
        QVERIFY(QFile::exists(*made.dvdFolder + "/Notizen.txt"));
        QCOMPARE(lsdvd(*rerun.ending().products.iso).titles, QStringList{"01"});

        QList<double> encoded;
        std::optional<qint64> projected;
        for (const RunProgress& reached : run.progress)
            if (reached.stage == Stage::encode) {
                encoded << reached.fraction;
                projected = reached.projectedImageBytes;
            }
        // The projection of the last progress report is near the real image.
        QVERIFY(projected);
        QVERIFY2(qAbs(double(*projected) / QFileInfo(*made.iso).size() - 1) < 0.1,
                 qPrintable(QString::number(*projected)));
        QVERIFY(std::ranges::is_sorted(encoded));
        QVERIFY2(!encoded.isEmpty() && encoded.last() > 0.99,
                 qPrintable(QString::number(encoded.value(encoded.size() - 1))));
    }

    // Films of hours of a tiny picture, and an ffmpeg that only notes that it ran: a run sure to
    // overflow the disc it burns on does not start, any other is warned and goes on.
    void refusedBeforeTheEncode_data() {
        QTest::addColumn<int>("hours");
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("disc");
        QTest::addColumn<Stage>("until");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("burning chain")
            << 2 << 0 << 0 << Stage::burn << true
            << "Fehler ❌ Das Abbild wird voraussichtlich 5,68 GB groß und passt nicht auf eine "
               "DVD-5 \\(4,70 GB\\)\\. Bitte „Passend“ oder DVD-9 wählen\\.";
        QTest::newRow("no burn") << 2 << 0 << 0 << Stage::image << false
                                 << "Warnung: Das Abbild wird voraussichtlich 5,68 GB groß und "
                                    "passt nicht auf eine DVD-5 \\(4,70 GB\\)\\.";
        QTest::newRow("Passend")
            << 2 << 3 << 0 << Stage::burn << false
            << "Voraussichtliche Größe: 4,(5[6-9]|6\\d) GB \\(DVD-5: 4,70 GB\\)";
        QTest::newRow("Passend too long")
            << 6 << 3 << 0 << Stage::image << true
            << "Fehler ❌ Der Film ist mit 6:00 h zu lang für eine DVD-5\\.";
        QTest::newRow("Passend on DVD-9") << 6 << 3 << 1 << Stage::image << false
                                          << "Voraussichtliche Größe: .* \\(DVD-9: 8,54 GB\\)";
    }
    void refusedBeforeTheEncode() {
        QFETCH(int, hours);
        QFETCH(int, preset);
        QFETCH(int, disc);
        QFETCH(Stage, until);
        QFETCH(bool, refused);
        QFETCH(QString, pattern);
        const QString name = QString::number(hours) + " Stunden.mkv";
        if (!QFile::exists(m_dir.filePath(name)))
            makeClip(m_dir, name,
                     words(QString("-f lavfi -i color=s=64x64:r=1:d=%1 -c:v libx264 -preset "
                                   "ultrafast")
                               .arg(hours * 3600)));
        const QString tools = folder("recording");
        QFile::remove(tools + "/ran");
        QFile::link("/usr/bin/ffprobe", tools + "/ffprobe");
        writeScript(m_dir, "recording/ffmpeg", "touch '" + tools + "/ran'\nexec sleep 30");
        FFmpegService service;
        RunRequest request =
            realToolsRequest(Stage::encode, until, m_dir.filePath(name), tools + "/Film.mpg");
        request.tools.ffmpeg = tools + "/ffmpeg";
        request.encode =
            encodeSettingsFor(0, preset, {}, disc ? dualLayerDisc() : singleLayerDisc());
        RecordedRun run(service, request);
        run.start();
        if (refused) {
            QVERIFY(run.finish());
            QCOMPARE(run.ending().outcome, RunEnding::Outcome::failed);
            QCOMPARE(entriesIn(tools), (QStringList{"ffmpeg", "ffprobe"}));
        } else {
            QTRY_VERIFY(QFile::exists(tools + "/ran"));
        }
        const QRegularExpression line(QRegularExpression::anchoredPattern(pattern));
        const auto said = [&] {
            return run.notes + QStringList{run.hasEnded() ? run.ending().message() : ""};
        };
        QTRY_VERIFY2(said().indexOf(line) >= 0, qPrintable(said().join('\n')));
        run.run().cancel();
        QVERIFY(run.finish());
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
            QVERIFY2(inner.output.contains(
                         "PASS   : DiscRunTest::fullDestinationRefusesBeforeAnyTool()"),
                     inner.output);
            return;
        }
        const QString full = QString::fromUtf8(mounted);
        if (runProgram("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", full}).exitCode != 0)
            QFAIL("A small tmpfs cannot be mounted here (unshare --user --map-root-user --mount, "
                  "then mount -t tmpfs; user namespaces may be switched off)");
        // Named after the first folder the run writes to on the full file system.
        const QRegularExpression refusal(
            "^Fehler ❌ Nicht genug Speicherplatz in " + QRegularExpression::escape(full) +
            "(/Vorlage_DVD)?: benötigt (\\d+,\\d) MB, frei (\\d,\\d) MB\\.$");
        FFmpegService service;

        // The MPEG file, the DVD folder and the image of a minute.
        RecordedRun encode(
            service, realToolsRequest(Stage::encode, Stage::image, m_film, full + "/Film.mpg"));
        encode.start();
        QVERIFY(encode.finish());
        QRegularExpressionMatch match = refusal.match(encode.ending().message());
        QVERIFY2(match.hasMatch(), encode.story());
        QCOMPARE(match.captured(1), QString());
        QCOMPARE(match.captured(3), "2,1");
        QCOMPARE(entriesIn(full), QStringList());

        // From an MPEG file that fits, but not its DVD folder beside it.
        QVERIFY(QFile::copy(m_mpg, full + "/Vorlage.mpg"));
        RecordedRun author(service,
                           realToolsRequest(Stage::authoring, Stage::image, full + "/Vorlage.mpg"));
        author.start();
        QVERIFY(author.finish());
        QVERIFY2(refusal.match(author.ending().message()).hasMatch(), author.story());
        QCOMPARE(author.stages, QList<Stage>{});
        QCOMPARE(entriesIn(full), QStringList{"Vorlage.mpg"});
        QVERIFY(runningTools().isEmpty());
    }

    // Pause, resume and cancel of each stage reach its tool and every program that tool runs; a
    // cancel while paused ends them and leaves no file behind. The encode goes over an older
    // MPEG file, which stays as it was.
    void pauseResumeAndCancelReachTheTools_data() {
        QTest::addColumn<Stage>("stage");
        QTest::newRow("encode") << Stage::encode;
        QTest::newRow("authoring") << Stage::authoring;
        QTest::newRow("image") << Stage::image;
    }
    void pauseResumeAndCancelReachTheTools() {
        QFETCH(Stage, stage);
        const QString mpg = mpgIn("paused-" + stageTitle(stage));
        const QString slow = writeScript(m_dir, "slow-" + stageTitle(stage), "exec sleep 30");
        RunRequest request = realToolsRequest(stage, Stage::image, mpg, mpg);
        if (stage == Stage::encode)
            request.input = m_film;
        else if (stage == Stage::authoring)
            request.tools.dvdauthor = slow;
        else
            request.tools.genisoimage = slow;
        if (stage == Stage::image)
            request.input = folder("paused-DVD");
        FFmpegService service;
        RecordedRun run(service, request);
        run.start();
        if (stage == Stage::encode)
            QTRY_VERIFY_WITH_TIMEOUT(!run.progress.isEmpty(), 20000); // past the probe
        QTRY_VERIFY_WITH_TIMEOUT(runningTools().size() == 1, 20000);
        const QList<qint64> pids = runningTools();
        const auto stopped = [](qint64 pid) { return processState(pid) == 'T'; };

        QVERIFY(run.run().canPause());
        run.run().suspend();
        QTRY_VERIFY(std::ranges::all_of(pids, stopped));
        run.run().resume();
        QTRY_VERIFY(std::ranges::none_of(pids, stopped));
        run.run().suspend();
        QTRY_VERIFY(std::ranges::all_of(pids, stopped));
        run.run().cancel();
        QVERIFY(run.finish(10000));
        QCOMPARE(run.ending().outcome, RunEnding::Outcome::cancelled);
        QCOMPARE(run.ending().message(), "Abgebrochen.");
        QVERIFY(std::ranges::none_of(pids, processExists));
        QCOMPARE(QDir(QFileInfo(mpg).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"V.mpg"});
        QCOMPARE(fileContents(mpg), fileContents(m_mpg));
    }

    // A burn cannot be paused: the run says so, and a pause asked for changes nothing.
    void aBurnCannotBePaused() {
        FFmpegService service;
        service.setBurnerBackend(std::make_unique<ScriptedBackend>(
            QList<QList<BurnReport>>{{BurnReport{BurnState::trackWrite, 0.5, {}, {}}},
                                     {BurnReport{BurnState::done, 1, {}, {}}}}));
        RecordedRun run(service, realToolsRequest(Stage::burn, Stage::burn, m_mpg));
        std::optional<bool> couldPause;
        QObject::connect(&run.run(), &DiscRun::stageStarted, [&] {
            couldPause = run.run().canPause();
            run.run().suspend();
        });
        run.start();
        QVERIFY2(run.finish(20000) && run.ending().succeeded(), run.story());
        QCOMPARE(couldPause, false);
        QVERIFY(!run.run().isSuspended());
    }
};

QTEST_GUILESS_MAIN(DiscRunTest)
#include "tst_disc_run.moc"
