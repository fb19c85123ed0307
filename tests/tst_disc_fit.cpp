// The size forecast and "Passend" on real images of a minute of a source that reaches every
// bitrate, for a disc scaled down to the minute.
#include "AwaitTask.h"
#include "MediaChecks.h"
#include "RecordedRun.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace testing;

namespace {

// A DVD-5 as a two-hour film fills it, scaled to one minute, in whole sectors.
const Disc minuteDisc{QStringLiteral("Test-DVD"), 4'700'372'992LL / 120 / 2048 * 2048};

struct Made {
    QStringList log;
    QStringList notes;
    std::optional<PlannedConversion> planned;
    QByteArray failure;
    QString mpg;
    QString iso;
};

// The plan of the source, and the MPEG file and image a run makes of it in folder.
Made makeImage(const QString& source, const QString& folder, const EncodeSettings& settings) {
    FFmpegService service;
    Made made;
    const LogCallback ignore = [](const QString&) {};
    made.planned =
        await(service.planConversion(source, "/usr/bin/ffmpeg", settings, ignore, ignore)).value;
    RunRequest request =
        realToolsRequest(Stage::encode, Stage::image, source, folder + "/Film.mpg");
    request.encode = settings;
    RecordedRun run(service, request);
    if (!run.succeeds())
        made.failure = run.story();
    made.log = run.toolLines;
    made.notes = run.notes;
    made.mpg = request.mpg;
    made.iso = run.ending().products.iso.value_or(QString());
    return made;
}

// The picture types in display order, one letter each.
QString pictureTypes(const QString& mpg) {
    return QString::fromUtf8(
               runOrFail("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                     "frame=pict_type", "-of", "csv=p=0", mpg}))
        .remove(u'\n')
        .remove(u',');
}

} // namespace

class DiscFitTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_source;

    QString folder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase() {
        // Moving pictures under strong temporal noise: more than any DVD bitrate can hold.
        m_source =
            makeClip(m_dir, "Rauschen.mp4",
                     {"-f", "lavfi", "-i", "testsrc2=s=480x270:r=25:d=60,noise=alls=30:allf=t+u",
                      "-f", "lavfi", "-i", "sine=f=440:d=60", "-c:v", "libx264", "-preset",
                      "ultrafast", "-crf", "26", "-c:a", "aac"});
    }

    void passendFillsTheScaledDisc() {
        EncodeSettings settings;
        settings.fillsDisc = true;
        settings.disc = minuteDisc;
        const Made made = makeImage(m_source, folder("passend"), settings);
        QVERIFY2(made.failure.isEmpty() && made.planned, made.failure);
        const double fill = double(QFileInfo(made.iso).size()) / double(minuteDisc.bytes);
        qInfo("Passend: %dk, image %lld bytes, %.2f %% of the disc",
              made.planned->plan.videoBitrateKbps, QFileInfo(made.iso).size(), fill * 100);
        QVERIFY2(fill >= 0.93 && fill <= 1.0, qPrintable(QString::number(fill)));

        const int kbps = made.planned->plan.videoBitrateKbps;
        QVERIFY(kbps > 1500 && kbps < 8000);
        QVERIFY(made.log.contains(QStringLiteral("Bitrate: %1k (max 9800k)").arg(kbps)));
        // The expected size after the summary, the projection once, while ffmpeg runs.
        QCOMPARE(made.notes.size(), 2);
        QVERIFY(made.notes[0].startsWith("Voraussichtliche Größe: 0,0"));
        QVERIFY(made.notes[0].endsWith(" GB (Test-DVD: 0,04 GB)"));
        QVERIFY(made.notes[1].startsWith("Hochgerechnete Größe: 0,0"));

        // What DVD-Video allows: GOPs of at most 15 pictures, closed, with at most two B-frames
        // in a row; the VBV buffer of 224 KiB and a peak of 9800 kbit/s in the sequence header.
        const QString types = pictureTypes(made.mpg);
        QVERIFY2(types.startsWith("IBBPBBP"), qPrintable(types.left(40)));
        for (const QString& gop : types.split(u'I', Qt::SkipEmptyParts))
            QVERIFY2(gop.size() + 1 <= 15 && !gop.contains("BBB"), qPrintable(gop));
        const auto fields = mpegHeaderFields(made.mpg);
        QCOMPARE(fields.value("closed_gop"), QSet<qint64>{1});
        QCOMPARE(fields.value("vbv_buffer_size_value"), QSet<qint64>{112});
        QCOMPARE(fields.value("bit_rate_value"), QSet<qint64>{9800000 / 400});
        QCOMPARE(fields.value("progressive_sequence"), QSet<qint64>{0});
    }
};

QTEST_GUILESS_MAIN(DiscFitTest)
#include "tst_disc_fit.moc"
