// The PAL encode and the probes with the real ffmpeg and ffprobe on generated clips.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "MediaChecks.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace testing;

namespace {

double durationOf(const QString& path) {
    return probeStreams(path).value("format").toObject().value("duration").toString().toDouble();
}

double meanVolume(const QString& path) {
    const QString text = runProgram("ffmpeg", {"-hide_banner", "-i", path, "-map", "0:a:0", "-af",
                                               "volumedetect", "-f", "null", "-"})
                             .errorOutput;
    const qsizetype at = text.indexOf("mean_volume: ");
    return at < 0 ? 0 : text.mid(at + 13).section(' ', 0, 0).toDouble();
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

} // namespace

class PalEncodeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_wide;
    QString m_film;

private slots:
    void initTestCase() {
        // A path that breaks anything that quotes for a shell.
        const QString odd = "Filme \"alt\" 'Ü'\nneu/-Größe $HOME; *";
        QVERIFY(QDir(m_dir.path()).mkpath(odd.section('/', 0, 0)));
        m_wide = makeClip(m_dir, odd + ".mp4",
                          words("-f lavfi -i testsrc2=s=320x180:r=25:d=2 -f lavfi -i sine=d=2 "
                                "-c:v libx264 -preset ultrafast -c:a aac -ac 2"));
        // 23.976 fps film with three chapters and two mono audio streams: a silent English one
        // first, a German tone second.
        m_film = makeClip(
            m_dir, "film.mkv",
            words("-f lavfi -i testsrc=s=160x90:r=24000/1001:d=6 -f lavfi -i anullsrc=cl=mono "
                  "-f lavfi -i sine=f=1000:d=6 -i") +
                QStringList{writeChapters(m_dir, {0, 2, 4.5}, 6)} +
                words("-map 0:v -map 1:a -map 2:a -map_chapters 3 -metadata:s:a:0 language=eng "
                      "-metadata:s:a:1 language=ger -shortest -c:v libx264 -preset ultrafast "
                      "-c:a aac"));
    }

