// Number reading, ratios, status lines, line splitting and the probe's JSON records.
#include "EncodeCheck.h"
#include "FFmpegError.h"
#include "LineSplitter.h"
#include "NumberReading.h"
#include "ProbeJson.h"
#include "StatusLine.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>

using OptionalNumber = std::optional<double>;
Q_DECLARE_METATYPE(OptionalNumber)

namespace {

void compareNumber(const OptionalNumber& actual, const OptionalNumber& expected) {
    QCOMPARE(actual.has_value(), expected.has_value());
    if (expected)
        QVERIFY2(std::abs(*actual - *expected) < 1e-9,
                 qPrintable(QString::number(*actual, 'g', 17)));
}

} // namespace

class ParsingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // A German locale must not change how numbers are read.
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    // Numbers as ffprobe and ffmpeg write them, and ratios of two ("/" or ":").
    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptionalNumber>("expected");
        QTest::newRow("decimal") << "5400.500000" << OptionalNumber(5400.5);
        QTest::newRow("exponent") << "1e3" << OptionalNumber(1000);
        QTest::newRow("comma is not a point") << "1,5" << OptionalNumber();
        QTest::newRow("leading space") << " 12" << OptionalNumber();
        QTest::newRow("trailing text") << "12s" << OptionalNumber();
        QTest::newRow("embedded NUL") << QStringLiteral("1\u00002") << OptionalNumber();
        QTest::newRow("film") << "24000/1001" << OptionalNumber(24000.0 / 1001);
        QTest::newRow("zero over zero") << "0/0" << OptionalNumber();
        QTest::newRow("0:1 is present") << "0:1" << OptionalNumber(0);
        QTest::newRow("one piece") << "/25" << OptionalNumber();
        QTest::newRow("three pieces") << "1:2:3" << OptionalNumber();
        QTest::newRow("a piece unreadable") << "16:9x" << OptionalNumber();
    }
    void numbers() {
        QFETCH(QString, text);
        QFETCH(OptionalNumber, expected);
        const QChar separator = text.contains(u'/') ? u'/' : u':';
        compareNumber(text.contains(separator) ? parseRatio(text, separator) : readNumber(text),
                      expected);
        // The other separator does not divide.
        if (text.contains(separator))
            QVERIFY(!parseRatio(text, separator == u'/' ? u':' : u'/'));
    }

    // Status lines against the position they reached and the bytes written.
    void statusLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<OptionalNumber>("seconds");
        QTest::addColumn<qint64>("bytes"); // -1: none
        const qint64 none = -1;
        QTest::newRow("running")
            << "frame=  100 fps=50 q=2.0 size=   10240kB time=00:01:30.50 bitrate=5000kbits/s"
            << OptionalNumber(90.5) << 10240LL * 1024;
        QTest::newRow("last, hours") << "frame= 1500 Lsize=   61054kB time=01:23:45.67"
                                     << OptionalNumber(5025.67) << 61054LL * 1024;
        QTest::newRow("first marker counts")
            << "time=00:00:10 time=00:00:20" << OptionalNumber(10) << none;
        QTest::newRow("nothing written yet")
            << "frame=    0 size=N/A time=N/A" << OptionalNumber() << none;
        QTest::newRow("two fields") << "time=00:50.00" << OptionalNumber() << none;
        QTest::newRow("space after the marker") << "time= 00:00:50" << OptionalNumber() << none;
        QTest::newRow("size without unit")
            << "size=10240 time=nan:00:00" << OptionalNumber() << none;
    }
    void statusLines() {
        QFETCH(QString, line);
        QFETCH(OptionalNumber, seconds);
        QFETCH(qint64, bytes);
        const std::optional<StatusLine> status = StatusLine::parse(line);
        QCOMPARE(status.has_value(), seconds || bytes >= 0);
        compareNumber(status.value_or(StatusLine{}).time, seconds);
        QCOMPARE(status.value_or(StatusLine{}).size.value_or(-1), bytes);
    }

    void lineSplitter_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("expected");
        // Empty lines between CR and LF are dropped.
        QTest::newRow("split across chunks")
            << QList<QByteArray>{"ab", "c\r", "\nd", "e\n\r"} << QStringList{"abc", "de"};
        // Each line on its own: at the end a started character that never ends.
        QTest::newRow("malformed UTF-8 replaced")
            << QList<QByteArray>{"gr\xfc\xdf\n", "\xc3"}
            << QStringList{QStringLiteral("gr\ufffd\ufffd"), QStringLiteral("\ufffd")};
        QTest::newRow("multibyte split across chunks")
            << QList<QByteArray>{"M\xc3", "\xa4nner\n"} << QStringList{"Männer"};
    }
    void lineSplitter() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, expected);
        QStringList lines;
        LineSplitter splitter([&](const QString& line) { lines << line; });
        for (const QByteArray& chunk : chunks)
            splitter.feed(chunk);
        splitter.finish();
        QCOMPARE(lines, expected);
    }

    void videoProbeFromAllStreams() {
        // As ffprobe 5.1 answers for a phone clip: stored on its side, German sound second,
        // forced subtitles last.
        const VideoProbe probe = videoProbeFrom(FFProbeJSON::decode(R"({"streams": [
            {"index": 4, "codec_type": "subtitle", "codec_name": "subrip",
             "disposition": {"default": 0, "forced": 1}, "tags": {"language": "ger"}},
            {"index": 0, "codec_type": "audio", "codec_name": "aac", "channels": 2,
             "disposition": {"default": 0, "forced": 0},
             "tags": {"language": "eng", "title": "Kommentar"}},
            {"index": 1, "codec_type": "video", "width": 1920, "height": 1080,
             "sample_aspect_ratio": "1:1", "display_aspect_ratio": "16:9",
             "field_order": "progressive", "r_frame_rate": "30/1", "avg_frame_rate": "2367/100",
             "start_time": "0.521000", "side_data_list": [{"rotation": -90}],
             "tags": {"rotate": "180"}, "extra": {"ignored": true}},
            {"index": 2, "codec_type": "video", "width": 320, "height": 240,
             "avg_frame_rate": "0/0", "field_order": "tt"},
            {"index": 3, "codec_type": "audio", "channels": 6, "disposition": {"default": 1},
             "tags": {"language": "deu"}}],
            "chapters": [{"start_time": "0.500000"}, {"start_time": "300.500000"}],
            "format": {"duration": "30.000000", "start_time": "0.500000"}})"));
        QCOMPARE(probe.hasVideoStream, true);
        compareNumber(probe.frameRate, 23.67);
        compareNumber(probe.baseFrameRate, 30.0);
        compareNumber(probe.sampleAspectRatio, 1.0);
        compareNumber(probe.displayAspectRatio, 16.0 / 9);
        compareNumber(probe.rotation, -90.0);
        QCOMPARE(probe.fieldOrder, QStringLiteral("progressive"));
        QCOMPARE(probe.width, 1920);
        compareNumber(probe.videoStart, 0.021);
        compareNumber(probe.duration, 30.0);
        QCOMPARE(probe.chapterStarts, (QList<double>{0.0, 300.0}));
        QCOMPARE(probe.audioStreams,
                 (QList<AudioStreamInfo>{{0, "aac", 2, "eng", "Kommentar", false, false},
                                         {3, {}, 6, "deu", {}, true, {}}}));
        QCOMPARE(probe.subtitleStreams,
                 (QList<SubtitleStreamInfo>{{4, "subrip", "ger", {}, false, true}}));

        // Older files carry the turn as a tag only.
        const VideoProbe tagged = videoProbeFrom(FFProbeJSON::decode(
            R"({"streams": [{"codec_type": "video", "tags": {"rotate": "90"}}]})"));
        compareNumber(tagged.rotation, 90.0);
        QVERIFY(!tagged.videoStart);
        QCOMPARE(videoProbeFrom(FFProbeJSON::decode("{}")).hasVideoStream, false);

        // A subtitle running on after picture and sound (Matroska tags, MP4 durations) does not
        // lengthen what the encode is expected to reach.
        const VideoProbe longSubtitle = videoProbeFrom(FFProbeJSON::decode(R"({"streams": [
            {"codec_type": "video", "tags": {"DURATION": "00:01:02.500000000"}},
            {"codec_type": "audio", "duration": "61.5"},
            {"codec_type": "subtitle", "tags": {"DURATION": "01:09:00.023000000"}}],
            "format": {"duration": "4140.023"}})"));
        compareNumber(longSubtitle.duration, 62.5);
    }

    void encodeWatch() {
        EncodeWatch watch;
        for (const char* line :
             {"[matroska,webm @ 0x5581] File ended prematurely at pos. 61440 (0xf000)",
              "frame=    3 fps=0.0 q=2.0 size=0kB time=00:00:00.08 bitrate=0.0kbits/s",
              "[h264 @ 0x55c1] Invalid NAL unit size (1234 > 567).",
              "[h264 @ 0x55c1] Invalid NAL unit size (1234 > 567).",
              "Truncating packet of size 2345 to 12",
              "frame=    4 fps=0.0 q=2.0 Lsize=  40kB time=00:00:00.13 bitrate=0.0kbits/s"})
            watch.see(QString::fromUtf8(line), StatusLine::parse(QString::fromUtf8(line)));
        compareNumber(watch.reached(), 0.13);
        QCOMPARE(watch.reasons(),
                 (QStringList{"[matroska,webm @ 0x5581] File ended prematurely at pos. 61440 "
                              "(0xf000)",
                              "[h264 @ 0x55c1] Invalid NAL unit size (1234 > 567).",
                              "Truncating packet of size 2345 to 12"}));

        // A source that keeps complaining fills the reason with a few distinct lines only.
        EncodeWatch flood;
        for (int i = 0; i < 500; ++i)
            flood.see(QStringLiteral("[h264 @ 0x1] error while decoding MB %1 7").arg(i), {});
        QCOMPARE(flood.reasons().size(), 6);
    }

    void jsonFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("not JSON") << QByteArray("Invalid data") << "kein gültiges JSON";
        QTest::newRow("index as text")
            << QByteArray(R"({"streams":[{"index":"1"}]})") << "„streams[0].index“";
        QTest::newRow("duration as number")
            << QByteArray(R"({"format":{"duration":12}})") << "„format.duration“";
        QTest::newRow("rotation as text")
            << QByteArray(R"({"streams":[{"side_data_list":[{"rotation":"90"}]}]})")
            << "„streams[0].side_data_list[0].rotation“";
        QTest::newRow("tags not an object")
            << QByteArray(R"({"streams":[{"index":1,"tags":3}]})") << "„streams[0].tags“";
    }
    void jsonFailures() {
        QFETCH(QByteArray, json);
        QFETCH(QString, mentions);
        QString description;
        try {
            FFProbeJSON::decode(json);
        } catch (const FFmpegError& error) {
            description = error.description();
        }
        QVERIFY2(description.startsWith("Antwort von ffprobe nicht lesbar: ") &&
                     description.contains(mentions),
                 qPrintable(description));
    }
};

QTEST_GUILESS_MAIN(ParsingTest)
#include "tst_parsing.moc"
