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

int subtitleTracksOnDisc(int available, const SubtitleChoice& choice, std::optional<int> burnt) {
    const bool burns = burnt && *burnt >= 0 && *burnt < available;
    switch (choice.tracks) {
    case SubtitleChoice::Tracks::none:
        return 0;
    case SubtitleChoice::Tracks::one:
        return choice.track < available && choice.track != burnt ? 1 : 0;
    case SubtitleChoice::Tracks::all:
        break;
    }
    return std::min(available - (burns ? 1 : 0), mostSubtitleTracks);
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
