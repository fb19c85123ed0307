// The whole chain through kestrin-cli (probe, encode, author, image) against the same tools run
// by hand with the same arguments, on a generated 2-minute 1920x1080 clip at 25 fps, in
// alternating rounds. Target: median wall-time ratio at most 1.02.
#include "BenchSupport.h"
#include "FFmpegArguments.h"
#include "FFmpegService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

constexpr double target = 1.02;

QCoro::Task<> run(int rounds) {
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    tool("/usr/bin/ffmpeg",
         {"-y", "-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=25:d=120", "-f", "lavfi", "-i",
          "sine=d=120", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", clip});
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());

    // The arguments Kestrin gives each tool, found out once before the rounds.
    FFmpegService service;
    const VideoProbe probe =
        co_await service.probeVideo(clip, "/usr/bin/ffprobe", [](const QString&) {});
    const EncodeSettings settings;
    const EncodePlan plan = planEncode(probe, settings);
    const QString byHand = dir.filePath("hand");
    QDir().mkpath(byHand);
    const QString mpg = byHand + "/clip_PAL_DVD.mpg";
    const QString folder = byHand + "/clip_PAL_DVD_DVD";
    const QStringList encode = ffmpegArguments(clip, mpg, plan);
    const QStringList titleSet =
        titleSetArguments(mpg, folder, discTitleFor(probe, settings, plan));
    QProcessEnvironment pal = QProcessEnvironment::systemEnvironment();
    pal.insert("VIDEO_FORMAT", "PAL");

    std::vector<double> hand;
    std::vector<double> cli;
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        QDir(folder).removeRecursively();
        QElapsedTimer clock;
        clock.start();
        const bool handMade =
            tool("/usr/bin/ffprobe", {"-v", "error", "-show_streams", "-show_format",
                                      "-show_chapters", "-of", "json", clip}) &&
            tool("/usr/bin/ffmpeg", encode) && tool("/usr/bin/dvdauthor", titleSet, pal) &&
            tool("/usr/bin/dvdauthor", {"-T", "-o", folder}, pal) &&
            tool("/usr/bin/genisoimage", {"-dvd-video", "-udf", "-quiet", "-V", "DVD_VIDEO", "-o",
                                          folder + ".iso", folder});
        hand.push_back(clock.elapsed() / 1000.0);

        const QString out = dir.filePath(QStringLiteral("cli%1").arg(i));
        QDir().mkpath(out);
        clock.restart();
        const bool cliMade =
            tool(QCoreApplication::applicationDirPath() + "/../src/app/kestrin-cli",
                 {"--until", "iso", "--output", out, clip});
        cli.push_back(clock.elapsed() / 1000.0);
        QDir(out).removeRecursively();
        if (!handMade || !cliMade) {
            std::printf("round %d failed (by hand %d, kestrin-cli %d)\n", i + 1, handMade, cliMade);
            QCoreApplication::exit(2);
            co_return;
        }
        ratios.push_back(cli.back() / hand.back());
        std::printf("round %d: by hand %.2f s, kestrin-cli %.2f s, ratio %.3f\n", i + 1,
                    hand.back(), cli.back(), ratios.back());
    }
    const double ratio = median(ratios);
    std::printf("whole chain: median by hand %.2f s, median kestrin-cli %.2f s, median ratio %.3f "
                "-> %s\n",
                median(hand), median(cli), ratio, verdict(ratio, target));
    QCoreApplication::exit(ratio <= target ? 0 : 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    QTimer::singleShot(0, [&] { run(rounds); });
    return app.exec();
}
