// The stages after the encode, each on its own through the service: authoring with a fake
// dvdauthor, the image with genisoimage, burning with libburn onto stdio: pseudo-drives.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "FileNames.h"
#include "ScriptedBurner.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace testing;

namespace {

struct Burn {
    QStringList log;
    QStringList statuses;
    QList<double> progress;
    Outcome<void> outcome;
};

// Burns through the service; cancels the burn once its progress passes cancelAfter.
Burn burn(FFmpegService& service, const QString& iso, bool verify, bool erase,
          double cancelAfter = 2) {
    Burn run;
    StageControl control;
    run.outcome = await(service.burnISO(
        iso, verify, erase,
        [&](double f) {
            run.progress << f;
            if (f > cancelAfter)
                control.cancel();
        },
        [&](BurnState, const QString& text) { run.statuses << text; },
        [&](const QString& l) { run.log << l; }, control));
    return run;
}

// A file of the given size, filled with fill; a hole, which costs nothing to make, for '\0'.
QString makeImage(const QString& path, qint64 bytes, char fill = '\0') {
    QFile image(path);
    if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate) || !image.resize(bytes))
        QTest::qFail(qPrintable("cannot make " + path), __FILE__, __LINE__);
    if (fill)
        image.write(QByteArray(bytes, fill));
    return path;
}

