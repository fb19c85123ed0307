#pragma once

#include "FFmpegService.h"
#include "SubtitleRenderer.h"
#include "SubtitleTrack.h"

#include <optional>

// The cues of a picture subtitle stream of the source (PGS, DVD, DVB), drawn by ffmpeg's
// sub2video onto the stream's canvas (its own size, else the video's) one frame per change, and
// made DVD sub-pictures with bitmapPicture.
class BitmapSubtitleReading {
public:
    // The cues in the source's seconds after the start of the file, in order; a frame that
    // repeats the one before continues its cue and a fully transparent one ends it. Nothing when
    // ffmpeg cannot read the stream.
    static QCoro::Task<std::optional<QList<SubtitleCue>>>
    read(FFmpegService& service, SubtitleTrack track, QString ffmpegPath, SubtitleCanvas canvas,
         StageControl control = {});
};
