// Log flood: a damaged source makes ffmpeg print an error line per frame. 100,000 such lines
// reach the main window through the encode, with a dot pulse running. Targets: all kept in order,
// under 1 s in total, the UI thread never stalled more than 50 ms, memory linear in the log.
#include "BenchSupport.h"
#include "ContentView.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class NoPanels : public FilePanels {
    std::optional<QString> chooseFileToOpen(const QString&, const QStringList&) override {
        return std::nullopt;
    }
    std::optional<QString> chooseFileToSave(const QString&, const QStringList&,
                                            const QString&) override {
        return std::nullopt;
    }
};

void run(long lines) {
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    // A stand-in ffmpeg with no ffprobe beside it: the probe is skipped, the flood streams in.
    const QString ffmpeg = dir.filePath("ffmpeg");
    QFile script(ffmpeg);
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\nexec '%1/flood_tool' %2 errors\n")
                     .arg(QCoreApplication::applicationDirPath())
                     .arg(lines)
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);

    static NoPanels panels;
    static ContentView view(panels);
    view.settings().setValue(Setting::ffmpegPath, ffmpeg);
    view.applySource(dir.filePath("damaged.mkv"));
    view.setCreateVideoTSAfterConvert(false);

    const double residentBefore = peakResidentMb();
    static StallMeter stalls;
    static QElapsedTimer clock;
    clock.start();
    view.startConversion();
    view.startDotPulse(QStringLiteral("Erstelle ISO"));

    static QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [=] {
        if (view.isRunning())
            return;
        poll.stop();
        const double seconds = clock.elapsed() / 1000.0;
        const QStringList log = view.logText().split(u'\n', Qt::SkipEmptyParts);
        long kept = 0;
        long outOfOrder = 0;
        for (const QString& line : log) {
            const qsizetype at = line.indexOf(QStringLiteral("frame "));
            if (at < 0)
                continue;
            if (line.mid(at + 6).toLong() != lines - 1 - kept)
                ++outOfOrder;
            ++kept;
        }
        const double grown = peakResidentMb() - residentBefore;
        const bool ok =
            kept == lines && outOfOrder == 0 && seconds < 1.0 && stalls.worstStallMs() <= 50;
        std::printf("log flood: %ld of %ld lines kept, %ld out of order, pulse line '%s', "
                    "%.2f s, worst UI stall %.1f ms, memory grown %.1f MB (%.0f bytes a line) "
                    "-> %s\n",
                    kept, lines, outOfOrder, qPrintable(log.value(1)), seconds,
                    stalls.worstStallMs(), grown, grown * 1e6 / lines,
                    ok ? "within targets" : "MISSED TARGETS");
        QCoreApplication::exit(ok ? 0 : 1);
    });
    poll.start(10);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 100000;
    QTimer::singleShot(0, [=] { run(lines); });
    return app.exec();
}
