// The PAL encode with the real ffmpeg and ffprobe on generated clips, one encode per kind of
// source, judged by ffmpeg's own readers.
#include "AwaitTask.h"
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

// The colours (red, green, blue) of the left and the right quarter of the picture at 0.5 s,
// decoded as a DVD player decodes: BT.601 in the limited range.
QList<int> sideColours(const QString& path) {
    const QByteArray pixels = runOrFail(
        "ffmpeg", {"-v", "error", "-ss", "0.5", "-i", path, "-frames:v", "1", "-vf",
                   "scale=in_color_matrix=bt601:in_range=tv:flags=area,scale=4:1:flags=area,"
                   "format=rgb24",
                   "-f", "rawvideo", "-"});
    QList<int> colours;
    for (const int i : {0, 1, 2, 9, 10, 11})
        if (i < pixels.size())
            colours << quint8(pixels.at(i));
    return colours;
}

// signalstats' mean luma and mean saturation over the whole video.
QPair<double, double> meanLumaAndSaturation(const QString& path) {
    const QString frames = QString::fromUtf8(
        runOrFail("ffmpeg", {"-v", "error", "-i", path, "-vf", "signalstats,metadata=print:file=-",
                             "-f", "null", "-"}));
    double luma = 0;
    double saturation = 0;
    int count = 0;
    static const QRegularExpression entry(R"(signalstats\.(YAVG|SATAVG)=([\d.]+))");
    for (auto matches = entry.globalMatch(frames); matches.hasNext();) {
        const auto match = matches.next();
        (match.captured(1) == "YAVG" ? luma : saturation) += match.captured(2).toDouble();
        count += match.captured(1) == "YAVG";
    }
    return {luma / count, saturation / count};
}

