// The PAL encode and the probes with the real ffmpeg and ffprobe on generated clips.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "MediaChecks.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace testing;

namespace {

const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString ffprobe = QStringLiteral("/usr/bin/ffprobe");

struct Encode {
    QStringList log;
    QStringList notes;
    QList<double> progress;
    std::optional<FFmpegError> error;
    std::optional<DiscTitle> title;
};

Encode encode(const QString& input, const QString& output, EncodeSettings settings = {},
              const QString& ffmpegPath = ffmpeg) {
    FFmpegService service;
    Encode result;
    const Outcome<DiscTitle> outcome = await(service.convert(
        input, output, ffmpegPath, settings, [&](double f) { result.progress << f; },
        [&](const QString& line) { result.log << line; },
        [&](const QString& line) { result.notes << line; }));
    result.title = outcome.value;
    result.error = outcome.error;
    return result;
}

QString failureOf(const Encode& result) {
    return result.error ? result.error->description() : QString();
}

double durationOf(const QString& path) {
    return probeStreams(path).value("format").toObject().value("duration").toString().toDouble();
}

QJsonObject streamOfType(const QJsonObject& probe, const QString& type) {
    for (const QJsonValue& stream : probe["streams"].toArray())
        if (stream["codec_type"].toString() == type)
            return stream.toObject();
    return {};
}

double meanVolume(const QString& path) {
    const QString text = runProgram("ffmpeg", {"-hide_banner", "-i", path, "-map", "0:a:0", "-af",
                                               "volumedetect", "-f", "null", "-"})
                             .errorOutput;
    const qsizetype at = text.indexOf("mean_volume: ");
    return at < 0 ? 0 : text.mid(at + 13).section(' ', 0, 0).toDouble();
}

// dvdauthor takes the file as a DVD title set.
bool dvdauthorAccepts(const QString& mpg, const QString& folder) {
    return runProgram("dvdauthor", {"-t", mpg, "-o", folder}, {{"VIDEO_FORMAT", "PAL"}}).exitCode ==
               0 &&
           QFile::exists(folder + "/VIDEO_TS/VTS_01_1.VOB");
}

// Generator arguments for one second of a white square on black that is square as displayed:
// with a sample aspect of sarX:sarY its stored width differs from its height.
QStringList squareClip(int width, int height, int sarX = 1, int sarY = 1) {
    const int side = std::min(width * sarX / sarY, height) * 3 / 5;
    const int storedWidth = side * sarY / sarX;
    return {"-f",
            "lavfi",
            "-i",
            QStringLiteral("color=c=black:s=%1x%2:r=25:d=1,drawbox=x=%3:y=%4:w=%5:h=%6:c=white:"
                           "t=fill,setsar=%7/%8")
                .arg(width)
                .arg(height)
                .arg((width - storedWidth) / 2)
                .arg((height - side) / 2)
                .arg(storedWidth)
                .arg(side)
                .arg(sarX)
                .arg(sarY),
            "-c:v",
            "libx264",
            "-preset",
            "ultrafast",
            "-qp",
            "0"};
}

} // namespace

class PalEncodeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_wide;
    QString m_film;
    QString m_noDar;

