#pragma once

#include "FFmpegService.h"
#include "SubtitleChoice.h"
#include "SubtitleRenderer.h"
#include "SubtitleTiming.h"

#include <optional>

// The ffconcat list that shows the picture "N.png" of each cue for its time and "blank.png"
// between them, both beside the list. The cues are sorted and do not overlap.
QString overlayList(const QList<SubtitleCue>& cues);

// A subtitle track burnt into the picture: its cues drawn as the disc would show them, each on a
// transparent frame, for ffmpeg's overlay filter (EncodePlan::subtitleOverlay).
class SubtitleBurnIn {
public:
    // Reads the track at position `burnt` among those available, draws its cues into folder and
    // returns the list of their pictures; nothing, with a line to onLog, when there is no such
    // track or it cannot be read. Fails with fileFailed when a picture cannot be written.
    static QCoro::Task<std::optional<QString>> draw(FFmpegService& service,
                                                    QList<SubtitleTrack> available, int burnt,
                                                    QString ffmpegPath, SubtitleTiming timing,
                                                    SubtitleCanvas canvas, QString folder,
                                                    LogCallback onLog, StageControl control = {});
};
