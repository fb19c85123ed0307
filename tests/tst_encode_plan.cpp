// The decisions of the PAL encode, the ffmpeg arguments made of them, the size forecast and the
// disc title.
#include "DiscFit.h"
#include "DiscTitle.h"
#include "EncodeCheck.h"
#include "EncodePlan.h"
#include "FFmpegArguments.h"
#include "FFmpegError.h"

#include <QLocale>
#include <QTest>

#include <clocale>

using OptionalNumber = std::optional<double>;
using OptionalInt = std::optional<int>;
using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalNumber)
Q_DECLARE_METATYPE(OptionalInt)
Q_DECLARE_METATYPE(OptionalText)

namespace {

// A source as ffprobe describes it; what is left out is unknown.
using Probe = VideoProbe;

AudioStreamInfo audioStream(int channels, const QString& language, bool isDefault = false) {
    return {1, QStringLiteral("aac"), channels, language, {}, isDefault};
}

// "720x428 16:9", then for interlaced sources "kept", "per field" or "per frame" with the field
// shown first ("tff", "bff"), "film recovered" from telecine, "flagged film" from pulldown flags,
// then "from 23.976" for film sped up from that rate.
QString inShort(const EncodePlan& plan) {
    const char* const fields[] = {"", " kept", " per field", " per frame"};
    QString text = QStringLiteral("%1x%2 %3%4")
                       .arg(plan.picture.width)
                       .arg(plan.picture.height)
                       .arg(plan.widescreen ? "16:9" : "4:3", fields[int(plan.fields)]);
    if (plan.fields != EncodePlan::Fields::Progressive)
        text += plan.topFieldFirst ? " tff" : " bff";
    if (plan.inverseTelecine)
        text += " film recovered";
    if (plan.pulldownFlags)
        text += " flagged film";
    if (plan.speedUpFrom)
        text += QString::asprintf(" from %.3f", *plan.speedUpFrom);
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Probe)

class EncodePlanTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    // The picture's shape, fields and rate, and the disc shape as stored (0 automatic, 1 16:9,
    // 2 4:3), against the decisions in short.
    void decisions_data() {
        QTest::addColumn<Probe>("source");
        QTest::addColumn<int>("aspectMode");
        QTest::addColumn<QString>("decisions");
        const auto sized = [](int width, int height, OptionalNumber rotation = {}) {
            return Probe{.width = width, .height = height, .rotation = rotation};
        };
        // PAL-sized 16:9 at the average and base rates, with its field order and what idet saw
        // (top first, bottom first, progressive, undetermined).
        const auto pal = [](double rate, OptionalNumber base, OptionalText order,
                            std::optional<FieldCounts> seen = {}) {
            return Probe{.frameRate = rate,
                         .displayAspectRatio = 16.0 / 9,
                         .baseFrameRate = base,
                         .fieldOrder = order,
                         .fieldsSeen = seen};
        };
        const double film = 24000.0 / 1001;
        QTest::newRow("nothing known") << Probe{} << 0 << "720x576 16:9";
        QTest::newRow("within 1 % fills the frame") << sized(1000, 566) << 0 << "720x576 16:9";
        QTest::newRow("the stream's DAR wins over its size")
            << Probe{.displayAspectRatio = 4.0 / 3, .width = 1920, .height = 1080} << 0
            << "720x576 4:3";
        QTest::newRow("2.39:1 letterboxed") << sized(1920, 804) << 0 << "720x428 16:9";
        QTest::newRow("1.7 is wide and pillarboxed") << sized(1700, 1000) << 0 << "688x576 16:9";
        QTest::newRow("16:9 turned -90") << sized(1920, 1080, -90) << 0 << "304x576 4:3";
        QTest::newRow("upside down") << sized(1920, 1080, 180) << 0 << "720x576 16:9";
        QTest::newRow("720x576 SAR 16:15")
            << Probe{.width = 720, .height = 576, .sampleAspectRatio = 16.0 / 15} << 0
            << "720x576 4:3";
        QTest::newRow("16:9 on a chosen 4:3 disc") << sized(1920, 1080) << 2 << "720x432 4:3";
        // What a newer version stores as "opt.aspectMode" reads as automatic.
        QTest::newRow("choice of a newer version") << sized(1440, 1080) << 3 << "720x576 4:3";

        QTest::newRow("25i flagged tb, not sampled")
            << pal(25, 25, "tb") << 0 << "720x576 16:9 kept tff";
        QTest::newRow("top first content flagged bt")
            << pal(25, 25, "bt", FieldCounts{180, 5, 10, 5}) << 0 << "720x576 16:9 kept tff";
        QTest::newRow("interlaced content flagged progressive")
            << pal(25, 25, "progressive", FieldCounts{0, 150, 40, 10}) << 0
            << "720x576 16:9 kept bff";
        QTest::newRow("progressive content flagged tt")
            << pal(25, 25, "tt", FieldCounts{2, 0, 190, 8}) << 0 << "720x576 16:9";
        QTest::newRow("content ties the order: flags")
            << pal(30000.0 / 1001, {}, "bb", FieldCounts{50, 50, 0, 0}) << 0
            << "720x576 16:9 per field bff";
        QTest::newRow("3:2 pulldown")
            << pal(30000.0 / 1001, {}, "tb", FieldCounts{176, 0, 4, 0, 42}) << 0
            << "720x576 16:9 film recovered from 23.976";
        QTest::newRow("29.97i repeating few fields")
            << pal(30000.0 / 1001, {}, "tb", FieldCounts{176, 0, 4, 0, 30}) << 0
            << "720x576 16:9 per field tff";
        // Of 76 pictures read for their flags, 38 and 18 repeat a field.
        QTest::newRow("3:2 pulldown flags") << pal(30000.0 / 1001, 60000.0 / 1001, "progressive",
                                                   FieldCounts{0, 0, 96, 4, 0, 76, 38})
                                            << 0 << "720x576 16:9 flagged film from 23.976";
        QTest::newRow("few repeat flags")
            << pal(30000.0 / 1001, {}, "progressive", FieldCounts{0, 0, 96, 4, 0, 76, 18}) << 0
            << "720x576 16:9";
        QTest::newRow("nothing judged: flags")
            << pal(25, 25, "tt", FieldCounts{0, 0, 0, 200}) << 0 << "720x576 16:9 kept tff";
        QTest::newRow("25i 2.39:1, heights by 8")
            << Probe{.frameRate = 25, .width = 1920, .height = 804, .fieldOrder = "tt"} << 0
            << "720x432 16:9 kept tff";
        QTest::newRow("unknown field order") << pal(25, 25, "unknown") << 0 << "720x576 16:9";
        QTest::newRow("29.97i deinterlaced field by field")
            << pal(30000.0 / 1001, {}, "tt") << 0 << "720x576 16:9 per field tff";
        QTest::newRow("interlaced film, frame for frame")
            << pal(film, film, "bb") << 0 << "720x576 16:9 per frame bff from 23.976";
        QTest::newRow("film without base rate")
            << pal(film, {}, {}) << 0 << "720x576 16:9 from 23.976";
        QTest::newRow("23.0 not sped up") << pal(23, 23, {}) << 0 << "720x576 16:9";
        QTest::newRow("24.2 not sped up") << pal(24.2, 24.2, {}) << 0 << "720x576 16:9";
        QTest::newRow("variable rate averaging 23.67 on a 30 grid")
            << pal(23.67, 30, "progressive") << 0 << "720x576 16:9";
    }
    void decisions() {
        QFETCH(Probe, source);
        QFETCH(int, aspectMode);
        QFETCH(QString, decisions);
        const EncodePlan plan =
            planEncode(source, encodeSettingsFor(aspectMode, 0, {}, singleLayerDisc()));
        QCOMPARE(inShort(plan), decisions);
    }

