#include "ContentSampling.h"
#include "EncodePlan.h"
#include "platform/FileChecks.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// 50 frames per place are enough for idet's verdict and ten cycles of a 3:2 pulldown; two places
// keep a title sequence or a still from deciding alone. Decoding them costs about 0.65 s of a
// 23.5 s encode of two minutes of 1080p (bench_encode_overhead).
constexpr double framesPerPlace = 50;

double sampleSeconds(const VideoProbe& probe) {
    return framesPerPlace / probe.frameRate.value_or(25.0);
}

// Where the samples start: a third and two thirds into a source long enough, else at its start.
QList<double> samplePlaces(const VideoProbe& probe) {
    if (probe.duration && *probe.duration > 6 * sampleSeconds(probe))
        return {*probe.duration / 3, *probe.duration * 2 / 3};
    return {};
}

// Pulldown flags make film into NTSC video: a source at PAL's or film's own rate has none, and
// its encode is spared reading them.
bool mayHavePulldownFlags(const VideoProbe& probe) {
    const auto ownRate = [](const std::optional<double>& rate) {
        return rate &&
               std::ranges::any_of(std::array{25.0, 50.0, 24.0, 24000.0 / 1001},
                                   [&](double own) { return std::abs(*rate - own) < 0.01; });
    };
    return !(ownRate(probe.frameRate) && ownRate(probe.baseFrameRate));
}

QString seconds(double value) {
    return QString::number(value, 'f', 3);
}

} // namespace

QStringList ContentSampling::arguments(const QString& input, const VideoProbe& probe) {
    const QString path = QFileInfo(input).absoluteFilePath();
    const QString length = seconds(sampleSeconds(probe));
    QStringList arguments{"-hide_banner", "-nostats"};
    // Without seeking to a picture exactly and without turning it, only the sampled frames are
    // decoded, from the key frame before each place on.
    const QStringList fromKeyFrame{"-noaccurate_seek", "-noautorotate"};
    if (const QList<double> places = samplePlaces(probe); !places.isEmpty()) {
        for (const double place : places)
            arguments << fromKeyFrame << "-ss" << seconds(place) << "-t" << length << "-i" << path;
        arguments << "-filter_complex"
                  << "[0:v:0][1:v:0]concat=n=2:v=1:a=0,idet";
    } else {
        arguments << fromKeyFrame << "-t" << seconds(2 * sampleSeconds(probe)) << "-i" << path
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

QStringList ContentSampling::flagArguments(const QString& input, const VideoProbe& probe) {
    const QString length = seconds(sampleSeconds(probe));
    QStringList intervals;
    for (const double place : samplePlaces(probe))
        intervals << seconds(place) + QStringLiteral("%+") + length;
    if (intervals.isEmpty())
        intervals << QStringLiteral("%+") + seconds(2 * sampleSeconds(probe));
    return {"-v",
            "error",
            "-select_streams",
            "v:0",
            "-read_intervals",
            intervals.join(u','),
            "-show_entries",
            "frame=repeat_pict",
            "-of",
            "csv=p=0",
            QFileInfo(input).absoluteFilePath()};
}

void ContentSampling::addFlags(FieldCounts& counts, const QString& output) {
    // One line per picture, its repeat_pict first; side data adds lines of its own.
    static const QRegularExpression picture(QStringLiteral(R"(^(\d+),?$)"),
                                            QRegularExpression::MultilineOption);
    for (auto matches = picture.globalMatch(output); matches.hasNext();) {
        ++counts.flagsRead;
        // 1 is one field more; 2 and 4 double and triple a progressive sequence's frame.
        counts.repeatFlagged += matches.next().captured(1) == u"1";
    }
}

QCoro::Task<std::optional<FieldCounts>> ContentSampling::fieldsOf(FFmpegService& service,
                                                                  QString input, QString ffmpegPath,
                                                                  VideoProbe probe,
                                                                  StageControl control) {
    const ToolResult result =
        co_await service.runTool(ffmpegPath, arguments(input, probe), std::nullopt, control);
    if (result.status != 0)
        co_return std::nullopt;
    std::optional<FieldCounts> counts = countsFrom(result.errorOutput);
    // Pulldown flags repeat fields only on the screen: the decoder hands on the film frames, which
    // idet judges progressive. ffprobe reads the flags.
    const QString ffprobePath = ffprobePathFor(ffmpegPath);
    if (!counts || !mayHavePulldownFlags(probe) || !isExecutableFile(ffprobePath))
        co_return counts;
    const ToolResult flags =
        co_await service.runTool(ffprobePath, flagArguments(input, probe), std::nullopt, control);
    if (flags.status == 0)
        addFlags(*counts, flags.output);
    co_return counts;
}
