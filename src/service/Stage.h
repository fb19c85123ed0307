#pragma once

#include <QString>

// The stages of a run, in the order a run takes them.
enum class Stage { encode, authoring, image, burn };

// The stage's name for a progress line: "Kodieren", "VIDEO_TS", "ISO", "Brennen".
QString stageTitle(Stage stage);
