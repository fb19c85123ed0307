#pragma once

#include "FFmpegService.h"
#include "SubtitleChoice.h"
#include "SubtitleRenderer.h"
#include "SubtitleTiming.h"
#include "SubtitleTrack.h"

// The cues of the subtitle tracks going on a disc, read from the source (text streams through
// ffmpeg as SubRip, picture streams with BitmapSubtitleReading, their pictures scaled for the
// canvas) and from the files beside it, on the disc's timeline.
class SubtitleReading {
public:
    // Returns the chosen tracks of those available that could be read; each one that cannot (a
    // format that is neither text nor a picture format Kestrin reads, a damaged or empty stream
    // or file) is left out with a line to onLog naming it, as are all when none are chosen.
    // Lists what goes on the disc.
    static QCoro::Task<QList<SubtitleTrack>> read(FFmpegService& service,
                                                  QList<SubtitleTrack> available,
                                                  SubtitleChoice choice, QString ffmpegPath,
                                                  SubtitleTiming timing, SubtitleCanvas canvas,
                                                  LogCallback onLog, StageControl control = {});
};
