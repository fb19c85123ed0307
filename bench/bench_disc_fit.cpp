// Disc fit on a generated 2-minute 1920x1080 source that reaches every DVD bitrate (moving test
// pictures under film grain), made into real images (ffmpeg, dvdauthor, genisoimage):
// - the expected image size of each fixed preset against the real one (target: within 3 %);
// - "Passend" on DVD-5 scaled to the source as a 2-hour and a 4-hour film fill it (target:
//   95–99 % of the scaled disc);
// - the encode time of "Passend" (its settings, at its rate for the 2-hour film) against
//   "Standard" (target: below 1.5 times), as wall time and as CPU time of the tools, the
//   quickest of some rounds of each (argument, 3 without).
// With "quality", it measures instead what settled the settings of "Passend": PSNR and SSIM
// against the source at 1024x576 of 20 s encoded with the plain and the "Passend" encoder
// settings, and at the full and the half width (352x576, same aspect flags).
#include "BenchSupport.h"
#include "FFmpegArguments.h"
#include "FFmpegService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
constexpr double sourceSeconds = 120;
constexpr double predictionTarget = 0.03;
constexpr double fillLowest = 0.95;
constexpr double fillHighest = 0.99;
constexpr double timeTarget = 1.5;

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool run(const QString& program, const QStringList& arguments, QString* errorOutput = nullptr) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (errorOutput)
        *errorOutput = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString makeSource(const QString& folder, double seconds) {
    const QString path = folder + "/source.mp4";
    const QString d = QString::number(seconds);
    run(ffmpeg, {"-v",
                 "error",
                 "-y",
                 "-f",
                 "lavfi",
                 "-i",
                 "testsrc2=s=1920x1080:r=25:d=" + d,
                 "-f",
                 "lavfi",
                 "-i",
                 "color=c=gray:s=640x360:r=25:d=" + d +
                     ",noise=alls=60:allf=t+u,scale=1920:1080:flags=bicubic",
                 "-f",
                 "lavfi",
                 "-i",
                 "sine=f=440:d=" + d,
                 "-filter_complex",
                 "[0][1]blend=all_mode=overlay:all_opacity=0.35[v]",
                 "-map",
                 "[v]",
                 "-map",
                 "2",
                 "-c:v",
                 "libx264",
                 "-preset",
                 "ultrafast",
                 "-crf",
                 "22",
                 "-c:a",
                 "aac",
                 path});
    return path;
}

struct Made {
    qint64 expected = 0;
    qint64 image = 0;
    int kbps = 0;
};

// Plans, encodes, authors and images the source as the window's chain does.
QCoro::Task<Made> makeImage(FFmpegService& service, QString source, QString folder,
                            EncodeSettings settings) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const LogCallback quiet = [](const QString&) {};
    const PlannedConversion planned =
        co_await service.planConversion(source, ffmpeg, settings, quiet, quiet);
    const DiscTitle title = co_await service.runConversion(
        planned, folder + "/Film.mpg", [](double) {}, quiet, quiet);
    const QString dvdFolder =
        co_await service.createVideoTS(folder + "/Film.mpg", "/usr/bin/dvdauthor", quiet, title);
    const QString iso = co_await service.createISO(dvdFolder, "/usr/bin/genisoimage", "FILM",
                                                   dvdFolder + ".iso", quiet);
    const Made made{planned.plan.size->imageBytes, QFileInfo(iso).size(),
                    planned.plan.videoBitrateKbps};
    QDir(folder).removeRecursively();
    co_return made;
}

