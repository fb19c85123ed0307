#pragma once

#include "EncodePlan.h"

#include <QStringList>

// The arguments of the ffmpeg run that encodes input into the PAL DVD program stream at output
// as the plan decided, its filter chains included.
QStringList ffmpegArguments(const QString& input, const QString& output, const EncodePlan& plan);
