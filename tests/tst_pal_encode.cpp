// The PAL encode and the probes with the real ffmpeg and ffprobe on generated clips.
#include "AwaitTask.h"
#include "FFmpegService.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace testing;

namespace {

const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString ffprobe = QStringLiteral("/usr/bin/ffprobe");

struct Encode {
    QStringList log;
    QList<double> progress;
    std::optional<FFmpegError> error;
};

Encode encode(const QString& input, const QString& output, EncodeSettings settings = {},
              const QString& ffmpegPath = ffmpeg) {
    FFmpegService service;
    Encode result;
    result.error = await(service.convert(
        input, output, ffmpegPath, settings, [&](double f) { result.progress << f; },
        [&](const QString& line) { result.log << line; }))
                       .error;
    return result;
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

        const VideoProbe noDar = awaitValue(service.probeVideo(m_noDar, ffprobe, [](const QString&) {}));
        QVERIFY(!noDar.displayAspectRatio);
        QCOMPARE(noDar.width, 480);

        const QList<AudioStreamInfo> streams = awaitValue(service.probeAudioStreams(m_film, ffprobe));
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
        const VideoProbe probe = awaitValue(service.probeVideo(m_film, m_dir.filePath("ffprobe"),
                                                          [&](const QString& l) { log << l; }));
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
