#pragma once

#include "DiscFit.h"
#include "EncodePlan.h"

#include <optional>

// How full the chosen disc gets, as the window's meter shows it before and during an encode.
struct DiscFill {
    int percent = 0;
    // "4,56 von 4,70 GB · 97 %"
    QString text;
    // Why a run that burns it would be refused; nothing while it fits.
    std::optional<QString> overflow;

    friend bool operator==(const DiscFill&, const DiscFill&) = default;
};

// The image of an encode of the probed source with these settings against the chosen disc;
// nothing when the length of the source is not known.
std::optional<DiscFill> discFillFor(const VideoProbe& probe, const EncodeSettings& settings);
// An image of that size, expected or projected, against the disc.
DiscFill discFill(qint64 imageBytes, const Disc& disc);