    // One whole argument list per kind of source.
    void arguments_data() {
        QTest::addColumn<Probe>("source");
        QTest::addColumn<int>("preset");
        QTest::addColumn<OptionalInt>("audio");
        QTest::addColumn<QString>("expected");
        const QString input = "-y -i /in/film.mkv -sn -dn ";
        const QString video = "-r 25 -c:v mpeg2video -pix_fmt yuv420p -color_primaries bt470bg "
                              "-color_trc gamma28 -colorspace bt470bg ";
        const QString standard = "-b:v 6000k -maxrate 8000k -bufsize 1835k -g 15 -flags +ildct";
        const QString audio = "-c:a ac3 -b:a 192k -ar 48000 -ac 2 ";
        const QString output = "-f dvd /out/film.mpg";
        QTest::newRow("progressive 25 fps, letterboxed")
            << Probe{.width = 1920, .height = 804} << 0 << OptionalInt()
            << input +
                   "-vf scale=720:428:flags=lanczos:in_color_matrix=bt709:out_color_matrix=bt601,"
                   "pad=720:576:0:74,setsar=64/45,fps=25 " +
                   video + standard + " -top 1 " + audio + output;
        // Both chains start where the picture starts, 21 ms into the file.
        QTest::newRow("film starting late, third stream, Max")
            << Probe{.frameRate = 24000.0 / 1001,
                     .displayAspectRatio = 16.0 / 9,
                     .videoStart = 0.021}
            << 2 << OptionalInt(2)
            << input +
                   "-map 0:v:0 -map 0:a:2 -vf scale=720:576:flags=lanczos,setsar=64/45,"
                   "setpts=(PTS-STARTPTS)*(23.976024/25) " +
                   video + "-b:v 8000k -maxrate 9800k -bufsize 1835k -g 15 -flags +ildct -top 1 " +
                   audio +
                   "-af atrim=start=0.021000,asetpts=(PTS-0.021000/TB)*0.959041+0.0175/TB,"
                   "atempo=1.042708 " +
                   output;
        QTest::newRow("25i bottom first kept")
            << Probe{.frameRate = 25, .displayAspectRatio = 16.0 / 9, .fieldOrder = "bb"} << 0
            << OptionalInt()
            << input + "-vf scale=720:576:interl=1:flags=lanczos,setsar=64/45,fps=25 " + video +
                   standard + "+ilme -top 0 " + audio + output;
        // "opt.qualityPreset" of a newer version reads as "Standard".
        QTest::newRow("29.97i bottom first deinterlaced, preset of a newer version")
            << Probe{.frameRate = 30000.0 / 1001,
                     .displayAspectRatio = 16.0 / 9,
                     .fieldOrder = "bb"}
            << 4 << OptionalInt()
            << input +
                   "-vf bwdif=mode=send_field:parity=bff,scale=720:576:flags=lanczos,"
                   "setsar=64/45,fps=25 " +
                   video + standard + " -top 1 " + audio + output;
        Probe surround{.frameRate = 25, .displayAspectRatio = 16.0 / 9};
        surround.audioStreams = {audioStream(6, "ger", true), audioStream(2, "eng")};
        QTest::newRow("Alle Spuren")
            << surround << 0 << OptionalInt(-1)
            << input +
                   "-map 0:v:0 -map 0:a:0 -map 0:a:1 -vf scale=720:576:flags=lanczos,"
                   "setsar=64/45,fps=25 " +
                   video + standard +
                   " -top 1 -c:a ac3 -b:a:0 448k -b:a:1 192k -ar 48000 -ac:a:0 6 -ac:a:1 2 " +
                   output;
        // Without a length nothing can be fitted: the standard rates, with the better settings.
        QTest::newRow("Passend, length unknown, square picture on 4:3")
            << Probe{.frameRate = 25, .width = 480, .height = 480} << 3 << OptionalInt()
            << input + "-vf scale=540:576:flags=lanczos,pad=720:576:90:0,setsar=12/11,fps=25 " +
                   video + standard +
                   "+cgop -top 1 -bf 2 -b_qfactor 1 -b_qoffset 0.5 -bidir_refine 0 -trellis 1 "
                   "-sc_threshold 1000000000 " +
                   audio + output;
    }
    void arguments() {
        QFETCH(Probe, source);
        QFETCH(int, preset);
        QFETCH(OptionalInt, audio);
        QFETCH(QString, expected);
        const bool all = audio == -1; // "Alle Spuren"
        const EncodePlan plan =
            planEncode(source, encodeSettingsFor(0, preset, all ? OptionalInt() : audio,
                                                 singleLayerDisc(), all));
        QCOMPARE(ffmpegArguments("/in/film.mkv", "/out/film.mpg", plan), expected.split(' '));
    }

