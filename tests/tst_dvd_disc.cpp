// From an encoded MPEG to a disc: DVD authoring with the real dvdauthor, the image with our
// hdiutil command and genisoimage, and burning with libburn onto stdio pseudo-drives.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "FileNames.h"
#include "ScriptedBurner.h"
#include "StageJob.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace testing;

namespace {

struct Burn {
    QStringList log;
    QStringList statuses;
    QList<BurnState> states;
    QList<double> progress;
    Outcome<void> outcome;
};

Burn burn(FFmpegService& service, const QString& iso, bool verify, bool erase) {
    Burn run;
    run.outcome = await(service.burnISO(
        iso, verify, erase, [&](double f) { run.progress << f; },
        [&](BurnState state, const QString& text) {
            run.states << state;
            run.statuses << text;
        },
        [&](const QString& l) { run.log << l; }));
    return run;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QString makeImage(const QString& path, int megabytes) {
    QFile image(path);
    image.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (int i = 0; i < megabytes; ++i)
        image.write(QByteArray(1024 * 1024, char(i * 7 + 1)));
    return path;
}

} // namespace

class DvdDiscTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_mpg;
    QString m_image; // stands in for a DVD image where only the bytes matter

private slots:
    void initTestCase() {
        m_mpg = makeClip(m_dir, "Reise_PAL_DVD.mpg",
                         {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                          "sine=d=2", "-target", "pal-dvd", "-aspect", "16:9"});
        m_image = makeImage(m_dir.filePath("image.iso"), 3);
    }

    void dvdFolderNames_data() {
        QTest::addColumn<QString>("mpg");
        QTest::addColumn<QString>("folder");
        QTest::newRow("usual") << "/a/Filme/Reise_PAL_DVD.mpg"
                               << "/a/Filme/Reise_PAL_DVD_DVD";
        QTest::newRow("no extension") << "/x/film"
                                      << "/x/film_DVD";
        QTest::newRow("two extensions") << "/x/film.part.mpg"
                                        << "/x/film.part_DVD";
    }
    void dvdFolderNames() {
        QFETCH(QString, mpg);
        QFETCH(QString, folder);
        QCOMPARE(dvdFolderFor(mpg), folder);
    }

    void authorsAVideoTsFolder() {
        FFmpegService service;
        QStringList log;
        const Outcome<QString> authored = await(
            service.createVideoTS(m_mpg, "/usr/bin/dvdauthor", [&](const QString& l) { log << l; }));
        QVERIFY2(authored.value, authored.story());
        const QString folder = *authored.value;
        QCOMPARE(folder, m_dir.filePath("Reise_PAL_DVD_DVD"));
        QCOMPARE(log.mid(0, 2), (QStringList{"=== dvdauthor ===", "DVD Ordner: " + folder}));
        QVERIFY(log.size() > 2); // dvdauthor's own report
        for (const char* file : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB"})
            QVERIFY2(QFile::exists(folder + "/VIDEO_TS/" + file), file);

        // A second run leaves the user's own files in the folder alone.
        QFile keep(folder + "/keep.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        QVERIFY(await(service.createVideoTS(m_mpg, "/usr/bin/dvdauthor", [](const QString&) {}))
                    .value);
        QVERIFY(QFile::exists(folder + "/keep.txt"));
    }

    void authoringWithFakeTools() {
        FFmpegService service;
        const QString calls = m_dir.filePath("calls.txt");
        // Records each call and the VIDEO_FORMAT it saw; writes both streams; makes no VIDEO_TS.
        const QString quiet = writeScript(
            m_dir, "dvdauthor-fake",
            QStringLiteral("echo \"$VIDEO_FORMAT $*\" >> '%1'\nprintf 'out'\nprintf 'err' >&2")
                .arg(calls));
        qputenv("VIDEO_FORMAT", "NTSC");
        QStringList log;
        const QString mpg = m_dir.filePath("fake/film.mpg");
        const Outcome<QString> authored =
            await(service.createVideoTS(mpg, quiet, [&](const QString& l) { log << l; }));
        qunsetenv("VIDEO_FORMAT");
        QVERIFY2(authored.value, authored.story());
        const QString folder = *authored.value;
        QCOMPARE(log, (QStringList{
                          "=== dvdauthor ===", "DVD Ordner: " + folder, "out", "err", "out", "err",
                          "Warnung: VIDEO_TS wurde nicht gefunden unter " + folder + "/VIDEO_TS"}));
        QCOMPARE(QString::fromUtf8(readAll(calls)).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"PAL -t " + mpg + " -o " + folder, "PAL -T -o " + folder}));

