#include "EncodeCheck.h"
#include "FFmpegService.h"
#include "platform/FileChecks.h"

#include <QFileInfo>

QCoro::Task<DiscTitle> FFmpegService::convert(QString input, QString output, QString ffmpegPath,
                                              EncodeSettings settings, ProgressCallback onProgress,
                                              LogCallback onLog, StageControl control) {
    if (!isExecutableFile(ffmpegPath))
        throw FFmpegError::toolNotFound(ffmpegPath);

    const VideoProbe probe = co_await probeVideo(input, ffprobePathFor(ffmpegPath), onLog, control);
    // ffmpeg would happily write a DVD stream without a picture from an audio-only source.
    if (probe.hasVideoStream == false)
        throw FFmpegError::noVideoStream(input);

    const EncodePlan plan = planEncode(probe, settings);
    for (const QString& line : encodeSummary(probe, settings, plan))
        onLog(line);
    // Absolute paths keep a file name that starts with a dash from reading as an option.
    const QStringList arguments = ffmpegArguments(
        QFileInfo(input).absoluteFilePath(), QFileInfo(output).absoluteFilePath(), settings, plan);
    EncodeWatch watch;
    const LogCallback watchedLog = [&watch, onLog](const QString& line) {
        watch.see(line);
        onLog(line);
    };
    co_await runToolStreaming(ffmpegPath, arguments, probe.duration, onProgress, watchedLog, control);
    // A cut-off or damaged source makes ffmpeg stop early and still exit with 0.
    if (plan.expectedDuration && watch.reached() &&
        endedEarly(*watch.reached(), *plan.expectedDuration))
        throw FFmpegError::incompleteSource(*watch.reached(), *plan.expectedDuration,
                                            watch.reasons().join(u'\n'));
    co_return discTitleFor(probe, settings, plan);
}
