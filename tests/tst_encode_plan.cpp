// The decisions of the PAL encode, its summary, its ffmpeg arguments and the error texts.
#include "EncodePlan.h"
#include "FFmpegError.h"

#include <QLocale>
#include <QTest>

#include <clocale>

using OptionalBool = std::optional<bool>;
using OptionalNumber = std::optional<double>;
using OptionalInt = std::optional<int>;
Q_DECLARE_METATYPE(OptionalBool)
Q_DECLARE_METATYPE(OptionalNumber)
Q_DECLARE_METATYPE(OptionalInt)

class EncodePlanTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void plan_data() {
        QTest::addColumn<OptionalNumber>("frameRate");
        QTest::addColumn<OptionalNumber>("dar");
        QTest::addColumn<OptionalInt>("width");
        QTest::addColumn<OptionalInt>("height");
        QTest::addColumn<OptionalBool>("widescreen");
        QTest::addColumn<QString>("videoFilters");
        QTest::addColumn<QString>("audioFilters");

        const OptionalInt none;
        QTest::newRow("25 fps 16:9")
            << OptionalNumber(25) << OptionalNumber(16.0 / 9) << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("film 4:3") << OptionalNumber(24000.0 / 1001) << OptionalNumber(4.0 / 3)
                                  << none << none << OptionalBool()
                                  << "scale=720:576:flags=lanczos,setsar=12/11,"
                                     "setpts=PTS*(23.976024/25)"
                                  << "atempo=1.042708";
        QTest::newRow("30 fps 1920x1080 without DAR")
            << OptionalNumber(30) << OptionalNumber() << OptionalInt(1920) << OptionalInt(1080)
            << OptionalBool() << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("1440x1080 is 4:3")
            << OptionalNumber(25) << OptionalNumber() << OptionalInt(1440) << OptionalInt(1080)
            << OptionalBool() << "scale=720:576:flags=lanczos,setsar=12/11,fps=25"
            << "";
        QTest::newRow("height 0 assumes 16:9")
            << OptionalNumber(25) << OptionalNumber() << OptionalInt(640) << OptionalInt(0)
            << OptionalBool() << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("DAR 0 is 4:3")
            << OptionalNumber(25) << OptionalNumber(0) << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=12/11,fps=25"
            << "";
        QTest::newRow("exactly 1.7 is wide")
            << OptionalNumber(25) << OptionalNumber(1.7) << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("4:3 forced on 16:9")
            << OptionalNumber(25) << OptionalNumber(16.0 / 9) << none << none << OptionalBool(false)
            << "scale=720:576:flags=lanczos,setsar=12/11,fps=25"
            << "";
        QTest::newRow("16:9 forced on 4:3")
            << OptionalNumber(25) << OptionalNumber(4.0 / 3) << none << none << OptionalBool(true)
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("23.0 not sped up")
            << OptionalNumber(23.0) << OptionalNumber(16.0 / 9) << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("24.2 not sped up")
            << OptionalNumber(24.2) << OptionalNumber(16.0 / 9) << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
        QTest::newRow("24 sped up")
            << OptionalNumber(24.0) << OptionalNumber(16.0 / 9) << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=64/45,"
               "setpts=PTS*(24.000000/25)"
            << "atempo=1.041667";
        QTest::newRow("29.97") << OptionalNumber(29.97) << OptionalNumber(16.0 / 9) << none << none
                               << OptionalBool()
                               << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
                               << "";
        QTest::newRow("50") << OptionalNumber(50) << OptionalNumber(16.0 / 9) << none << none
                            << OptionalBool() << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
                            << "";
        QTest::newRow("nothing known")
            << OptionalNumber() << OptionalNumber() << none << none << OptionalBool()
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << "";
    }
    void plan() {
        QFETCH(OptionalNumber, frameRate);
        QFETCH(OptionalNumber, dar);
        QFETCH(OptionalInt, width);
        QFETCH(OptionalInt, height);
        QFETCH(OptionalBool, widescreen);
        QFETCH(QString, videoFilters);
        QFETCH(QString, audioFilters);

        const VideoProbe probe{frameRate, 10.0, dar, width, height, true};
        const EncodePlan plan = planEncode(probe, EncodeSettings{widescreen, {}, 6000, 8000});
        QCOMPARE(plan.videoFilters, videoFilters);
        QCOMPARE(plan.audioFilters.value_or(QString()), audioFilters);
    }

    void summary() {
        const VideoProbe probe{24000.0 / 1001, 5400.0, 0.0, 1920, 1080, true};
        const EncodeSettings settings{false, 2, 7500, 9000};
        QCOMPARE(
            encodeSummary(probe, settings, planEncode(probe, settings)),
            (QStringList{"=== Probe ===", "FPS: 23.976, Dauer: 5400.0s, DAR: 0.000, SAR: 12/11",
                         "Aspect: 4:3", "Speedup: ja", "Bitrate: 7500k (max 9000k)",
                         "Audio-Stream: 0:a:2", "=== ffmpeg ==="}));

        const VideoProbe unknown;
        const EncodeSettings automatic{{}, {}, 6000, 8000};
        QCOMPARE(encodeSummary(unknown, automatic, planEncode(unknown, automatic)),
                 (QStringList{"=== Probe ===", "FPS: n/a, Dauer: n/a, DAR: n/a, SAR: 64/45",
                              "Aspect: Auto", "Speedup: nein", "Bitrate: 6000k (max 8000k)",
                              "Audio-Stream: Auto (Default)", "=== ffmpeg ==="}));
    }

    void arguments() {
        const VideoProbe probe{24.0, 10.0, 16.0 / 9, {}, {}, true};
        const EncodeSettings settings{{}, 2, 8000, 9800};
        const QStringList withMap =
            ffmpegArguments("/in/a b.mkv", "/out/x.mpg", settings, planEncode(probe, settings));
        QCOMPARE(withMap,
                 (QStringList{"-y",
                              "-i",
                              "/in/a b.mkv",
                              "-sn",
                              "-dn",
                              "-map",
                              "0:v:0",
                              "-map",
                              "0:a:2",
                              "-vf",
                              "scale=720:576:flags=lanczos,setsar=64/45,setpts=PTS*(24.000000/25)",
                              "-r",
                              "25",
                              "-c:v",
                              "mpeg2video",
                              "-pix_fmt",
                              "yuv420p",
                              "-b:v",
                              "8000k",
                              "-maxrate",
                              "9800k",
                              "-bufsize",
                              "1835k",
                              "-g",
                              "15",
                              "-c:a",
                              "ac3",
                              "-b:a",
                              "192k",
                              "-ar",
                              "48000",
                              "-ac",
                              "2",
                              "-af",
                              "atempo=1.041667",
                              "-f",
                              "dvd",
                              "/out/x.mpg"}));

        const EncodeSettings automatic{{}, {}, 6000, 8000};
        VideoProbe pal;
        pal.frameRate = 25.0;
        const QStringList plain =
            ffmpegArguments("/in/a.mp4", "/out/a.mpg", automatic, planEncode(pal, automatic));
        QCOMPARE(plain.mid(3, 3), (QStringList{"-sn", "-dn", "-vf"}));
        QVERIFY(!plain.contains("-af"));
        QCOMPARE(plain.mid(plain.size() - 3), (QStringList{"-f", "dvd", "/out/a.mpg"}));
    }

    void ffprobePath_data() {
        QTest::addColumn<QString>("ffmpeg");
        QTest::addColumn<QString>("ffprobe");
        QTest::newRow("usr bin") << "/usr/bin/ffmpeg"
                                 << "/usr/bin/ffprobe";
        QTest::newRow("renamed") << "/opt/x/ffmpeg-5"
                                 << "/opt/x/ffprobe";
        QTest::newRow("bare name") << "ffmpeg"
                                   << "ffprobe";
        QTest::newRow("trailing slash") << "/usr/bin/"
                                        << "/usr/ffprobe";
    }
    void ffprobePath() {
        QFETCH(QString, ffmpeg);
        QFETCH(QString, ffprobe);
        QCOMPARE(ffprobePathFor(ffmpeg), ffprobe);
    }

    void storedChoices_data() {
        QTest::addColumn<int>("aspectMode");
        QTest::addColumn<int>("qualityPreset");
        QTest::addColumn<OptionalBool>("widescreen");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<int>("maxRate");
        QTest::newRow("defaults") << 0 << 0 << OptionalBool() << 6000 << 8000;
        QTest::newRow("16:9 High") << 1 << 1 << OptionalBool(true) << 7500 << 9000;
        QTest::newRow("4:3 Max") << 2 << 2 << OptionalBool(false) << 8000 << 9800;
        QTest::newRow("out of range") << 7 << -3 << OptionalBool() << 6000 << 8000;
    }
    void storedChoices() {
        QFETCH(int, aspectMode);
        QFETCH(int, qualityPreset);
        QFETCH(OptionalBool, widescreen);
        QFETCH(int, bitrate);
        QFETCH(int, maxRate);
        const EncodeSettings settings = encodeSettingsFor(aspectMode, qualityPreset, 1);
        QCOMPARE(settings.widescreen, widescreen);
        QCOMPARE(settings.videoBitrateKbps, bitrate);
        QCOMPARE(settings.maxRateKbps, maxRate);
        QCOMPARE(settings.audioStreamIndex, 1);
    }

    void errorDescriptions() {
        QCOMPARE(FFmpegError::toolNotFound("/usr/bin/ffmpeg").description(),
                 "Tool nicht gefunden oder nicht ausführbar: /usr/bin/ffmpeg");
        QCOMPARE(FFmpegError::ffprobeFailed("x: Invalid data").description(),
                 "ffprobe Analyse fehlgeschlagen: x: Invalid data");
        QCOMPARE(FFmpegError::conversionFailed(1).description(),
                 "Vorgang fehlgeschlagen (Exit Code 1).");
        QCOMPARE(FFmpegError::conversionFailed(-1).description(),
                 "Vorgang fehlgeschlagen (Exit Code -1).");
        QCOMPARE(FFmpegError::conversionFailed(-3).code(), -3);
        QCOMPARE(QString::fromUtf8(FFmpegError::conversionFailed(-2).what()),
                 "Vorgang fehlgeschlagen (Exit Code -2).");
        QVERIFY(FFmpegError::cancelled().isCancellation());
        QVERIFY(!FFmpegError::conversionFailed(15).isCancellation());
    }
};

QTEST_GUILESS_MAIN(EncodePlanTest)
#include "tst_encode_plan.moc"
