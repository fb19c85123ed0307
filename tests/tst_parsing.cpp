// Number reading, ratios, progress lines, line splitting and the probe's JSON records.
#include "EncodeCheck.h"
#include "EncodeProgress.h"
#include "FFmpegError.h"
#include "LineSplitter.h"
#include "NumberReading.h"
#include "ProbeJson.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>

using OptionalNumber = std::optional<double>;
Q_DECLARE_METATYPE(OptionalNumber)

namespace {

void compareNumber(const OptionalNumber& actual, const OptionalNumber& expected) {
    QCOMPARE(actual.has_value(), expected.has_value());
    if (!expected)
        return;
    if (std::isnan(*expected))
        QVERIFY(std::isnan(*actual));
    else
        QVERIFY2(std::abs(*actual - *expected) < 1e-9 || *actual == *expected,
                 qPrintable(QString::number(*actual, 'g', 17)));
}

QStringList split(const QList<QByteArray>& chunks, bool finish) {
    QStringList lines;
    LineSplitter splitter([&](const QString& line) { lines << line; });
    for (const QByteArray& chunk : chunks)
        splitter.feed(chunk);
    if (finish)
        splitter.finish();
    return lines;
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

    void readNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptionalNumber>("expected");
        QTest::newRow("decimal") << "5400.000000" << OptionalNumber(5400);
        QTest::newRow("negative") << "-0.5" << OptionalNumber(-0.5);
        QTest::newRow("exponent") << "1e3" << OptionalNumber(1000);
        QTest::newRow("hex") << "0x1p4" << OptionalNumber(16);
        QTest::newRow("inf") << "inf" << OptionalNumber(INFINITY);
        QTest::newRow("nan") << "nan" << OptionalNumber(NAN);
        QTest::newRow("comma is not a point") << "1,5" << OptionalNumber();
        QTest::newRow("leading space") << " 12" << OptionalNumber();
        QTest::newRow("leading tab") << "\t12" << OptionalNumber();
        QTest::newRow("trailing space") << "12 " << OptionalNumber();
        QTest::newRow("trailing text") << "12s" << OptionalNumber();
        QTest::newRow("empty") << "" << OptionalNumber();
        QTest::newRow("N/A") << "N/A" << OptionalNumber();
        QTest::newRow("embedded NUL") << QStringLiteral("1\u00002") << OptionalNumber();
        QTest::newRow("arabic digits") << QStringLiteral("\u0661") << OptionalNumber();
    }
    void readNumber() {
        QFETCH(QString, text);
        QFETCH(OptionalNumber, expected);
        compareNumber(::readNumber(text), expected);
    }

