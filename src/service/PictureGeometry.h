#pragma once

#include "ServiceTypes.h"

#include <optional>

// The shape of the source picture as a player shows it, width ÷ height: the display aspect ratio
// ffprobe reports, or the picture size with its sample aspect, turned by a quarter turn when the
// source is stored on its side. Zero when the source says 0:1; nothing when nothing is known.
std::optional<double> displayedRatio(const VideoProbe& probe);

// Where the scaled source sits in the 720×576 frame.
struct PictureFit {
    int width = 720;
    int height = 576;

    bool fillsFrame() const { return width == 720 && height == 576; }
    int left() const { return (720 - width) / 2; }
    int top() const { return (576 - height) / 2; }
    friend bool operator==(const PictureFit&, const PictureFit&) = default;
};

// The size that keeps a source's displayed shape on a 16:9 or 4:3 disc: the whole frame when the
// shapes differ by at most 1 %, otherwise the full width (letterbox) for wider sources and the
// full height (pillarbox) for narrower ones. Sizes are multiples of 4 so that the centred
// picture starts on an even line and column; interlaced pictures get heights in multiples of 8,
// which keeps each field's chroma lines in place.
PictureFit fitPicture(std::optional<double> sourceRatio, bool widescreen, bool interlaced);
