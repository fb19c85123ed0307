#pragma once

#include "SubtitleTrack.h"

#include <QList>
#include <QString>

// The subtitle files beside a video that share its base name, sorted by name: "Film.srt",
// "Film.de.srt", "Film.deu.srt", "Film.forced.de.srt", ".ass", ".ssa", ".vtt". Their language
// and whether they are forced come from the parts of the name between base and extension.
QList<SubtitleTrack> subtitleSideFiles(const QString& video);
