#pragma once

#include "Stage.h"

#include <QDateTime>

#include <optional>

// How far a run has come: the stage running, its share done, and, during the encode, when it is
// expected to end and the image size projected from what was written so far.
struct RunProgress {
    Stage stage = Stage::encode;
    double fraction = 0;
    std::optional<QDateTime> expectedEnd;
    std::optional<qint64> projectedImageBytes;
};
