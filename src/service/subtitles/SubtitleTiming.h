#pragma once

#include "SubtitleCue.h"

#include <QList>

#include <optional>

// How the source's timeline maps onto the disc's: the same as the video's.
struct SubtitleTiming {
    double origin = 0;         // where the disc starts, in seconds of the source
    double scale = 1;          // disc seconds per source second (below 1 for sped-up film)
    std::optional<double> end; // the disc's length

    friend bool operator==(const SubtitleTiming&, const SubtitleTiming&) = default;
};

// The cues as the disc shows them: moved onto its timeline, cut at its start and end, and, since
// a sub-picture stream shows one picture at a time, text cues that overlap shown together (their
// lines one above the other, in file order) for as long as they overlap, and of picture cues
// that overlap the later one. Sorted by start.
QList<SubtitleCue> timedCues(const QList<SubtitleCue>& cues, const SubtitleTiming& timing);
