#include "EncodePlan.h"

#include "LanguageCodes.h"

#include <algorithm>
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

constexpr double ntscFilmRate = 24000.0 / 1001;

// Film in 3:2 pulldown: interlaced content at 29.97 frames per second of which a fifth and more
// repeat a field (ideally two in five; idet sees about a quarter), where interlaced video
// repeats none.
bool isTelecined(const VideoProbe& probe, bool interlaced) {
    if (!interlaced || !probe.fieldsSeen || !probe.frameRate ||
        std::abs(*probe.frameRate - 30000.0 / 1001) > 0.01)
        return false;
    const FieldCounts& seen = *probe.fieldsSeen;
    const int frames = seen.topFirst + seen.bottomFirst + seen.progressive + seen.undetermined;
    return seen.repeated * 5 >= frames;
}

// Soft telecine flags every other picture of film to repeat a field; a quarter of them and more
// is film at the sampled places.
bool hasPulldownFlags(const VideoProbe& probe) {
    return probe.fieldsSeen && probe.fieldsSeen->flagsRead > 0 &&
           probe.fieldsSeen->repeatFlagged * 4 >= probe.fieldsSeen->flagsRead;
}

bool isInterlaced(const std::optional<QString>& fieldOrder) {
    return fieldOrder && (*fieldOrder == u"tt" || *fieldOrder == u"bb" || *fieldOrder == u"tb" ||
                          *fieldOrder == u"bt");
}

// ffmpeg writes top-field-first interlaced video as "tb" and bottom-first as "bt", and readers
// (idet, mediainfo) take them so: the first letter is the field shown first.
bool flagsTopFieldFirst(const std::optional<QString>& fieldOrder) {
    return !isInterlaced(fieldOrder) || fieldOrder->startsWith(u't');
}

struct Scan {
    bool interlaced = false;
    bool topFieldFirst = true;
    bool orderSeen = false; // the content, not the flags, gave the field order
};

// The content decides whether the source is interlaced and which field it shows first; the
// flags break a tie and decide alone for a source that was not sampled.
Scan scanOf(const VideoProbe& probe) {
    Scan scan{isInterlaced(probe.fieldOrder), flagsTopFieldFirst(probe.fieldOrder)};
    if (!probe.fieldsSeen)
        return scan;
    const FieldCounts& seen = *probe.fieldsSeen;
    const int interlaced = seen.topFirst + seen.bottomFirst;
    if (interlaced != seen.progressive)
        scan.interlaced = interlaced > seen.progressive;
    if (scan.interlaced && seen.topFirst != seen.bottomFirst) {
        scan.topFieldFirst = seen.topFirst > seen.bottomFirst;
        scan.orderSeen = true;
    }
    return scan;
}

// swscale's name of a matrix other than BT.601's. A source that names none is taken as players
// take it: HD (1280 wide or more than 576 high) as BT.709, SD as BT.601.
std::optional<QString> matrixToConvert(const VideoProbe& probe) {
    const QString matrix = probe.colourMatrix.value_or(QString());
    const bool hd = probe.width.value_or(0) >= 1280 || probe.height.value_or(0) > 576;
    if (matrix == u"bt709" || ((matrix.isEmpty() || matrix == u"unknown") && hd))
        return QStringLiteral("bt709");
    if (matrix.startsWith(u"bt2020"))
        return QStringLiteral("bt2020");
    return std::nullopt;
}

std::optional<QString> hdrTransfer(const VideoProbe& probe) {
    if (probe.colourTransfer == u"smpte2084" || probe.colourTransfer == u"arib-std-b67")
        return probe.colourTransfer;
    return std::nullopt;
}

// DVD-Video's most: 8 sound tracks, AC-3 at 448k.
constexpr qsizetype mostAudioTracks = 8;
constexpr int surroundKbps = 448;
constexpr int stereoKbps = 192;