    // "Passend" for films of many lengths: the image fills 95–99 % of the disc at a bitrate that
    // never goes above 8000k nor below 1500k; longer films are refused. lowest 0: refused.
    void passend_data() {
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("minutes");
        QTest::addColumn<bool>("dualLayer");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("half an hour on DVD-5: capped") << 25.0 << 30.0 << false << 8000 << 8000;
        QTest::newRow("2 h after the speed-up on DVD-5")
            << 24000.0 / 1001 << 125.0 << false << 4700 << 4850;
        QTest::newRow("5:40 h on DVD-5") << 25.0 << 340.0 << false << 1500 << 1560;
        QTest::newRow("5:50 h on DVD-5") << 25.0 << 350.0 << false << 0 << 0;
        QTest::newRow("10 h on DVD-9") << 25.0 << 600.0 << true << 1550 << 1620;
    }
    void passend() {
        QFETCH(double, rate);
        QFETCH(double, minutes);
        QFETCH(bool, dualLayer);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        const Disc disc = dualLayer ? dualLayerDisc() : singleLayerDisc();
        VideoProbe probe{rate, minutes * 60, 16.0 / 9, {}, {}, true};
        QVERIFY(!planEncode(probe, encodeSettingsFor(0, 2, {}, disc)).tooLongForDisc);
        const EncodePlan plan = planEncode(probe, encodeSettingsFor(0, 3, {}, disc));
        QCOMPARE(plan.tooLongForDisc, lowest == 0);
        if (plan.tooLongForDisc)
            return;
        QVERIFY2(plan.videoBitrateKbps >= lowest && plan.videoBitrateKbps <= highest,
                 qPrintable(QString::number(plan.videoBitrateKbps)));
        QCOMPARE(plan.maxRateKbps, 9800);
        const double fill = double(plan.size.value().imageBytes) / double(disc.bytes);
        QVERIFY2(fill <= 0.99 && (fill >= 0.95 || plan.videoBitrateKbps == 8000),
                 qPrintable(QString::number(fill)));
    }