    void parseRatio_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<OptionalNumber>("expected");
        QTest::newRow("film") << "24000/1001" << QChar('/') << OptionalNumber(24000.0 / 1001);
        QTest::newRow("pal") << "25/1" << QChar('/') << OptionalNumber(25);
        QTest::newRow("zero over zero") << "0/0" << QChar('/') << OptionalNumber();
        QTest::newRow("16:9") << "16:9" << QChar(':') << OptionalNumber(16.0 / 9);
        QTest::newRow("4:3") << "4:3" << QChar(':') << OptionalNumber(4.0 / 3);
        QTest::newRow("0:1 is present") << "0:1" << QChar(':') << OptionalNumber(0);
        QTest::newRow("N/A") << "N/A" << QChar(':') << OptionalNumber();
        QTest::newRow("doubled separator")
            << "24000//1001" << QChar('/') << OptionalNumber(24000.0 / 1001);
        QTest::newRow("one piece") << "/25" << QChar('/') << OptionalNumber();
        QTest::newRow("three pieces") << "1:2:3" << QChar(':') << OptionalNumber();
        QTest::newRow("leading space") << " 4:3" << QChar(':') << OptionalNumber();
        QTest::newRow("wrong separator") << "16:9" << QChar('/') << OptionalNumber();
    }
    void parseRatio() {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QFETCH(OptionalNumber, expected);
        compareNumber(::parseRatio(text, separator), expected);
    }

    void progressFraction_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("duration");
        QTest::addColumn<OptionalNumber>("expected");
        const QString status = "frame=  100 fps=50 q=2.0 size=1024kB time=%1 bitrate=5000kbits/s";
        QTest::newRow("half") << status.arg("00:01:30.50") << 181.0 << OptionalNumber(0.5);
        QTest::newRow("hours") << "time=01:23:45.67" << 10051.34 << OptionalNumber(0.5);
        QTest::newRow("beyond the end") << "time=00:10:00.00" << 500.0 << OptionalNumber(1);
        QTest::newRow("N/A") << status.arg("N/A") << 100.0 << OptionalNumber();
        QTest::newRow("marker only") << "size=0kB time=" << 100.0 << OptionalNumber();
        QTest::newRow("marker then blanks") << "time=   " << 100.0 << OptionalNumber();
        QTest::newRow("negative hours") << "time=-00:00:00.04" << 0.08 << OptionalNumber(0.5);
        QTest::newRow("not numbers") << "time=a:b:c" << 100.0 << OptionalNumber(0);
        QTest::newRow("inside a word") << "xtime=00:00:50.00" << 100.0 << OptionalNumber(0.5);
        QTest::newRow("first marker counts")
            << "time=00:00:10 time=00:00:20" << 100.0 << OptionalNumber(0.1);
        QTest::newRow("upper case") << "TIME=00:00:50.00" << 100.0 << OptionalNumber();
        QTest::newRow("two fields") << "time=00:50.00" << 100.0 << OptionalNumber();
        QTest::newRow("no duration") << "time=00:00:50.00" << 0.0 << OptionalNumber();
        QTest::newRow("negative duration") << "time=00:00:50.00" << -5.0 << OptionalNumber();
    }
    void progressFraction() {
        QFETCH(QString, line);
        QFETCH(double, duration);
        QFETCH(OptionalNumber, expected);
        compareNumber(::progressFraction(line, duration), expected);
    }

    void lineSplitter_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("finish");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("CR LF then LF")
            << QList<QByteArray>{"A\r\nB\n"} << false << QStringList{"A", "B"};
        QTest::newRow("CR only") << QList<QByteArray>{"p1\rp2\rp3\r"} << false
                                 << QStringList{"p1", "p2", "p3"};
        QTest::newRow("split across chunks")
            << QList<QByteArray>{"ab", "c\r", "\nd", "e\n"} << false << QStringList{"abc", "de"};
        QTest::newRow("tail kept until finish")
            << QList<QByteArray>{"a\nlast"} << false << QStringList{"a"};
        QTest::newRow("tail delivered at finish")
            << QList<QByteArray>{"a\nlast"} << true << QStringList{"a", "last"};
        QTest::newRow("empty lines dropped")
            << QList<QByteArray>{"\n\r\n\r"} << true << QStringList{};
        QTest::newRow("malformed UTF-8 replaced")
            << QList<QByteArray>{"gr\xfc\xdf\n", "\xc3"} << true
            << QStringList{QStringLiteral("gr\ufffd\ufffd"), QStringLiteral("\ufffd")};
        QTest::newRow("multibyte split across chunks")
            << QList<QByteArray>{"M\xc3", "\xa4nner\n"} << false << QStringList{"Männer"};
    }
    void lineSplitter() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, finish);
        QFETCH(QStringList, expected);
        QCOMPARE(split(chunks, finish), expected);
    }

    void videoJson() {
        const auto json = FFProbeJSON::decode(R"({"programs": [], "streams": [
            {"width": 1920, "height": 1080, "avg_frame_rate": "25/1", "display_aspect_ratio": "16:9",
             "extra": {"ignored": true}}], "format": {"duration": "12.5", "size": 7}})");
        QCOMPARE(json.streams->size(), 1);
        const auto& stream = json.streams->front();
        QCOMPARE(stream.width, 1920);
        QCOMPARE(stream.height, 1080);
        QCOMPARE(stream.avg_frame_rate, QStringLiteral("25/1"));
        QCOMPARE(stream.display_aspect_ratio, QStringLiteral("16:9"));
        QCOMPARE(json.format->duration, QStringLiteral("12.5"));

        const auto sparse =
            FFProbeJSON::decode(R"({"streams": [{"width": null}], "format": null})");
        QVERIFY(!sparse.streams->front().width);
        QVERIFY(!sparse.format);
        QVERIFY(!FFProbeJSON::decode("{}").streams);
    }

    void videoProbeFromAllStreams() {
        // As ffprobe 5.1 answers for a phone clip: stored on its side, German sound second.
        const VideoProbe probe = videoProbeFrom(FFProbeJSON::decode(R"({"streams": [
            {"index": 0, "codec_type": "audio", "channels": 2, "start_time": "0.000000",
             "disposition": {"default": 0}, "tags": {"language": "eng"}},
            {"index": 1, "codec_type": "video", "width": 1920, "height": 1080,
             "sample_aspect_ratio": "1:1", "display_aspect_ratio": "16:9",
             "field_order": "progressive", "r_frame_rate": "30/1", "avg_frame_rate": "2367/100",
             "start_time": "0.521000", "side_data_list": [{"rotation": -90}],
             "tags": {"rotate": "180"}},
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
        QCOMPARE(probe.audioStreams.size(), 2);
        QCOMPARE(probe.audioStreams[0].index, 0);
        QCOMPARE(probe.audioStreams[0].language, QStringLiteral("eng"));
        QCOMPARE(probe.audioStreams[0].isDefault, false);
        QCOMPARE(probe.audioStreams[1].index, 3);
        QCOMPARE(probe.audioStreams[1].channels, 6);
        QCOMPARE(probe.audioStreams[1].isDefault, true);

        // Older files carry the turn as a tag only.
        const VideoProbe tagged = videoProbeFrom(FFProbeJSON::decode(
            R"({"streams": [{"codec_type": "video", "tags": {"rotate": "90"}}]})"));
        compareNumber(tagged.rotation, 90.0);
        QVERIFY(!tagged.videoStart);

        const VideoProbe soundOnly = videoProbeFrom(FFProbeJSON::decode(
            R"({"streams": [{"index": 0, "codec_type": "audio"}], "format": {"duration": "2"}})"));
        QCOMPARE(soundOnly.hasVideoStream, false);
        QCOMPARE(soundOnly.audioStreams.size(), 1);
        QCOMPARE(videoProbeFrom(FFProbeJSON::decode("{}")).hasVideoStream, false);
    }

    void statusTime_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<OptionalNumber>("seconds");
        QTest::newRow("final status")
            << "frame=  526 fps=0.0 q=2.0 Lsize=  1234kB time=00:00:21.04 bitrate=4.8kbits/s"
            << OptionalNumber(21.04);
        QTest::newRow("hours") << "size=1kB time=01:02:03.50 bitrate=1" << OptionalNumber(3723.5);
        QTest::newRow("last in line") << "time=00:00:01.00" << OptionalNumber(1.0);
        QTest::newRow("N/A") << "size=N/A time=N/A bitrate=N/A" << OptionalNumber();
        QTest::newRow("not a number") << "time=aa:bb:cc" << OptionalNumber();
        QTest::newRow("no marker")
            << "Stream #0:0 -> #0:0 (h264 -> mpeg2video)" << OptionalNumber();
    }
    void statusTime() {
        QFETCH(QString, line);
        QFETCH(OptionalNumber, seconds);
        compareNumber(::statusTime(line), seconds);
    }

    void encodeWatch() {
        EncodeWatch watch;
        QVERIFY(!watch.reached());
        for (const char* line :
             {"Input #0, matroska,webm, from 'cut.mkv':",
              "[matroska,webm @ 0x5581] File ended "
              "prematurely at pos. 61440 (0xf000)",
              "frame=    3 fps=0.0 q=2.0 size=0kB time=00:00:00.08 bitrate=0.0kbits/s",
              "[h264 @ 0x55c1] Invalid NAL unit size (1234 > 567).",
              "[h264 @ 0x55c1] Invalid NAL unit size (1234 > 567).",
              "Truncating packet of size 2345 to 12",
              "video:131kB audio:59kB subtitle:0kB other streams:0kB global headers:0kB",
              "frame=    4 fps=0.0 q=2.0 Lsize=  40kB time=00:00:00.13 bitrate=0.0kbits/s"})
            watch.see(QString::fromUtf8(line));
        compareNumber(watch.reached(), 0.13);
        QCOMPARE(watch.reasons(),
                 (QStringList{"[matroska,webm @ 0x5581] File ended prematurely at pos. 61440 "
                              "(0xf000)",
                              "[h264 @ 0x55c1] Invalid NAL unit size (1234 > 567).",
                              "Truncating packet of size 2345 to 12"}));

        // A source that keeps complaining fills the reason with a few distinct lines only.
        EncodeWatch flood;
        for (int i = 0; i < 500; ++i)
            flood.see(QStringLiteral("[h264 @ 0x1] error while decoding MB %1 7").arg(i));
        QCOMPARE(flood.reasons().size(), 6);
    }

    void audioJson() {
        const auto json = J::decode(R"({"streams": [
            {"index": 1, "codec_name": "aac", "channels": 2, "tags": {"language": "deu", "title": "Stereo"}},
            {"index": 2, "tags": null},
            {"codec_name": "ac3"}]})");
        QCOMPARE(json.streams->size(), 3);
        QCOMPARE(json.streams->at(0).tags->language, QStringLiteral("deu"));
        QCOMPARE(json.streams->at(0).tags->title, QStringLiteral("Stereo"));
        QVERIFY(!json.streams->at(1).tags);
        QVERIFY(!json.streams->at(2).index);
    }

    void jsonFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("not JSON") << QByteArray("Invalid data") << false << "kein gültiges JSON";
        QTest::newRow("empty output") << QByteArray("") << true << "kein gültiges JSON";
        QTest::newRow("array at the top") << QByteArray("[]") << false << "kein JSON-Objekt";
        QTest::newRow("index as text")
            << QByteArray(R"({"streams":[{"index":"1"}]})") << true << "streams[0].index";
        QTest::newRow("fractional width")
            << QByteArray(R"({"streams":[{"width":1.5}]})") << false << "streams[0].width";
        QTest::newRow("duration as number")
            << QByteArray(R"({"format":{"duration":12}})") << false << "format.duration";
        QTest::newRow("streams not a list")
            << QByteArray(R"({"streams":{}})") << false << "streams";
        QTest::newRow("tags not an object")
            << QByteArray(R"({"streams":[{"index":1,"tags":3}]})") << true << "streams[0].tags";
        QTest::newRow("rotation as text")
            << QByteArray(R"({"streams":[{"side_data_list":[{"rotation":"90"}]}]})") << false
            << "streams[0].side_data_list[0].rotation";
        QTest::newRow("default flag as text")
            << QByteArray(R"({"streams":[{"disposition":{"default":"1"}}]})") << false
            << "streams[0].disposition.default";
        QTest::newRow("chapter start as number") << QByteArray(R"({"chapters":[{"start_time":0}]})")
                                                 << false << "chapters[0].start_time";
        QTest::newRow("title a number")
            << QByteArray(R"({"streams":[{"index":1,"tags":{"title":3}}]})") << true
            << "streams[0].tags.title";
    }
    void jsonFailures() {
        QFETCH(QByteArray, json);
        QFETCH(bool, audio);
        QFETCH(QString, mentions);
        try {
            if (audio)
                J::decode(json);
            else
                FFProbeJSON::decode(json);
            QFAIL("decoding should have failed");
        } catch (const FFmpegError& error) {
            QCOMPARE(error.kind(), FFmpegError::Kind::UnreadableOutput);
            QVERIFY2(error.description().startsWith("Antwort von ffprobe nicht lesbar: "),
                     qPrintable(error.description()));
            QVERIFY2(error.description().contains(mentions), qPrintable(error.description()));
        }
    }
};

QTEST_GUILESS_MAIN(ParsingTest)
#include "tst_parsing.moc"
