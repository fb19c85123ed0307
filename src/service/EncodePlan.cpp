#include "EncodePlan.h"

#include "LanguageCodes.h"

#include <cmath>

namespace {

constexpr double unknownPictureRatio = 1.777;
constexpr double widescreenFromRatio = 1.7;
constexpr double targetFrameRate = 25.0;

QString formatOptional(const std::optional<double>& value, const char* format) {
    return value ? QString::asprintf(format, *value) : QStringLiteral("n/a");
}

bool isFilmRate(const std::optional<double>& rate) {
    return rate && *rate > 23.0 && *rate < 24.2;
}

bool isPalRate(const std::optional<double>& rate) {
    return rate && std::abs(*rate - targetFrameRate) < 0.01;
}

// ffprobe's field orders name the coded field first, then the displayed one ("bt": bottom
// coded first, top shown first).
bool isInterlaced(const std::optional<QString>& fieldOrder) {
    return fieldOrder && (*fieldOrder == u"tt" || *fieldOrder == u"bb" || *fieldOrder == u"tb" ||
                          *fieldOrder == u"bt");
}

bool showsTopFieldFirst(const std::optional<QString>& fieldOrder) {
    return !isInterlaced(fieldOrder) || *fieldOrder == u"tt" || *fieldOrder == u"bt";
}

} // namespace

EncodePlan planEncode(const VideoProbe& probe, const EncodeSettings& settings) {
    const std::optional<double> shownRatio = displayedRatio(probe);
    const double pictureRatio = shownRatio.value_or(unknownPictureRatio);

    EncodePlan plan;
    plan.widescreen = settings.widescreen.value_or(pictureRatio >= widescreenFromRatio);
    plan.sampleAspectRatio = plan.widescreen ? QStringLiteral("64/45") : QStringLiteral("12/11");
    // A variable-rate clip can average a film rate while its frames keep another base rate:
    // only a source whose base rate is film as well is film.
    if (isFilmRate(probe.frameRate) && (!probe.baseFrameRate || isFilmRate(probe.baseFrameRate)))
        plan.speedUpFrom = probe.frameRate;
    using Fields = EncodePlan::Fields;
    if (isInterlaced(probe.fieldOrder)) {
        if (plan.speedUpFrom)
            plan.fields = Fields::OnePerFrame;
        else
            plan.fields = isPalRate(probe.frameRate) ? Fields::Kept : Fields::OnePerField;
    }
    plan.topFieldFirst = showsTopFieldFirst(probe.fieldOrder);
    plan.picture = fitPicture(shownRatio, plan.widescreen, plan.fields == Fields::Kept);
    if (plan.speedUpFrom) {
        // Both chains start where the picture starts, so the muxer's frame grid cannot move
        // the picture against the sound.
        plan.timeScale = *plan.speedUpFrom / targetFrameRate;
        plan.origin = probe.videoStart.value_or(0.0);
    }
    plan.audioStream = settings.audioStreamIndex;
    if (probe.duration)
        plan.expectedDuration = (*probe.duration - plan.origin) * plan.timeScale;

    plan.videoBitrateKbps = settings.videoBitrateKbps;
    plan.maxRateKbps = settings.maxRateKbps;
    plan.tunedEncoder = settings.fillsDisc;
    if (settings.fillsDisc && plan.expectedDuration) {
        if (const std::optional<DiscFit> fit =
                fitToDisc(*plan.expectedDuration, settings.disc.bytes)) {
            plan.videoBitrateKbps = fit->videoKbps;
            plan.maxRateKbps = fit->maxRateKbps;
        } else {
            plan.tooLongForDisc = true;
        }
    }
    if (plan.expectedDuration)
        plan.size = forecastSize(*plan.expectedDuration, plan.videoBitrateKbps,
                                 plan.tunedEncoder ? closedGopFrames : plainGopFrames);
    return plan;
}

QStringList encodeSummary(const VideoProbe& probe, const EncodeSettings& settings,
                          const EncodePlan& plan) {
    QString aspect = QStringLiteral("Auto");
    if (settings.widescreen)
        aspect = *settings.widescreen ? QStringLiteral("16:9") : QStringLiteral("4:3");
    const QString audio = plan.audioStream ? QStringLiteral("0:a:%1").arg(*plan.audioStream)
                                           : QStringLiteral("Auto (Default)");
    return {
        QStringLiteral("=== Probe ==="),
        QStringLiteral("FPS: %1, Dauer: %2, DAR: %3, SAR: %4")
            .arg(formatOptional(probe.frameRate, "%.3f"), formatOptional(probe.duration, "%.1fs"),
                 formatOptional(probe.displayAspectRatio, "%.3f"), plan.sampleAspectRatio),
        QStringLiteral("Aspect: ") + aspect,
        QStringLiteral("Speedup: ") +
            (plan.speedUpFrom ? QStringLiteral("ja") : QStringLiteral("nein")),
        QStringLiteral("Bitrate: %1k (max %2k)").arg(plan.videoBitrateKbps).arg(plan.maxRateKbps),
        QStringLiteral("Audio-Stream: ") + audio,
        QStringLiteral("=== ffmpeg ==="),
    };
}

std::optional<qsizetype> encodedAudioStream(const VideoProbe& probe,
                                            const EncodeSettings& settings) {
    const QList<AudioStreamInfo>& streams = probe.audioStreams;
    if (settings.audioStreamIndex) {
        const qsizetype position = *settings.audioStreamIndex;
        return position >= 0 && position < streams.size() ? std::optional(position) : std::nullopt;
    }
    // ffmpeg 5.1 scores each audio stream as its channel count plus 5,000,000 for the default
    // flag and takes the first with the highest score.
    std::optional<qsizetype> best;
    qint64 bestScore = 0;
    for (qsizetype i = 0; i < streams.size(); ++i) {
        const qint64 score = streams[i].channels.value_or(0) +
                             (streams[i].isDefault.value_or(false) ? 5'000'000 : 0);
        if (!best || score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

DiscTitle discTitleFor(const VideoProbe& probe, const EncodeSettings& settings,
                       const EncodePlan& plan) {
    DiscTitle title;
    if (const auto stream = encodedAudioStream(probe, settings)) {
        const auto& language = probe.audioStreams[*stream].language;
        if (language)
            title.audioLanguage = twoLetterLanguage(*language);
    }
    title.chapterStarts =
        chapterStarts(probe.chapterStarts, plan.origin, plan.timeScale, plan.expectedDuration);
    return title;
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
                                 std::optional<int> audioStreamPosition, const Disc& disc) {
    EncodeSettings settings;
    settings.disc = disc;
    settings.fillsDisc = qualityPreset == 3;
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
