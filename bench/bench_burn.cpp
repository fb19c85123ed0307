// Burning a 500 MB image with verify onto a libburn stdio: file, against the same work done by
// hand: cp of the image, sync of the copy, and cmp of the copy against the image.
// Target: median wall-time ratio burn/by hand at most 2.
#include "BenchSupport.h"
#include "platform/BurnerBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

constexpr double target = 2.0;

// Polled as often as the service polls a burn.
constexpr int pollIntervalMs = 50;

bool burnWithVerify(const QString& image, const QString& disc) {
    const std::unique_ptr<DiscBurn> burn = makeLibburnBackend("stdio:" + disc)->createBurn();
    burn->start(image, true, false);
    for (;;) {
        for (const BurnReport& report : burn->poll()) {
            if (report.setupError || report.state == BurnState::failed) {
                for (const QString& message : report.messages)
                    std::printf("%s\n", qPrintable(message));
                return false;
            }
            if (report.state == BurnState::done)
                return true;
        }
        QThread::msleep(pollIntervalMs);
    }
}

bool byHand(const QString& image, const QString& copy) {
    return QProcess::execute("cp", {image, copy}) == 0 && QProcess::execute("sync", {copy}) == 0 &&
           QProcess::execute("cmp", {image, copy}) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    QTemporaryDir dir;
    const QString image = dir.filePath("image.iso");
    {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        for (int i = 0; i < 500; ++i)
            file.write(QByteArray(1000000, char(i)));
    }
    const QString disc = dir.filePath("disc.img");
    const QString copy = dir.filePath("copy.iso");

    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        QFile::remove(copy);
        QElapsedTimer clock;
        clock.start();
        if (!byHand(image, copy)) {
            std::printf("cp, sync or cmp failed\n");
            return 1;
        }
        const double handSeconds = clock.elapsed() / 1000.0;

        QFile::remove(disc);
        clock.restart();
        if (!burnWithVerify(image, disc)) {
            std::printf("the burn failed\n");
            return 1;
        }
        const double burnSeconds = clock.elapsed() / 1000.0;
        ratios.push_back(burnSeconds / handSeconds);
        std::printf("round %d: cp+sync+cmp %.2f s, burn with verify %.2f s\n", i + 1, handSeconds,
                    burnSeconds);
    }
    const double ratio = median(ratios);
    std::printf("burn: %.0f MB image, median ratio burn/(cp+sync+cmp) %.2f (target %.1f) -> %s\n",
                QFile(image).size() / 1e6, ratio, target, verdict(ratio, target));
    return ratio <= target ? 0 : 1;
}
