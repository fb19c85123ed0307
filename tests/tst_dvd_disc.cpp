// From an encoded MPEG to a disc: DVD authoring with the real dvdauthor, and burning an image
// made by our hdiutil command with libburn onto stdio pseudo-drives (the image command itself:
// tst_image_command).
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace testing;

namespace {

struct Run {
    QStringList log;
    QStringList statuses;
    QList<double> progress;
    std::optional<FFmpegError> error;
};

Run burn(FFmpegService& service, const QString& iso, bool verify, bool erase,
         std::stop_token stop = {}) {
    Run run;
    run.error = awaitError(service.burnISO(
        iso, verify, erase, [&](double f) { run.progress << f; },
        [&](const QString& s) { run.statuses << s; }, [&](const QString& l) { run.log << l; },
        stop));
    return run;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A recorder that plays back a fixed list of polls: for the reactions that no real drive can be
// made to show on demand (a failing disc, unknown states, repeated reports).
class ScriptedBurn : public DiscBurn {
public:
    explicit ScriptedBurn(QList<QList<BurnReport>> polls)
        : m_polls(std::move(polls)) {}
    void start(const QString&, bool, bool) override {}
    QList<BurnReport> poll() override {
        return m_polls.isEmpty() ? QList<BurnReport>{} : m_polls.takeFirst();
    }
    void abort() override {}

private:
    QList<QList<BurnReport>> m_polls;
};

class ScriptedBackend : public BurnerBackend {
public:
    explicit ScriptedBackend(QList<QList<BurnReport>> polls)
        : m_polls(std::move(polls)) {}
    std::unique_ptr<DiscBurn> createBurn() override {
        return std::make_unique<ScriptedBurn>(m_polls);
    }

private:
    QList<QList<BurnReport>> m_polls;
};

} // namespace

class DvdDiscTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_mpg;
    QString m_dvdFolder;
    QString m_iso;

private slots:
    void initTestCase() {
        m_mpg = makeClip(m_dir, "Reise_PAL_DVD.mpg",
                         {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                          "sine=d=2", "-target", "pal-dvd", "-aspect", "16:9"});

        // The image the burns write, authored from a copy so that the authoring tests start
        // without a DVD folder.
        const QString copy = m_dir.filePath("Bild.mpg");
        QVERIFY(QFile::copy(m_mpg, copy));
        FFmpegService service;
        const QString folder =
            await(service.createVideoTS(copy, "/usr/bin/dvdauthor", [](const QString&) {}));
        m_iso = m_dir.filePath("Bild.iso");
        const ProgramRun made =
            runProgram(QStringLiteral(KESTRIN_HDIUTIL),
                       {"makehybrid", "-udf", "-iso", "-joliet", "-default-volume-name", "BILD",
                        "-o", m_iso.chopped(4), folder});
        QVERIFY2(made.exitCode == 0, qPrintable(made.errorOutput));
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
        m_dvdFolder = await(service.createVideoTS(m_mpg, "/usr/bin/dvdauthor",
                                                  [&](const QString& l) { log << l; }));
        QCOMPARE(m_dvdFolder, m_dir.filePath("Reise_PAL_DVD_DVD"));
        QCOMPARE(log.mid(0, 2), (QStringList{"=== dvdauthor ===", "DVD Ordner: " + m_dvdFolder}));
        QVERIFY(log.size() > 2); // dvdauthor's own report
        for (const char* file : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB"})
            QVERIFY2(QFile::exists(m_dvdFolder + "/VIDEO_TS/" + file), file);

        // A second run reuses the folder without emptying it.
        QFile keep(m_dvdFolder + "/keep.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        await(service.createVideoTS(m_mpg, "/usr/bin/dvdauthor", [](const QString&) {}));
        QVERIFY(QFile::exists(m_dvdFolder + "/keep.txt"));
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
        const QString folder =
            await(service.createVideoTS(mpg, quiet, [&](const QString& l) { log << l; }));
        qunsetenv("VIDEO_FORMAT");
        QCOMPARE(log, (QStringList{
                          "=== dvdauthor ===", "DVD Ordner: " + folder, "out", "err", "out", "err",
                          "Warnung: VIDEO_TS wurde nicht gefunden unter " + folder + "/VIDEO_TS"}));
        QCOMPARE(QString::fromUtf8(readAll(calls)).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"PAL -t " + mpg + " -o " + folder, "PAL -T -o " + folder}));

        // A failing first run ends the operation before the second.
        QFile::remove(calls);
        const QString failing = writeScript(
            m_dir, "dvdauthor-fails", QStringLiteral("echo \"$*\" >> '%1'\nexit 1").arg(calls));
        QCOMPARE(awaitError(service.createVideoTS(mpg, failing, [](const QString&) {}))
                     .value()
                     .description(),
                 "Vorgang fehlgeschlagen (Exit Code 1).");
        QCOMPARE(QString::fromUtf8(readAll(calls)).count('\n'), 1);

        // A tool path that is a folder fails before anything is created.
        const QString untouched = m_dir.filePath("untouched/film.mpg");
        QCOMPARE(awaitError(service.createVideoTS(untouched, m_dir.path(), [](const QString&) {}))
                     .value()
                     .kind(),
                 FFmpegError::Kind::ToolNotFound);
        QVERIFY(!QFileInfo::exists(m_dir.filePath("untouched")));
    }

