#include "FFmpegService.h"
#include "NumberReading.h"
#include "ProbeJson.h"
#include "platform/FileChecks.h"

#include <QFileInfo>

#include <algorithm>

namespace {

QList<AudioStreamInfo> audioStreamsFrom(const J& json) {
    QList<AudioStreamInfo> streams;
    for (const J::Stream& stream : json.streams.value_or(QList<J::Stream>{})) {
        if (!stream.index)
            continue;
        const auto tags = stream.tags.value_or(J::Stream::Tags{});
        streams.append(
            {*stream.index, stream.codec_name, stream.channels, tags.language, tags.title, {}});
    }
    std::stable_sort(streams.begin(), streams.end(),
                     [](const auto& a, const auto& b) { return a.index < b.index; });
    return streams;
}

} // namespace

QCoro::Task<VideoProbe> FFmpegService::probeVideo(QString input, QString ffprobePath,
                                                  LogCallback onLog, StageControl control) {
    if (!isExecutableFile(ffprobePath)) {
        onLog(QStringLiteral("Hinweis: ffprobe nicht gefunden unter ") + ffprobePath +
              QStringLiteral(". Probe wird übersprungen."));
        co_return VideoProbe{};
    }
    // All streams in one run: the encode needs the video's shape and timing, and the audio
    // streams' languages and start for the disc and for keeping sound in sync.
    const QStringList arguments{
        "-v",
        "error",
        "-show_entries",
        "stream=index,codec_type,avg_frame_rate,r_frame_rate,display_aspect_ratio,"
        "sample_aspect_ratio,width,height,field_order,start_time,channels",
        "-show_entries",
        "stream_tags=language,rotate:stream_disposition=default:stream_side_data=rotation",
        "-show_entries",
        "format=duration,start_time:chapter=start_time",
        "-of",
        "json",
        QFileInfo(input).absoluteFilePath()};
    const ToolResult result = co_await runTool(ffprobePath, arguments, std::nullopt, control);
    if (result.status != 0)
        throw FFmpegError::ffprobeFailed(result.errorOutput);
    co_return videoProbeFrom(FFProbeJSON::decode(result.output.toUtf8()));
}

QCoro::Task<QList<AudioStreamInfo>>
FFmpegService::probeAudioStreams(QString input, QString ffprobePath, StageControl control) {
    if (!isExecutableFile(ffprobePath))
        co_return QList<AudioStreamInfo>{};
    const QStringList arguments{
        "-v",  "error",         "-select_streams",
        "a",   "-show_entries", "stream=index,codec_name,channels:stream_tags=language,title",
        "-of", "json",          QFileInfo(input).absoluteFilePath()};
    const ToolResult result = co_await runTool(ffprobePath, arguments, std::nullopt, control);
    if (result.status != 0)
        co_return QList<AudioStreamInfo>{};
    co_return audioStreamsFrom(J::decode(result.output.toUtf8()));
}
