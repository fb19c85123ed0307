#include "PictureGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double frameWidth = 720;
constexpr double frameHeight = 576;
constexpr double shapeTolerance = 0.01;

int roundTo(double value, int step) {
    return std::max(step, int(std::lround(value / step)) * step);
}

bool liesOnItsSide(const std::optional<double>& rotation) {
    return rotation && std::abs(std::lround(*rotation / 90.0)) % 2 == 1;
}

} // namespace

std::optional<double> displayedRatio(const VideoProbe& probe) {
    std::optional<double> stored;
    if (probe.displayAspectRatio && *probe.displayAspectRatio > 0)
        stored = probe.displayAspectRatio;
    else if (probe.width && probe.height && *probe.width > 0 && *probe.height > 0) {
        const double sample = probe.sampleAspectRatio && *probe.sampleAspectRatio > 0
                                  ? *probe.sampleAspectRatio
                                  : 1.0;
        stored = double(*probe.width) * sample / double(*probe.height);
    } else if (probe.displayAspectRatio)
        return probe.displayAspectRatio;
    if (stored && liesOnItsSide(probe.rotation))
        return 1.0 / *stored;
    return stored;
}

PictureFit fitPicture(std::optional<double> sourceRatio, bool widescreen, bool interlaced) {
    const double discRatio = widescreen ? 16.0 / 9.0 : 4.0 / 3.0;
    if (!sourceRatio || !(*sourceRatio > 0) || !std::isfinite(*sourceRatio) ||
        std::abs(*sourceRatio / discRatio - 1.0) <= shapeTolerance)
        return {};
    if (*sourceRatio > discRatio)
        return {720, roundTo(frameHeight * discRatio / *sourceRatio, interlaced ? 8 : 4)};
    return {roundTo(frameWidth * *sourceRatio / discRatio, 4), 576};
}