    void burnsAndVerifiesAnImage() {
        QVERIFY(!m_iso.isEmpty());
        const QString disc = m_dir.filePath("disc.img");
        QFile(disc).open(QIODevice::WriteOnly);
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        const Run run = burn(service, m_iso, true, false);
        QVERIFY2(!run.error,
                 qPrintable(run.error ? run.error->description() + run.log.join('|') : ""));
        QCOMPARE(run.log.mid(0, 2), (QStringList{"=== DiscRecording burn ===", "ISO: " + m_iso}));
        QCOMPARE(run.statuses.first(), "Brenner wird vorbereitet…");
        QVERIFY(run.statuses.contains("Brennvorgang läuft…"));
        QCOMPARE(run.statuses.mid(run.statuses.size() - 2),
                 (QStringList{"Verifiziere…", "Brennen abgeschlossen."}));
        QStringList distinct = run.statuses;
        QCOMPARE(distinct.removeDuplicates(), 0);
        QCOMPARE(run.progress.last(), 1.0);
        QCOMPARE(readAll(disc), readAll(m_iso));
        QVERIFY(!service.currentBurn);
    }

    void burnFailures() {
        FFmpegService service;
        service.setBurnerBackend(
            makeLibburnBackend("stdio:" + m_dir.filePath("no/such/folder/disc")));
        Run noDrive = burn(service, m_iso, false, false);
        QCOMPARE(noDrive.error->description(), "Vorgang fehlgeschlagen (Exit Code -1).");
        QCOMPARE(noDrive.log.size(), 2);

        service.setBurnerBackend(makeLibburnBackend("stdio:" + m_dir.filePath("disc2.img")));
        const Run noImage = burn(service, m_dir.filePath("missing.iso"), false, false);
        QCOMPARE(noImage.error->code(), -2);
        QVERIFY(noImage.statuses.isEmpty());
        QVERIFY(!service.currentBurn);
    }

    void burnStatusReactions() {
        FFmpegService service;
        service.setBurnerBackend(std::make_unique<ScriptedBackend>(QList<QList<BurnReport>>{
            {BurnReport{}}, // no state yet: no text
            {BurnReport{BurnState::trackWrite, 0.2, {}, {}}},
            {BurnReport{BurnState::trackWrite, 0.4, {}, {}},
             BurnReport{BurnState::none, {}, {}, {}}},
            {BurnReport{BurnState::failed, 0.5, {"Fehler: Sektor 7 weicht ab."}, {}}},
            {BurnReport{BurnState::done, 1.0, {}, {}}}, // after the end: ignored
        }));
        QStringList events;
        Outcome<void> outcome;
        auto task = capture(service.burnISO(
                                "/x.iso", false, false,
                                [&](double f) { events << QStringLiteral("progress %1").arg(f); },
                                [&](const QString& s) { events << "status " + s; },
                                [&](const QString& l) { events << "log " + l; }),
                            &outcome);
        QTRY_VERIFY(outcome.done);
        QTest::qWait(300);
        QCOMPARE(events,
                 (QStringList{"log === DiscRecording burn ===", "log ISO: /x.iso", "progress 0.2",
                              "log Brennvorgang läuft…", "status Brennvorgang läuft…",
                              "progress 0.4", "log Brenne DVD…", "status Brenne DVD…",
                              "progress 0.5", "log Fehler: Sektor 7 weicht ab.",
                              "log Brennen fehlgeschlagen.", "status Brennen fehlgeschlagen."}));
        QCOMPARE(errorOf(outcome).value().code(), -3);
        QVERIFY(!service.currentBurn);
    }

    void erasesARewritableDiscFirst() {
        const QString disc = m_dir.filePath("rewritable.img");
        const auto useDisc = [&](FFmpegService& service) {
            QFile old(disc);
            old.open(QIODevice::WriteOnly | QIODevice::Truncate);
            old.write(QByteArray(4 * 1024 * 1024, 'x'));
            old.close();
            const int fd = ::open(QFile::encodeName(disc).constData(), O_WRONLY);
            service.setBurnerBackend(
                makeLibburnBackend(QStringLiteral("stdio:/dev/fd/%1").arg(fd)));
            return fd;
        };
        FFmpegService service;
        const int fd = useDisc(service);
        const Run erased = burn(service, m_iso, true, true);
        ::close(fd);
        QVERIFY2(!erased.error, qPrintable(erased.log.join('|')));
        QCOMPARE(readAll(disc), readAll(m_iso));
    }

    void abortEndsABurnHalfWay() {
        const QString big = m_dir.filePath("big.iso");
        QFile image(big);
        image.open(QIODevice::WriteOnly);
        for (int i = 0; i < 300; ++i)
            image.write(QByteArray(1024 * 1024, char(i)));
        image.close();
        const QString disc = m_dir.filePath("big-disc.img");
        QFile(disc).open(QIODevice::WriteOnly);

        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        std::stop_source stop;
        Run run;
        Outcome<void> outcome;
        auto task = capture(service.burnISO(
                                big, true, false,
                                [&](double f) {
                                    run.progress << f;
                                    if (f > 0.05)
                                        stop.request_stop();
                                },
                                [](const QString&) {}, [](const QString&) {}, stop.get_token()),
                            &outcome);
        QTRY_VERIFY_WITH_TIMEOUT(outcome.done, 30000);
        QVERIFY(errorOf(outcome).value().isCancellation());
        QVERIFY(run.progress.last() < 0.9);
        QVERIFY(QFileInfo(disc).size() < image.size());
        QVERIFY(!service.currentBurn);
    }
};

QTEST_GUILESS_MAIN(DvdDiscTest)
#include "tst_dvd_disc.moc"
