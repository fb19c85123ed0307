#pragma once

#include "FFmpegService.h"

// The DVD-Video image of a DVD folder, made by genisoimage (FFmpegService::createISO).
class ImageCreation {
public:
    static QCoro::Task<QString> createISO(FFmpegService& service, QString dvdFolder,
                                          QString genisoimagePath, QString volumeName,
                                          QString isoTarget, LogCallback onLog,
                                          StageControl control = {});
};
