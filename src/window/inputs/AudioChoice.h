#pragma once

#include "ServiceTypes.h"

#include <QList>

// The stored choice "Alle Spuren": every audio stream goes onto the disc. Negative, so that older
// versions read it as "Auto" ("Lade…" is -2).
constexpr int allAudioStreamsChoice = -3;

// "#1 • ger • ac3 • 6ch • Deutsch": the label of a stream in the audio picker.
QString displayLabel(const AudioStreamInfo& stream);

// The encode addresses the chosen stream by its position among the audio streams; the window
// stores its file-wide index. Nothing (automatic) for a negative choice or one not in the list.
std::optional<int> audioStreamPosition(int storedIndex, const QList<AudioStreamInfo>& streams);
