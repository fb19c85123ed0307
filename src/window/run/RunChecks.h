#pragma once

#include "DiscFit.h"
#include "FFmpegError.h"
#include "FreeSpace.h"
#include "RunPlan.h"

#include <QList>
#include <QString>

#include <optional>

// What a run is checked for before it writes anything: the room its files need on the file
// systems they go to, and whether its image fits the chosen disc.

// The files a run writes, each into its folder, when every stage succeeds: the MPEG file of
// the encode, the DVD folder beside it, the image at the chosen ISO location or beside the DVD
// folder. input is what the run starts from: the MPEG file the encode writes (Start), the MPEG
// file (VIDEO_TS), the DVD folder (ISO) or the image (burn, which writes nothing here). Files an
// earlier run left there count as staying: the encode and the image replace theirs only when
// complete, and the old files of the DVD folder, which go first, are left aside to be safe.
QList<PlannedWrite> runWrites(RunKind kind, const ChainToggles& toggles, const QString& input,
                              const std::optional<QString>& isoURL, const SizeForecast& size);

// Whether the run goes on to the burn when every stage succeeds.
bool runBurns(RunKind kind, const ChainToggles& toggles);

// An image expected to be larger than the chosen disc: a run that burns it is refused,
// recommending "Passend" and the larger disc; any other run is warned in the log.
struct DiscVerdict {
    std::optional<FFmpegError> refusal;
    std::optional<QString> warning;
};
DiscVerdict judgeImageSize(qint64 imageBytes, const Disc& disc, bool burns);
