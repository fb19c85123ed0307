// The PAL encode with the real ffmpeg and ffprobe on generated clips, one encode per kind of
// source, judged by ffmpeg's own readers.
#include "FFmpegService.h"
#include "MediaChecks.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace testing;

namespace {

double durationOf(const QString& path) {
    return probeStreams(path).value("format").toObject().value("duration").toString().toDouble();
}

// Generator arguments for one second of a white square on black that is square as displayed:
// with a sample aspect of sarX:sarY its stored width differs from its height. A sample aspect
// of 0 leaves the source without one, which players show as square pixels.
QStringList squareClip(int width, int height, int sarX, int sarY) {
    const double sar = sarX ? double(sarX) / sarY : 1.0;
    const int side = int(std::min(width * sar, double(height))) * 3 / 5;
    const int storedWidth = int(side / sar);
    const QString picture = QString::asprintf(
        "color=c=black:s=%dx%d:r=25:d=1,drawbox=x=%d:y=%d:w=%d:h=%d:c=white:t=fill,setsar=%d/%d",
        width, height, (width - storedWidth) / 2, (height - side) / 2, storedWidth, side, sarX,
        sarY ? sarY : 1);
    return {"-f", "lavfi", "-i", picture, "-c:v", "libx264", "-preset", "ultrafast", "-qp", "0"};
}

void verifySquare(const QString& path) {
    const auto ratio = whiteShapeRatio(path, 0.5);
    QVERIFY2(ratio && qAbs(*ratio - 1.0) < 0.01, qPrintable(QString::number(ratio.value_or(0))));
}

} // namespace

class PalEncodeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_wide;