    void wideSourceBecomesPalDvd() {
        const QString out = m_wide + "_PAL_DVD.mpg";
        const Encode result = encode(m_wide, out);
        QVERIFY2(!result.error, result.failure());
        QCOMPARE(result.log.mid(0, 7),
                 (QStringList{"=== Probe ===", "FPS: 25.000, Dauer: 2.0s, DAR: 1.778, SAR: 64/45",
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
    }

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
        row("1.85:1", 370, 200, 1, 1, false, {}, "16:9");
        row("16:9", 320, 180, 1, 1, false, {}, "16:9");
        row("4:3", 240, 180, 1, 1, false, {}, "4:3");
        row("1:1", 200, 200, 1, 1, false, {}, "4:3");
        row("9:16", 180, 320, 1, 1, false, {}, "4:3");
        row("9:16 stored on its side", 320, 180, 1, 1, true, {}, "4:3");
        row("720x576 SAR 16:15", 720, 576, 16, 15, false, {}, "4:3");
        row("720x576 SAR 64:45", 720, 576, 64, 45, false, {}, "16:9");
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
        const auto video = streamEntries(out, "video", "width,height,display_aspect_ratio");
        QCOMPARE(video.value("display_aspect_ratio"), displayAspect);
        QCOMPARE(video.value("width") + "x" + video.value("height"), "720x576");
        const auto ratio = whiteShapeRatio(out, 0.5);
        QVERIFY(ratio);
        QVERIFY2(qAbs(*ratio - 1.0) < 0.01, qPrintable(QString::number(*ratio)));
    }

    void interlacedSources_data() {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<QString>("scan");
        QTest::addColumn<bool>("keepsFields");
        // testsrc at the field rate, woven into frames: each frame holds two moments.
        QTest::newRow("25i top first, PAL size") << "testsrc=s=720x576:r=50:d=2"
                                                 << "tff" << true;
        QTest::newRow("25i bottom first, scaled up") << "testsrc=s=360x288:r=50:d=2"
                                                     << "bff" << true;
        QTest::newRow("29.97i, deinterlaced") << "testsrc=s=360x240:r=60000/1001:d=2"
                                              << "tff" << false;
    }
    void interlacedSources() {
        QFETCH(QString, generator);
        QFETCH(QString, scan);
        QFETCH(bool, keepsFields);
        const bool topFirst = scan == "tff";
        const QString source = makeClip(m_dir, QString(QTest::currentDataTag()) + ".mkv",
                                        {"-f", "lavfi", "-i", generator + ",interlace=scan=" + scan,
                                         "-c:v", "mpeg2video", "-flags", "+ildct+ilme", "-top",
                                         topFirst ? "1" : "0", "-b:v", "8M"});
        QCOMPARE(streamEntries(source, "video", "field_order").value("field_order"),
                 topFirst ? "tt" : "bb");
        const QString out = m_dir.filePath(QString(QTest::currentDataTag()) + ".mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());

        const auto fields = mpegHeaderFields(out);
        QCOMPARE(fields.value("progressive_sequence"), QSet<qint64>{0});
        QCOMPARE(fields.value("top_field_first"), QSet<qint64>{topFirst ? 1 : 0});
        // idet agrees with the flags: the fields are there, in the signalled order, or the
        // pictures are whole frames.
        const auto counts = detectFields(out);
        QVERIFY(counts);
        const int frames =
            counts->topFirst + counts->bottomFirst + counts->progressive + counts->undetermined;
        const int agreeing = !keepsFields ? counts->progressive
                             : topFirst   ? counts->topFirst
                                          : counts->bottomFirst;
        QVERIFY2(agreeing > frames * 9 / 10,
                 qPrintable(QStringLiteral("%1 of %2 agree").arg(agreeing).arg(frames)));
        QVERIFY(qAbs(durationOf(out) - 2.0) < 0.1);
    }

    void variableRateIsNotSpedUp() {
        // Every fifth frame of a 30 fps clip left out: an average of 24, frames on a 30 grid.
        const QString source = makeClip(m_dir, "phone.mp4",
                                        words("-f lavfi -i testsrc=s=320x180:r=30:d=3 -vf "
                                              "select='not(eq(mod(n\\,5)\\,2))' -fps_mode vfr "
                                              "-c:v libx264 -preset ultrafast"));
        const auto rates = streamEntries(source, "video", "avg_frame_rate,r_frame_rate");
        QCOMPARE(rates.value("avg_frame_rate"), "24/1");
        QCOMPARE(rates.value("r_frame_rate"), "30/1");
        const QString out = m_dir.filePath("phone.mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());
        QVERIFY(result.log.contains("Speedup: nein"));
        QVERIFY2(qAbs(durationOf(out) - 3.0) < 0.1, qPrintable(QString::number(durationOf(out))));
    }

    void soundStaysInSyncWithFilm_data() {
        QTest::addColumn<QString>("source");
        // A white frame and a tone at 1.001 s and 3.003 s of a 23.976 fps film.
        const QString picture = "color=c=black:s=320x240:r=24000/1001:d=5,drawbox=c=white:t=fill:"
                                "enable='eq(n,24)+eq(n,72)'";
        const auto tones = [](double start) {
            return QString::asprintf(
                "aevalsrc='sin(2*PI*1000*t)*(between(t,%g,%g)+between(t,%g,%g))':s=48000:d=5",
                start + 1.001, start + 1.101, start + 3.003, start + 3.103);
        };
        QTest::newRow("MP4 with B-frames")
            << makeClip(m_dir, "bframes.mp4",
                        QStringList{"-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", tones(0)} +
                            words("-c:v libx264 -preset veryfast -bf 3 -c:a aac -b:a 192k"));
        // The picture starts 0.1 s into the file, its flashes with it; the sound from 0.
        QTest::newRow("MKV whose picture starts late")
            << makeClip(m_dir, "late.mkv",
                        QStringList{"-itsoffset", "0.1", "-f", "lavfi", "-i", picture, "-f",
                                    "lavfi", "-i", tones(0.1)} +
                            words("-c:v libx264 -preset veryfast -c:a flac"));
    }
    void soundStaysInSyncWithFilm() {
        QFETCH(QString, source);
        const QList<double> sourceFlashes = flashTimes(source);
        const QList<double> sourceTones = toneOnsets(source);
        QVERIFY(sourceFlashes.size() >= 2 && sourceTones.size() >= 2);

        const QString out = source + ".mpg";
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());
        QVERIFY(result.log.contains("Speedup: ja"));
        const QList<double> flashes = flashTimes(out);
        const QList<double> tones = toneOnsets(out);
        QVERIFY(flashes.size() >= 2 && tones.size() >= 2);
        for (int i = 0; i < 2; ++i) {
            const double sourceOffset = (sourceTones[i] - sourceFlashes[i]) * 24000 / 1001 / 25;
            const double offset = tones[i] - flashes[i];
            QVERIFY2(qAbs(offset - sourceOffset) < 0.005,
                     qPrintable(QString::asprintf("flash %g s, tone %g s, source offset %g ms",
                                                  flashes[i], tones[i], sourceOffset * 1000)));
        }
    }

    void cutOffSourceFails() {
        const QString whole =
            makeClip(m_dir, "whole.mkv",
                     words("-f lavfi -i testsrc2=s=320x240:r=25:d=10,noise=alls=30:allf=t -f lavfi "
                           "-i sine=d=10 -c:v libx264 -preset ultrafast -c:a aac"));
        QVERIFY(QFileInfo(whole).size() > 600 * 1024);
        const QString cut = m_dir.filePath("cut.mkv");
        QVERIFY(QFile::copy(whole, cut) && QFile::resize(cut, QFileInfo(whole).size() / 5));
        const Encode result = encode(cut, m_dir.filePath("cut.mpg"));
        QVERIFY(result.error);
        QCOMPARE(result.error->kind(), FFmpegError::Kind::IncompleteSource);
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

    void filmIsSpedUpWithTheChosenAudio() {
        const Encode german =
            encode(m_film, m_dir.filePath("film.mpg"), EncodeSettings{{}, 1, 6000, 8000});
        QVERIFY2(!german.error, german.failure());
        QVERIFY(german.log.contains("Speedup: ja"));
        // The bar reaches its end although the encode is shorter than the source.
        QCOMPARE(german.progress.last(), 1.0);
        QVERIFY(german.log.contains("Audio-Stream: 0:a:1"));
        const double speedUp = 24000.0 / 1001 / 25;
        const double duration = durationOf(m_dir.filePath("film.mpg"));
        QVERIFY2(qAbs(duration - 6 * speedUp) < 0.1, qPrintable(QString::number(duration)));
        QCOMPARE(streamEntries(m_dir.filePath("film.mpg"), "audio", "channels").value("channels"),
                 "2");
        QVERIFY(meanVolume(m_dir.filePath("film.mpg")) > -40);
        QCOMPARE(german.title->audioLanguage, "de");
        // The encoded title starts with the picture, which the muxer put a little after the
        // sound; the marks move with it and are sped up.
        const double pictureStart =
            streamEntries(m_film, "video", "start_time").value("start_time").toDouble();
        const QList<double> expected{0, (2 - pictureStart) * speedUp,
                                     (4.5 - pictureStart) * speedUp};
        QCOMPARE(german.title->chapterStarts.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(qAbs(german.title->chapterStarts[i] - expected[i]) < 0.001,
                     qPrintable(QString::number(german.title->chapterStarts[i])));

        // Without a choice ffmpeg takes the first of the equal streams.
        const Encode first = encode(m_film, m_dir.filePath("first.mpg"));
        QVERIFY2(first.title, first.failure());
        QCOMPARE(first.title->audioLanguage, "en");
    }

    void badSources_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("failure");
        const QString unreadable = "ffprobe Analyse fehlgeschlagen: ";
        QFile text(m_dir.filePath("notes.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Einkaufsliste: Milch, Brot\n");
        text.close();
        QTest::newRow("not a video") << text.fileName() << unreadable;
        QTest::newRow("missing file") << m_dir.filePath("gone.mp4") << unreadable;
        QTest::newRow("no video") << makeClip(m_dir, "audio only.m4a",
                                              words("-f lavfi -i sine=d=2"))
                                  << "Die Quelldatei enthält keine Videospur: ";
    }
    void badSources() {
        QFETCH(QString, input);
        QFETCH(QString, failure);
        const QString out = m_dir.filePath("bad.mpg");
        const Encode result = encode(input, out);
        QVERIFY(result.error);
        QVERIFY2(result.error->description().startsWith(failure), result.failure());
        QVERIFY(!result.log.contains("=== ffmpeg ==="));
        QVERIFY(!QFile::exists(out));
    }

    // Asking for an audio stream the source does not have fails with ffmpeg's reason logged.
    void missingAudioStreamFails() {
        const QString silent = makeClip(m_dir, "silent.mp4", squareClip(320, 180, 1, 1));
        const Encode chosen = encode(silent, m_dir.filePath("silent.mpg"), EncodeSettings{{}, 0});
        QVERIFY(chosen.error);
        QCOMPARE(chosen.error->kind(), FFmpegError::Kind::ConversionFailed);
        QVERIFY(!chosen.log.filter("Stream map '0:a:0' matches no streams").isEmpty());
    }

    void toolProblems() {
        const Encode directory = encode(m_wide, m_dir.filePath("x.mpg"), {}, m_dir.path());
        QVERIFY(directory.error);
        QCOMPARE(directory.error->description(),
                 "Tool nicht gefunden oder nicht ausführbar: " + m_dir.path());
        QVERIFY(directory.log.isEmpty());

        // ffmpeg alone in its folder: the probe is skipped and the encode still runs, without
        // progress since nothing is known of the source's length.
        const QString lonely = m_dir.filePath("lonely");
        QVERIFY(QDir().mkpath(lonely));
        QVERIFY(QFile::link("/usr/bin/ffmpeg", lonely + "/ffmpeg"));
        const Encode result = encode(m_wide, m_dir.filePath("lonely.mpg"), {}, lonely + "/ffmpeg");
        QVERIFY2(!result.error, result.failure());
        QCOMPARE(result.log.mid(0, 2),
                 (QStringList{"Hinweis: ffprobe nicht gefunden unter " + lonely +
                                  "/ffprobe. Probe wird übersprungen.",
                              "=== Probe ==="}));
        QVERIFY(result.log.contains("FPS: n/a, Dauer: n/a, DAR: n/a, SAR: 64/45"));
        QVERIFY(result.progress.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PalEncodeTest)
#include "tst_pal_encode.moc"
