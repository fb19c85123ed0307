// Subtitles on the disc: a film's own text and picture streams and the files beside it, in
// different character sets, encoded and authored with the real tools and read back by lsdvd,
// ffmpeg and tesseract.
#include "AwaitTask.h"
#include "BitmapPicture.h"
#include "FFmpegService.h"
#include "MediaChecks.h"
#include "SpumuxScript.h"
#include "SubtitleBurnIn.h"
#include "SubtitleRenderer.h"
#include "SubtitleTiming.h"
#include "TestFiles.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace testing;

namespace {

// Cues at source seconds 1.0-2.0, 2.5-3.5 and 3.8 until lastEnd (past the 4 s film for side files;
// a stream in the film that ran on would make the film longer).
QByteArray srt(const QString& first, const QString& lastEnd = "00:00:09,000") {
    return (QStringLiteral("1\r\n00:00:01,000 --> 00:00:02,000\r\n%1\r\n\r\n"
                           "2\r\n00:00:02,500 --> 00:00:03,500\r\n<i>Zweite Zeile</i>\r\n\r\n"
                           "3\r\n00:00:03,800 --> %2\r\nEnde\r\n")
                .arg(first, lastEnd))
        .toUtf8();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// The picture of the sub-picture stream with this id shown at `seconds`, over a black frame.
QImage shownPicture(const QString& vob, int stream, double seconds, const QString& png) {
    runOrFail("ffmpeg", {"-v", "error", "-y", "-i", vob, "-filter_complex",
                         QString("[0:v]drawbox=c=black:t=fill[b];[b][0:i:%1]overlay").arg(stream),
                         "-ss", QString::number(seconds), "-frames:v", "1", png});
    return QImage(png);
}

SubtitleCue cue(double start, double end, const QString& text, bool italic = false) {
    SubtitleCue cue;
    cue.start = start;
    cue.end = end;
    cue.text = text;
    cue.italic = italic;
    return cue;
}

// Where a picture over black is brighter than dark grey.
QRect brightArea(const QImage& image) {
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 40)
                area |= QRect(x, y, 1, 1);
    return area;
}

} // namespace

