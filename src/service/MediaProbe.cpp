#include "MediaProbe.h"
#include "ProbeJson.h"
#include "SubtitleSideFiles.h"
#include "platform/FileChecks.h"

#include <QFileInfo>

QCoro::Task<VideoProbe> MediaProbe::probe(FFmpegService& service, QString input,
                                          QString ffprobePath, LogCallback onLog,
                                          StageControl control) {
    if (!isExecutableFile(ffprobePath)) {
        onLog(QStringLiteral("Hinweis: ffprobe nicht gefunden unter ") + ffprobePath +
              QStringLiteral(". Probe wird übersprungen."));
        co_return VideoProbe{};
    }
    // Every stream in one run: the encode needs the video's shape and timing and the audio
    // streams' languages for the disc; the window lists the audio streams to choose from.
    const QStringList arguments{
        "-v",
        "error",
        "-show_entries",
        "stream=index,codec_type,codec_name,avg_frame_rate,r_frame_rate,display_aspect_ratio,"
        "sample_aspect_ratio,width,height,field_order,color_range,color_space,color_transfer,"
        "start_time,duration,channels",
        "-show_entries",
        "stream_tags=language,title,rotate,DURATION:stream_disposition=default,forced:"
        "stream_side_data=rotation",
        "-show_entries",
        "format=duration,start_time:chapter=start_time",
        "-of",
        "json",
        QFileInfo(input).absoluteFilePath()};
    const ToolResult result =
        co_await service.runTool(ffprobePath, arguments, std::nullopt, control);
    if (result.status != 0)
        throw FFmpegError::ffprobeFailed(result.errorOutput);
    VideoProbe probe = videoProbeFrom(FFProbeJSON::decode(result.output.toUtf8()));
    probe.subtitleSideFiles = int(subtitleSideFiles(input).size());
    co_return probe;
}
