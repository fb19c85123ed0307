#pragma once

#include "ServiceTypes.h"
#include "SubtitleTrack.h"

#include <QList>

#include <optional>
#include <utility>

// Which subtitle tracks go on the disc, as the user chose.
struct SubtitleChoice {
    enum class Tracks { none, all, one };
    Tracks tracks = Tracks::all;
    int track = 0; // with `one`: the position among the available tracks
    // The position among the available tracks of the one the player shows from the start.
    std::optional<int> shown;

    friend bool operator==(const SubtitleChoice&, const SubtitleChoice&) = default;
};

// The DVD-Video limit of sub-picture streams in a title.
constexpr int mostSubtitleTracks = 32;

// The subtitle tracks of a source: its streams in file order, then the files beside it.
QList<SubtitleTrack> availableSubtitleTracks(const QString& video, const VideoProbe& probe);

// The stored choices of the window (see Setting::subtitleTracks) as a choice.
SubtitleChoice subtitleChoiceFor(int storedTracks, int storedShown);

// Which track the window burns into the picture: with one track chosen that one, with every
// track the one shown from the start or else the first; none without a track.
std::optional<int> burntSubtitleFor(const SubtitleChoice& choice);

// The tracks and the choice that put on the disc as sub-pictures what the choice puts there,
// less the track at position `burnt`, which is in the picture already.
std::pair<QList<SubtitleTrack>, SubtitleChoice>
withoutBurntSubtitle(QList<SubtitleTrack> available, SubtitleChoice choice, int burnt);

// How many of `available` tracks go on the disc as sub-pictures, less the one at position `burnt`,
// which is drawn into the picture.
int subtitleTracksOnDisc(int available, const SubtitleChoice& choice,
                         std::optional<int> burnt = std::nullopt);

// The tracks that go on the disc, at most 32; the one shown from the start is marked forced,
// since players show forced pictures without being asked.
QList<SubtitleTrack> chosenSubtitleTracks(const QList<SubtitleTrack>& available,
                                          const SubtitleChoice& choice);
