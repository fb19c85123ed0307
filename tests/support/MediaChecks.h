#pragma once

#include "FFmpegService.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// Encodes with the real ffmpeg, and readings of encoded files by ffmpeg's own readers:
// trace_headers, signalstats, silencedetect, ffprobe. Each reading returns nothing or an
// empty result when the tool fails.
namespace testing {

// What one encode by the service reported: log lines, progress, and how it ended.
struct Encode {
    QStringList log;
    QList<double> progress;
    std::optional<FFmpegError> error;
    std::optional<DiscTitle> title;

    QByteArray failure() const { return error ? error->description().toUtf8() : QByteArray(); }
};
Encode encode(const QString& input, const QString& output, const EncodeSettings& settings = {},
              const QString& ffmpegPath = QStringLiteral("/usr/bin/ffmpeg"));

// A command line split at its blanks, for generator arguments that hold none of their own.
QStringList words(const QString& commandLine);

// An ffmpeg metadata file in dir whose chapters start at each of starts and end at end (seconds).
QString writeChapters(const QTemporaryDir& dir, const QList<double>& starts, double end);

// The MPEG-2 header fields trace_headers shows for a file's video, each with the values seen.
QMap<QString, QSet<qint64>> mpegHeaderFields(const QString& path);

// How far the one bright vertical bar on black moves from each picture to the next, in pixels of
// a 720 wide picture, after filter (e.g. "separatefields": field by field in the flagged order).
QList<double> barSteps(const QString& path, const QString& filter);

// Width ÷ height, as displayed with the stream's sample aspect, of the one white shape on black
// in the middle of the frame shown at `seconds`: its extent through the centre, read from a
// grey decode.
std::optional<double> whiteShapeRatio(const QString& path, double seconds);

// The times (pts, seconds, the file's own timestamps) at which the picture turns from dark to
// bright, and at which the sound of the audio stream at a position turns from silence to a tone.
QList<double> flashTimes(const QString& path);
QList<double> toneOnsets(const QString& path, int position = 0);

// A stream entry of ffprobe for the first stream of a type ("video", "audio"): key → value text.
QMap<QString, QString> streamEntries(const QString& path, const QString& type, const QString& keys);

} // namespace testing
