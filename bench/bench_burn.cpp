// Burning a 500 MB image to a libburn stdio: file with verify on, against cp of the same image.
// Target: median wall-time ratio at most 3. The burn flushes the written image to disk before it
// reports done and cp does not, so the ratio against cp followed by sync of the copy is shown too.
#include "BenchSupport.h"
#include "FFmpegService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

QCoro::Task<> run(int rounds) {
    QTemporaryDir dir;
    const QString image = dir.filePath("image.iso");
    {
        QFile file(image);
        file.open(QIODevice::WriteOnly);
        for (int i = 0; i < 500; ++i)
            file.write(QByteArray(1000000, char(i)));
    }
    const QString disc = dir.filePath("disc.img");
    const QString copy = dir.filePath("copy.iso");

    std::vector<double> ratios;
    std::vector<double> syncedRatios;
    for (int i = 0; i < rounds; ++i) {
        QFile::remove(copy);
        QElapsedTimer clock;
        clock.start();
        QProcess::execute("cp", {image, copy});
        const double copySeconds = clock.elapsed() / 1000.0;
        QProcess::execute("sync", {copy});
        const double syncedSeconds = clock.elapsed() / 1000.0;

        QFile(disc).open(QIODevice::WriteOnly | QIODevice::Truncate);
        FFmpegService service;
        service.setBurnerBackend(makeLibburnBackend("stdio:" + disc));
        clock.restart();
        co_await service.burnISO(
            image, true, false, [](double) {}, [](BurnState, const QString&) {}, [](const QString&) {});
        const double burnSeconds = clock.elapsed() / 1000.0;
        ratios.push_back(burnSeconds / copySeconds);
        syncedRatios.push_back(burnSeconds / syncedSeconds);
        std::printf("round %d: cp %.2f s, cp+sync %.2f s, burn with verify %.2f s\n", i + 1,
                    copySeconds, syncedSeconds, burnSeconds);
    }
    const double ratio = median(ratios);
    std::printf("burn: %.0f MB image, median ratio burn/cp %.2f (burn/cp+sync %.2f) -> %s\n",
                QFile(image).size() / 1e6, ratio, median(syncedRatios),
                ratio <= 3 ? "within target" : "MISSED TARGET");
    QCoreApplication::exit(ratio <= 3 ? 0 : 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    QTimer::singleShot(0, [&] { run(rounds); });
    return app.exec();
}
