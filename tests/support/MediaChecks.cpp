#include "MediaChecks.h"

#include "AwaitTask.h"
#include "TestFiles.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace testing {

Encode encode(const QString& input, const QString& output, const EncodeSettings& settings,
              const QString& ffmpegPath) {
    FFmpegService service;
    Encode result;
    const auto onLog = [&](const QString& line) { result.log << line; };
    const Outcome<DiscTitle> outcome = await(service.convert(
        input, output, ffmpegPath, settings, [&](double f) { result.progress << f; }, onLog,
        onLog));
    result.title = outcome.value;
    result.error = outcome.error;
    return result;
}

QStringList words(const QString& commandLine) {
    return commandLine.split(u' ', Qt::SkipEmptyParts);
}

QString writeChapters(const QTemporaryDir& dir, const QList<double>& starts, double end) {
    QFile file(dir.filePath("chapters.txt"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(";FFMETADATA1\n");
    for (qsizetype i = 0; i < starts.size(); ++i)
        file.write(QString::asprintf("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%lld\nEND=%lld\n",
                                     qRound64(starts[i] * 1000),
                                     qRound64((i + 1 < starts.size() ? starts[i + 1] : end) * 1000))
                       .toUtf8());
    return file.fileName();
}

QMap<QString, QSet<qint64>> mpegHeaderFields(const QString& path) {
    const ProgramRun run =
        runProgram("ffmpeg", {"-hide_banner", "-v", "debug", "-i", path, "-map", "0:v:0", "-c",
                              "copy", "-bsf:v", "trace_headers", "-f", "null", "-"});
    // "[trace_headers @ 0x…] 84          progressive_sequence     1 = 1"
    static const QRegularExpression field(
        QStringLiteral(R"(\[trace_headers @ [^\]]*\]\s+\d+\s+(\w+)\s+[01]+ = (-?\d+)\s*$)"));
    QMap<QString, QSet<qint64>> fields;
    for (const QString& line : run.errorOutput.split(u'\n')) {
        const auto match = field.match(line);
        if (match.hasMatch())
            fields[match.captured(1)].insert(match.captured(2).toLongLong());
    }
    return fields;
}

QList<double> barSteps(const QString& path, const QString& filter) {
    // Each picture squeezed to one row of 720 grey pixels.
    const QByteArray rows = runProgram("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-vf",
                                                  filter + ",scale=720:1:flags=area,format=gray",
                                                  "-f", "rawvideo", "-"})
                                .output;
    QList<double> steps;
    std::optional<double> last;
    for (qsizetype row = 0; row + 720 <= rows.size(); row += 720) {
        double sum = 0;
        double weighted = 0;
        for (int x = 0; x < 720; ++x) {
            const int level = std::max(0, quint8(rows[row + x]) - 64);
            sum += level;
            weighted += double(level) * x;
        }
        if (sum > 0 && last)
            steps << weighted / sum - *last;
        if (sum > 0)
            last = weighted / sum;
    }
    return steps;
}

QMap<QString, QString> streamEntries(const QString& path, const QString& type,
                                     const QString& keys) {
    const ProgramRun run =
        runProgram("ffprobe", {"-v", "error", "-select_streams", type.left(1) + ":0",
                               "-show_entries", "stream=" + keys, "-of", "default=nw=1", path});
    QMap<QString, QString> entries;
    for (const QString& line : QString::fromUtf8(run.output).split(u'\n', Qt::SkipEmptyParts))
        entries.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    return entries;
}

std::optional<double> whiteShapeRatio(const QString& path, double seconds) {
    const auto video = streamEntries(path, "video", "width,height,sample_aspect_ratio");
    const int width = video.value("width").toInt();
    const int height = video.value("height").toInt();
    const QStringList sar = video.value("sample_aspect_ratio").split(u':');
    const QByteArray pixels =
        runProgram("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i", path,
                              "-frames:v", "1", "-vf", "format=gray", "-f", "rawvideo", "-"})
            .output;
    if (width <= 0 || sar.size() != 2 || pixels.size() != qsizetype(width) * height)
        return std::nullopt;
    // Summed brightness 0..1 (16 black, 235 white) through the centre counts the soft edges by
    // their share.
    const auto level = [&](int x, int y) {
        const int value = static_cast<unsigned char>(pixels[qsizetype(y) * width + x]);
        return std::clamp((value - 16) / 219.0, 0.0, 1.0);
    };
    double across = 0;
    double down = 0;
    for (int x = 0; x < width; ++x)
        across += level(x, height / 2);
    for (int y = 0; y < height; ++y)
        down += level(width / 2, y);
    if (down == 0 || sar[1].toDouble() <= 0)
        return std::nullopt;
    return across * sar[0].toDouble() / sar[1].toDouble() / down;
}

QList<double> flashTimes(const QString& path) {
    QString escaped = path;
    escaped.replace("\\", "\\\\").replace("'", "\\'").replace(":", "\\:");
    const ProgramRun run = runProgram(
        "ffprobe",
        {"-v", "error", "-f", "lavfi", "-i", "movie='" + escaped + "',signalstats", "-show_entries",
         "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"});
    QList<double> times;
    bool bright = false;
    for (const QString& line : QString::fromUtf8(run.output).split(u'\n', Qt::SkipEmptyParts)) {
        const bool nowBright = line.section(u',', 1, 1).toDouble() > 100;
        if (nowBright && !bright)
            times << line.section(u',', 0, 0).toDouble();
        bright = nowBright;
    }
    return times;
}

QList<double> toneOnsets(const QString& path, int position) {
    const ProgramRun run = runProgram(
        "ffmpeg", {"-hide_banner", "-copyts", "-i", path, "-map", QString("0:a:%1").arg(position),
                   "-af", "silencedetect=n=-30dB:d=0.05", "-f", "null", "-"});
    static const QRegularExpression end(QStringLiteral(R"(silence_end: (-?[0-9.]+))"));
    QList<double> times;
    for (auto it = end.globalMatch(run.errorOutput); it.hasNext();)
        times << it.next().captured(1).toDouble();
    return times;
}

} // namespace testing
