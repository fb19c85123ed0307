// The decisions of the PAL encode, its summary, its ffmpeg arguments and the error texts.
#include "DiscFit.h"
#include "DiscTitle.h"
#include "EncodeCheck.h"
#include "EncodePlan.h"
#include "FFmpegError.h"
#include "LanguageCodes.h"
#include "PictureGeometry.h"

#include <QLocale>
#include <QTest>

#include <clocale>

using OptionalBool = std::optional<bool>;
using OptionalNumber = std::optional<double>;
using OptionalInt = std::optional<int>;
Q_DECLARE_METATYPE(OptionalBool)
Q_DECLARE_METATYPE(OptionalNumber)
Q_DECLARE_METATYPE(OptionalInt)
using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace {

VideoProbe probeOf(OptionalNumber frameRate, OptionalNumber dar, OptionalInt width = {},
                   OptionalInt height = {}) {
    VideoProbe probe;
    probe.frameRate = frameRate;
    probe.duration = 10.0;
    probe.displayAspectRatio = dar;
    probe.width = width;
    probe.height = height;
    probe.hasVideoStream = true;
    return probe;
}

AudioStreamInfo audioStream(int index, int channels, OptionalText language, bool isDefault) {
    return {index, QStringLiteral("aac"), channels, language, {}, isDefault};
}

} // namespace

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
                                     "setpts=(PTS-STARTPTS)*(23.976024/25)"
                                  << "atrim=start=0.000000,asetpts=(PTS-0.000000/TB)*0.959041+"
                                     "0.0175/TB,atempo=1.042708";
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
            << "scale=688:576:flags=lanczos,pad=720:576:16:0,setsar=64/45,fps=25"
            << "";
        // A forced disc shape keeps the picture's own: letterbox and pillarbox.
        QTest::newRow("4:3 forced on 16:9")
            << OptionalNumber(25) << OptionalNumber(16.0 / 9) << none << none << OptionalBool(false)
            << "scale=720:432:flags=lanczos,pad=720:576:0:72,setsar=12/11,fps=25"
            << "";
        QTest::newRow("16:9 forced on 4:3")
            << OptionalNumber(25) << OptionalNumber(4.0 / 3) << none << none << OptionalBool(true)
            << "scale=540:576:flags=lanczos,pad=720:576:90:0,setsar=64/45,fps=25"
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
               "setpts=(PTS-STARTPTS)*(24.000000/25)"
            << "atrim=start=0.000000,asetpts=(PTS-0.000000/TB)*0.960000+0.0175/TB,"
               "atempo=1.041667";
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

        const VideoProbe probe = probeOf(frameRate, dar, width, height);
        const EncodePlan plan = planEncode(probe, EncodeSettings{widescreen, {}, 6000, 8000});
        QCOMPARE(plan.videoFilters, videoFilters);
        QCOMPARE(plan.audioFilters.value_or(QString()), audioFilters);
    }

    void summary() {
        VideoProbe probe = probeOf(24000.0 / 1001, 0.0, 1920, 1080);
        probe.duration = 5400.0;
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
        const VideoProbe probe = probeOf(24.0, 16.0 / 9);
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
                              "scale=720:576:flags=lanczos,setsar=64/45,setpts=(PTS-STARTPTS)*(24."
                              "000000/25)",
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
                              "-flags",
                              "+ildct",
                              "-top",
                              "1",
                              "-c:a",
                              "ac3",
                              "-b:a",
                              "192k",
                              "-ar",
                              "48000",
                              "-ac",
                              "2",
                              "-af",
                              "atrim=start=0.000000,asetpts=(PTS-0.000000/TB)*0.960000+0.0175/"
                              "TB,atempo=1.041667",
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

    void pictureShape_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<OptionalNumber>("sar");
        QTest::addColumn<OptionalNumber>("rotation");
        QTest::addColumn<OptionalBool>("widescreen");
        QTest::addColumn<bool>("interlaced");
        QTest::addColumn<bool>("wideDisc");
        QTest::addColumn<int>("fitWidth");
        QTest::addColumn<int>("fitHeight");

        const OptionalNumber square(1.0);
        const OptionalNumber upright;
        const OptionalBool automatic;
        QTest::newRow("2.39:1 scope")
            << 1920 << 804 << square << upright << automatic << false << true << 720 << 428;
        QTest::newRow("1.85:1") << 1998 << 1080 << square << upright << automatic << false << true
                                << 720 << 552;
        QTest::newRow("16:9") << 1920 << 1080 << square << upright << automatic << false << true
                              << 720 << 576;
        QTest::newRow("4:3") << 1440 << 1080 << square << upright << automatic << false << false
                             << 720 << 576;
        QTest::newRow("1:1") << 1080 << 1080 << square << upright << automatic << false << false
                             << 540 << 576;
        QTest::newRow("9:16 portrait")
            << 1080 << 1920 << square << upright << automatic << false << false << 304 << 576;
        QTest::newRow("stored 16:9 turned 90") << 1920 << 1080 << square << OptionalNumber(90)
                                               << automatic << false << false << 304 << 576;
        QTest::newRow("stored 16:9 turned -90") << 1920 << 1080 << square << OptionalNumber(-90)
                                                << automatic << false << false << 304 << 576;
        QTest::newRow("upside down") << 1920 << 1080 << square << OptionalNumber(180) << automatic
                                     << false << true << 720 << 576;
        QTest::newRow("720x576 SAR 16:15") << 720 << 576 << OptionalNumber(16.0 / 15) << upright
                                           << automatic << false << false << 720 << 576;
        QTest::newRow("720x576 SAR 64:45") << 720 << 576 << OptionalNumber(64.0 / 45) << upright
                                           << automatic << false << true << 720 << 576;
        QTest::newRow("no SAR counts as square") << 1920 << 1080 << OptionalNumber(0) << upright
                                                 << automatic << false << true << 720 << 576;
        QTest::newRow("within 1 % fills the frame")
            << 1000 << 566 << square << upright << automatic << false << true << 720 << 576;
        QTest::newRow("1.7 is wide and pillarboxed")
            << 1700 << 1000 << square << upright << automatic << false << true << 688 << 576;
        QTest::newRow("interlaced heights by 8")
            << 1920 << 804 << square << upright << automatic << true << true << 720 << 432;
        QTest::newRow("16:9 on a forced 4:3 disc")
            << 1920 << 1080 << square << upright << OptionalBool(false) << false << false << 720
            << 432;
        QTest::newRow("4:3 on a forced 16:9 disc")
            << 1440 << 1080 << square << upright << OptionalBool(true) << false << true << 540
            << 576;
    }
    void pictureShape() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(OptionalNumber, sar);
        QFETCH(OptionalNumber, rotation);
        QFETCH(OptionalBool, widescreen);
        QFETCH(bool, interlaced);
        QFETCH(bool, wideDisc);
        QFETCH(int, fitWidth);
        QFETCH(int, fitHeight);

        VideoProbe probe = probeOf(25.0, {}, width, height);
        probe.sampleAspectRatio = sar;
        probe.rotation = rotation;
        if (interlaced)
            probe.fieldOrder = "tt";
        const EncodePlan plan = planEncode(probe, EncodeSettings{widescreen, {}, 6000, 8000});
        QCOMPARE(plan.widescreen, wideDisc);
        QCOMPARE(fitPicture(displayedRatio(probe), wideDisc, interlaced),
                 (PictureFit{fitWidth, fitHeight}));
        // The filter chain places that picture in the middle of the frame.
        const QString scale = QStringLiteral("scale=%1:%2:%3flags=lanczos")
                                  .arg(fitWidth)
                                  .arg(fitHeight)
                                  .arg(interlaced ? "interl=1:" : "");
        QVERIFY2(plan.videoFilters.startsWith(scale), qPrintable(plan.videoFilters));
        if (fitWidth == 720 && fitHeight == 576)
            QVERIFY(!plan.videoFilters.contains("pad="));
        else
            QVERIFY2(plan.videoFilters.contains(QStringLiteral("pad=720:576:%1:%2,setsar=")
                                                    .arg((720 - fitWidth) / 2)
                                                    .arg((576 - fitHeight) / 2)),
                     qPrintable(plan.videoFilters));
    }

    void displayedRatioOfTheProbe() {
        // The display aspect ratio ffprobe gives wins over the picture size.
        QCOMPARE(displayedRatio(probeOf(25, 4.0 / 3, 1920, 1080)), 4.0 / 3);
        QCOMPARE(displayedRatio(probeOf(25, 0.0)), 0.0);
        QCOMPARE(displayedRatio(probeOf(25, {}, 640, 0)), std::nullopt);
        VideoProbe turned = probeOf(25, 16.0 / 9, 1920, 1080);
        turned.rotation = 270;
        QCOMPARE(displayedRatio(turned), 9.0 / 16);
    }

    void framesAndFields_data() {
        QTest::addColumn<OptionalNumber>("averageRate");
        QTest::addColumn<OptionalNumber>("baseRate");
        QTest::addColumn<OptionalText>("fieldOrder");
        QTest::addColumn<QString>("videoFilters");
        QTest::addColumn<bool>("speedUp");
        QTest::addColumn<QStringList>("codecFlags");

        const QStringList progressive{"-flags", "+ildct", "-top", "1"};
        const QString film = "scale=720:576:flags=lanczos,setsar=64/45,"
                             "setpts=(PTS-STARTPTS)*(23.976024/25)";
        QTest::newRow("25p") << OptionalNumber(25) << OptionalNumber(25)
                             << OptionalText("progressive")
                             << "scale=720:576:flags=lanczos,setsar=64/45,fps=25" << false
                             << progressive;
        QTest::newRow("25i top first")
            << OptionalNumber(25) << OptionalNumber(50) << OptionalText("tt")
            << "scale=720:576:interl=1:flags=lanczos,setsar=64/45,fps=25" << false
            << QStringList{"-flags", "+ildct+ilme", "-top", "1"};
        QTest::newRow("25i bottom first")
            << OptionalNumber(25) << OptionalNumber(25) << OptionalText("bb")
            << "scale=720:576:interl=1:flags=lanczos,setsar=64/45,fps=25" << false
            << QStringList{"-flags", "+ildct+ilme", "-top", "0"};
        QTest::newRow("25i top coded, bottom shown first")
            << OptionalNumber(25) << OptionalNumber(25) << OptionalText("tb")
            << "scale=720:576:interl=1:flags=lanczos,setsar=64/45,fps=25" << false
            << QStringList{"-flags", "+ildct+ilme", "-top", "0"};
        QTest::newRow("25i bottom coded, top shown first")
            << OptionalNumber(25) << OptionalNumber(25) << OptionalText("bt")
            << "scale=720:576:interl=1:flags=lanczos,setsar=64/45,fps=25" << false
            << QStringList{"-flags", "+ildct+ilme", "-top", "1"};
        QTest::newRow("29.97i is deinterlaced field by field")
            << OptionalNumber(30000.0 / 1001) << OptionalNumber(30000.0 / 1001)
            << OptionalText("tt")
            << "bwdif=mode=send_field:parity=tff,scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << false << progressive;
        QTest::newRow("50i bottom first")
            << OptionalNumber(50) << OptionalNumber(50) << OptionalText("bb")
            << "bwdif=mode=send_field:parity=bff,scale=720:576:flags=lanczos,setsar=64/45,fps=25"
            << false << progressive;
        QTest::newRow("interlaced film, frame for frame")
            << OptionalNumber(24000.0 / 1001) << OptionalNumber(24000.0 / 1001)
            << OptionalText("tt") << "bwdif=mode=send_frame:parity=tff," + film << true
            << progressive;
        QTest::newRow("unknown field order")
            << OptionalNumber(25) << OptionalNumber(25) << OptionalText("unknown")
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25" << false << progressive;
        QTest::newRow("film") << OptionalNumber(24000.0 / 1001) << OptionalNumber(24000.0 / 1001)
                              << OptionalText("progressive") << film << true << progressive;
        QTest::newRow("film without base rate")
            << OptionalNumber(24000.0 / 1001) << OptionalNumber() << OptionalText() << film << true
            << progressive;
        QTest::newRow("variable rate phone clip averaging 23.67")
            << OptionalNumber(23.67) << OptionalNumber(30) << OptionalText("progressive")
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25" << false << progressive;
        QTest::newRow("base rate film, average off")
            << OptionalNumber(22.5) << OptionalNumber(24) << OptionalText("progressive")
            << "scale=720:576:flags=lanczos,setsar=64/45,fps=25" << false << progressive;
    }
    void framesAndFields() {
        QFETCH(OptionalNumber, averageRate);
        QFETCH(OptionalNumber, baseRate);
        QFETCH(OptionalText, fieldOrder);
        QFETCH(QString, videoFilters);
        QFETCH(bool, speedUp);
        QFETCH(QStringList, codecFlags);

        VideoProbe probe = probeOf(averageRate, 16.0 / 9, 720, 576);
        probe.baseFrameRate = baseRate;
        probe.fieldOrder = fieldOrder;
        const EncodeSettings settings;
        const EncodePlan plan = planEncode(probe, settings);
        QCOMPARE(plan.videoFilters, videoFilters);
        QCOMPARE(plan.speedUp, speedUp);
        QCOMPARE(plan.audioFilters.has_value(), speedUp);
        const QStringList arguments = ffmpegArguments("in", "out", settings, plan);
        const qsizetype at = arguments.indexOf("-flags");
        QVERIFY(at > 0);
        QCOMPARE(arguments.mid(at, 4), codecFlags);
        QCOMPARE(arguments.mid(at - 2, 2), (QStringList{"-g", "15"}));
    }

    void filmStartingLate() {
        // The picture starts 21 ms into the file: both chains start there.
        VideoProbe probe = probeOf(24000.0 / 1001, 16.0 / 9);
        probe.baseFrameRate = 24000.0 / 1001;
        probe.videoStart = 0.021;
        probe.duration = 60.021;
        const EncodePlan plan = planEncode(probe, EncodeSettings{});
        QCOMPARE(plan.audioFilters.value_or(QString()),
                 "atrim=start=0.021000,asetpts=(PTS-0.021000/TB)*0.959041+0.0175/TB,"
                 "atempo=1.042708");
        QVERIFY(qAbs(*plan.expectedDuration - 60 * 24000.0 / 1001 / 25) < 1e-9);

        // Without the speed-up the timeline stays the source's.
        probe.frameRate = 25;
        probe.baseFrameRate = 25;
        QCOMPARE(*planEncode(probe, EncodeSettings{}).expectedDuration, 60.021);
        probe.duration.reset();
        QVERIFY(!planEncode(probe, EncodeSettings{}).expectedDuration);
    }

    void audioLanguage_data() {
        QTest::addColumn<QList<AudioStreamInfo>>("streams");
        QTest::addColumn<OptionalInt>("chosen");
        QTest::addColumn<OptionalText>("language");

        const QList<AudioStreamInfo> englishThenGerman{audioStream(1, 2, "eng", true),
                                                       audioStream(2, 2, "deu", false)};
        QTest::newRow("chosen second") << englishThenGerman << OptionalInt(1) << OptionalText("de");
        QTest::newRow("chosen first") << englishThenGerman << OptionalInt(0) << OptionalText("en");
        QTest::newRow("chosen beyond the list")
            << englishThenGerman << OptionalInt(2) << OptionalText();
        QTest::newRow("default stream wins")
            << englishThenGerman << OptionalInt() << OptionalText("en");
        QTest::newRow("most channels") << QList<AudioStreamInfo>{audioStream(1, 2, "eng", false),
                                                                 audioStream(2, 6, "ger", false)}
                                       << OptionalInt() << OptionalText("de");
        QTest::newRow("default before channels")
            << QList<AudioStreamInfo>{audioStream(1, 6, "eng", false),
                                      audioStream(2, 2, "fre", true)}
            << OptionalInt() << OptionalText("fr");
        QTest::newRow("first of equals") << QList<AudioStreamInfo>{audioStream(1, 2, "ita", true),
                                                                   audioStream(2, 2, "spa", true)}
                                         << OptionalInt() << OptionalText("it");
        QTest::newRow("undetermined") << QList<AudioStreamInfo>{audioStream(1, 2, "und", true)}
                                      << OptionalInt() << OptionalText();
        QTest::newRow("no tag") << QList<AudioStreamInfo>{audioStream(1, 2, {}, true)}
                                << OptionalInt() << OptionalText();
        QTest::newRow("no sound") << QList<AudioStreamInfo>{} << OptionalInt() << OptionalText();
    }
    void audioLanguage() {
        QFETCH(QList<AudioStreamInfo>, streams);
        QFETCH(OptionalInt, chosen);
        QFETCH(OptionalText, language);
        VideoProbe probe = probeOf(25, 16.0 / 9);
        probe.audioStreams = streams;
        const EncodeSettings settings{{}, chosen, 6000, 8000};
        QCOMPARE(discTitleFor(probe, settings, planEncode(probe, settings)).audioLanguage,
                 language);
    }

    void languageCodes_data() {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<OptionalText>("code");
        QTest::newRow("deu") << "deu" << OptionalText("de");
        QTest::newRow("ger") << "ger" << OptionalText("de");
        QTest::newRow("eng") << "eng" << OptionalText("en");
        QTest::newRow("fre") << "fre" << OptionalText("fr");
        QTest::newRow("fra") << "fra" << OptionalText("fr");
        QTest::newRow("chi") << "chi" << OptionalText("zh");
        QTest::newRow("zho") << "zho" << OptionalText("zh");
        QTest::newRow("dut") << "dut" << OptionalText("nl");
        QTest::newRow("nob") << "nob" << OptionalText("nb");
        QTest::newRow("zul, last") << "zul" << OptionalText("zu");
        QTest::newRow("aar, first") << "aar" << OptionalText("aa");
        QTest::newRow("upper case") << "DEU" << OptionalText("de");
        QTest::newRow("two letters") << "en" << OptionalText("en");
        QTest::newRow("with region") << "de-AT" << OptionalText("de");
        QTest::newRow("with underscore") << "pt_BR" << OptionalText("pt");
        QTest::newRow("und") << "und" << OptionalText();
        QTest::newRow("zxx") << "zxx" << OptionalText();
        QTest::newRow("Swiss German has no two letters") << "gsw" << OptionalText();
        QTest::newRow("unknown two letters") << "xx" << OptionalText();
        QTest::newRow("word") << "German" << OptionalText();
        QTest::newRow("empty") << "" << OptionalText();
    }
    void languageCodes() {
        QFETCH(QString, tag);
        QFETCH(OptionalText, code);
        QCOMPARE(twoLetterLanguage(tag), code);
    }

    void chapters_data() {
        QTest::addColumn<QList<double>>("marks");
        QTest::addColumn<double>("origin");
        QTest::addColumn<double>("scale");
        QTest::addColumn<OptionalNumber>("duration");
        QTest::addColumn<QList<double>>("starts");
        QTest::newRow("every five minutes")
            << QList<double>{} << 0.0 << 1.0 << OptionalNumber(720) << QList<double>{0, 300, 600};
        QTest::newRow("none at the very end")
            << QList<double>{} << 0.0 << 1.0 << OptionalNumber(600) << QList<double>{0, 300};
        QTest::newRow("short film")
            << QList<double>{} << 0.0 << 1.0 << OptionalNumber(30) << QList<double>{0};
        QTest::newRow("length unknown")
            << QList<double>{} << 0.0 << 1.0 << OptionalNumber() << QList<double>{0};
        QTest::newRow("one mark is no chapter list")
            << QList<double>{0} << 0.0 << 1.0 << OptionalNumber(610) << QList<double>{0, 300, 600};
        QTest::newRow("source marks sped up")
            << QList<double>{0, 120, 240} << 0.0 << 0.96 << OptionalNumber(400)
            << QList<double>{0, 115.2, 230.4};
        QTest::newRow("first mark later") << QList<double>{30, 200} << 0.0 << 1.0
                                          << OptionalNumber(400) << QList<double>{0, 30, 200};
        QTest::newRow("from the picture's start")
            << QList<double>{0, 60.5} << 0.5 << 1.0 << OptionalNumber(100) << QList<double>{0, 60};
        QTest::newRow("too close, past the end, unordered")
            << QList<double>{50, 0, 10, 10.4, 99} << 0.0 << 1.0 << OptionalNumber(60)
            << QList<double>{0, 10, 50};
    }
    void chapters() {
        QFETCH(QList<double>, marks);
        QFETCH(double, origin);
        QFETCH(double, scale);
        QFETCH(OptionalNumber, duration);
        QFETCH(QList<double>, starts);
        const QList<double> result = chapterStarts(marks, origin, scale, duration);
        QCOMPARE(result.size(), starts.size());
        for (qsizetype i = 0; i < starts.size(); ++i)
            QVERIFY2(qAbs(result[i] - starts[i]) < 1e-6, qPrintable(QString::number(result[i])));
    }

    void atMostNinetyNineChapters() {
        QList<double> marks;
        for (int i = 0; i < 150; ++i)
            marks << i * 60.0;
        const QList<double> starts = chapterStarts(marks, 0, 1, 150 * 60.0);
        QCOMPARE(starts.size(), 99);
        QCOMPARE(starts.last(), 98 * 60.0);
        QCOMPARE(chapterStarts({}, 0, 1, 12 * 3600.0).size(), 99);
    }

    void dvdauthorTitleSet() {
        QCOMPARE(titleSetArguments("/m/a.mpg", "/m/a_DVD", DiscTitle{}),
                 (QStringList{"-t", "/m/a.mpg", "-o", "/m/a_DVD"}));
        QCOMPARE(titleSetArguments("/m/a.mpg", "/m/a_DVD", DiscTitle{"de", {0}}),
                 (QStringList{"-t", "-a", "de", "/m/a.mpg", "-o", "/m/a_DVD"}));
        QCOMPARE(titleSetArguments("/m/a.mpg", "/m/a_DVD", DiscTitle{{}, {0, 115.2, 3723.5}}),
                 (QStringList{"-t", "-c", "0:00:00.000,0:01:55.200,1:02:03.500", "/m/a.mpg", "-o",
                              "/m/a_DVD"}));
        QCOMPARE(chapterTime(299.9996), "0:05:00.000");
    }

    void dvdVideoFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isDvdVideo");
        for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VIDEO_TS.VOB", "VTS_01_0.IFO",
                                 "VTS_01_0.BUP", "VTS_01_1.VOB", "VTS_12_9.VOB", "vts_01_1.vob"})
            QTest::newRow(name) << name << true;
        for (const char* name : {"notes.txt", "VTS_1_1.VOB", "VTS_01_1.VOB.part", "VIDEO_TS",
                                 "cover.jpg", "VTS_01_10.VOB"})
            QTest::newRow(name) << name << false;
    }
    void dvdVideoFiles() {
        QFETCH(QString, name);
        QFETCH(bool, isDvdVideo);
        QCOMPARE(isDvdVideoFile(name), isDvdVideo);
    }

    void endedEarly_data() {
        QTest::addColumn<double>("encoded");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("early");
        QTest::newRow("cut off") << 0.13 << 9.59 << true;
        QTest::newRow("21 of 29") << 21.0 << 29.0 << true;
        QTest::newRow("whole") << 10.0 << 10.0 << false;
        QTest::newRow("longer") << 10.04 << 10.0 << false;
        QTest::newRow("short clip, under a second") << 9.1 << 10.0 << false;
        QTest::newRow("long film, under 2 %") << 5350.0 << 5400.0 << false;
        QTest::newRow("long film, over 2 %") << 5280.0 << 5400.0 << true;
        QTest::newRow("both just over") << 48.9 << 50.0 << true;
    }
    void endedEarly() {
        QFETCH(double, encoded);
        QFETCH(double, expected);
        QFETCH(bool, early);
        QCOMPARE(::endedEarly(encoded, expected), early);
    }

    void incompleteSourceMessage() {
        const FFmpegError error = FFmpegError::incompleteSource(
            21.04, 28.77, "File ended prematurely\nTruncating packet");
        QCOMPARE(error.kind(), FFmpegError::Kind::IncompleteSource);
        QCOMPARE(error.description(), "Die Kodierung endete nach 0:21 von 0:29 – die Quelldatei "
                                      "ist unvollständig oder beschädigt.");
        QCOMPARE(error.toolReason(), "File ended prematurely\nTruncating packet");
        QVERIFY(!error.isCancellation());
        QCOMPARE(FFmpegError::incompleteSource(0.13, 4000.4, {}).description(),
                 "Die Kodierung endete nach 0:00 von 1:06:40 – die Quelldatei ist unvollständig "
                 "oder beschädigt.");
        QCOMPARE(clockDuration(59.5), "1:00");
        QCOMPARE(clockDuration(3599.4), "59:59");
        QCOMPARE(clockDuration(36000), "10:00:00");
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
        QTest::addColumn<bool>("fillsDisc");
        QTest::newRow("defaults") << 0 << 0 << OptionalBool() << 6000 << 8000 << false;
        QTest::newRow("16:9 High") << 1 << 1 << OptionalBool(true) << 7500 << 9000 << false;
        QTest::newRow("4:3 Max") << 2 << 2 << OptionalBool(false) << 8000 << 9800 << false;
        // Without a known length "Passend" encodes at the standard rates.
        QTest::newRow("Passend") << 0 << 3 << OptionalBool() << 6000 << 8000 << true;
        QTest::newRow("a newer preset") << 0 << 4 << OptionalBool() << 6000 << 8000 << false;
        QTest::newRow("out of range") << 7 << -3 << OptionalBool() << 6000 << 8000 << false;
    }
    void storedChoices() {
        QFETCH(int, aspectMode);
        QFETCH(int, qualityPreset);
        QFETCH(OptionalBool, widescreen);
        QFETCH(int, bitrate);
        QFETCH(int, maxRate);
        QFETCH(bool, fillsDisc);
        const EncodeSettings settings =
            encodeSettingsFor(aspectMode, qualityPreset, 1, dualLayerDisc());
        QCOMPARE(settings.widescreen, widescreen);
        QCOMPARE(settings.videoBitrateKbps, bitrate);
        QCOMPARE(settings.maxRateKbps, maxRate);
        QCOMPARE(settings.audioStreamIndex, 1);
        QCOMPARE(settings.fillsDisc, fillsDisc);
        QCOMPARE(settings.disc.name, "DVD-9");
    }

    void discCapacities() {
        QCOMPARE(singleLayerDisc(), (Disc{"DVD-5", 4'700'372'992}));
        QCOMPARE(dualLayerDisc(), (Disc{"DVD-9", 8'543'666'176}));
        QCOMPARE(EncodeSettings().disc, singleLayerDisc());
    }

    // Images made here by the real tools (ffmpeg 5.1, dvdauthor 0.7.2, genisoimage 1.1.11) from
    // sources that reach the bitrate, against the forecast.
    void forecastOfMeasuredEncodes_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("kbps");
        QTest::addColumn<qint64>("mpegBytes");
        QTest::addColumn<qint64>("imageBytes");
        QTest::addColumn<int>("gopFrames");
        const int plain = plainGopFrames;
        const int closed = closedGopFrames;
        QTest::newRow("1 min, Standard") << 60.0 << 6000 << 47'349'760LL << 48'316'416LL << plain;
        QTest::newRow("1 min, High") << 60.0 << 7500 << 58'724'352LL << 59'691'008LL << plain;
        QTest::newRow("1 min, Max") << 60.0 << 8000 << 62'519'296LL << 63'485'952LL << plain;
        QTest::newRow("10 s, Max") << 10.0 << 8000 << 10'424'320LL << 11'390'976LL << plain;
        QTest::newRow("1 min, Passend 1500k")
            << 60.0 << 1500 << 13'273'088LL << 14'239'744LL << closed;
        QTest::newRow("1 min, Passend 4000k")
            << 60.0 << 4000 << 32'253'952LL << 33'220'608LL << closed;
        QTest::newRow("1 min, Passend 8000k")
            << 60.0 << 8000 << 62'574'592LL << 63'541'248LL << closed;
    }
    void forecastOfMeasuredEncodes() {
        QFETCH(double, seconds);
        QFETCH(int, kbps);
        QFETCH(qint64, mpegBytes);
        QFETCH(qint64, imageBytes);
        QFETCH(int, gopFrames);
        const SizeForecast forecast = forecastSize(seconds, kbps, gopFrames);
        const auto near = [](qint64 forecast, qint64 measured, double tolerance) {
            return std::abs(double(forecast) / double(measured) - 1) <= tolerance;
        };
        // ffmpeg's average strays from the bitrate by up to 0.6 % at the lowest rate.
        QVERIFY2(near(forecast.mpegBytes, mpegBytes, 0.01),
                 qPrintable(QString::number(forecast.mpegBytes)));
        QVERIFY2(near(forecast.imageBytes, imageBytes, 0.01),
                 qPrintable(QString::number(forecast.imageBytes)));
        QCOMPARE(forecast.mpegBytes % 2048, 0);
        QVERIFY(forecast.dvdFolderBytes > forecast.mpegBytes);
        QVERIFY(forecast.imageBytes > forecast.dvdFolderBytes);
        // A tenth of the MPEG file written at a tenth of the length projects the whole image.
        QVERIFY(
            near(projectedImageBytes(mpegBytes / 10, seconds / 10, seconds), imageBytes, 0.002));
    }

    void sizesOfExistingFiles() {
        // An MPEG file of a DVD-9 at the lowest rate still gets room for its IFO files.
        const SizeForecast fromMpeg = forecastFromMpeg(8'000'000'000);
        const SizeForecast longest = forecastSize(40'000, 1500, closedGopFrames);
        QVERIFY(fromMpeg.dvdFolderBytes - fromMpeg.mpegBytes >=
                longest.dvdFolderBytes - longest.mpegBytes);
        QCOMPARE(fromMpeg.mpegBytes, 8'000'000'000);
        QVERIFY(fromMpeg.imageBytes > fromMpeg.dvdFolderBytes);
        // The image of the measured one-minute encode from its DVD folder (VOB and IFO files).
        QCOMPARE(imageFromDvdFolder(47'349'760 + 36'864), 48'316'416);
    }

    // "Passend" for films of many lengths: the image fills 95–99 % of the disc, at a bitrate
    // that never goes above 8000k nor below 1500k.
    void passendFillsTheDisc_data() {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<bool>("dualLayer");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("half an hour on DVD-5: capped") << 30.0 << false << 8000 << 8000;
        QTest::newRow("75 min on DVD-5") << 75.0 << false << 7700 << 7900;
        QTest::newRow("90 min on DVD-5") << 90.0 << false << 6350 << 6500;
        QTest::newRow("2 h on DVD-5") << 120.0 << false << 4700 << 4850;
        QTest::newRow("3 h on DVD-5") << 180.0 << false << 3050 << 3150;
        QTest::newRow("5:40 h on DVD-5") << 340.0 << false << 1500 << 1560;
        QTest::newRow("2 h on DVD-9") << 120.0 << true << 8000 << 8000;
        QTest::newRow("3 h on DVD-9") << 180.0 << true << 5750 << 5900;
        QTest::newRow("10 h on DVD-9") << 600.0 << true << 1550 << 1620;
    }
    void passendFillsTheDisc() {
        QFETCH(double, minutes);
        QFETCH(bool, dualLayer);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        const Disc disc = dualLayer ? dualLayerDisc() : singleLayerDisc();
        const std::optional<DiscFit> fit = fitToDisc(minutes * 60, disc.bytes);
        QVERIFY(fit);
        QVERIFY2(fit->videoKbps >= lowest && fit->videoKbps <= highest,
                 qPrintable(QString::number(fit->videoKbps)));
        QCOMPARE(fit->maxRateKbps, 9800);
        const double fill =
            double(forecastSize(minutes * 60, fit->videoKbps, closedGopFrames).imageBytes) /
            double(disc.bytes);
        QVERIFY2(fill <= 0.99, qPrintable(QString::number(fill)));
        if (fit->videoKbps < 8000)
            QVERIFY2(fill >= 0.95, qPrintable(QString::number(fill)));
    }

    void passendRefusesWhatNoRateFits_data() {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<bool>("dualLayer");
        QTest::newRow("5:50 h on DVD-5") << 350.0 << false;
        QTest::newRow("11 h on DVD-9") << 660.0 << true;
    }
    void passendRefusesWhatNoRateFits() {
        QFETCH(double, minutes);
        QFETCH(bool, dualLayer);
        const Disc disc = dualLayer ? dualLayerDisc() : singleLayerDisc();
        QVERIFY(!fitToDisc(minutes * 60, disc.bytes));
        VideoProbe probe = probeOf(25.0, 16.0 / 9);
        probe.duration = minutes * 60;
        EncodeSettings settings;
        settings.fillsDisc = true;
        settings.disc = disc;
        QVERIFY(planEncode(probe, settings).tooLongForDisc);
        settings.fillsDisc = false;
        QVERIFY(!planEncode(probe, settings).tooLongForDisc);
    }

    void passendPlan() {
        VideoProbe probe = probeOf(24000.0 / 1001, 16.0 / 9);
        probe.duration = 125 * 60.0; // 2 h after the speed-up to 25 fps
        EncodeSettings settings;
        settings.fillsDisc = true;
        const EncodePlan plan = planEncode(probe, settings);
        QVERIFY(qAbs(*plan.expectedDuration - 7192.8) < 0.1);
        QVERIFY(plan.tunedEncoder && !plan.tooLongForDisc);
        QVERIFY(plan.videoBitrateKbps > 4700 && plan.videoBitrateKbps < 4850);
        QCOMPARE(plan.maxRateKbps, 9800);
        QCOMPARE(*plan.size,
                 forecastSize(*plan.expectedDuration, plan.videoBitrateKbps, closedGopFrames));
        QCOMPARE(encodeSummary(probe, settings, plan).at(4),
                 QStringLiteral("Bitrate: %1k (max 9800k)").arg(plan.videoBitrateKbps));
        const QStringList arguments = ffmpegArguments("in", "out", settings, plan);
        QCOMPARE(arguments.mid(arguments.indexOf("-b:v"), 4),
                 (QStringList{"-b:v", QStringLiteral("%1k").arg(plan.videoBitrateKbps), "-maxrate",
                              "9800k"}));
        const qsizetype flags = arguments.indexOf("-flags");
        QCOMPARE(arguments.mid(flags, 18),
                 (QStringList{"-flags", "+ildct+cgop", "-top", "1", "-bf", "2", "-b_qfactor", "1",
                              "-b_qoffset", "0.5", "-bidir_refine", "0", "-trellis", "1",
                              "-sc_threshold", "1000000000", "-c:a", "ac3"}));

        // A fixed preset keeps the encoder's plain settings and its own rates.
        settings.fillsDisc = false;
        const EncodePlan fixed = planEncode(probe, settings);
        QVERIFY(!fixed.tunedEncoder);
        QCOMPARE(fixed.videoBitrateKbps, 6000);
        const QStringList plain = ffmpegArguments("in", "out", settings, fixed);
        QCOMPARE(plain.at(plain.indexOf("-top") + 2), "-c:a");
        QCOMPARE(*fixed.size, forecastSize(*fixed.expectedDuration, 6000, plainGopFrames));

        // Without a length nothing can be fitted: the standard rates, with the better settings.
        const VideoProbe unknown;
        settings.fillsDisc = true;
        const EncodePlan blind = planEncode(unknown, settings);
        QVERIFY(!blind.size && !blind.tooLongForDisc && blind.tunedEncoder);
        QCOMPARE(blind.videoBitrateKbps, 6000);
    }

    void statusSizes_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<OptionalInt>("kilobytes");
        QTest::newRow("running") << "frame=  250 fps= 50 q=31.0 size=   10240kB time=00:00:10.00 "
                                    "bitrate=8388.6kbits/s speed=2.01x"
                                 << OptionalInt(10240);
        QTest::newRow("last") << "frame= 1500 fps= 49 q=31.0 Lsize=   61054kB time=00:01:00.00 "
                                 "bitrate=8335.8kbits/s speed=1.96x"
                              << OptionalInt(61054);
        QTest::newRow("nothing written yet")
            << "frame=    0 fps=0.0 q=0.0 size=N/A time=N/A" << OptionalInt();
        QTest::newRow("no status") << "Stream #0:0: Video: mpeg2video" << OptionalInt();
    }
    void statusSizes() {
        QFETCH(QString, line);
        QFETCH(OptionalInt, kilobytes);
        const std::optional<qint64> bytes = statusSize(line);
        QCOMPARE(bytes.has_value(), kilobytes.has_value());
        if (kilobytes)
            QCOMPARE(*bytes, qint64(*kilobytes) * 1024);
    }

    void sizeLines() {
        QCOMPARE(expectedSizeLine(5'450'000'000, singleLayerDisc()),
                 "Voraussichtliche Größe: 5,45 GB (DVD-5: 4,70 GB)");
        QCOMPARE(projectedSizeLine(8'123'000'000, dualLayerDisc()),
                 "Hochgerechnete Größe: 8,12 GB (DVD-9: 8,54 GB)");
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
        QCOMPARE(FFmpegError::conversionFailed(1, "No such file").toolReason(), "No such file");
        QCOMPARE(FFmpegError::fileFailed("/x", "kaputt").toolReason(), QString());
        QCOMPARE(FFmpegError::tooLongForDisc(5 * 3600 + 40 * 60 - 20, "DVD-9").description(),
                 "Der Film ist mit 5:40 h zu lang für eine DVD-9.");
        QCOMPARE(FFmpegError::tooLongForDisc(59 * 60, "DVD-5").description(),
                 "Der Film ist mit 0:59 h zu lang für eine DVD-5.");
        QCOMPARE(
            FFmpegError::discTooSmall(5'450'000'000, "DVD-5", 4'700'372'992, "DVD-9").description(),
            "Das Abbild wird voraussichtlich 5,45 GB groß und passt nicht auf eine DVD-5 "
            "(4,70 GB). Bitte „Passend“ oder DVD-9 wählen.");
        QCOMPARE(FFmpegError::discTooSmall(9'100'000'000, "DVD-9", 8'543'666'176, std::nullopt)
                     .description(),
                 "Das Abbild wird voraussichtlich 9,10 GB groß und passt nicht auf eine DVD-9 "
                 "(8,54 GB). Bitte „Passend“ wählen.");
        QCOMPARE(FFmpegError::notEnoughSpace("/home/a/Filme", 13'200'000'000, 8'100'000'000)
                     .description(),
                 "Nicht genug Speicherplatz in /home/a/Filme: benötigt 13,2 GB, frei 8,1 GB.");
        QCOMPARE(FFmpegError::notEnoughSpace("/mnt/usb", 62'900'000, 1'048'576).summary(),
                 "Nicht genug Speicherplatz in /mnt/usb: benötigt 62,9 MB, frei 1,0 MB.");
    }
};

QTEST_GUILESS_MAIN(EncodePlanTest)
#include "tst_encode_plan.moc"