    void subtitleTracksTakeTheirShare() {
        // Two streams and a file beside the source, about 8 kbit/s each on the disc.
        VideoProbe probe{25.0, 3600.0, 16.0 / 9, {}, {}, true};
        probe.subtitleStreams.resize(2);
        probe.subtitleSideFiles = 1;
        EncodeSettings settings = encodeSettingsFor(0, 0, {}, singleLayerDisc());
        const auto imageWith = [&](SubtitleChoice choice) {
            settings.subtitles = choice;
            return planEncode(probe, settings).size.value().imageBytes;
        };
        const qint64 none = imageWith({SubtitleChoice::Tracks::none, 0, {}});
        const auto tracksIn = [&](qint64 bytes) {
            return double(bytes - none) / (8000 / 8 * 3600);
        };
        QVERIFY(qAbs(tracksIn(imageWith({})) - 3) < 0.15);
        QVERIFY(qAbs(tracksIn(imageWith({SubtitleChoice::Tracks::one, 2, {}})) - 1) < 0.05);
        QCOMPARE(imageWith({SubtitleChoice::Tracks::one, 3, {}}), none);
        // A track drawn into the picture is no sub-picture stream.
        settings.burntSubtitle = 1;
        QVERIFY(qAbs(tracksIn(imageWith({})) - 2) < 0.15);
        QCOMPARE(imageWith({SubtitleChoice::Tracks::one, 1, {}}), none);
        settings.burntSubtitle.reset();
        // Muxed one after the other into copies of the MPEG file, two of which exist at a time.
        settings.subtitles = {};
        const SizeForecast size = planEncode(probe, settings).size.value();
        QCOMPARE(size.subtitleCopyBytes, 2 * size.mpegBytes);
    }