        // A failing first run ends the operation before the second.
        QFile::remove(calls);
        const QString failing = writeScript(
            m_dir, "dvdauthor-fails", QStringLiteral("echo \"$*\" >> '%1'\nexit 1").arg(calls));
        const Outcome<QString> failed =
            await(service.createVideoTS(mpg, failing, [](const QString&) {}));
        QVERIFY2(failed.error, failed.story());
        QCOMPARE(failed.error->description(), "Vorgang fehlgeschlagen (Exit Code 1).");
        QCOMPARE(QString::fromUtf8(readAll(calls)).count('\n'), 1);

        // A tool path that is a folder fails before anything is created.
        const QString untouched = m_dir.filePath("untouched/film.mpg");
        const Outcome<QString> noTool =
            await(service.createVideoTS(untouched, m_dir.path(), [](const QString&) {}));
        QVERIFY2(noTool.error, noTool.story());
        QCOMPARE(noTool.error->kind(), FFmpegError::Kind::ToolNotFound);
        QVERIFY(!QFileInfo::exists(m_dir.filePath("untouched")));
    }

    void imageOfADvdFolder() {
        const QString folder = m_dir.filePath("Bild_DVD");
        QVERIFY(runProgram("dvdauthor", {"-t", m_mpg, "-o", folder}, {{"VIDEO_FORMAT", "PAL"}})
                    .exitCode == 0);
        QVERIFY(runProgram("dvdauthor", {"-T", "-o", folder}, {{"VIDEO_FORMAT", "PAL"}}).exitCode ==
                0);
        FFmpegService service;
        QStringList log;
        const Outcome<QString> made =
            await(service.createISO(folder, KESTRIN_HDIUTIL, "BILD", m_dir.filePath("Bild.img"),
                                    [&](const QString& l) { log << l; }));
        QVERIFY2(made.value, made.story());
        QCOMPARE(*made.value, m_dir.filePath("Bild.iso"));
        QCOMPARE(log, (QStringList{"=== hdiutil makehybrid (ISO) ===", "Quelle: " + folder,
                                   "Ziel: " + m_dir.filePath("Bild.iso")}));
        QVERIFY(QString::fromUtf8(runOrFail("isoinfo", {"-d", "-i", *made.value}))
                    .contains("Volume id: BILD"));

        log.clear();
        const Outcome<QString> noTool = await(service.createISO(
            folder, m_dir.filePath("hdiutil"), "BILD", m_dir.filePath("Nie.iso"),
            [&](const QString& l) { log << l; }));
        QVERIFY2(noTool.error, noTool.story());
        QCOMPARE(noTool.error->kind(), FFmpegError::Kind::ToolNotFound);
        QVERIFY(log.isEmpty());
    }

    // A stage job ends once: with its product, its error, or cancelled; and pause reaches its tool.
    void stageJobEndings() {
        FFmpegService service;
        const QString mpg = m_dir.filePath("job/film.mpg");
        const auto authoring = [&](const QString& body) {
            return StageJob::authoring(service, mpg, writeScript(m_dir, "dvdauthor-job", body),
                                       {}, {[](const QString&) {}});
        };
        const Outcome<StageJob::Ending> done = await(authoring("exit 0")->run());
        QVERIFY2(done.value, done.story());
        QCOMPARE(done.value->kind, StageJob::Ending::Kind::succeeded);
        QCOMPARE(done.value->product.path, m_dir.filePath("job/film_DVD"));

        const Outcome<StageJob::Ending> failed = await(authoring("exit 2")->run());
        QVERIFY2(failed.value, failed.story());
        QCOMPARE(failed.value->kind, StageJob::Ending::Kind::failed);
        QCOMPARE(failed.value->error->code(), 2);

        // A tool that the cancel ends with a signal status still ends the job as cancelled.
        const auto slow = authoring("exec sleep 30");
        const auto outcome = start(slow->run());
        QTRY_COMPARE(childProcesses(QCoreApplication::applicationPid()).size(), 1);
        const qint64 pid = childProcesses(QCoreApplication::applicationPid()).first();
        slow->suspend();
        QTRY_COMPARE(processState(pid), 'T');
        slow->resume();
        QTRY_VERIFY(processState(pid) != 'T');
        slow->cancel();
        QTRY_VERIFY(outcome->done);
        QVERIFY2(outcome->value, outcome->story());
        QCOMPARE(outcome->value->kind, StageJob::Ending::Kind::cancelled);
        QVERIFY(outcome->value->error->isCancellation());
        QVERIFY(!processExists(pid));
    }

    void burnsAndVerifiesAnImage() {
        const QString disc = m_dir.filePath("disc.img");
        QFile(disc).open(QIODevice::WriteOnly | QIODevice::Truncate);
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        const Burn run = burn(service, m_image, true, false);
        QVERIFY2(run.outcome.succeeded(), run.outcome.story() + run.log.join('|').toUtf8());
        QCOMPARE(run.log.mid(0, 2), (QStringList{"=== DiscRecording burn ===", "ISO: " + m_image}));
        QCOMPARE(run.states.first(), BurnState::preparing);
        QCOMPARE(run.statuses.first(), "Brenner wird vorbereitet…");
        QVERIFY(run.states.contains(BurnState::trackWrite));
        QCOMPARE(run.statuses.mid(run.statuses.size() - 2),
                 (QStringList{"Verifiziere…", "Brennen abgeschlossen."}));
        QStringList distinct = run.statuses;
        QCOMPARE(distinct.removeDuplicates(), 0);
        QCOMPARE(run.progress.last(), 1.0);
        QCOMPARE(readAll(disc), readAll(m_image));
    }

    void burnFailures() {
        FFmpegService service;
        service.setBurnerBackend(
            makeLibburnBackend("stdio:" + m_dir.filePath("no/such/folder/disc")));
        const Burn noDrive = burn(service, m_image, false, false);
        QVERIFY2(noDrive.outcome.error, noDrive.outcome.story());
        QCOMPARE(noDrive.outcome.error->description(), "Vorgang fehlgeschlagen (Exit Code -1).");
        QCOMPARE(noDrive.log.size(), 3); // the headers and why the drive is not there

        service.setBurnerBackend(makeLibburnBackend("stdio:" + m_dir.filePath("disc2.img")));
        const Burn noImage = burn(service, m_dir.filePath("missing.iso"), false, false);
        QVERIFY2(noImage.outcome.error, noImage.outcome.story());
        QCOMPARE(noImage.outcome.error->code(), -2);
        QVERIFY(noImage.statuses.isEmpty());
    }

    void burnStatusReactions() {
        FFmpegService service;
        service.setBurnerBackend(std::make_unique<ScriptedBackend>(QList<QList<BurnReport>>{
            {BurnReport{}}, // no state yet: no text
            {BurnReport{BurnState::trackWrite, 0.2, {}, {}}},
            {BurnReport{BurnState::trackWrite, 0.4, {}, {}},
             BurnReport{BurnState::sessionClose, {}, {}, {}}},
            {BurnReport{BurnState::failed, 0.5, {"Fehler: Sektor 7 weicht ab."}, {}}},
            {BurnReport{BurnState::done, 1.0, {}, {}}}, // after the end: ignored
        }));
        QStringList events;
        const auto outcome = start(service.burnISO(
            "/x.iso", false, false, [&](double f) { events << QStringLiteral("progress %1").arg(f); },
            [&](BurnState, const QString& s) { events << "status " + s; },
            [&](const QString& l) { events << "log " + l; }));
        QTRY_VERIFY(outcome->done);
        QTest::qWait(300);
        QCOMPARE(events,
                 (QStringList{"log === DiscRecording burn ===", "log ISO: /x.iso", "progress 0.2",
                              "log Brennvorgang läuft…", "status Brennvorgang läuft…",
                              "progress 0.4", "log Sitzung wird abgeschlossen…",
                              "status Sitzung wird abgeschlossen…", "progress 0.5",
                              "log Fehler: Sektor 7 weicht ab.", "log Brennen fehlgeschlagen.",
                              "status Brennen fehlgeschlagen."}));
        QVERIFY2(outcome->error, outcome->story());
        QCOMPARE(outcome->error->code(), -3);
    }

    void erasesARewritableDiscFirst() {
        const QString disc = m_dir.filePath("rewritable.img");
        makeImage(disc, 4);
        const int fd = ::open(QFile::encodeName(disc).constData(), O_WRONLY);
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend(QStringLiteral("stdio:/dev/fd/%1").arg(fd)));
        const Burn erased = burn(service, m_image, true, true);
        ::close(fd);
        QVERIFY2(erased.outcome.succeeded(), qPrintable(erased.log.join('|')));
        QCOMPARE(readAll(disc), readAll(m_image));
    }

    void abortEndsABurnHalfWay() {
        const QString big = makeImage(m_dir.filePath("big.iso"), 300);
        const QString disc = m_dir.filePath("big-disc.img");
        QFile(disc).open(QIODevice::WriteOnly | QIODevice::Truncate);

        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        StageControl control;
        QList<double> progress;
        const auto outcome = start(service.burnISO(
            big, true, false,
            [&](double f) {
                progress << f;
                if (f > 0.05)
                    control.cancel();
            },
            [](BurnState, const QString&) {}, [](const QString&) {}, control));
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 30000);
        QVERIFY2(outcome->error && outcome->error->isCancellation(), outcome->story());
        QVERIFY(progress.last() < 0.9);
        QVERIFY(QFileInfo(disc).size() < QFileInfo(big).size());
    }
};

QTEST_GUILESS_MAIN(DvdDiscTest)
#include "tst_dvd_disc.moc"
