#include "SubtitleChoice.h"

#include "LanguageCodes.h"
#include "SubtitleSideFiles.h"

QList<SubtitleTrack> availableSubtitleTracks(const QString& video, const VideoProbe& probe) {
    QList<SubtitleTrack> tracks;
    for (const SubtitleStreamInfo& stream : probe.subtitleStreams) {
        SubtitleTrack track;
        track.path = video;
        track.streamIndex = stream.index;
        track.language = stream.language ? twoLetterLanguage(*stream.language) : std::nullopt;
        track.format = stream.codec.value_or(QString());
        track.title = stream.title.value_or(QString());
        track.forced = stream.isForced.value_or(false);
        tracks.append(track);
    }
    return tracks + subtitleSideFiles(video);
}

SubtitleChoice subtitleChoiceFor(int storedTracks, int storedShown) {
    const SubtitleChoice::Tracks tracks = storedTracks == -2 ? SubtitleChoice::Tracks::none
                                          : storedTracks < 0 ? SubtitleChoice::Tracks::all
                                                             : SubtitleChoice::Tracks::one;
    return {tracks, std::max(0, storedTracks),
            storedShown < 0 ? std::nullopt : std::optional<int>(storedShown)};
}

std::optional<int> burntSubtitleFor(const SubtitleChoice& choice) {
    switch (choice.tracks) {
    case SubtitleChoice::Tracks::none:
        return std::nullopt;
    case SubtitleChoice::Tracks::one:
        return choice.track;
    case SubtitleChoice::Tracks::all:
        break;
    }
    return choice.shown.value_or(0);
}

std::pair<QList<SubtitleTrack>, SubtitleChoice>
withoutBurntSubtitle(QList<SubtitleTrack> available, SubtitleChoice choice, int burnt) {
    if (burnt < 0 || burnt >= available.size())
        return {available, choice};
    available.removeAt(burnt);
    if (choice.tracks == SubtitleChoice::Tracks::one && choice.track == burnt)
        choice.tracks = SubtitleChoice::Tracks::none;
    if (choice.track > burnt)
        --choice.track;
    if (choice.shown == burnt)
        choice.shown.reset();
    else if (choice.shown > burnt)
        --*choice.shown;
    return {available, choice};
}

int subtitleTracksOnDisc(int available, const SubtitleChoice& choice, std::optional<int> burnt) {
    const QList<SubtitleTrack> tracks(available);
    const auto [onDisc, chosen] =
        burnt ? withoutBurntSubtitle(tracks, choice, *burnt) : std::pair{tracks, choice};
    return int(chosenSubtitleTracks(onDisc, chosen).size());
}

QList<SubtitleTrack> chosenSubtitleTracks(const QList<SubtitleTrack>& available,
                                          const SubtitleChoice& choice) {
    QList<SubtitleTrack> chosen;
    for (int i = 0; i < available.size(); ++i) {
        const bool wanted = choice.tracks == SubtitleChoice::Tracks::all ||
                            (choice.tracks == SubtitleChoice::Tracks::one && choice.track == i);
        if (!wanted || chosen.size() == mostSubtitleTracks)
            continue;
        chosen.append(available[i]);
        if (choice.shown == i)
            chosen.last().forced = true;
    }
    return chosen;
}
