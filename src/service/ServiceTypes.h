#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// Plain records and callback types shared by the operations of FFmpegService.

using LogCallback = std::function<void(const QString&)>;
using ProgressCallback = std::function<void(double)>;
// The size in bytes an image is projected to have.
using ProjectionCallback = std::function<void(qint64)>;
// A burn's new state with its German text.
enum class BurnState;
using StatusCallback = std::function<void(BurnState, const QString&)>;

// Entries added to (or replacing entries of) the inherited environment of a tool.
using Environment = QMap<QString, QString>;

// The files a tool reads instead of its standard input and writes instead of its standard output.
struct ToolFiles {
    QString input;
    QString output;
};

// A tool run to its end.
struct ToolResult {
    int status = 0; // the exit code, or the signal that ended the tool
    QString output;
    QString errorOutput;
    bool killedBySignal = false;

    // Why the tool failed, as far as it says: the signal that ended it, or else the last
    // non-empty line it wrote, standard error first.
    QString failureReason() const;
    // Fails with conversionFailed and failureReason when the tool did not exit with 0.
    void throwIfFailed() const;
    // Hands the whole standard output, then the whole standard error, to onLog (each when not
    // empty), then throwIfFailed.
    void reportTo(const LogCallback& onLog) const;
};

// "beendet durch Signal 9 (SIGKILL)"
QString signalReason(int signal);

struct AudioStreamInfo {
    int index = 0; // the stream number ffprobe reports among all streams of the file
    std::optional<QString> codec;
    std::optional<int> channels;
    std::optional<QString> language;
    std::optional<QString> title;
    // Whether the file marks the stream as its default one; ffmpeg prefers it when none is chosen.
    std::optional<bool> isDefault = std::nullopt;
    std::optional<bool> isForced = std::nullopt;

    friend bool operator==(const AudioStreamInfo&, const AudioStreamInfo&) = default;
};

struct SubtitleStreamInfo {
    int index = 0; // the stream number ffprobe reports among all streams of the file
    std::optional<QString> codec;
    std::optional<QString> language;
    std::optional<QString> title;
    std::optional<bool> isDefault;
    // Forced subtitles are meant to be shown even when subtitles are off.
    std::optional<bool> isForced;

    friend bool operator==(const SubtitleStreamInfo&, const SubtitleStreamInfo&) = default;
};

// What ffmpeg's idet filter saw in samples of the source: frames judged, by its multi-frame
// detection, interlaced top field first, bottom field first, progressive, or undetermined.
struct FieldCounts {
    int topFirst = 0;
    int bottomFirst = 0;
    int progressive = 0;
    int undetermined = 0;
    // Frames whose top or bottom field repeats the one before: the 3:2 pattern of telecined film
    // repeats one field in every 2.5 frames.
    int repeated = 0;
    // Pictures read at the same places for their flags, and those flagged to be shown with a field
    // repeated: film stored with 3:2 pulldown flags (soft telecine) flags every other one, which
    // the decoder hands on as film frames, so that idet sees them progressive.
    int flagsRead = 0;
    int repeatFlagged = 0;

    friend bool operator==(const FieldCounts&, const FieldCounts&) = default;
};

// Every field has an initialiser, so that a record may name only the fields it knows.
struct VideoProbe {
    std::optional<double> frameRate = std::nullopt;
    std::optional<double> duration = std::nullopt;
    std::optional<double> displayAspectRatio = std::nullopt;
    std::optional<int> width = std::nullopt;
    std::optional<int> height = std::nullopt;
    // Known only when ffprobe ran: whether the source has a video stream at all.
    std::optional<bool> hasVideoStream = std::nullopt;
    // r_frame_rate: the base rate all timestamps fit; differs from the average for variable rates.
    std::optional<double> baseFrameRate = std::nullopt;
    std::optional<double> sampleAspectRatio = std::nullopt;
    // Degrees the picture is turned for display (display matrix or the older "rotate" tag).
    std::optional<double> rotation = std::nullopt;
    // ffprobe's field_order: "progressive", "tt", "bb", "tb", "bt" or "unknown".
    std::optional<QString> fieldOrder = std::nullopt;
    // The content's fields as sampled before the encode; unknown when not sampled.
    std::optional<FieldCounts> fieldsSeen = std::nullopt;
    // Where the video stream starts, in seconds after the start of the file.
    std::optional<double> videoStart = std::nullopt;
    // The picture's colours as ffprobe names them: color_range ("tv", "pc"), color_space (the
    // matrix: "bt709", "bt470bg", …) and color_transfer ("bt709", "smpte2084", "arib-std-b67").
    std::optional<QString> colourRange = std::nullopt;
    std::optional<QString> colourMatrix = std::nullopt;
    std::optional<QString> colourTransfer = std::nullopt;
    // The audio and subtitle streams in file order, and the chapter marks in seconds after the
    // start of the file.
    QList<AudioStreamInfo> audioStreams = {};
    QList<SubtitleStreamInfo> subtitleStreams = {};
    // Subtitle files beside the source ("Film.de.srt"), which go onto the disc like its streams.
    int subtitleSideFiles = 0;
    QList<double> chapterStarts = {};
};