private slots:
    void initTestCase() {
        m_wide = makeClip(m_dir, "wide 25.mp4",
                          {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                           "sine=f=440:d=2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                           "aac", "-ac", "2"});
        // Two audio streams: a silent one first, the tone second.
        m_film = makeClip(m_dir, "film.mkv",
                          {"-f",      "lavfi",   "-i",        "testsrc2=s=320x240:r=24000/1001:d=3",
                           "-f",      "lavfi",   "-i",        "anullsrc=r=44100:cl=mono",
                           "-f",      "lavfi",   "-i",        "sine=f=1000:d=3:r=44100",
                           "-map",    "0:v",     "-map",      "1:a",
                           "-map",    "2:a",     "-shortest", "-c:v",
                           "libx264", "-preset", "ultrafast", "-c:a",
                           "aac"});
        m_noDar = makeClip(m_dir, "nodar.mkv",
                           {"-f", "lavfi", "-i", "testsrc2=s=480x270:r=30:d=2", "-f", "lavfi", "-i",
                            "sine=d=2", "-vf", "setsar=0", "-c:v", "libx264", "-preset",
                            "ultrafast", "-c:a", "aac"});
    }

    void probesReadTheClips() {
        FFmpegService service;
        QStringList log;
        const VideoProbe film =
            awaitValue(service.probeVideo(m_film, ffprobe, [&](const QString& l) { log << l; }));
        QVERIFY(log.isEmpty());
        QVERIFY(qAbs(*film.frameRate - 24000.0 / 1001) < 1e-9);
        QVERIFY(qAbs(*film.displayAspectRatio - 4.0 / 3) < 1e-9);
        QCOMPARE(film.width, 320);
        QCOMPARE(film.height, 240);
        QVERIFY(qAbs(*film.duration - 3) < 0.1);

        const VideoProbe noDar =
            awaitValue(service.probeVideo(m_noDar, ffprobe, [](const QString&) {}));
        QVERIFY(!noDar.displayAspectRatio);
        QCOMPARE(noDar.width, 480);

        const QList<AudioStreamInfo> streams =
            awaitValue(service.probeAudioStreams(m_film, ffprobe));
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[0].index, 1);
        QCOMPARE(streams[1].index, 2);
        QCOMPARE(streams[0].codec, QStringLiteral("aac"));
        QCOMPARE(streams[0].channels, 1);
        QCOMPARE(streams[1].channels, 1);
    }

    void probesWithoutFfprobe() {
        FFmpegService service;
        QStringList log;
        const VideoProbe probe = awaitValue(service.probeVideo(
            m_film, m_dir.filePath("ffprobe"), [&](const QString& l) { log << l; }));
        QVERIFY(!probe.frameRate && !probe.duration && !probe.hasVideoStream);
        QCOMPARE(log, QStringList{"Hinweis: ffprobe nicht gefunden unter " +
                                  m_dir.filePath("ffprobe") + ". Probe wird übersprungen."});
        QVERIFY(awaitValue(service.probeAudioStreams(m_film, m_dir.filePath("ffprobe"))).isEmpty());
    }

    void wideClipBecomesPal169() {
        const QString out = m_dir.filePath("wide.mpg");
        const Encode result = encode(m_wide, out);
        QVERIFY2(!result.error, qPrintable(result.error ? result.error->description() : ""));
        QCOMPARE(result.log.mid(0, 7),
                 (QStringList{"=== Probe ===", "FPS: 25.000, Dauer: 2.0s, DAR: 1.778, SAR: 64/45",
                              "Aspect: Auto", "Speedup: nein", "Bitrate: 6000k (max 8000k)",
                              "Audio-Stream: Auto (Default)", "=== ffmpeg ==="}));
        QVERIFY(result.log.size() > 7);
        QVERIFY(!result.progress.isEmpty());
        QVERIFY(result.progress.last() > 0.9);

        const QJsonObject probe = probeStreams(out);
        const QJsonObject video = streamOfType(probe, "video");
        QCOMPARE(video["codec_name"].toString(), "mpeg2video");
        QCOMPARE(video["width"].toInt(), 720);
        QCOMPARE(video["height"].toInt(), 576);
        QCOMPARE(video["avg_frame_rate"].toString(), "25/1");
        QCOMPARE(video["display_aspect_ratio"].toString(), "16:9");
        const QJsonObject audio = streamOfType(probe, "audio");
        QCOMPARE(audio["codec_name"].toString(), "ac3");
        QCOMPARE(audio["sample_rate"].toString(), "48000");
        QCOMPARE(audio["channels"].toInt(), 2);
        QCOMPARE(audio["bit_rate"].toString(), "192000");
        QVERIFY(dvdauthorAccepts(out, m_dir.filePath("wide_DVD")));

        // DVD-Video wants an interlaced sequence; progressive pictures are shown top field first.
        const auto fields = mpegHeaderFields(out);
        QCOMPARE(fields.value("progressive_sequence"), QSet<qint64>{0});
        QCOMPARE(fields.value("top_field_first"), QSet<qint64>{1});
    }

    void pictureKeepsItsShape_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("sarX");
        QTest::addColumn<int>("sarY");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<QString>("displayAspect");
        QTest::newRow("2.39:1") << 478 << 200 << 1 << 1 << false << "16:9";
        QTest::newRow("1.85:1") << 370 << 200 << 1 << 1 << false << "16:9";
        QTest::newRow("16:9") << 320 << 180 << 1 << 1 << false << "16:9";
        QTest::newRow("4:3") << 240 << 180 << 1 << 1 << false << "4:3";
        QTest::newRow("1:1") << 200 << 200 << 1 << 1 << false << "4:3";
        QTest::newRow("9:16") << 180 << 320 << 1 << 1 << false << "4:3";
        QTest::newRow("9:16 stored on its side") << 320 << 180 << 1 << 1 << true << "4:3";
        QTest::newRow("720x576 SAR 16:15") << 720 << 576 << 16 << 15 << false << "4:3";
        QTest::newRow("720x576 SAR 64:45") << 720 << 576 << 64 << 45 << false << "16:9";
    }
    void pictureKeepsItsShape() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, sarX);
        QFETCH(int, sarY);
        QFETCH(bool, turned);
        QFETCH(QString, displayAspect);
        const QString name = QTest::currentDataTag();
        QString source = makeClip(m_dir, name + ".mp4", squareClip(width, height, sarX, sarY));
        if (turned)
            source = makeClip(m_dir, name + " turned.mp4",
                              {"-i", source, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
        const QString out = m_dir.filePath(name + ".mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, qPrintable(failureOf(result)));
        const auto video = streamEntries(out, "video", "width,height,display_aspect_ratio");
        QCOMPARE(video.value("display_aspect_ratio"), displayAspect);
        QCOMPARE(video.value("width"), "720");
        const auto ratio = whiteShapeRatio(out, 0.5);
        QVERIFY(ratio);
        QVERIFY2(qAbs(*ratio - 1.0) < 0.01, qPrintable(QString::number(*ratio)));
    }

    void interlacedSources_data() {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<QString>("scan");
        QTest::addColumn<bool>("keepsFields");
        QTest::addColumn<bool>("topFirst");
        // testsrc at the field rate, woven into frames: each frame holds two moments.
        QTest::newRow("25i top first, PAL size") << "testsrc=s=720x576:r=50:d=2"
                                                 << "tff" << true << true;
        QTest::newRow("25i bottom first, scaled up") << "testsrc=s=360x288:r=50:d=2"
                                                     << "bff" << true << false;
        QTest::newRow("29.97i, deinterlaced") << "testsrc=s=360x240:r=60000/1001:d=2"
                                              << "tff" << false << true;
    }
    void interlacedSources() {
        QFETCH(QString, generator);
        QFETCH(QString, scan);
        QFETCH(bool, keepsFields);
        QFETCH(bool, topFirst);
        const QString source = makeClip(m_dir, QString(QTest::currentDataTag()) + ".mkv",
                                        {"-f", "lavfi", "-i", generator + ",interlace=scan=" + scan,
                                         "-c:v", "mpeg2video", "-flags", "+ildct+ilme", "-top",
                                         scan == "tff" ? "1" : "0", "-b:v", "8M"});
        QCOMPARE(streamEntries(source, "video", "field_order").value("field_order"),
                 scan == "tff" ? "tt" : "bb");
        const QString out = m_dir.filePath(QString(QTest::currentDataTag()) + ".mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, qPrintable(failureOf(result)));

        const auto fields = mpegHeaderFields(out);
        QCOMPARE(fields.value("progressive_sequence"), QSet<qint64>{0});
        QCOMPARE(fields.value("top_field_first"), QSet<qint64>{topFirst ? 1 : 0});
        const auto counts = detectFields(out);
        QVERIFY(counts);
        const int frames =
            counts->topFirst + counts->bottomFirst + counts->progressive + counts->undetermined;
        // idet agrees with the flags: the fields are there, in the signalled order, or the
        // pictures are whole frames.
        const int agreeing = !keepsFields ? counts->progressive
                             : topFirst   ? counts->topFirst
                                          : counts->bottomFirst;
        QVERIFY2(agreeing > frames * 9 / 10,
                 qPrintable(QStringLiteral("TFF %1 BFF %2 progressive %3 undetermined %4")
                                .arg(counts->topFirst)
                                .arg(counts->bottomFirst)
                                .arg(counts->progressive)
                                .arg(counts->undetermined)));
        QVERIFY(qAbs(durationOf(out) - 2.0) < 0.1);
    }

    void variableRateIsNotSpedUp() {
        // Every fifth frame of a 30 fps clip left out: an average of 24, frames on a 30 grid.
        const QString source = makeClip(m_dir, "phone.mp4",
                                        {"-f", "lavfi", "-i", "testsrc=s=320x180:r=30:d=3", "-vf",
                                         "select='not(eq(mod(n\\,5)\\,2))'", "-fps_mode", "vfr",
                                         "-c:v", "libx264", "-preset", "ultrafast"});
        const auto rates = streamEntries(source, "video", "avg_frame_rate,r_frame_rate");
        QCOMPARE(rates.value("avg_frame_rate"), "24/1");
        QCOMPARE(rates.value("r_frame_rate"), "30/1");
        const QString out = m_dir.filePath("phone.mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, qPrintable(failureOf(result)));
        QVERIFY(result.log.contains("Speedup: nein"));
        QVERIFY2(qAbs(durationOf(out) - 3.0) < 0.1, qPrintable(QString::number(durationOf(out))));
    }

    void soundStaysInSyncWithFilm_data() {
        QTest::addColumn<QString>("source");
        // A white frame and a tone at 1.001 s and 3.003 s of a 23.976 fps film.
        const QString picture = "color=c=black:s=320x240:r=24000/1001:d=5,drawbox=c=white:t=fill:"
                                "enable='eq(n,24)+eq(n,72)'";
        const auto tones = [](double start) {
            return QStringLiteral("aevalsrc='sin(2*PI*1000*t)*(between(t,%1,%2)+between(t,%3,%4))':"
                                  "s=48000:d=5")
                .arg(start + 1.001)
                .arg(start + 1.101)
                .arg(start + 3.003)
                .arg(start + 3.103);
        };
        QTest::newRow("MP4 with B-frames") << makeClip(
            m_dir, "bframes.mp4",
            {"-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", tones(0), "-c:v", "libx264",
             "-preset", "veryfast", "-bf", "3", "-c:a", "aac", "-b:a", "192k"});
        // The picture starts 0.1 s into the file, its flashes with it; the sound from 0.
        const QString late =
            makeClip(m_dir, "late picture.mkv",
                     {"-f", "lavfi", "-i", picture, "-c:v", "libx264", "-preset", "veryfast"});
        const QString sound =
            makeClip(m_dir, "late sound.mka", {"-f", "lavfi", "-i", tones(0.1), "-c:a", "flac"});
        QTest::newRow("MKV whose picture starts late")
            << makeClip(m_dir, "late.mkv",
                        {"-itsoffset", "0.1", "-i", late, "-i", sound, "-map", "0:v", "-map", "1:a",
                         "-c", "copy"});
    }
    void soundStaysInSyncWithFilm() {
        QFETCH(QString, source);
        const QList<double> sourceFlashes = flashTimes(source);
        const QList<double> sourceTones = toneOnsets(source);
        QVERIFY(sourceFlashes.size() >= 2 && sourceTones.size() >= 2);

        const QString out = source + ".mpg";
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, qPrintable(failureOf(result)));
        QVERIFY(result.log.contains("Speedup: ja"));
        const QList<double> flashes = flashTimes(out);
        const QList<double> tones = toneOnsets(out);
        QVERIFY(flashes.size() >= 2 && tones.size() >= 2);
        for (int i = 0; i < 2; ++i) {
            const double sourceOffset = (sourceTones[i] - sourceFlashes[i]) * 24000 / 1001 / 25;
            const double offset = tones[i] - flashes[i];
            QVERIFY2(qAbs(offset - sourceOffset) < 0.005,
                     qPrintable(QStringLiteral("flash %1 s, tone %2 s, source offset %3 ms")
                                    .arg(flashes[i])
                                    .arg(tones[i])
                                    .arg(sourceOffset * 1000)));
        }
    }

    void cutOffSourceFails() {
        const QString whole = makeClip(
            m_dir, "whole.mkv",
            {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=10,noise=alls=30:allf=t", "-f",
             "lavfi", "-i", "sine=d=10", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
        QFile file(whole);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.size() > 600 * 1024);
        QFile cut(m_dir.filePath("cut.mkv"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(file.read(file.size() / 5));
        cut.close();

        const Encode result = encode(cut.fileName(), m_dir.filePath("cut.mpg"));
        QVERIFY(result.error);
        QCOMPARE(result.error->kind(), FFmpegError::Kind::IncompleteSource);
        QVERIFY2(QRegularExpression("^Die Kodierung endete nach 0:0[0-3] von 0:10 – die "
                                    "Quelldatei ist unvollständig oder beschädigt\\.$")
                     .match(result.error->description())
                     .hasMatch(),
                 qPrintable(result.error->description()));
        // ffmpeg's own words on the broken file travel with the error.
        const QString reason = result.error->toolReason();
        QVERIFY2(reason.contains("File ended prematurely") ||
                     reason.contains("Truncating packet") || reason.contains("Invalid data found"),
                 qPrintable(reason));
        for (const QString& line : reason.split('\n'))
            QVERIFY(result.log.contains(line));
    }

    void discTitleFromTheSource() {
        QFile chapters(m_dir.filePath("chapters.txt"));
        QVERIFY(chapters.open(QIODevice::WriteOnly));
        chapters.write(";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2000\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=4500\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=4500\nEND=6000\n");
        chapters.close();
        const QString source = makeClip(m_dir, "chapters.mkv",
                                        {"-f",
                                         "lavfi",
                                         "-i",
                                         "testsrc=s=160x90:r=24000/1001:d=6",
                                         "-f",
                                         "lavfi",
                                         "-i",
                                         "sine=d=6",
                                         "-f",
                                         "lavfi",
                                         "-i",
                                         "sine=f=300:d=6",
                                         "-i",
                                         chapters.fileName(),
                                         "-map",
                                         "0:v",
                                         "-map",
                                         "1:a",
                                         "-map",
                                         "2:a",
                                         "-map_chapters",
                                         "3",
                                         "-metadata:s:a:0",
                                         "language=eng",
                                         "-metadata:s:a:1",
                                         "language=ger",
                                         "-c:v",
                                         "libx264",
                                         "-preset",
                                         "ultrafast",
                                         "-c:a",
                                         "aac"});
        const Encode german =
            encode(source, m_dir.filePath("chapters.mpg"), EncodeSettings{{}, 1, 6000, 8000});
        QVERIFY2(!german.error, qPrintable(failureOf(german)));
        QCOMPARE(german.title->audioLanguage, QStringLiteral("de"));
        // The encoded title starts with the picture, which the muxer put a little after the
        // sound; the marks move with it and are sped up to 25 frames per second.
        const double pictureStart =
            streamEntries(source, "video", "start_time").value("start_time").toDouble();
        const double speedUp = 24000.0 / 1001 / 25;
        const QList<double> expected{0, (2 - pictureStart) * speedUp,
                                     (4.5 - pictureStart) * speedUp};
        QCOMPARE(german.title->chapterStarts.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(qAbs(german.title->chapterStarts[i] - expected[i]) < 0.001,
                     qPrintable(QString::number(german.title->chapterStarts[i])));

        // Without a choice ffmpeg takes the first of the equal streams.
        QCOMPARE(encode(source, m_dir.filePath("chapters.mpg")).title->audioLanguage,
                 QStringLiteral("en"));
    }

    void filmIsSpedUpWithTheChosenAudio() {
        const QString out = m_dir.filePath("film.mpg");
        const Encode result = encode(m_film, out, EncodeSettings{{}, 1, 6000, 8000});
        QVERIFY2(!result.error, qPrintable(result.error ? result.error->description() : ""));
        QVERIFY(result.log.contains("Speedup: ja"));
        QVERIFY(result.log.contains("Audio-Stream: 0:a:1"));
        // Progress is measured against the source, which the sped-up film never reaches.
        QVERIFY(result.progress.last() < 0.97);

        const QJsonObject probe = probeStreams(out);
        const QJsonObject video = streamOfType(probe, "video");
        QCOMPARE(video["display_aspect_ratio"].toString(), "4:3");
        QCOMPARE(video["avg_frame_rate"].toString(), "25/1");
        const double duration = probe["format"]["duration"].toString().toDouble();
        QVERIFY2(qAbs(duration - 3 * (24000.0 / 1001) / 25) < 0.1,
                 qPrintable(QString::number(duration)));
        QCOMPARE(streamOfType(probe, "audio")["channels"].toInt(), 2);
        // The second stream holds the tone; the first is silent.
        QVERIFY(meanVolume(out) > -40);
        QVERIFY(dvdauthorAccepts(out, m_dir.filePath("film_DVD")));
    }

    void clipWithoutAspectRatioUsesItsPictureSize() {
        const QString out = m_dir.filePath("nodar.mpg");
        const Encode result = encode(m_noDar, out);
        QVERIFY(!result.error);
        QVERIFY(result.log.contains("FPS: 30.000, Dauer: 2.0s, DAR: n/a, SAR: 64/45"));
        QCOMPARE(streamOfType(probeStreams(out), "video")["display_aspect_ratio"].toString(),
                 "16:9");
        QCOMPARE(streamOfType(probeStreams(out), "video")["avg_frame_rate"].toString(), "25/1");

        const Encode forced =
            encode(m_noDar, m_dir.filePath("forced.mpg"), EncodeSettings{false, {}, 8000, 9800});
        QVERIFY(forced.log.contains("Aspect: 4:3"));
        QCOMPARE(streamOfType(probeStreams(m_dir.filePath("forced.mpg")),
                              "video")["display_aspect_ratio"]
                     .toString(),
                 "4:3");
    }

    void unusualPathsArePassedSafely() {
        const QString folder = m_dir.filePath("Filme \"alt\" 'Ü'\nneu");
        QVERIFY(QDir().mkpath(folder));
        const QString input = folder + "/-Größe $HOME; *.mp4";
        QVERIFY(QFile::copy(m_wide, input));
        const QString out = folder + "/-Größe $HOME; *_PAL_DVD.mpg";
        const Encode result = encode(input, out);
        QVERIFY2(!result.error, qPrintable(result.error ? result.error->description() : ""));
        QCOMPARE(streamOfType(probeStreams(out), "video")["codec_name"].toString(), "mpeg2video");
    }

    void badSources_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("descriptionStart");

        QFile text(m_dir.filePath("notes.mp4"));
        text.open(QIODevice::WriteOnly);
        text.write("Einkaufsliste: Milch, Brot\n");
        text.close();
        QTest::newRow("not a video") << text.fileName() << int(FFmpegError::Kind::FfprobeFailed)
                                     << "ffprobe Analyse fehlgeschlagen: ";

        QFile whole(m_wide);
        whole.open(QIODevice::ReadOnly);
        QFile truncated(m_dir.filePath("truncated.mp4"));
        truncated.open(QIODevice::WriteOnly);
        truncated.write(whole.read(whole.size() / 3));
        truncated.close();
        QTest::newRow("truncated") << truncated.fileName() << int(FFmpegError::Kind::FfprobeFailed)
                                   << "ffprobe Analyse fehlgeschlagen: ";

        const QString audioOnly =
            makeClip(m_dir, "audio only.m4a", {"-f", "lavfi", "-i", "sine=d=2", "-c:a", "aac"});
        QTest::newRow("no video") << audioOnly << int(FFmpegError::Kind::NoVideoStream)
                                  << "Die Quelldatei enthält keine Videospur: ";
        QTest::newRow("missing file")
            << m_dir.filePath("gone.mp4") << int(FFmpegError::Kind::FfprobeFailed)
            << "ffprobe Analyse fehlgeschlagen: ";
    }
    void badSources() {
        QFETCH(QString, input);
        QFETCH(int, kind);
        QFETCH(QString, descriptionStart);
        const QString out = m_dir.filePath("bad.mpg");
        QFile::remove(out);
        const Encode result = encode(input, out);
        QVERIFY(result.error);
        QCOMPARE(int(result.error->kind()), kind);
        QVERIFY2(result.error->description().startsWith(descriptionStart),
                 qPrintable(result.error->description()));
        QVERIFY(!result.log.contains("=== ffmpeg ==="));
        QVERIFY(!QFile::exists(out));
    }

    void sourceWithoutAudio() {
        const QString silent = makeClip(m_dir, "silent.mp4",
                                        {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2", "-c:v",
                                         "libx264", "-preset", "ultrafast"});
        const QString out = m_dir.filePath("silent.mpg");
        QVERIFY(!encode(silent, out).error);
        QVERIFY(streamOfType(probeStreams(out), "audio").isEmpty());
        QVERIFY(dvdauthorAccepts(out, m_dir.filePath("silent_DVD")));

        // Asking for an audio stream the source does not have fails with ffmpeg's reason logged.
        const Encode chosen = encode(silent, m_dir.filePath("chosen.mpg"), EncodeSettings{{}, 0});
        QVERIFY(chosen.error);
        QCOMPARE(chosen.error->kind(), FFmpegError::Kind::ConversionFailed);
        QVERIFY(chosen.error->code() != 0);
        QVERIFY(!chosen.log.filter("Stream map '0:a:0' matches no streams").isEmpty());
    }

    void sourceWithoutDurationHasNoProgress() {
        QProcess pipe;
        pipe.setStandardOutputFile(m_dir.filePath("streamed.mkv"));
        pipe.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=s=320x180:r=25:d=2",
                              "-c:v", "libx264", "-preset", "ultrafast", "-f", "matroska", "-"});
        QVERIFY(pipe.waitForFinished(60000));
        const Encode result =
            encode(m_dir.filePath("streamed.mkv"), m_dir.filePath("streamed.mpg"));
        QVERIFY(!result.error);
        QVERIFY(result.log.contains("FPS: 25.000, Dauer: n/a, DAR: 1.778, SAR: 64/45"));
        QVERIFY(result.progress.isEmpty());
    }

    void toolProblems() {
        const Encode directory = encode(m_wide, m_dir.filePath("x.mpg"), {}, m_dir.path());
        QCOMPARE(directory.error->description(),
                 "Tool nicht gefunden oder nicht ausführbar: " + m_dir.path());
        QVERIFY(directory.log.isEmpty());

        // ffmpeg alone in its folder: the probe is skipped and the encode still runs.
        const QString lonely = m_dir.filePath("lonely");
        QDir().mkpath(lonely);
        QVERIFY(QFile::link(ffmpeg, lonely + "/ffmpeg"));
        const Encode result = encode(m_wide, m_dir.filePath("lonely.mpg"), {}, lonely + "/ffmpeg");
        QVERIFY(!result.error);
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