class SubtitlesTest : public QObject {
    Q_OBJECT

private slots:
    void tracksReachTheDisc() {
        QTemporaryDir dir;
        write(dir.filePath("eng.srt"), srt("Hello", "00:00:03,950"));
        // A white box at 40,180 of the 320×240 film, as a DVD sub-picture by spumux (its times
        // kept by -copyts) and as DVB subtitles from ffmpeg, 1.0-1.8 s and 2.2-2.9 s.
        QImage box(240, 40, QImage::Format_Indexed8);
        box.setColorTable({qRgba(0, 0, 0, 0), qRgb(255, 255, 255)});
        box.fill(1);
        QVERIFY(box.save(dir.filePath("box.png")));
        const QString base =
            makeClip(dir, "base.mpg", words("-f lavfi -i testsrc2=s=320x240:d=4 -f dvd"));
        const double lead = streamEntries(base, "video", "start_time")["start_time"].toDouble();
        write(dir.filePath("box.xml"),
              spumuxScript({{1 - lead, 1.8 - lead, dir.filePath("box.png"), 40, 180},
                            {2.2 - lead, 2.9 - lead, dir.filePath("box.png"), 40, 180}})
                  .toUtf8());
        FFmpegService service;
        const Outcome<ToolResult> boxed =
            await(service.runTool("/usr/bin/spumux", {"-s", "0", dir.filePath("box.xml")},
                                  std::nullopt, {}, ToolFiles{base, dir.filePath("boxed.mpg")}));
        QVERIFY2(boxed.value && boxed.value->status == 0, boxed.story());
        const QString film = makeClip(
            dir, "Film.mkv",
            words(QString("-copyts -f lavfi -i testsrc2=s=320x240:r=24000/1001:d=4 -f lavfi -i "
                          "sine=d=4 -i %1 -i %2 -map 0 -map 1 -map 2 -map 3:s -map 3:s -c:s:0 srt "
                          "-c:s:1 copy -c:s:2 dvbsub -s:s:2 320x240 -metadata:s:s:0 language=eng "
                          "-metadata:s:s:1 language=fra -metadata:s:s:2 language=fra")
                      .arg(dir.filePath("eng.srt"), dir.filePath("boxed.mpg"))));
        const QString text = QString::fromUtf8("Grüße aus Köln");
        write(dir.filePath("Film.de.srt"),
              QStringEncoder("windows-1252").encode(QString::fromUtf8(srt(text))));
        QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        write(dir.filePath("Film.forced.deu.srt"), utf16.encode(QString::fromUtf8(srt(text))));

        const Encode encoded = encode(film, dir.filePath("Film.mpg"));
        QVERIFY2(encoded.title, encoded.failure());
        const Outcome<QString> authored = await(service.createVideoTS(
            dir.filePath("Film.mpg"), "/usr/bin/dvdauthor", [](auto) {}, *encoded.title));
        QVERIFY2(authored.value, authored.story());

        const QString listing =
            QString::fromUtf8(runProgram("lsdvd", {"-s", *authored.value}).output);
        QVERIFY2(listing.contains("Subpictures: 05"), qPrintable(listing));
        QCOMPARE(listing.count("Language: en"), 1);
        QCOMPARE(listing.count("Language: de"), 2);
        QCOMPARE(listing.count("Language: fr"), 2);

        const QString vob = *authored.value + "/VIDEO_TS/VTS_01_1.VOB";
        const double videoStart =
            streamEntries(vob, "video", "start_time")["start_time"].toDouble();
        const double speedUp = 25 / (24000.0 / 1001);
        for (int stream = 0; stream < 5; ++stream) {
            const QStringList packets =
                QString::fromUtf8(
                    runOrFail("ffprobe",
                              {"-v", "error", "-select_streams", QString("i:%1").arg(0x20 + stream),
                               "-show_entries", "packet=pts_time", "-of", "csv=p=0", vob}))
                    .split('\n', Qt::SkipEmptyParts);
            const QList<double> starts =
                stream == 1 || stream == 2 ? QList<double>{1.0, 2.2} : QList<double>{1.0, 2.5, 3.8};
            QVERIFY2(packets.size() == starts.size(), qPrintable(packets.join(' ')));
            for (int i = 0; i < starts.size(); ++i)
                QVERIFY2(qAbs(packets[i].toDouble() - videoStart - starts[i] / speedUp) < 0.04,
                         qPrintable(packets.join(' ')));
        }

        // The same letters from Windows-1252 and UTF-16, inside the title-safe area, readable.
        const QImage latin = shownPicture(vob, 0x23, 1.5, dir.filePath("latin.png"));
        QCOMPARE(latin, shownPicture(vob, 0x24, 1.5, dir.filePath("utf16.png")));
        const QRect drawn = brightArea(latin);
        QVERIFY2(QRect(72, 57, 576, 462).contains(drawn), QTest::toString(drawn));
        latin.copy(drawn.adjusted(-20, -20, 20, 20))
            .convertToFormat(QImage::Format_Grayscale8)
            .save(dir.filePath("ocr.png"));
        runOrFail("ffmpeg", {"-v", "error", "-y", "-i", dir.filePath("ocr.png"), "-vf",
                             "negate,scale=iw*2:ih*2", dir.filePath("ocr2.png")});
        const QString read =
            QString::fromUtf8(runOrFail("tesseract", {dir.filePath("ocr2.png"), "-", "-l", "deu"}));
        QCOMPARE(read.simplified(), text);

        // The boxes scaled as the video: 2.25 times across and 2.4 times down.
        for (int stream : {0x21, 0x22}) {
            const QRect shown =
                brightArea(shownPicture(vob, stream, 1.3, dir.filePath("shown.png")));
            QVERIFY2(qAbs(shown.left() - 90) + qAbs(shown.top() - 432) + qAbs(shown.right() - 629) +
                             qAbs(shown.bottom() - 527) <=
                         8,
                     QTest::toString(shown));
        }
    }