// Surround stays surround (more than 5.1 mixed down to it by ffmpeg) at the highest rate;
// stereo and mono become stereo.
AudioTrack trackOf(std::optional<int> stream, std::optional<int> channels) {
    const int kept = std::min(channels.value_or(2), 6);
    return kept > 2 ? AudioTrack{stream, kept, surroundKbps} : AudioTrack{stream, 2, stereoKbps};
}

QList<AudioTrack> audioTracksFor(const VideoProbe& probe, const EncodeSettings& settings) {
    const QList<AudioStreamInfo>& streams = probe.audioStreams;
    if (settings.allAudioStreams && !streams.isEmpty()) {
        // The first default stream leads; the others keep the source's order.
        const auto isDefault = [](const AudioStreamInfo& stream) {
            return stream.isDefault.value_or(false);
        };
        const auto found = std::find_if(streams.cbegin(), streams.cend(), isDefault);
        const int lead = found == streams.cend() ? 0 : int(found - streams.cbegin());
        QList<int> order{lead};
        for (int i = 0; i < streams.size(); ++i)
            if (i != lead)
                order << i;
        QList<AudioTrack> tracks;
        for (const int i : order.first(std::min(order.size(), mostAudioTracks)))
            tracks << trackOf(i, streams[i].channels);
        return tracks;
    }
    const std::optional<qsizetype> encoded = encodedAudioStream(probe, settings);
    return {trackOf(settings.audioStreamIndex,
                    encoded ? streams[*encoded].channels : std::optional<int>())};
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
    const Scan scan = scanOf(probe);
    // Telecined film becomes its film frames again, then is sped up like any film; film with
    // pulldown flags is decoded as its film frames.
    plan.inverseTelecine = isTelecined(probe, scan.interlaced);
    plan.pulldownFlags = !plan.inverseTelecine && hasPulldownFlags(probe);
    if (plan.inverseTelecine || plan.pulldownFlags)
        plan.speedUpFrom = ntscFilmRate;
    if (!plan.inverseTelecine && scan.interlaced) {
        if (plan.speedUpFrom)
            plan.fields = Fields::OnePerFrame;
        else
            plan.fields = isPalRate(probe.frameRate) ? Fields::Kept : Fields::OnePerField;
    }
    plan.topFieldFirst = scan.topFieldFirst;
    plan.fieldOrderSeen = scan.orderSeen;
    plan.picture = fitPicture(shownRatio, plan.widescreen, plan.fields == Fields::Kept);
    plan.toneMappedFrom = hdrTransfer(probe);
    if (!plan.toneMappedFrom)
        plan.convertedMatrix = matrixToConvert(probe);
    plan.fullRange = probe.colourRange == u"pc";
    if (plan.speedUpFrom) {
        // Both chains start where the picture starts, so the muxer's frame grid cannot move
        // the picture against the sound.
        plan.timeScale = *plan.speedUpFrom / targetFrameRate;
        plan.origin = probe.videoStart.value_or(0.0);
    }
    plan.audioTracks = audioTracksFor(probe, settings);
    int audioKbps = 0;
    for (const AudioTrack& track : plan.audioTracks)
        audioKbps += track.bitrateKbps;
    const int subtitleTracks =
        subtitleTracksOnDisc(int(probe.subtitleStreams.size()) + probe.subtitleSideFiles,
                             settings.subtitles, settings.burntSubtitle);
    audioKbps += subtitleTrackKbps * subtitleTracks;
    if (probe.duration)
        plan.expectedDuration = (*probe.duration - plan.origin) * plan.timeScale;

    plan.videoBitrateKbps = settings.videoBitrateKbps;
    plan.maxRateKbps = settings.maxRateKbps;
    plan.tunedEncoder = settings.fillsDisc;
    if (settings.fillsDisc && plan.expectedDuration) {
        if (const std::optional<DiscFit> fit =
                fitToDisc(*plan.expectedDuration, settings.disc.bytes, audioKbps)) {
            plan.videoBitrateKbps = fit->videoKbps;
            plan.maxRateKbps = fit->maxRateKbps;
        } else {
            plan.tooLongForDisc = true;
        }
    }
    if (plan.expectedDuration) {
        plan.size = forecastSize(*plan.expectedDuration, plan.videoBitrateKbps,
                                 plan.tunedEncoder ? closedGopFrames : plainGopFrames, audioKbps);
        plan.size->subtitleCopyBytes = std::min(subtitleTracks, 2) * plan.size->mpegBytes;
    }
    return plan;
}

