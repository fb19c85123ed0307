#pragma once

#include <QString>

// One cue of a text subtitle: when it shows, in seconds, and its lines.
struct SubtitleCue {
    double start = 0;
    double end = 0;
    QString text; // lines separated by '\n'
    bool italic = false;

    friend bool operator==(const SubtitleCue&, const SubtitleCue&) = default;
};