// Each tone stays on its flash as in the source's sound at a position, sped up with it from
// 23.976 to 25 frames per second.
void verifySoundOnFlashes(const QString& source, int track, const QString& out, int count) {
    const double speedUp = 24000.0 / 1001 / 25;
    const QList<double> sourceFlashes = flashTimes(source);
    const QList<double> sourceTones = toneOnsets(source, track);
    const QList<double> flashes = flashTimes(out);
    const QList<double> tones = toneOnsets(out);
    QVERIFY(sourceFlashes.size() >= count && sourceTones.size() >= count);
    QVERIFY(flashes.size() >= count && tones.size() >= count);
    for (int i = 0; i < count; ++i) {
        const double sourceOffset = (sourceTones[i] - sourceFlashes[i]) * speedUp;
        QVERIFY2(qAbs(tones[i] - flashes[i] - sourceOffset) < 0.005,
                 qPrintable(QString::asprintf("flash %g s, tone %g s, source offset %g ms",
                                              flashes[i], tones[i], sourceOffset * 1000)));
    }
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

    // A bar moving 2 px per picture, woven into frames in one field order and flagged with
    // another (or progressive), or telecined film. Kept fields must step forward in the order
    // the encode flags (4 px in 720 wide pictures); deinterlaced pictures evenly (2 or 3 fields
    // per picture); recovered film frames each once.
    void fieldsFollowTheContent_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("weave");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<double>("mostStep");
        const auto row = [](const char* name, const char* rate, const char* weave,
                            const char* flags, const char* logged, double mostStep) {
            QTest::newRow(name) << QString(rate) << QString(weave) << QString(flags)
                                << QString("Halbbilder: ") + logged << mostStep;
        };
        row("25i top first, MKV tb", "50", "interlace=scan=tff", "tb", "oberes zuerst (erkannt)",
            5);
        row("25i bottom first, flagged progressive", "50", "interlace=scan=bff", "progressive",
            "unteres zuerst (erkannt)", 5);
        row("29.97i top first, flagged bottom first", "60000/1001", "interlace=scan=tff", "bt",
            "oberes zuerst (erkannt)", 13);
        row("film in 3:2 pulldown", "24000/1001", "telecine=first_field=top", "tb",
            "3:2-Pulldown (erkannt), Film wird zurückgewonnen", 5);
    }
    void fieldsFollowTheContent() {
        QFETCH(QString, rate);
        QFETCH(QString, weave);
        QFETCH(QString, flags);
        QFETCH(QString, logged);
        QFETCH(double, mostStep);
        const QString bar = QStringLiteral("color=c=black:s=360x288:r=%1:d=2[bg];color=c=white:"
                                           "s=16x288:r=%1[bar];[bg][bar]overlay=x=20+2*n:"
                                           "shortest=1,%2")
                                .arg(rate, weave);
        const QString name = QTest::currentDataTag();
        const QString source =
            makeClip(m_dir, name + ".mkv",
                     QStringList{"-f", "lavfi", "-i", bar, "-field_order", flags} +
                         words("-c:v libx264 -preset ultrafast -flags +ildct -pix_fmt yuv420p"));
        const QString out = m_dir.filePath(name + ".mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());
        QVERIFY2(result.log.contains(logged), qPrintable(result.log.mid(0, 9).join('\n')));
        const QList<double> steps = barSteps(out, rate == "50" ? "separatefields" : "null");
        QVERIFY(steps.size() > 30);
        const auto [least, most] = std::minmax_element(steps.begin(), steps.end());
        QVERIFY2(*least > 3 && *most < mostStep,
                 qPrintable(QString::asprintf("steps %.1f to %.1f px", *least, *most)));
    }

    // Film as a DVD stores it, frame by frame with 3:2 pulldown flags, in a VOB: a bar moving 2 px
    // per film frame, a flash in the lower half with a tone at 1.001 s. Every film frame is shown
    // once, sped up, the sound with it.
    void filmWithPulldownFlags() {
        const QString film = makeClip(
            m_dir, "flags.m2v",
            {"-f", "lavfi", "-i",
             "color=c=black:s=360x288:r=24000/1001:d=3[bg];color=c=white:s=16x288:r=24000/1001"
             "[bar];[bg][bar]overlay=x=20+2*n:shortest=1,drawbox=y=ih/2:c=white:t=fill:"
             "enable='eq(n,24)'",
             "-c:v", "mpeg2video", "-q:v", "2"});
        QVERIFY(addPulldownFlags(film));
        const QString source = makeClip(
            m_dir, "flags.vob",
            {"-fflags", "+genpts", "-i", film, "-f", "lavfi", "-i",
             "aevalsrc='sin(2*PI*1000*t)*between(t,1.001,1.101)':s=48000:d=3", "-c:v", "copy"});
        const QString out = m_dir.filePath("flags.mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());
        QVERIFY(result.log.contains(
            "Halbbilder: Film mit Wiederholungsflags (erkannt), Film wird zurückgewonnen"));
        const QList<double> steps = barSteps(out, "crop=iw:ih/2:0:0");
        // 72 film frames at 25 frames per second.
        QCOMPARE(steps.size(), 71);
        QVERIFY2(qAbs(durationOf(out) - 2.88) < 0.05, qPrintable(QString::number(durationOf(out))));
        const auto [least, most] = std::minmax_element(steps.begin(), steps.end());
        QVERIFY2(*least > 3 && *most < 5,
                 qPrintable(QString::asprintf("steps %.1f to %.1f px", *least, *most)));
        verifySoundOnFlashes(source, 0, out, 1);
    }

    // Green (0,189,0) beside red (189,0,0) in 16:9, as HD and phones store them and as SD does,
    // decode from the disc as those colours (within 10: the encode alone loses up to 9), and the
    // stream is tagged as PAL.
    void coloursAsPlayersDecodeThem_data() {
        QTest::addColumn<QString>("matrix");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("size");
        const auto row = [](const char* name, const char* matrix, const char* range,
                            const char* size) {
            QTest::newRow(name) << QString(matrix) << QString(range) << QString(size);
        };
        row("HD, BT.709", "bt709", "tv", "640x720");
        row("phone, full range", "bt709", "pc", "960x1080");
        row("SD, BT.601", "bt470bg", "tv", "360x406");
    }
    void coloursAsPlayersDecodeThem() {
        QFETCH(QString, matrix);
        QFETCH(QString, range);
        QFETCH(QString, size);
        const QString patches =
            QStringLiteral("color=c=0x00BD00:s=%1:d=1,format=rgb24[a];color=c=0xBD0000:s=%1:d=1,"
                           "format=rgb24[b];[a][b]hstack,scale=out_color_matrix=%2:out_range=%3,"
                           "format=yuv420p")
                .arg(size, matrix, range);
        const QString name = QTest::currentDataTag();
        const QString source = makeClip(m_dir, name + ".mp4",
                                        QStringList{"-f", "lavfi", "-i", patches, "-colorspace",
                                                    matrix, "-color_range", range} +
                                            words("-c:v libx264 -preset ultrafast -qp 0"));
        const QString out = m_dir.filePath(name + ".mpg");
        const Encode result = encode(source, out);
        QVERIFY2(!result.error, result.failure());
        const QList<int> colours = sideColours(out);
        const QList<int> expected{0, 189, 0, 189, 0, 0};
        QCOMPARE(colours.size(), 6);
        for (int i = 0; i < 6; ++i)
            QVERIFY2(
                qAbs(colours[i] - expected[i]) <= 10,
                qPrintable(QString::number(colours[i]) + " for " + QString::number(expected[i])));
        QCOMPARE(streamEntries(out, "video", "color_space,color_transfer,color_primaries").values(),
                 QStringList(3, "bt470bg"));
    }

    // The same moving picture in SDR and as phones record HDR (10-bit HEVC, BT.2020, reference
    // white at 100 nits): tone-mapped, mean luma and saturation within 15 % of the SDR one's.
    void hdrIsToneMapped_data() {
        QTest::addColumn<QString>("transfer");
        QTest::newRow("PQ") << "smpte2084";
        QTest::newRow("HLG") << "arib-std-b67";
    }
    void hdrIsToneMapped() {
        QFETCH(QString, transfer);
        const QString picture = "-f lavfi -i testsrc2=s=640x360:r=25:d=1 ";
        const QString sdr =
            makeClip(m_dir, "sdr.mp4",
                     words(picture + "-c:v libx264 -qp 0 -colorspace bt709 -color_trc bt709 "
                                     "-color_primaries bt709"));
        const QString hdr = makeClip(
            m_dir, transfer + ".mp4",
            words(picture + "-vf zscale=tin=709:min=709:pin=709:t=" + transfer +
                  ":m=2020_ncl:p=2020:npl=100,format=yuv420p10le -c:v libx265 -x265-params "
                  "log-level=error:lossless=1 -colorspace bt2020nc -color_primaries bt2020 "
                  "-color_trc " +
                  transfer));
        const Encode twin = encode(sdr, m_dir.filePath("sdr.mpg"));
        const Encode result = encode(hdr, m_dir.filePath("hdr.mpg"));
        QVERIFY2(!twin.error && !result.error, twin.failure() + result.failure());
        QVERIFY(result.log.contains("HDR-Video: Farben werden für die DVD umgerechnet"));
        const auto [twinLuma, twinSaturation] = meanLumaAndSaturation(m_dir.filePath("sdr.mpg"));
        const auto [luma, saturation] = meanLumaAndSaturation(m_dir.filePath("hdr.mpg"));
        QVERIFY2(qAbs(luma / twinLuma - 1) < 0.15 && qAbs(saturation / twinSaturation - 1) < 0.15,
                 qPrintable(QString::asprintf("luma %.1f for %.1f, saturation %.1f for %.1f", luma,
                                              twinLuma, saturation, twinSaturation)));
        QCOMPARE(streamEntries(m_dir.filePath("hdr.mpg"), "video", "color_transfer").values(),
                 QStringList{"bt470bg"});
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
        QCOMPARE(german.title->audioLanguages, QList<std::optional<QString>>{"de"});
        // The encoded title starts with the picture; the marks move with it and are sped up.
        const double start =
            streamEntries(film, "video", "start_time").value("start_time").toDouble();
        const QList<double> marks{0, (2 - start) * speedUp, (4.5 - start) * speedUp};
        QCOMPARE(german.title->chapterStarts.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(qAbs(german.title->chapterStarts[i] - marks[i]) < 0.001,
                     qPrintable(QString::number(german.title->chapterStarts[i])));
        verifySoundOnFlashes(film, 1, out, 2);

        // Without a choice ffmpeg takes the first of the equal streams.
        const Encode first = encode(film, m_dir.filePath("first.mpg"));
        QVERIFY2(first.title, first.failure());
        QCOMPARE(first.title->audioLanguages, QList<std::optional<QString>>{"en"});
    }

    // "Alle Spuren" of English stereo, German 5.1 marked as default (a tone in each channel, the
    // low-frequency one at 50 Hz) and mono of no language: the default first, 5.1 kept at 448k
    // with every channel's tone, each track with its language as lsdvd reads the disc.
    void everyAudioTrack() {
        const QString tones = "aevalsrc=0.5*sin(2*PI*200*t)|0.5*sin(2*PI*300*t)|0.5*sin(2*PI*400*t)"
                              "|0.5*sin(2*PI*50*t)|0.5*sin(2*PI*600*t)|0.5*sin(2*PI*700*t):"
                              "c=5.1:s=48000:d=2";
        const QString source = makeClip(
            m_dir, "tracks.mkv",
            QStringList{"-f", "lavfi", "-i", "testsrc=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                        "sine=f=440:d=2", "-f", "lavfi", "-i", tones, "-f", "lavfi", "-i",
                        "sine=f=1000:d=2"} +
                words("-map 0:v -map 1:a -map 2:a -map 3:a -metadata:s:a:0 language=eng "
                      "-metadata:s:a:1 language=ger -disposition:a:0 0 -disposition:a:1 default "
                      "-disposition:a:2 0 -c:v libx264 -preset ultrafast -c:a flac"));
        const QString out = m_dir.filePath("tracks.mpg");
        EncodeSettings all;
        all.allAudioStreams = true;
        const Encode result = encode(source, out, all);
        QVERIFY2(result.title, result.failure());
        QVERIFY(result.log.contains("Audio-Stream: Alle Spuren (0:a:1, 0:a:0, 0:a:2)"));
        // The first track is the default 5.1 one.
        QCOMPARE(streamEntries(out, "audio", "bit_rate,channels").values(),
                 (QStringList{"448000", "6"}));
        const QString levels =
            runProgram("ffmpeg", {"-i", out, "-map", "0:a:0", "-af",
                                  "astats=measure_overall=none:measure_perchannel="
                                  "RMS_level",
                                  "-f", "null", "-"})
                .errorOutput;
        // Every channel's tone at its level (-9 dB), the low-frequency one included.
        static const QRegularExpression level(R"(RMS level dB: -([\d.]+))");
        int channels = 0;
        for (auto matches = level.globalMatch(levels); matches.hasNext(); ++channels)
            QVERIFY2(matches.next().captured(1).toDouble() < 15, qPrintable(levels));
        QCOMPARE(channels, 6);

        FFmpegService service;
        const auto folder = await(service.createVideoTS(
            out, "/usr/bin/dvdauthor", [](const QString&) {}, *result.title));
        QVERIFY2(folder.value, folder.story());
        const QString disc = QString::fromUtf8(runOrFail("lsdvd", {"-a", *folder.value}));
        static const QRegularExpression track(R"(Language: (\w+) .*Channels: (\d))");
        QStringList seen;
        for (auto matches = track.globalMatch(disc); matches.hasNext();) {
            const auto match = matches.next();
            seen << match.captured(1) + " " + match.captured(2);
        }
        QCOMPARE(seen, (QStringList{"de 6", "en 2", "xx 2"}));
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
