#pragma once

#include "FFmpegService.h"
#include "SubtitleRenderer.h"
#include "SubtitleTrack.h"

// The subtitle tracks drawn as sub-pictures and muxed into the MPEG program stream with spumux,
// one stream after the other (spumux -s N reads the stream on its standard input and writes it
// with the sub-pictures added).
class SubtitleMuxing {
public:
    // Writes the pictures, spumux's descriptions and the muxed stream into workFolder and returns
    // the muxed stream; the MPEG file itself is only read. Fails with conversionFailed when
    // spumux fails.
    static QCoro::Task<QString> mux(FFmpegService& service, QString mpg, QString spumuxPath,
                                    QList<SubtitleTrack> tracks, SubtitleCanvas canvas,
                                    QString workFolder, LogCallback onLog,
                                    StageControl control = {});
};
