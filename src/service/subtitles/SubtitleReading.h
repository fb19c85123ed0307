#pragma once

#include "FFmpegService.h"
#include "SubtitleChoice.h"
#include "SubtitleTiming.h"
#include "SubtitleTrack.h"

// The cues of the subtitle tracks going on a disc, read from the source (text streams through
// ffmpeg as SubRip) and from the files beside it, on the disc's timeline.
class SubtitleReading {
public:
    // Returns the chosen tracks of those available that could be read; each one that cannot (a
    // picture format, a damaged or empty file) is left out with a line to onLog naming it, as are
    // all when none are chosen. Lists what goes on the disc.
    static QCoro::Task<QList<SubtitleTrack>>
    read(FFmpegService& service, QList<SubtitleTrack> available, SubtitleChoice choice,
         QString ffmpegPath, SubtitleTiming timing, LogCallback onLog, StageControl control = {});
};
