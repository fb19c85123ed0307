// Subtitles' share of a run: kestrin-cli to the DVD folder on a generated 2-minute 1920x1080
// clip at 25 fps with two SRT files beside it (a cue of one or two lines every four seconds),
// with both tracks on the disc against "--subtitles none", in alternating rounds. Target: median
// wall-time ratio at most 1.10.
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

constexpr double target = 1.10;

void writeSubtitles(const QString& path, const QString& words) {
    QString srt;
    for (int cue = 0; cue < 29; ++cue) {
        const QTime start = QTime(0, 0).addMSecs(1000 + cue * 4000);
        const QString lines = cue % 3 == 2 ? words + "\n" + words : words;
        srt += QStringLiteral("%1\n%2 --> %3\n%4\n\n")
                   .arg(cue + 1)
                   .arg(start.toString("hh:mm:ss,zzz"),
                        start.addMSecs(2500).toString("hh:mm:ss,zzz"), lines);
    }
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(srt.toUtf8());
}

void run(int rounds) {
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    tool("/usr/bin/ffmpeg",
         {"-y", "-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=25:d=120", "-f", "lavfi", "-i",
          "sine=d=120", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", clip});
    writeSubtitles(dir.filePath("clip.de.srt"), "Grüße aus Köln, sagte die Straßenbahnfahrerin");
    writeSubtitles(dir.filePath("clip.en.srt"), "Greetings from Cologne, said the tram driver");
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());

    std::vector<double> plain;
    std::vector<double> subtitled;
    std::vector<double> ratios;
    const auto timed = [&](const QString& subtitles, std::vector<double>& times) {
        const QString out = dir.filePath("out");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        QElapsedTimer clock;
        clock.start();
        const bool made =
            tool(QCoreApplication::applicationDirPath() + "/../src/app/kestrin-cli",
                 {"--until", "video-ts", "--subtitles", subtitles, "--output", out, clip});
        times.push_back(clock.elapsed() / 1000.0);
        return made;
    };
    for (int i = 0; i < rounds; ++i) {
        if (!timed("none", plain) || !timed("all", subtitled)) {
            std::printf("round %d failed\n", i + 1);
            QCoreApplication::exit(2);
            return;
        }
        ratios.push_back(subtitled.back() / plain.back());
        std::printf("round %d: without %.2f s, two tracks %.2f s, ratio %.3f\n", i + 1,
                    plain.back(), subtitled.back(), ratios.back());
    }
    const double ratio = median(ratios);
    std::printf("subtitles: median without %.2f s, median with two tracks %.2f s, median ratio "
                "%.3f -> %s\n",
                median(plain), median(subtitled), ratio, verdict(ratio, target));
    QCoreApplication::exit(ratio <= target ? 0 : 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    QTimer::singleShot(0, [&] { run(rounds); });
    return app.exec();
}