struct Timed {
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

// The encode alone, as wall time and as CPU time of the tools.
QCoro::Task<Timed> timeEncode(FFmpegService& service, QString source, QString mpg,
                              EncodeSettings settings) {
    const LogCallback quiet = [](const QString&) {};
    QElapsedTimer clock;
    clock.start();
    const double cpu = childCpuSeconds();
    co_await service.convert(
        source, mpg, ffmpeg, settings, [](double) {}, quiet, quiet);
    QFile::remove(mpg);
    co_return Timed{clock.elapsed() / 1000.0, childCpuSeconds() - cpu};
}

// DVD-5 scaled to the source as a film of these hours fills it, in whole sectors.
Disc scaledDisc(double filmHours) {
    const Disc full = singleLayerDisc();
    return {full.name,
            qint64(double(full.bytes) * sourceSeconds / (filmHours * 3600) / 2048) * 2048};
}

QString megabytes(qint64 bytes) {
    return QString::asprintf("%.1f MB", double(bytes) / 1e6);
}

QCoro::Task<bool> measureFit(QString dir, int rounds) {
    QElapsedTimer clock;
    clock.start();
    const QString source = makeSource(dir, sourceSeconds);
    std::printf("source: %.0f s of 1920x1080 under grain, %s (made in %.0f s)\n", sourceSeconds,
                qPrintable(megabytes(QFileInfo(source).size())), clock.elapsed() / 1000.0);
    std::fflush(stdout);

    FFmpegService service;
    bool good = true;
    const QStringList presets{"Standard", "High", "Max"};
    for (int preset = 0; preset < presets.size(); ++preset) {
        const Made made = co_await makeImage(service, source, dir + "/out",
                                             encodeSettingsFor(0, preset, {}, singleLayerDisc()));
        const double error = double(made.expected) / double(made.image) - 1;
        good = good && std::abs(error) <= predictionTarget;
        std::printf("%-8s %dk: expected image %s, real %s: %+.2f %%\n", qPrintable(presets[preset]),
                    made.kbps, qPrintable(megabytes(made.expected)),
                    qPrintable(megabytes(made.image)), error * 100);
        std::fflush(stdout);
    }

    for (const double filmHours : {2.0, 4.0}) {
        const Disc disc = scaledDisc(filmHours);
        const Made made =
            co_await makeImage(service, source, dir + "/out", encodeSettingsFor(0, 3, {}, disc));
        const double fill = double(made.image) / double(disc.bytes);
        good = good && fill >= fillLowest && fill <= fillHighest;
        std::printf("Passend, DVD-5 as a %.0f h film fills it (%s): %dk, image %s = %.2f %% "
                    "(expected %+.2f %%)\n",
                    filmHours, qPrintable(megabytes(disc.bytes)), made.kbps,
                    qPrintable(megabytes(made.image)), fill * 100,
                    (double(made.expected) / double(made.image) - 1) * 100);
        std::fflush(stdout);
    }

    // Alternating, and the quickest round of each: other work on the machine only slows down.
    std::vector<double> standardWall, standardCpu, fitWall, fitCpu;
    for (int round = 0; round < rounds; ++round) {
        const Timed standard = co_await timeEncode(service, source, dir + "/t.mpg",
                                                   encodeSettingsFor(0, 0, {}, singleLayerDisc()));
        const Timed fit = co_await timeEncode(service, source, dir + "/t.mpg",
                                              encodeSettingsFor(0, 3, {}, scaledDisc(2)));
        standardWall.push_back(standard.wallSeconds);
        standardCpu.push_back(standard.cpuSeconds);
        fitWall.push_back(fit.wallSeconds);
        fitCpu.push_back(fit.cpuSeconds);
        std::printf("round %d: Standard %.1f s (CPU %.1f s), Passend %.1f s (CPU %.1f s)\n",
                    round + 1, standard.wallSeconds, standard.cpuSeconds, fit.wallSeconds,
                    fit.cpuSeconds);
        std::fflush(stdout);
    }
    const auto least = [](const std::vector<double>& values) {
        return *std::min_element(values.begin(), values.end());
    };
    const double cpuRatio = least(fitCpu) / least(standardCpu);
    const double wallRatio = least(fitWall) / least(standardWall);
    good = good && cpuRatio < timeTarget && wallRatio < timeTarget;
    std::printf("Passend (2 h film) against Standard, quickest of %d: wall time x%.2f, CPU time "
                "x%.2f\n",
                rounds, wallRatio, cpuRatio);
    co_return good;
}

// PSNR and SSIM of an encode against the source, both scaled to 1024x576, picture by picture
// from the first on (the DVD multiplex starts its video later than the source).
QString pictureQuality(const QString& source, const QString& mpg) {
    QString report;
    run(ffmpeg,
        {"-i", source, "-i", mpg, "-lavfi",
         "[0:v]setpts=PTS-STARTPTS,scale=1024:576:flags=lanczos,setsar=1[a];"
         "[1:v]setpts=PTS-STARTPTS,scale=1024:576:flags=lanczos,setsar=1[b];"
         "[a]split[a1][a2];[b]split[b1][b2];[a1][b1]ssim;[a2][b2]psnr",
         "-f", "null", "-"},
        &report);
    const auto psnr = QRegularExpression("PSNR .* average:([0-9.]+)").match(report);
    const auto ssim = QRegularExpression("SSIM .* All:([0-9.]+)").match(report);
    return QStringLiteral("PSNR %1 dB, SSIM %2").arg(psnr.captured(1), ssim.captured(1));
}

QCoro::Task<> measureQuality(const QString& dir) {
    const QString source = makeSource(dir, 20);
    FFmpegService service;
    const VideoProbe probe =
        co_await service.probeVideo(source, "/usr/bin/ffprobe", [](const QString&) {});
    const QString mpg = dir + "/q.mpg";
    const auto encode = [&](int kbps, bool tuned, bool halfWidth) {
        EncodeSettings settings;
        EncodePlan plan = planEncode(probe, settings);
        plan.videoBitrateKbps = kbps;
        plan.maxRateKbps = 9800;
        plan.tunedEncoder = tuned;
        QStringList arguments = ffmpegArguments(source, mpg, plan);
        if (halfWidth) // a 352×576 frame, which the plan never chooses
            arguments[arguments.indexOf("-vf") + 1] =
                "scale=352:576:flags=lanczos,setsar=32/11,fps=25";
        arguments.prepend("error");
        arguments.prepend("-v");
        QElapsedTimer clock;
        clock.start();
        const double cpu = childCpuSeconds();
        run(ffmpeg, arguments);
        std::printf("%5dk %-7s %-5s %s, %s, encode CPU %.1f s\n", kbps, tuned ? "Passend" : "plain",
                    halfWidth ? "352" : "720", qPrintable(megabytes(QFileInfo(mpg).size())),
                    qPrintable(pictureQuality(source, mpg)), childCpuSeconds() - cpu);
        std::fflush(stdout);
    };
    for (const int kbps : {3000, 4500, 6000}) {
        encode(kbps, false, false);
        encode(kbps, true, false);
    }
    for (const int kbps : {1000, 1500, 2500, 3500}) {
        encode(kbps, true, false);
        encode(kbps, true, true);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quality = argc > 1 && QByteArray(argv[1]) == "quality";
    const int rounds = argc > 1 && !quality ? std::max(1, std::atoi(argv[1])) : 3;
    QTimer::singleShot(0, [&] {
        [](bool quality, int rounds) -> QCoro::Task<> {
            QTemporaryDir dir;
            bool good = false;
            try {
                if (quality) {
                    co_await measureQuality(dir.path());
                    QCoreApplication::exit(0);
                    co_return;
                }
                good = co_await measureFit(dir.path(), rounds);
            } catch (const std::exception& error) {
                std::printf("failed: %s\n", error.what());
            }
            std::printf("%s\n", good ? "within target" : "MISSED TARGET");
            QCoreApplication::exit(good ? 0 : 1);
        }(quality, rounds);
    });
    return app.exec();
}
