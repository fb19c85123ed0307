#pragma once

#include "FFmpegService.h"
#include "platform/BurnerBackend.h"

// A burn of an image through a burner backend (FFmpegService::burnISO).
class DiscBurning {
public:
    static QCoro::Task<> burnISO(FFmpegService& service, BurnerBackend& backend, QString iso,
                                 bool verify, bool eraseBeforeBurn, ProgressCallback onProgress,
                                 StatusCallback onStatus, LogCallback onLog,
                                 StageControl control = {});
};