    // Images made here by the real tools (ffmpeg 5.1, dvdauthor 0.7.2, genisoimage 1.1.11) from
    // sources that reach the bitrate, against the forecast.
    void forecastOfMeasuredEncodes_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("kbps");
        QTest::addColumn<qint64>("mpegBytes");
        QTest::addColumn<qint64>("imageBytes");
        QTest::addColumn<int>("gopFrames");
        QTest::newRow("1 min, Standard")
            << 60.0 << 6000 << 47'349'760LL << 48'316'416LL << plainGopFrames;
        QTest::newRow("10 s, Max")
            << 10.0 << 8000 << 10'424'320LL << 11'390'976LL << plainGopFrames;
        QTest::newRow("1 min, Passend 1500k")
            << 60.0 << 1500 << 13'273'088LL << 14'239'744LL << closedGopFrames;
    }
    void forecastOfMeasuredEncodes() {
        QFETCH(double, seconds);
        QFETCH(int, kbps);
        QFETCH(qint64, mpegBytes);
        QFETCH(qint64, imageBytes);
        QFETCH(int, gopFrames);
        const auto near = [](qint64 forecast, qint64 measured, double tolerance) {
            return std::abs(double(forecast) / double(measured) - 1) <= tolerance;
        };
        // ffmpeg's average strays from the bitrate by up to 0.6 % at the lowest rate.
        const qint64 forecast = forecastSize(seconds, kbps, gopFrames).imageBytes;
        QVERIFY2(near(forecast, imageBytes, 0.01), qPrintable(QString::number(forecast)));
        // A tenth of the MPEG file written at a tenth of the length projects the whole image.
        QVERIFY(
            near(projectedImageBytes(mpegBytes / 10, seconds / 10, seconds), imageBytes, 0.002));
    }

    // The disc's languages, as two letters, and the forecast's sound: of the stream ffmpeg
    // encodes, or with "Alle Spuren" (chosen -1) of every stream, the default one first.
    void audioTracks_data() {
        QTest::addColumn<QList<AudioStreamInfo>>("streams");
        QTest::addColumn<OptionalInt>("chosen");
        QTest::addColumn<QList<OptionalText>>("languages");
        QTest::addColumn<int>("audioKbps");
        const auto one = [](const QString& tag, OptionalText code) {
            QTest::newRow(qPrintable(tag))
                << QList{audioStream(2, tag)} << OptionalInt() << QList{code} << 192;
        };
        QTest::newRow("chosen beyond the list")
            << QList{audioStream(2, "eng", true), audioStream(2, "deu")} << OptionalInt(2)
            << QList{OptionalText()} << 192;
        QTest::newRow("most channels, bibliographic code")
            << QList{audioStream(2, "eng"), audioStream(6, "ger")} << OptionalInt()
            << QList<OptionalText>{"de"} << 448;
        QTest::newRow("default before channels")
            << QList{audioStream(6, "eng"), audioStream(2, "fre", true)} << OptionalInt()
            << QList<OptionalText>{"fr"} << 192;
        QTest::newRow("all, default 7.1 first")
            << QList{audioStream(2, "eng"), audioStream(1, "gsw"), audioStream(8, "ger", true)}
            << OptionalInt(-1) << QList<OptionalText>{"de", "en", {}} << 448 + 192 + 192;
        QTest::newRow("all, nine: eight kept")
            << QList<AudioStreamInfo>(9, audioStream(1, "ita")) << OptionalInt(-1)
            << QList<OptionalText>(8, "it") << 8 * 192;
        one("zul", "zu");
        one("FRE", "fr");
        one("de-AT", "de");
        one("gsw", {}); // Swiss German has no two letters
        one("xx", {});
    }
    void audioTracks() {
        QFETCH(QList<AudioStreamInfo>, streams);
        QFETCH(OptionalInt, chosen);
        QFETCH(QList<OptionalText>, languages);
        QFETCH(int, audioKbps);
        VideoProbe probe{.frameRate = 25, .duration = 60};
        probe.audioStreams = streams;
        const bool all = chosen == -1;
        const EncodeSettings settings =
            encodeSettingsFor(0, 0, all ? OptionalInt() : chosen, singleLayerDisc(), all);
        const EncodePlan plan = planEncode(probe, settings);
        QCOMPARE(discTitleFor(probe, settings, plan).audioLanguages, languages);
        QCOMPARE(plan.size.value(), forecastSize(60, 6000, plainGopFrames, audioKbps));
    }

    // Chapter starts on the encoded timeline, where the picture starts 1 s into the source and
    // runs at half speed: the source's marks, or one every five minutes.
    void chapters_data() {
        QTest::addColumn<QList<double>>("marks");
        QTest::addColumn<OptionalNumber>("duration");
        QTest::addColumn<QList<double>>("starts");
        QTest::newRow("none at the very end")
            << QList<double>{} << OptionalNumber(600) << QList<double>{0, 300};
        QTest::newRow("length unknown") << QList<double>{} << OptionalNumber() << QList<double>{0};
        QTest::newRow("one mark is no chapter list")
            << QList<double>{1} << OptionalNumber(610) << QList<double>{0, 300, 600};
        QTest::newRow("first mark later")
            << QList<double>{61, 401} << OptionalNumber(400) << QList<double>{0, 30, 200};
        QTest::newRow("too close, past the end, unordered")
            << QList<double>{101, 1, 21, 21.8, 199} << OptionalNumber(60)
            << QList<double>{0, 10, 50};
    }
    void chapters() {
        QFETCH(QList<double>, marks);
        QFETCH(OptionalNumber, duration);
        QFETCH(QList<double>, starts);
        QCOMPARE(chapterStarts(marks, 1, 0.5, duration), starts);
    }
};

QTEST_GUILESS_MAIN(EncodePlanTest)
#include "tst_encode_plan.moc"
