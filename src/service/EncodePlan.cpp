#include "EncodePlan.h"

namespace {

constexpr double unknownPictureRatio = 1.777;
constexpr double widescreenFromRatio = 1.7;
constexpr double targetFrameRate = 25.0;

QString formatOptional(const std::optional<double>& value, const char* format) {
    return value ? QString::asprintf(format, *value) : QStringLiteral("n/a");
}

} // namespace

EncodePlan planEncode(const VideoProbe& probe, const EncodeSettings& settings) {
    double pictureRatio = unknownPictureRatio;
    if (probe.displayAspectRatio)
        pictureRatio = *probe.displayAspectRatio;
    else if (probe.width && probe.height && *probe.height != 0)
        pictureRatio = double(*probe.width) / double(*probe.height);

    EncodePlan plan;
    plan.widescreen = settings.widescreen.value_or(pictureRatio >= widescreenFromRatio);
    plan.sampleAspectRatio = plan.widescreen ? QStringLiteral("64/45") : QStringLiteral("12/11");
    plan.speedUp = probe.frameRate && *probe.frameRate > 23.0 && *probe.frameRate < 24.2;

    QStringList videoFilters{QStringLiteral("scale=720:576:flags=lanczos"),
                             QStringLiteral("setsar=") + plan.sampleAspectRatio};
    if (plan.speedUp) {
        videoFilters << QString::asprintf("setpts=PTS*(%.6f/%.0f)", *probe.frameRate,
                                          targetFrameRate);
        plan.audioFilters = QString::asprintf("atempo=%.6f", targetFrameRate / *probe.frameRate);
    } else {
        videoFilters << QStringLiteral("fps=25");
    }
    plan.videoFilters = videoFilters.join(u',');
    return plan;
}

QStringList encodeSummary(const VideoProbe& probe, const EncodeSettings& settings,
                          const EncodePlan& plan) {
    QString aspect = QStringLiteral("Auto");
    if (settings.widescreen)
        aspect = *settings.widescreen ? QStringLiteral("16:9") : QStringLiteral("4:3");
    const QString audio = settings.audioStreamIndex
                              ? QStringLiteral("0:a:%1").arg(*settings.audioStreamIndex)
                              : QStringLiteral("Auto (Default)");
    return {
        QStringLiteral("=== Probe ==="),
        QStringLiteral("FPS: %1, Dauer: %2, DAR: %3, SAR: %4")
            .arg(formatOptional(probe.frameRate, "%.3f"), formatOptional(probe.duration, "%.1fs"),
                 formatOptional(probe.displayAspectRatio, "%.3f"), plan.sampleAspectRatio),
        QStringLiteral("Aspect: ") + aspect,
        QStringLiteral("Speedup: ") +
            (plan.speedUp ? QStringLiteral("ja") : QStringLiteral("nein")),
        QStringLiteral("Bitrate: %1k (max %2k)")
            .arg(settings.videoBitrateKbps)
            .arg(settings.maxRateKbps),
        QStringLiteral("Audio-Stream: ") + audio,
        QStringLiteral("=== ffmpeg ==="),
    };
}

QStringList ffmpegArguments(const QString& input, const QString& output,
                            const EncodeSettings& settings, const EncodePlan& plan) {
    QStringList arguments{"-y", "-i", input, "-sn", "-dn"};
    if (settings.audioStreamIndex)
        arguments << "-map"
                  << "0:v:0"
                  << "-map" << QStringLiteral("0:a:%1").arg(*settings.audioStreamIndex);
    arguments << "-vf" << plan.videoFilters << "-r"
              << "25"
              << "-c:v"
              << "mpeg2video"
              << "-pix_fmt"
              << "yuv420p"
              << "-b:v" << QStringLiteral("%1k").arg(settings.videoBitrateKbps) << "-maxrate"
              << QStringLiteral("%1k").arg(settings.maxRateKbps) << "-bufsize"
              << "1835k"
              << "-g"
              << "15"
              << "-c:a"
              << "ac3"
              << "-b:a"
              << "192k"
              << "-ar"
              << "48000"
              << "-ac"
              << "2";
    if (plan.audioFilters)
        arguments << "-af" << *plan.audioFilters;
    arguments << "-f"
              << "dvd" << output;
    return arguments;
}

QString ffprobePathFor(const QString& ffmpegPath) {
    QString folder = ffmpegPath;
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    const qsizetype slash = folder.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral("ffprobe")
                     : folder.left(slash + 1) + QStringLiteral("ffprobe");
}

EncodeSettings encodeSettingsFor(int aspectMode, int qualityPreset,
                                 std::optional<int> audioStreamPosition) {
    EncodeSettings settings;
    if (aspectMode == 1)
        settings.widescreen = true;
    else if (aspectMode == 2)
        settings.widescreen = false;
    settings.audioStreamIndex = audioStreamPosition;
    if (qualityPreset == 1) {
        settings.videoBitrateKbps = 7500;
        settings.maxRateKbps = 9000;
    } else if (qualityPreset == 2) {
        settings.videoBitrateKbps = 8000;
        settings.maxRateKbps = 9800;
    }
    return settings;
}
