#include "BitmapSubtitleReading.h"

#include "BitmapPicture.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// A frame ffmpeg wrote: its file and when it shows, in seconds after the start of the file.
struct Frame {
    QString file;
    double time = 0;
};

// The frames showinfo lists on ffmpeg's standard error, in order; ffmpeg writes frame n as the
// file n + 1. Its timestamps are the file's own (-copyts), less the start ffmpeg reports for it.
std::optional<QList<Frame>> listedFrames(const QString& errorOutput, const QDir& folder) {
    static const QRegularExpression startPattern(
        QStringLiteral("Duration: .*, start: (-?[\\d.]+)"));
    static const QRegularExpression basePattern(
        QStringLiteral("Parsed_showinfo.* config in time_base: (\\d+)/(\\d+)"));
    static const QRegularExpression framePattern(
        QStringLiteral("Parsed_showinfo.*\\] n: *(\\d+) pts: *(-?\\d+)"));
    const QRegularExpressionMatch base = basePattern.match(errorOutput);
    if (!base.hasMatch() || base.captured(2).toInt() == 0)
        return std::nullopt;
    const double tick = base.captured(1).toDouble() / base.captured(2).toDouble();
    const double start = startPattern.match(errorOutput).captured(1).toDouble();
    QList<Frame> frames;
    for (const QRegularExpressionMatch& match : framePattern.globalMatch(errorOutput)) {
        const QString file =
            folder.filePath(QStringLiteral("%1.png").arg(match.captured(1).toInt() + 1));
        frames.append({file, match.captured(2).toLongLong() * tick - start});
    }
    return frames;
}

} // namespace

QCoro::Task<std::optional<QList<SubtitleCue>>>
BitmapSubtitleReading::read(FFmpegService& service, SubtitleTrack track, QString ffmpegPath,
                            SubtitleCanvas canvas, StageControl control) {
    const QTemporaryDir folder;
    if (!folder.isValid() || !track.streamIndex)
        co_return std::nullopt;
    // The file's own timestamps (-copyts), since ffmpeg's correction of program and transport
    // streams moves their subtitles; passthrough keeps every frame, also those that share one.
    const QStringList arguments{QStringLiteral("-nostdin"),
                                QStringLiteral("-nostats"),
                                QStringLiteral("-v"),
                                QStringLiteral("info"),
                                QStringLiteral("-copyts"),
                                QStringLiteral("-i"),
                                QFileInfo(track.path).absoluteFilePath(),
                                QStringLiteral("-filter_complex"),
                                QStringLiteral("[0:%1]showinfo").arg(*track.streamIndex),
                                QStringLiteral("-fps_mode"),
                                QStringLiteral("passthrough"),
                                QStringLiteral("-f"),
                                QStringLiteral("image2"),
                                folder.filePath(QStringLiteral("%d.png"))};
    const ToolResult result =
        co_await service.runTool(ffmpegPath, arguments, std::nullopt, control);
    if (result.status != 0 || result.killedBySignal)
        co_return std::nullopt;
    const std::optional<QList<Frame>> frames =
        listedFrames(result.errorOutput, QDir(folder.path()));
    if (!frames)
        co_return std::nullopt;

    QList<SubtitleCue> cues;
    QImage previous;
    // A picture still shown where the stream ends, with no end of its own, is left out.
    std::optional<SubtitleCue> shown;
    for (const Frame& frame : *frames) {
        const QImage image(frame.file);
        if (image.isNull())
            co_return std::nullopt;
        if (image == previous)
            continue;
        previous = image;
        if (shown) {
            shown->end = frame.time;
            cues.append(*shown);
            shown.reset();
        }
        const SubtitlePicture picture = bitmapPicture(image, canvas);
        if (picture.image.isNull())
            continue;
        shown.emplace();
        shown->start = frame.time;
        shown->picture = picture.image;
        shown->position = {picture.x, picture.y};
    }
    co_return cues;
}
