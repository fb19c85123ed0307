#pragma once

#include "SubtitleCue.h"

#include <QList>
#include <QString>

#include <optional>

// The cues of a subtitle text in SubRip, WebVTT or ASS/SSA form (told apart by their content),
// in file order, with markup removed and italic kept. Nothing when the text holds no cue.
QList<SubtitleCue> parseSubtitles(const QString& text);

// "01:02:03,456", "01:02:03.456", "02:03.456" (WebVTT) or "1:02:03.45" (ASS) in seconds; nothing
// when it is none of them.
std::optional<double> subtitleTime(const QString& text);
