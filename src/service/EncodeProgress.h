#pragma once

#include <QStringView>

#include <optional>

// The share of the source duration that one ffmpeg status line reports through its "time="
// field, clamped to 0..1; nothing when the line carries no readable position.
std::optional<double> progressFraction(QStringView line, double duration);
