#pragma once

#include "ServiceTypes.h"

#include <QStringList>

#include <optional>

// What the user chose for one PAL encode.
struct EncodeSettings {
    std::optional<bool> widescreen;      // absent: decide from the source
    std::optional<int> audioStreamIndex; // N of "0:a:N", the position among the audio streams
    int videoBitrateKbps = 6000;
    int maxRateKbps = 8000;
};

// The decisions taken for one source.
struct EncodePlan {
    bool widescreen = true;
    QString sampleAspectRatio;
    bool speedUp = false;
    QString videoFilters;
    std::optional<QString> audioFilters;
};

EncodePlan planEncode(const VideoProbe& probe, const EncodeSettings& settings);

// The summary lines logged before ffmpeg starts, headers included.
QStringList encodeSummary(const VideoProbe& probe, const EncodeSettings& settings,
                          const EncodePlan& plan);

QStringList ffmpegArguments(const QString& input, const QString& output,
                            const EncodeSettings& settings, const EncodePlan& plan);

// ffprobe is the file named "ffprobe" in the folder that holds ffmpeg.
QString ffprobePathFor(const QString& ffmpegPath);

// The stored choices of the main window as encode settings: aspect mode 1 is 16:9, 2 is 4:3,
// anything else automatic; quality preset 1 is "High", 2 "Max", anything else "Standard".
EncodeSettings encodeSettingsFor(int aspectMode, int qualityPreset,
                                 std::optional<int> audioStreamPosition);
