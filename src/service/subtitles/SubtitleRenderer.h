#pragma once

#include "PictureGeometry.h"
#include "SubtitleCue.h"

#include <QImage>

// The frame a cue is drawn for: whether the disc is anamorphic 16:9, and where the picture sits.
struct SubtitleCanvas {
    bool widescreen = false;
    PictureFit picture;

    friend bool operator==(const SubtitleCanvas&, const SubtitleCanvas&) = default;
};

// A cue drawn as a DVD sub-picture: four colours (transparent, white fill, dark outline, grey
// edges) and where its top left corner goes in the 720×576 frame.
struct SubtitlePicture {
    QImage image; // QImage::Format_Indexed8 with a table of four colours, the first transparent
    int x = 0;
    int y = 0;
};

// A cue's own picture where it has one; otherwise the cue drawn with DejaVu Sans, centred just
// below the picture where the video is letterboxed and the bar below holds the cue above the
// action-safe edge (the frame less 5 %), else above the bottom of the title-safe area (the
// frame less a tenth on every side); wrapped into at most two lines a text line (smaller letters
// where that is needed), italic where the cue is. Letters are drawn narrower by the pixel shape of
// the disc, so that they look right where the player stretches the picture to 4:3 or 16:9.
SubtitlePicture renderCue(const SubtitleCue& cue, const SubtitleCanvas& canvas);

// The title-safe area of the 720×576 frame.
QRect titleSafeArea();