QStringList recorded(const QString& calls) {
    return QString::fromUtf8(fileContents(calls)).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class DvdDiscTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image; // stands in for a DVD image where only the bytes matter
    QString m_dvdFolder;

private slots:
    void initTestCase() {
        const QString mpg =
            makeClip(m_dir, "Film.mpg",
                     {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                      "sine=d=2", "-target", "pal-dvd", "-aspect", "16:9"});
        m_image = makeImage(m_dir.filePath("image.iso"), 3 << 20, 'i');
        FFmpegService service;
        const Outcome<QString> authored =
            await(service.createVideoTS(mpg, "/usr/bin/dvdauthor", [](auto) {}));
        QVERIFY2(authored.value, authored.story());
        m_dvdFolder = *authored.value;
    }

    void dvdFolderNames() {
        QCOMPARE(dvdFolderFor("/x/film"), "/x/film_DVD");
        QCOMPARE(dvdFolderFor("/x/film.part.mpg"), "/x/film.part_DVD");
    }

    // The image at a target whose extension becomes ".iso", over an older image, made by the real
    // genisoimage or by one that writes half an image and fails. Only a complete image replaces
    // the older one, and nothing else is left beside it.
    void imageReplacesTheOlderOnlyWhenComplete_data() {
        QTest::addColumn<QString>("script"); // empty: the real genisoimage
        QTest::newRow("complete") << QString();
        QTest::newRow("failed")
            << "printf 'genisoimage: Warnung\\ngenisoimage: Grund \\n\\n' >&2\nexit 5";
    }
    void imageReplacesTheOlderOnlyWhenComplete() {
        QFETCH(QString, script);
        const QTemporaryDir target;
        const QString iso = makeImage(target.filePath("Film.iso"), 3, 'a');
        const QString tool =
            script.isEmpty() ? "/usr/bin/genisoimage"
                             : writeScript(m_dir, QTest::currentDataTag(),
                                           "for a; do [ \"$next\" ] && echo half > \"$a\"; next=; "
                                           "[ \"$a\" = -o ] && next=1; done\n" +
                                               script);
        FFmpegService service;
        QStringList log;
        const Outcome<QString> made =
            await(service.createISO(m_dvdFolder, tool, "BILD", target.filePath("Film.img"),
                                    [&](const QString& l) { log << l; }));
        QCOMPARE(log.mid(0, 3), (QStringList{"=== genisoimage (ISO) ===", "Quelle: " + m_dvdFolder,
                                             "Ziel: " + iso}));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Film.iso"});
        if (script.isEmpty()) {
            QVERIFY2(made.value == iso, made.story());
            QVERIFY(runOrFail("isoinfo", {"-d", "-i", iso}).contains("Volume id: BILD\n"));
            const QByteArray descriptors = fileContents(iso).mid(16 * 2048, 8 * 2048);
            QVERIFY(descriptors.contains("BEA01") && descriptors.contains("NSR02"));
        } else {
            QVERIFY2(made.error, made.story());
            QCOMPARE(made.error->toolReason(), "genisoimage: Grund");
            QCOMPARE(fileContents(iso), QByteArray("aaa"));
        }
    }

    // Both dvdauthor calls see PAL, whatever the environment says; a failing first call ends the
    // operation before the second.
    void authoringWithFakeTools() {
        FFmpegService service;
        const QString calls = m_dir.filePath("calls.txt");
        const auto fake = [&](const QString& body) {
            QFile::remove(calls);
            return writeScript(m_dir, "dvdauthor-fake",
                               "echo \"$VIDEO_FORMAT $*\" >> '" + calls + "'\n" + body);
        };
        qputenv("VIDEO_FORMAT", "NTSC");
        const QString mpg = m_dir.filePath("fake/film.mpg");
        const Outcome<QString> authored =
            await(service.createVideoTS(mpg, fake("exit 0"), [](const QString&) {}));
        qunsetenv("VIDEO_FORMAT");
        QVERIFY2(authored.value, authored.story());
        const QString folder = *authored.value;
        QCOMPARE(recorded(calls),
                 (QStringList{"PAL -t " + mpg + " -o " + folder, "PAL -T -o " + folder}));

        const Outcome<QString> failed =
            await(service.createVideoTS(mpg, fake("exit 1"), [](const QString&) {}));
        QVERIFY2(failed.error, failed.story());
        QCOMPARE(failed.error->description(), "Vorgang fehlgeschlagen (Exit Code 1).");
        QCOMPARE(recorded(calls).size(), 1);
    }

    // No drive, no image, or an abort half way: each ends the burn the way the run expects.
    void burnEndings() {
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + m_dir.filePath("no/such/disc")));
        const Burn noDrive = burn(service, m_image, false, false);
        QVERIFY2(noDrive.outcome.error, noDrive.outcome.story());
        QCOMPARE(noDrive.outcome.error->code(), -1);
        QCOMPARE(noDrive.log.size(), 3); // the headers and why the drive is not there

        const QString disc = makeImage(m_dir.filePath("disc.img"), 0);
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        const Burn noImage = burn(service, m_dir.filePath("missing.iso"), false, false);
        QVERIFY2(noImage.outcome.error, noImage.outcome.story());
        QCOMPARE(noImage.outcome.error->code(), -2);
        QVERIFY(noImage.statuses.isEmpty());

        const QString big = makeImage(m_dir.filePath("big.iso"), qint64(2) << 30);
        const Burn aborted = burn(service, big, true, false, 0.01);
        QVERIFY2(aborted.outcome.error && aborted.outcome.error->isCancellation(),
                 aborted.outcome.story());
        QVERIFY(aborted.progress.value(aborted.progress.size() - 1, 1) < 0.9);
        QVERIFY(QFileInfo(disc).size() < QFileInfo(big).size());
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
            "/x.iso", false, false,
            [&](double f) { events << QStringLiteral("progress %1").arg(f); },
            [&](BurnState, const QString& s) { events << "status " + s; },
            [&](const QString& l) { events << "log " + l; }));
        QTRY_VERIFY(outcome->done);
        QTest::qWait(300);
        QCOMPARE(
            events,
            (QStringList{"log === DiscRecording burn ===", "log ISO: /x.iso", "progress 0.2",
                         "log Brennvorgang läuft…", "status Brennvorgang läuft…", "progress 0.4",
                         "log Sitzung wird abgeschlossen…", "status Sitzung wird abgeschlossen…",
                         "progress 0.5", "log Fehler: Sektor 7 weicht ab.",
                         "log Brennen fehlgeschlagen.", "status Brennen fehlgeschlagen."}));
        QVERIFY2(outcome->error, outcome->story());
        QCOMPARE(outcome->error->code(), -3);
    }

    // A whole burn through the service: a rewritable disc erased first, the image written and
    // read back, each state told once.
    void erasesWritesAndVerifies() {
        const QString disc = makeImage(m_dir.filePath("rewritable.img"), 4 << 20, 'r');
        const int fd = ::open(QFile::encodeName(disc).constData(), O_WRONLY);
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend(QStringLiteral("stdio:/dev/fd/%1").arg(fd)));
        const Burn run = burn(service, m_image, true, true);
        ::close(fd);
        QVERIFY2(run.outcome.succeeded(), run.outcome.story() + run.log.join('|').toUtf8());
        QCOMPARE(run.statuses.value(0), "Brenner wird vorbereitet…");
        QVERIFY(run.statuses.contains("Brennvorgang läuft…"));
        QCOMPARE(run.statuses.mid(run.statuses.size() - 2),
                 (QStringList{"Verifiziere…", "Brennen abgeschlossen."}));
        QCOMPARE(QStringList(run.statuses).removeDuplicates(), 0);
        QCOMPARE(run.progress.value(run.progress.size() - 1), 1.0);
        QCOMPARE(fileContents(disc), fileContents(m_image));
    }
};

QTEST_GUILESS_MAIN(DvdDiscTest)
#include "tst_dvd_disc.moc"
