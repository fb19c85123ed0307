#pragma once

#include "DiscFit.h"
#include "FFmpegError.h"

#include <optional>

// An image expected to be larger than the chosen disc: a run that burns it is refused,
// recommending "Passend" and the larger disc; any other run is warned in the log.
struct DiscVerdict {
    std::optional<FFmpegError> refusal;
    std::optional<QString> warning;
};
DiscVerdict judgeImageSize(qint64 imageBytes, const Disc& disc, bool burns);
