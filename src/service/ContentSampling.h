#pragma once

#include "FFmpegService.h"

// A few seconds of the source's picture at up to two places, judged by ffmpeg's idet filter
// before the encode is planned: whether the content is interlaced, and its field order.
class ContentSampling {
public:
    // The arguments of the one ffmpeg run that decodes the samples through idet.
    static QStringList arguments(const QString& input, const VideoProbe& probe);
    // idet's multi-frame counts from that run's standard error; nothing without them.
    static std::optional<FieldCounts> countsFrom(const QString& errorOutput);
    // Nothing when ffmpeg cannot judge the source: the flags decide then.
    static QCoro::Task<std::optional<FieldCounts>> fieldsOf(FFmpegService& service, QString input,
                                                            QString ffmpegPath, VideoProbe probe,
                                                            StageControl control = {});
};
