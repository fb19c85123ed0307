// Encode overhead: convert through the service against the same ffmpeg argument list run
// directly, on a generated 2-minute 1920x1080 clip at 25 fps. Target: median wall-time ratio at
// most 1.03. convert probes the source with ffprobe before it encodes and follows ffmpeg's lines
// to judge whether the encode ended early; the runner alone (runToolStreaming with the same
// arguments) and the probe alone are measured too, to show where time goes.
#include "BenchSupport.h"
#include "FFmpegArguments.h"
#include "FFmpegService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

double direct(const QStringList& arguments) {
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(ffmpeg, arguments);
    process.waitForFinished(-1);
    return clock.elapsed() / 1000.0;
}

QCoro::Task<> run(int rounds) {
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    QProcess::execute(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc2=s=1920x1080:r=25:d=120", "-f", "lavfi", "-i", "sine=d=120",
                               "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", clip});
    const QString out = dir.filePath("out.mpg");

    FFmpegService service;
    const VideoProbe probe =
        co_await service.probeVideo(clip, "/usr/bin/ffprobe", [](const QString&) {});
    const EncodeSettings settings;
    const QStringList arguments = ffmpegArguments(clip, out, planEncode(probe, settings));

    std::vector<double> ratios;
    std::vector<double> runnerRatios;
    std::vector<double> viaService;
    std::vector<double> plain;
    std::vector<double> probes;
    for (int i = 0; i < rounds; ++i) {
        plain.push_back(direct(arguments));
        QElapsedTimer clock;
        clock.start();
        long lines = 0;
        const auto countLine = [&](const QString&) { ++lines; };
        co_await service.convert(
            clip, out, ffmpeg, settings, [](double) {}, countLine, countLine);
        viaService.push_back(clock.elapsed() / 1000.0);
        ratios.push_back(viaService.back() / plain.back());

        clock.restart();
        co_await service.runToolStreaming(ffmpeg, arguments, countLine);
        runnerRatios.push_back(clock.elapsed() / 1000.0 / plain.back());

        clock.restart();
        co_await service.probeVideo(clip, "/usr/bin/ffprobe", countLine);
        probes.push_back(clock.elapsed() / 1000.0);
        std::printf("round %d: direct %.2f s, convert %.2f s, runner alone x%.3f, probe %.3f s\n",
                    i + 1, plain.back(), viaService.back(), runnerRatios.back(), probes.back());
    }
    const double ratio = median(ratios);
    std::printf("encode overhead: median direct %.2f s, median convert %.2f s, median ratio %.3f "
                "(runner alone %.3f, ffprobe probe %.3f s) -> %s\n",
                median(plain), median(viaService), ratio, median(runnerRatios), median(probes),
                verdict(ratio, 1.03));
    QCoreApplication::exit(ratio <= 1.03 ? 0 : 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    QTimer::singleShot(0, [&] { run(rounds); });
    return app.exec();
}
