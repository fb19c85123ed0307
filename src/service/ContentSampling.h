#pragma once

#include "FFmpegService.h"

// A few seconds of the source's picture at up to two places, judged by ffmpeg's idet filter
// before the encode is planned: whether the content is interlaced, and its field order, and how
// many pictures the flags have shown with a field repeated.
class ContentSampling {
public:
    // The arguments of the one ffmpeg run that decodes the samples through idet.
    static QStringList arguments(const QString& input, const VideoProbe& probe);
    // idet's multi-frame counts from that run's standard error; nothing without them.
    static std::optional<FieldCounts> countsFrom(const QString& errorOutput);
    // The arguments of the ffprobe run that reads the pictures' repeat flags at the same places,
    // and the counts of that run's output added to counts.
    static QStringList flagArguments(const QString& input, const VideoProbe& probe);
    static void addFlags(FieldCounts& counts, const QString& output);
    // Nothing when ffmpeg cannot judge the source: the flags decide then.
    static QCoro::Task<std::optional<FieldCounts>> fieldsOf(FFmpegService& service, QString input,
                                                            QString ffmpegPath, VideoProbe probe,
                                                            StageControl control = {});
};