    // Text goes below a letterboxed picture where the bar holds it above the action-safe edge,
    // else to the foot of the title-safe area.
    void letterboxPlacement_data() {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("widescreen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("inBar");
        QTest::newRow("2.35:1 on 4:3") << 2.35 << false << "a\nb" << true;
        QTest::newRow("too many lines") << 2.35 << false << "a\nb\nc\nd" << false;
        QTest::newRow("2.35:1 on 16:9") << 2.35 << true << "a" << false;
        QTest::newRow("full frame") << 4 / 3.0 << false << "a" << false;
    }
    void letterboxPlacement() {
        QFETCH(double, ratio);
        QFETCH(bool, widescreen);
        QFETCH(QString, text);
        QFETCH(bool, inBar);
        const PictureFit fit = fitPicture(ratio, widescreen, false);
        const SubtitlePicture shown = renderCue(cue(0, 1, text), {widescreen, fit});
        const int bottom = shown.y + shown.image.height();
        QVERIFY2(inBar ? shown.y == fit.top() + fit.height && bottom <= 547
                       : qAbs(bottom - 518) <= 1,
                 qPrintable(QString::number(shown.y)));
    }

    // A picture subtitle goes where the video goes: a 16:9 source letterboxed on a 4:3 disc.
    void picturePlacement() {
        QImage frame(1920, 1080, QImage::Format_ARGB32_Premultiplied);
        frame.fill(Qt::transparent);
        QPainter(&frame).fillRect(480, 960, 960, 80, Qt::white);
        const SubtitlePicture shown =
            bitmapPicture(frame, {false, fitPicture(16 / 9.0, false, false)});
        QCOMPARE(QRect(QPoint(shown.x, shown.y), shown.image.size()), QRect(180, 456, 360, 32));
    }

    // Burnt into sped-up black film: white letters only while a cue shows.
    void burntIntoThePicture() {
        QTemporaryDir dir;
        write(dir.filePath("Film.srt"), srt("Hallo und guten Abend"));
        const QString film =
            makeClip(dir, "Film.mkv", words("-f lavfi -i color=s=320x240:r=24000/1001:d=3"));
        EncodeSettings settings;
        settings.burntSubtitle = 0;
        const Encode encoded = encode(film, dir.filePath("Film.mpg"), settings);
        QVERIFY2(encoded.title && encoded.title->subtitles.isEmpty(), encoded.failure());
        // The bottom's brightness at 0.48, 1.4 and 1.96 s; cues from 0.96 to 1.92 and from 2.4.
        const QList<QByteArray> means =
            runOrFail("ffprobe", words("-v error -show_entries frame_tags=lavfi.signalstats.YAVG "
                                       "-of csv=p=0 -f lavfi -i")
                                     << "movie=" + dir.filePath("Film.mpg") +
                                            ",crop=400:80:160:440,signalstats")
                .split('\n');
        QVERIFY(means.size() > 52 && means[12].toDouble() < 17 && means[35].toDouble() > 25 &&
                means[49].toDouble() < 17);
    }

    // The track burnt (window or command line) and those on the disc, * the one shown first.
    void burntTrackDecisions_data() {
        QTest::addColumn<SubtitleChoice>("choice");
        QTest::addColumn<int>("burnIn"); // -1: the window's
        QTest::addColumn<QString>("outcome");
        using T = SubtitleChoice::Tracks;
        QTest::newRow("eine Spur") << SubtitleChoice{T::one, 1, {}} << -1 << "1 ";
        QTest::newRow("alle, b gezeigt") << SubtitleChoice{T::all, 0, 1} << -1 << "1 ac";
        QTest::newRow("alle") << SubtitleChoice{T::all, 0, {}} << -1 << "0 bc";
        QTest::newRow("--subtitles 3 --burn-in 1") << SubtitleChoice{T::one, 2, {}} << 0 << "0 c";
        QTest::newRow("--burn-in 2, c gezeigt") << SubtitleChoice{T::all, 0, 2} << 1 << "1 ac*";
        QTest::newRow("--burn-in 9") << SubtitleChoice{T::all, 0, 0} << 8 << "8 a*bc";
    }
    void burntTrackDecisions() {
        QFETCH(SubtitleChoice, choice);
        QFETCH(int, burnIn);
        const int burnt = burnIn >= 0 ? burnIn : burntSubtitleFor(choice).value_or(-1);
        QList<SubtitleTrack> tracks(3);
        for (int i = 0; i < 3; ++i)
            tracks[i].path = QChar('a' + i);
        const auto [available, left] = withoutBurntSubtitle(tracks, choice, burnt);
        QString outcome = QString::number(burnt) + ' ';
        for (const SubtitleTrack& track : chosenSubtitleTracks(available, left))
            outcome += track.path + (track.forced ? "*" : "");
        QTEST(outcome, "outcome");
    }

    // Cues as the disc shows them: moved and sped up with the video, overlaps together, the end
    // cut.
    void timedCues_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QList<SubtitleCue>>("cues");
        QTest::addColumn<QList<SubtitleCue>>("shown");
        const double film = 24000.0 / 1001 / 25;
        QTest::newRow("sped up") << film << QList<SubtitleCue>{cue(3601, 3602, "a")}
                                 << QList<SubtitleCue>{cue(3600 * film, 3601 * film, "a")};
        QTest::newRow("overlap") << 1.0 << QList<SubtitleCue>{cue(2, 5, "a", true), cue(4, 7, "b")}
                                 << QList<SubtitleCue>{cue(1, 3, "a", true), cue(3, 4, "a\nb"),
                                                       cue(4, 6, "b")};
        QTest::newRow("cut") << 1.0 << QList<SubtitleCue>{cue(0, 2, "a"), cue(3999, 4099, "b")}
                             << QList<SubtitleCue>{cue(0, 1, "a"), cue(3998, 3999, "b")};
    }
    void timedCues() {
        QFETCH(double, scale);
        QFETCH(QList<SubtitleCue>, cues);
        QFETCH(QList<SubtitleCue>, shown);
        QCOMPARE(::timedCues(cues, {1.0, scale, 3999}), shown);
    }
};

QTEST_MAIN(SubtitlesTest)
#include "tst_subtitles.moc"