QStringList encodeSummary(const VideoProbe& probe, const EncodeSettings& settings,
                          const EncodePlan& plan) {
    QString aspect = QStringLiteral("Auto");
    if (settings.widescreen)
        aspect = *settings.widescreen ? QStringLiteral("16:9") : QStringLiteral("4:3");
    QStringList streams;
    for (const AudioTrack& track : plan.audioTracks)
        if (track.stream)
            streams << QStringLiteral("0:a:%1").arg(*track.stream);
    QString audio = streams.isEmpty() ? QStringLiteral("Auto (Default)") : streams.join(u", ");
    if (settings.allAudioStreams)
        audio = QStringLiteral("Alle Spuren (%1)").arg(audio);
    QStringList lines{
        QStringLiteral("=== Probe ==="),
        QStringLiteral("FPS: %1, Dauer: %2, DAR: %3, SAR: %4")
            .arg(formatOptional(probe.frameRate, "%.3f"), formatOptional(probe.duration, "%.1fs"),
                 formatOptional(probe.displayAspectRatio, "%.3f"), plan.sampleAspectRatio),
        QStringLiteral("Aspect: ") + aspect,
        QStringLiteral("Speedup: ") +
            (plan.speedUpFrom ? QStringLiteral("ja") : QStringLiteral("nein")),
        QStringLiteral("Bitrate: %1k (max %2k)").arg(plan.videoBitrateKbps).arg(plan.maxRateKbps),
        QStringLiteral("Audio-Stream: ") + audio,
    };
    if (plan.toneMappedFrom)
        lines << QStringLiteral("HDR-Video: Farben werden für die DVD umgerechnet");
    return lines << QStringLiteral("=== ffmpeg ===");
}

QStringList fieldsSummary(const EncodePlan& plan) {
    if (plan.inverseTelecine)
        return {QStringLiteral("Halbbilder: 3:2-Pulldown (erkannt), Film wird zurückgewonnen")};
    if (plan.pulldownFlags)
        return {QStringLiteral(
            "Halbbilder: Film mit Wiederholungsflags (erkannt), Film wird zurückgewonnen")};
    if (plan.fields == EncodePlan::Fields::Progressive)
        return {};
    return {QStringLiteral("Halbbilder: %1 zuerst (%2)")
                .arg(plan.topFieldFirst ? u"oberes" : u"unteres",
                     plan.fieldOrderSeen ? u"erkannt" : u"laut Datei")};
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
    for (const AudioTrack& track : plan.audioTracks) {
        const std::optional<qsizetype> stream = settings.allAudioStreams
                                                    ? std::optional<qsizetype>(track.stream)
                                                    : encodedAudioStream(probe, settings);
        const auto language = stream ? probe.audioStreams[*stream].language : std::nullopt;
        title.audioLanguages << (language ? twoLetterLanguage(*language) : std::nullopt);
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
                                 std::optional<int> audioStreamPosition, const Disc& disc,
                                 bool allAudioStreams) {
    EncodeSettings settings;
    settings.disc = disc;
    settings.fillsDisc = qualityPreset == 3;
    if (aspectMode == 1)
        settings.widescreen = true;
    else if (aspectMode == 2)
        settings.widescreen = false;
    settings.audioStreamIndex = audioStreamPosition;
    settings.allAudioStreams = allAudioStreams;
    if (qualityPreset == 1) {
        settings.videoBitrateKbps = 7500;
        settings.maxRateKbps = 9000;
    } else if (qualityPreset == 2) {
        settings.videoBitrateKbps = 8000;
        settings.maxRateKbps = 9800;
    }
    return settings;
}
