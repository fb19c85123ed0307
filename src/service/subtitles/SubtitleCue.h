#pragma once

#include <QImage>
#include <QPoint>
#include <QString>

// One cue of a subtitle: when it shows, in seconds, and its lines, or for a picture subtitle its
// picture as the disc shows it.
struct SubtitleCue {
    double start = 0;
    double end = 0;
    QString text; // lines separated by '\n'
    bool italic = false;
    QImage picture;  // QImage::Format_Indexed8, four colours, the first transparent; or none
    QPoint position; // the picture's top left corner in the 720×576 frame

    friend bool operator==(const SubtitleCue&, const SubtitleCue&) = default;
};
