#pragma once

#include "FFmpegService.h"

// The PAL DVD encode: planned from the probe, then run by ffmpeg (FFmpegService::planConversion,
// runConversion, convert).
class PalEncode {
public:
    static QCoro::Task<PlannedConversion> plan(FFmpegService& service, QString input,
                                               QString ffmpegPath, EncodeSettings settings,
                                               LogCallback onLog, LogCallback onNote,
                                               StageControl control = {});
    static QCoro::Task<DiscTitle> run(FFmpegService& service, PlannedConversion planned,
                                      QString output, ProgressCallback onProgress,
                                      LogCallback onLog, LogCallback onNote,
                                      StageControl control = {},
                                      ProjectionCallback onProjection = {});
    static QCoro::Task<DiscTitle> convert(FFmpegService& service, QString input, QString output,
                                          QString ffmpegPath, EncodeSettings settings,
                                          ProgressCallback onProgress, LogCallback onLog,
                                          LogCallback onNote, StageControl control = {});
};
