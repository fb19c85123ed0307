#pragma once

#include "FFmpegService.h"

// The DVD folder made from an MPEG file by dvdauthor (FFmpegService::createVideoTS).
class DvdAuthoring {
public:
    static QCoro::Task<QString> createVideoTS(FFmpegService& service, QString mpg,
                                              QString dvdauthorPath, LogCallback onLog,
                                              DiscTitle title = {}, StageControl control = {});
};
