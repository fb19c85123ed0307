#pragma once

#include "SubtitleCue.h"

#include <QList>
#include <QString>

#include <optional>

// A subtitle track of a source: a stream of the file or a file beside it, and once read its cues
// on the disc's timeline.
struct SubtitleTrack {
    QString path;                    // the source video, or the subtitle file beside it
    std::optional<int> streamIndex;  // ffprobe's stream number for a stream of the video
    std::optional<QString> language; // two-letter code
    QString format;                  // "subrip", "ass", "hdmv_pgs_subtitle", …
    QString title;
    bool forced = false;
    QList<SubtitleCue> cues;

    // How the window and the log name the track: "1: de, subrip, Kommentar, erzwungen".
    QString label(int number) const;
    // Whether Kestrin reads the track as text.
    bool isText() const;
    // Whether Kestrin reads the track as pictures: PGS, DVD and DVB subtitles.
    bool isBitmap() const;

    friend bool operator==(const SubtitleTrack&, const SubtitleTrack&) = default;
};
