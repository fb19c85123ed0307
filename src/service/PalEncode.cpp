#include "PalEncode.h"
#include "ContentSampling.h"
#include "EncodeCheck.h"
#include "FFmpegArguments.h"
#include "SubtitleBurnIn.h"
#include "SubtitleReading.h"
#include "platform/FileChecks.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// The window shows the expected end from a tenth of the encode on; the projected size comes with
// it.
constexpr double projectFrom = 0.1;

// The share of the encode that a status line's time reports, within 0..1.
double encodedShare(double time, double length) {
    const double share = time / length;
    return share > 0 ? std::min(share, 1.0) : 0.0;
}

} // namespace

QCoro::Task<PlannedConversion> PalEncode::plan(FFmpegService& service, QString input,
                                               QString ffmpegPath, EncodeSettings settings,
                                               LogCallback onLog, LogCallback onNote,
                                               StageControl control) {
    if (!isExecutableFile(ffmpegPath))
        throw FFmpegError::toolNotFound(ffmpegPath);

    const VideoProbe probe =
        co_await service.probeVideo(input, ffprobePathFor(ffmpegPath), onLog, control);
    // ffmpeg would happily write a DVD stream without a picture from an audio-only source.
    if (probe.hasVideoStream == false)
        throw FFmpegError::noVideoStream(input);

    PlannedConversion planned{input, ffmpegPath, settings, probe, planEncode(probe, settings)};
    const EncodePlan& plan = planned.plan;
    for (const QString& line : encodeSummary(probe, settings, plan))
        onLog(line);
    if (plan.tooLongForDisc)
        throw FFmpegError::tooLongForDisc(*plan.expectedDuration, settings.disc.name);
    if (plan.size)
        onNote(expectedSizeLine(plan.size->imageBytes, settings.disc));
    co_return planned;
}

QCoro::Task<DiscTitle> PalEncode::run(FFmpegService& service, PlannedConversion planned,
                                      QString output, ProgressCallback onProgress,
                                      LogCallback onLog, LogCallback onNote, StageControl control,
                                      ProjectionCallback onProjection) {
    // Camcorder files often flag their fields wrongly or not at all: the content decides, sampled
    // when the encode starts, so that planning stays as quick as the probe.
    planned.probe.fieldsSeen = co_await ContentSampling::fieldsOf(
        service, planned.input, planned.ffmpegPath, planned.probe, control);
    const std::optional<SizeForecast> unsampled = planned.plan.size;
    planned.plan = planEncode(planned.probe, planned.settings);
    for (const QString& line : fieldsSummary(planned.plan))
        onLog(line);
    // Film found in a telecined source comes out shorter than the flags let expect.
    if (planned.plan.size && unsampled && planned.plan.size != unsampled)
        onNote(expectedSizeLine(planned.plan.size->imageBytes, planned.settings.disc));
    const EncodeSettings& settings = planned.settings;
    const QList<SubtitleTrack> available = availableSubtitleTracks(planned.input, planned.probe);
    const SubtitleTiming timing{planned.plan.origin, planned.plan.timeScale,
                                planned.plan.expectedDuration};
    const SubtitleCanvas canvas{planned.plan.widescreen, planned.plan.picture};
    std::pair<QList<SubtitleTrack>, SubtitleChoice> muxed{available, settings.subtitles};
    // The burnt track's pictures, a few kilobytes each, removed however the encode ends.
    std::optional<QTemporaryDir> pictures;
    if (settings.burntSubtitle) {
        muxed = withoutBurntSubtitle(available, settings.subtitles, *settings.burntSubtitle);
        pictures.emplace();
        if (!pictures->isValid())
            throw FFmpegError::fileFailed(pictures->path(), pictures->errorString());
        planned.plan.subtitleOverlay = co_await SubtitleBurnIn::draw(
            service, available, *settings.burntSubtitle, planned.ffmpegPath, timing, canvas,
            pictures->path(), onLog, control);
    }
    const EncodePlan& plan = planned.plan;
    // Absolute paths keep a file name that starts with a dash from reading as an option.
    const QStringList arguments = ffmpegArguments(QFileInfo(planned.input).absoluteFilePath(),
                                                  QFileInfo(output).absoluteFilePath(), plan);
    EncodeWatch watch;
    // ffmpeg's "time=" is the output's: progress is measured against the length the encode
    // writes, which a sped-up film makes shorter than the source.
    const std::optional<double> length = plan.expectedDuration;
    bool projected = false;
    const LogCallback followLine = [&](const QString& line) {
        // Each line is read once, for the damage check, the size projection and the progress.
        const std::optional<StatusLine> status = StatusLine::parse(line);
        watch.see(line, status);
        const bool timed = length && *length > 0 && status && status->time;
        const double share = timed ? encodedShare(*status->time, *length) : 0.0;
        if (timed && status->size && share >= projectFrom) {
            const qint64 image = projectedImageBytes(*status->size, *status->time, *length);
            if (!projected)
                onNote(projectedSizeLine(image, settings.disc));
            projected = true;
            if (onProjection)
                onProjection(image);
        }
        onLog(line);
        if (timed)
            onProgress(share);
    };
    co_await service.runToolStreaming(planned.ffmpegPath, arguments, followLine, control);
    // A cut-off or damaged source makes ffmpeg stop early and still exit with 0.
    if (plan.expectedDuration && watch.reached() &&
        endedEarly(*watch.reached(), *plan.expectedDuration))
        throw FFmpegError::incompleteSource(*watch.reached(), *plan.expectedDuration,
                                            watch.reasons().join(u'\n'));
    DiscTitle title = discTitleFor(planned.probe, settings, plan);
    title.subtitles = co_await SubtitleReading::read(
        service, muxed.first, muxed.second, planned.ffmpegPath, timing, canvas, onLog, control);
    title.subtitleCanvas = canvas;
    co_return title;
}

QCoro::Task<DiscTitle> PalEncode::convert(FFmpegService& service, QString input, QString output,
                                          QString ffmpegPath, EncodeSettings settings,
                                          ProgressCallback onProgress, LogCallback onLog,
                                          LogCallback onNote, StageControl control) {
    PlannedConversion planned =
        co_await plan(service, input, ffmpegPath, settings, onLog, onNote, control);
    co_return co_await run(service, std::move(planned), output, onProgress, onLog, onNote, control);
}
