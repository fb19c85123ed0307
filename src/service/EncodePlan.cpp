#include "EncodePlan.h"

#include "LanguageCodes.h"
#include "PictureGeometry.h"

#include <cmath>

namespace {

constexpr double unknownPictureRatio = 1.777;
constexpr double widescreenFromRatio = 1.7;
constexpr double targetFrameRate = 25.0;
// ffmpeg 5.1's atempo hands out its sound early: short clicks every 1.001 s, sped up by
// 25/23.976 or 25/24, have their energy centroid 17.5 ms (±0.5) before their place.
constexpr double atempoLead = 0.0175;

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
    plan.speedUp =
        isFilmRate(probe.frameRate) && (!probe.baseFrameRate || isFilmRate(probe.baseFrameRate));
    const bool interlaced = isInterlaced(probe.fieldOrder);
    plan.keepsFields = interlaced && !plan.speedUp && isPalRate(probe.frameRate);
    plan.topFieldFirst = !plan.keepsFields || showsTopFieldFirst(probe.fieldOrder);

    QStringList videoFilters;
    if (interlaced && !plan.keepsFields) {
        // One picture per field where the rate is resampled anyway; one per frame for film,
        // whose frames map one to one onto the sped-up ones.
        videoFilters << QStringLiteral("bwdif=mode=%1:parity=%2")
                            .arg(plan.speedUp ? u"send_frame" : u"send_field",
                                 showsTopFieldFirst(probe.fieldOrder) ? u"tff" : u"bff");
    }
    const PictureFit fit = fitPicture(shownRatio, plan.widescreen, plan.keepsFields);
    videoFilters << QStringLiteral("scale=%1:%2:%3flags=lanczos")
                        .arg(fit.width)
                        .arg(fit.height)
                        .arg(plan.keepsFields ? QStringLiteral("interl=1:") : QString());
    if (!fit.fillsFrame())
        videoFilters << QStringLiteral("pad=720:576:%1:%2").arg(fit.left()).arg(fit.top());
    videoFilters << QStringLiteral("setsar=") + plan.sampleAspectRatio;
    if (plan.speedUp) {
        // Both chains start where the picture starts, so the muxer's frame grid cannot move
        // the picture against the sound.
        plan.timeScale = *probe.frameRate / targetFrameRate;
        plan.origin = probe.videoStart.value_or(0.0);
        videoFilters << QString::asprintf("setpts=(PTS-STARTPTS)*(%.6f/%.0f)", *probe.frameRate,
                                          targetFrameRate);
        plan.audioFilters = QString::asprintf(
            "atrim=start=%.6f,asetpts=(PTS-%.6f/TB)*%.6f+%.4f/TB,atempo=%.6f", plan.origin,
            plan.origin, plan.timeScale, atempoLead, targetFrameRate / *probe.frameRate);
    } else {
        videoFilters << QStringLiteral("fps=25");
    }
    plan.videoFilters = videoFilters.join(u',');
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
        QStringLiteral("Bitrate: %1k (max %2k)").arg(plan.videoBitrateKbps).arg(plan.maxRateKbps),
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
              << "-b:v" << QStringLiteral("%1k").arg(plan.videoBitrateKbps) << "-maxrate"
              << QStringLiteral("%1k").arg(plan.maxRateKbps) << "-bufsize"
              << "1835k"
              << "-g"
              << "15"
              // DVD-Video wants progressive_sequence 0, which interlaced DCT gives. Measured on
              // 20 s of 1080p film at 6000k: PSNR 39.917 against 39.934 dB, SSIM 0.92116
              // against 0.92142, 0.06 % smaller; field motion search (+ilme) adds nothing
              // there, so only kept fields get it.
              << "-flags"
              << QStringLiteral("+ildct") + (plan.keepsFields ? "+ilme" : "") +
                     (plan.tunedEncoder ? "+cgop" : "")
              << "-top" << (plan.topFieldFirst ? "1" : "0");
    if (plan.tunedEncoder)
        // The better picture per bit within the time "Passend" may take, at most 1.5 times that
        // of "Standard". Measured against the source at 1024×576 on 20 s of a 1080p source under
        // film grain (bench_disc_fit quality) and 10 s of two noisier ones: trellis
        // quantisation with two B-frames quantised like P-frames gives 37.53 → 37.73 dB PSNR and
        // SSIM 0.9238 → 0.9247 at 3000k, 38.25 → 38.46 dB and 0.9352 → 0.9355 at 4700k (a
        // 2-hour film on a DVD-5), 38.76 → 38.89 dB at 6000k, 0.1–0.15 dB on the others, each
        // at the same size or smaller. B-frames as coarse as ffmpeg makes them by default lose
        // 0.1 dB of that; B-frames without trellis gain nothing. Trellis costs 1.35 times the
        // CPU time of the whole encode, finer B-frames 1.5 times, which leaving out the
        // refinement of their bidirectional motion vectors brings back to 1.36 times for less
        // than 0.01 dB. Trellis without B-frames gains as much for 1.77 times, rate-distortion
        // macroblock decision and SATD comparison another 0.05–0.1 dB for 1.8–2.3 times: too
        // slow. Two B-frames between references, as DVD-Video allows; closed GOPs (13
        // pictures), so that a chapter starts on pictures that need none before it, which needs
        // scene-cut detection off.
        arguments << "-bf"
                  << "2"
                  << "-b_qfactor"
                  << "1"
                  << "-b_qoffset"
                  << "0.5"
                  << "-bidir_refine"
                  << "0"
                  << "-trellis"
                  << "1"
                  << "-sc_threshold"
                  << "1000000000";
    arguments << "-c:a"
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
