#pragma once

#include "FFmpegService.h"

// The probe of a source: every stream in one ffprobe run (FFmpegService::probeVideo).
class MediaProbe {
public:
    static QCoro::Task<VideoProbe> probe(FFmpegService& service, QString input, QString ffprobePath,
                                         LogCallback onLog, StageControl control = {});
};