private slots:
    // 16:9 at 25 frames per second with sound, under a path that breaks anything that quotes for
    // a shell.
    void initTestCase() {
        const QString odd = "Filme \"alt\" 'Ü'\nneu/-Größe $HOME; *";
        QVERIFY(QDir(m_dir.path()).mkpath(odd.section('/', 0, 0)));
        m_wide = makeClip(m_dir, odd + ".mp4",
                          words("-f lavfi -i sine=d=1 -c:a aac") + squareClip(320, 180, 1, 1));
    }

    void progressiveWideSource() {
        const QString out = m_wide + "_PAL_DVD.mpg";
        const Encode result = encode(m_wide, out);
        QVERIFY2(!result.error, result.failure());
        QCOMPARE(result.log.mid(0, 7),
                 (QStringList{"=== Probe ===", "FPS: 25.000, Dauer: 1.0s, DAR: 1.778, SAR: 64/45",
                              "Aspect: Auto", "Speedup: nein", "Bitrate: 6000k (max 8000k)",
                              "Audio-Stream: Auto (Default)", "=== ffmpeg ==="}));
        QVERIFY(!result.progress.isEmpty() && result.progress.last() > 0.9);
        QCOMPARE(streamEntries(out, "video", "avg_frame_rate,codec_name,height,width").values(),
                 (QStringList{"25/1", "mpeg2video", "576", "720"}));
        QCOMPARE(streamEntries(out, "audio", "bit_rate,channels,codec_name,sample_rate").values(),
                 (QStringList{"192000", "2", "ac3", "48000"}));
        // DVD-Video wants an interlaced sequence; progressive pictures are shown top field first.
        const auto fields = mpegHeaderFields(out);
        QCOMPARE(fields.value("progressive_sequence"), QSet<qint64>{0});
        QCOMPARE(fields.value("top_field_first"), QSet<qint64>{1});
        verifySquare(out);
    }

    // Letterboxed, pillarboxed, turned and with stored sample aspects: a square stays square.
    void pictureKeepsItsShape_data() {
        QTest::addColumn<QStringList>("clip");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<std::optional<bool>>("widescreen");
        QTest::addColumn<QString>("displayAspect");
        const auto row = [](const char* name, int width, int height, int sarX, int sarY,
                            bool turned, std::optional<bool> widescreen, const char* aspect) {
            QTest::newRow(name) << squareClip(width, height, sarX, sarY) << turned << widescreen
                                << QString(aspect);
        };
        row("2.39:1", 478, 200, 1, 1, false, {}, "16:9");
        row("1:1", 200, 200, 1, 1, false, {}, "4:3");
        row("9:16 stored on its side", 320, 180, 1, 1, true, {}, "4:3");
        row("720x576 SAR 16:15", 720, 576, 16, 15, false, {}, "4:3");
        row("no aspect flags", 480, 270, 0, 0, false, {}, "16:9");
        row("16:9 on a 4:3 disc", 320, 180, 1, 1, false, false, "4:3");
    }
    void pictureKeepsItsShape() {
        QFETCH(QStringList, clip);
        QFETCH(bool, turned);
        QFETCH(std::optional<bool>, widescreen);
        QFETCH(QString, displayAspect);
        const QString name = QTest::currentDataTag();
        QString source = makeClip(m_dir, name + ".mp4", clip);
        if (turned)
            source = makeClip(m_dir, name + " turned.mp4",
                              {"-i", source, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
        const QString out = m_dir.filePath(name + ".mpg");
        const Encode result = encode(source, out, {widescreen, {}});
        QVERIFY2(!result.error, result.failure());
        const auto video = streamEntries(out, "video", "display_aspect_ratio,height,width");
        QCOMPARE(video.values(), (QStringList{displayAspect, "576", "720"}));
        verifySquare(out);
    }

    // testsrc at the field rate, woven into frames: each frame holds two moments. Kept fields
    // stay in the order the flags signal, deinterlaced ones become whole frames.
    void interlacedSources_data() {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<QString>("scan");
        QTest::addColumn<QString>("seen");
        QTest::newRow("25i bottom first, scaled up") << "testsrc=s=360x288:r=50:d=2"
                                                     << "bff"
                                                     << "bff";
        QTest::newRow("29.97i, deinterlaced") << "testsrc=s=360x240:r=60000/1001:d=2"
                                              << "tff"
                                              << "progressive";
    }
    void interlacedSources() {
        QFETCH(QString, generator);
        QFETCH(QString, scan);
        QFETCH(QString, seen);
        const QString top = scan == "tff" ? "1" : "0";
        const QString source =
            makeClip(m_dir, QString(QTest::currentDataTag()) + ".mkv",
                     {"-f", "lavfi", "-i", generator + ",interlace=scan=" + scan, "-c:v",
                      "mpeg2video", "-flags", "+ildct+ilme", "-top", top, "-b:v", "8M"});
        const QString out = m_dir.filePath(QString(QTest::currentDataTag()) + ".mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());
        const auto fields = mpegHeaderFields(out);
        QCOMPARE(fields.value("progressive_sequence"), QSet<qint64>{0});
        QCOMPARE(fields.value("top_field_first"), QSet<qint64>{seen == "bff" ? 0 : 1});
        QCOMPARE(fieldsSeen(out), seen);
        QVERIFY(qAbs(durationOf(out) - 2.0) < 0.1);
    }

    // A 23.976 fps film whose picture starts 0.1 s into the file, with three chapters, a silent
    // English sound and a German one with a tone at each white frame (1.001 s and 3.003 s).
    void filmIsSpedUpInSyncWithTheChosenSound() {
        const QString picture = "color=c=black:s=320x240:r=24000/1001:d=5,drawbox=c=white:t=fill:"
                                "enable='eq(n,24)+eq(n,72)'";
        const QString sound = "aevalsrc='sin(2*PI*1000*t)*(between(t,1.101,1.201)+between(t,"
                              "3.103,3.203))':s=48000:d=5.1";
        const QString film = makeClip(
            m_dir, "film.mkv",
            QStringList{"-itsoffset", "0.1", "-f", "lavfi", "-i", picture, "-f", "lavfi", "-i",
                        "anullsrc=cl=mono:d=5.1", "-f", "lavfi", "-i", sound, "-i",
                        writeChapters(m_dir, {0, 2, 4.5}, 5.1)} +
                words("-map 0:v -map 1:a -map 2:a -map_chapters 3 -metadata:s:a:0 language=eng "
                      "-metadata:s:a:1 language=ger -c:v libx264 -preset veryfast -c:a flac"));
        const QString out = m_dir.filePath("film.mpg");
        const Encode german = encode(film, out, EncodeSettings{{}, 1, 6000, 8000});
        QVERIFY2(!german.error, german.failure());
        QVERIFY(german.log.contains("Speedup: ja") && german.log.contains("Audio-Stream: 0:a:1"));
        // The bar reaches its end although the encode is shorter than the source.
        QVERIFY2(german.progress.last() > 0.99,
                 qPrintable(QString::number(german.progress.last())));
        const double speedUp = 24000.0 / 1001 / 25;
        QVERIFY2(qAbs(durationOf(out) - 5 * speedUp) < 0.1,
                 qPrintable(QString::number(durationOf(out))));
        QCOMPARE(streamEntries(out, "audio", "channels").value("channels"), "2");
        QCOMPARE(german.title->audioLanguage, "de");
        // The encoded title starts with the picture; the marks move with it and are sped up.
        const double start =
            streamEntries(film, "video", "start_time").value("start_time").toDouble();
        const QList<double> marks{0, (2 - start) * speedUp, (4.5 - start) * speedUp};
        QCOMPARE(german.title->chapterStarts.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(qAbs(german.title->chapterStarts[i] - marks[i]) < 0.001,
                     qPrintable(QString::number(german.title->chapterStarts[i])));
        // Each tone stays on its flash as in the source, sped up with it.
        const QList<double> sourceFlashes = flashTimes(film);
        const QList<double> sourceTones = toneOnsets(film, 1);
        const QList<double> flashes = flashTimes(out);
        const QList<double> tones = toneOnsets(out);
        QVERIFY(sourceFlashes.size() >= 2 && sourceTones.size() >= 2);
        QVERIFY(flashes.size() >= 2 && tones.size() >= 2);
        for (int i = 0; i < 2; ++i) {
            const double sourceOffset = (sourceTones[i] - sourceFlashes[i]) * speedUp;
            QVERIFY2(qAbs(tones[i] - flashes[i] - sourceOffset) < 0.005,
                     qPrintable(QString::asprintf("flash %g s, tone %g s, source offset %g ms",
                                                  flashes[i], tones[i], sourceOffset * 1000)));
        }

        // Without a choice ffmpeg takes the first of the equal streams.
        const Encode first = encode(film, m_dir.filePath("first.mpg"));
        QVERIFY2(first.title, first.failure());
        QCOMPARE(first.title->audioLanguage, "en");
    }

    void cutOffSourceFails() {
        const QString whole =
            makeClip(m_dir, "whole.mkv",
                     words("-f lavfi -i testsrc2=s=320x240:r=25:d=10,noise=alls=30:allf=t -f lavfi "
                           "-i sine=d=10 -c:v libx264 -preset ultrafast -c:a aac"));
        const QString cut = m_dir.filePath("cut.mkv");
        QVERIFY(QFile::copy(whole, cut) && QFile::resize(cut, QFileInfo(whole).size() / 5));
        const Encode result = encode(cut, m_dir.filePath("cut.mpg"));
        QVERIFY(result.error);
        QVERIFY2(QRegularExpression("^Die Kodierung endete nach 0:0[0-3] von 0:10 – die "
                                    "Quelldatei ist unvollständig oder beschädigt\\.$")
                     .match(result.error->description())
                     .hasMatch(),
                 result.failure());
        // ffmpeg's own words on the broken file travel with the error and reach the log.
        const QString reason = result.error->toolReason();
        QVERIFY2(reason.contains("File ended prematurely") ||
                     reason.contains("Truncating packet") || reason.contains("Invalid data found"),
                 qPrintable(reason));
        for (const QString& line : reason.split('\n'))
            QVERIFY(result.log.contains(line));
    }

    // Refused with the reason, and the one ffmpeg gives logged; no MPEG file is left.
    void badSources_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<std::optional<int>>("audio");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("logged");
        QFile text(m_dir.filePath("notes.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Einkaufsliste: Milch, Brot\n") > 0);
        QTest::newRow("not a video") << text.fileName() << std::optional<int>()
                                     << "ffprobe Analyse fehlgeschlagen: " << QString();
        QTest::newRow("no video") << makeClip(m_dir, "audio only.m4a",
                                              words("-f lavfi -i sine=d=2"))
                                  << std::optional<int>()
                                  << "Die Quelldatei enthält keine Videospur: " << QString();
        QTest::newRow("chosen sound missing")
            << makeClip(m_dir, "silent.mp4", squareClip(320, 180, 1, 1)) << std::optional(0)
            << "Vorgang fehlgeschlagen"
            << "Stream map '0:a:0' matches no streams";
    }
    void badSources() {
        QFETCH(QString, input);
        QFETCH(std::optional<int>, audio);
        QFETCH(QString, failure);
        QFETCH(QString, logged);
        const QString out = m_dir.filePath("bad.mpg");
        const Encode result = encode(input, out, EncodeSettings{{}, audio});
        QVERIFY2(result.error && result.error->description().startsWith(failure), result.failure());
        QVERIFY2(logged.isEmpty() || !result.log.filter(logged).isEmpty(),
                 qPrintable(result.log.join('\n')));
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_GUILESS_MAIN(PalEncodeTest)
#include "tst_pal_encode.moc"
