#include "ContentSampling.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// 50 frames per place are enough for idet's verdict and ten cycles of a 3:2 pulldown; two places
// keep a title sequence or a still from deciding alone. Decoding them costs about 0.65 s of a
// 23.5 s encode of two minutes of 1080p (bench_encode_overhead).
constexpr double framesPerPlace = 50;

} // namespace

QStringList ContentSampling::arguments(const QString& input, const VideoProbe& probe) {
    const double seconds = framesPerPlace / probe.frameRate.value_or(25.0);
    const QString path = QFileInfo(input).absoluteFilePath();
    const QString length = QString::number(seconds, 'f', 3);
    QStringList arguments{"-hide_banner", "-nostats"};
    // Without seeking to a picture exactly and without turning it, only the sampled frames are
    // decoded, from the key frame before each place on.
    const QStringList fromKeyFrame{"-noaccurate_seek", "-noautorotate"};
    if (probe.duration && *probe.duration > 6 * seconds) {
        for (const double share : {1.0 / 3, 2.0 / 3})
            arguments << fromKeyFrame << "-ss" << QString::number(*probe.duration * share, 'f', 3)
                      << "-t" << length << "-i" << path;
        arguments << "-filter_complex"
                  << "[0:v:0][1:v:0]concat=n=2:v=1:a=0,idet";
    } else {
        arguments << fromKeyFrame << "-t" << QString::number(2 * seconds, 'f', 3) << "-i" << path
                  << "-map"
                  << "0:v:0"
                  << "-vf"
                  << "idet";
    }
    return arguments << "-an"
                     << "-f"
                     << "null"
                     << "-";
}

std::optional<FieldCounts> ContentSampling::countsFrom(const QString& errorOutput) {
    static const QRegularExpression verdict(
        QStringLiteral(R"(Multi frame detection: TFF:\s*(\d+) BFF:\s*(\d+) )"
                       R"(Progressive:\s*(\d+) Undetermined:\s*(\d+))"));
    static const QRegularExpression repeats(
        QStringLiteral(R"(Repeated Fields: Neither:\s*\d+ Top:\s*(\d+) Bottom:\s*(\d+))"));
    // ffmpeg configures the filter graph twice; the last report is of the frames it saw.
    std::optional<FieldCounts> counts;
    for (auto matches = verdict.globalMatch(errorOutput); matches.hasNext();) {
        const auto match = matches.next();
        counts = FieldCounts{match.captured(1).toInt(), match.captured(2).toInt(),
                             match.captured(3).toInt(), match.captured(4).toInt()};
    }
    for (auto matches = repeats.globalMatch(errorOutput); counts && matches.hasNext();) {
        const auto match = matches.next();
        counts->repeated = match.captured(1).toInt() + match.captured(2).toInt();
    }
    return counts;
}

QCoro::Task<std::optional<FieldCounts>> ContentSampling::fieldsOf(FFmpegService& service,
                                                                  QString input, QString ffmpegPath,
                                                                  VideoProbe probe,
                                                                  StageControl control) {
    const ToolResult result =
        co_await service.runTool(ffmpegPath, arguments(input, probe), std::nullopt, control);
    if (result.status != 0)
        co_return std::nullopt;
    co_return countsFrom(result.errorOutput);
}
