// Start-up and responsiveness of the desktop application. The parent starts this program again
// as a child that opens Kestrin's main window and says "shown" once it is on screen, then
// reports its resident memory after a second of idling. A last child runs an encode through the
// window's start button and reports the longest stall of the UI thread.
// Targets: median start-up under 0.5 s, idle memory under 80 MB, no stall over 50 ms.
// Runs without a display (QT_QPA_PLATFORM=offscreen) unless one is set.
#include "BenchSupport.h"
#include "KestrinApp.h"
#include "StartButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <vector>

namespace {

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
    return 0;
}

int child(int argc, char** argv, const QByteArray& mode) {
    QApplication app(argc, argv);
    KestrinApp kestrin(app);
    MainWindow& window = kestrin.mainWindow();
    window.show();
    if (mode == "startup") {
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        std::cout << "shown" << std::endl;
        QTest::qWait(1000);
        std::cout << "rss " << residentMb() << std::endl;
        return 0;
    }
    // An encode through the window: a 20 s 720p clip, started with the start button.
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                 "testsrc2=s=1280x720:r=25:d=20", "-f", "lavfi", "-i", "sine=d=20",
                                 "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", clip});
    ContentView& view = window.contentView();
    view.settings().setValue(Setting::genisoimagePath, QStringLiteral("/usr/bin/genisoimage"));
    view.checkTools();
    view.applySource(clip);
    view.setCreateVideoTSAfterConvert(false);
    QTest::qWait(100);
    StallMeter stalls;
    window.findChild<StartButton*>("start")->click();
    if (!QTest::qWaitFor([&] { return !view.isRunning(); }, 300000))
        return 1;
    std::cout << "stall " << stalls.worstStallMs() << " " << qPrintable(view.statusText())
              << std::endl;
    return 0;
}

QStringList runChild(const QString& mode, double* shownAfter) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KESTRIN_BENCH_CHILD", mode);
    if (!environment.contains("QT_QPA_PLATFORM") && !environment.contains("DISPLAY"))
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(QCoreApplication::applicationFilePath(), {});
    QStringList lines;
    while (process.state() != QProcess::NotRunning || process.canReadLine()) {
        process.waitForReadyRead(100);
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line == "shown" && shownAfter)
                *shownAfter = clock.elapsed() / 1000.0;
            lines << line;
        }
    }
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray mode = qgetenv("KESTRIN_BENCH_CHILD");
    if (!mode.isEmpty())
        return child(argc, argv, mode);

    QCoreApplication app(argc, argv);
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    std::vector<double> startups;
    std::vector<double> memory;
    for (int i = 0; i < rounds; ++i) {
        double shown = 0;
        for (const QString& line : runChild("startup", &shown))
            if (line.startsWith("rss "))
                memory.push_back(line.mid(4).toDouble());
        startups.push_back(shown);
        std::printf("round %d: window shown after %.3f s\n", i + 1, shown);
    }
    double stall = -1;
    for (const QString& line : runChild("encode", nullptr))
        if (line.startsWith("stall ") && line.endsWith("Fertig ✅"))
            stall = line.section(' ', 1, 1).toDouble();
    const double startup = median(startups);
    const double idle = median(memory);
    const bool ok = startup < 0.5 && idle < 80 && stall >= 0 && stall <= 50;
    std::printf("startup: median %.3f s to the main window, idle RSS %.1f MB, worst UI stall "
                "during an encode %.1f ms -> %s\n",
                startup, idle, stall, ok ? "within targets" : "MISSED TARGETS");
    return ok ? 0 : 1;
}
