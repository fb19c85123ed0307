#pragma once

#include "RunEnding.h"

#include <QDateTime>
#include <QString>

#include <optional>

// What the window shows at each step of a run, as plain data. The four kinds of run start from
// different stages, and the window says different things for the same stage in each.

enum class RunKind {
    chained, // Start: the encode, then the stages the toggles chain after it
    videoTS, // "VIDEO_TS erstellen": authoring, then image and burn as the toggles say
    iso,     // "ISO erstellen": the image only
    burn,    // "DVD brennen": the burn only
};

// What the window shows. An absent text keeps what is shown.
struct Shown {
    std::optional<QString> status;
    std::optional<QString> phase;
    std::optional<QString> pulse; // the dot pulse line to start
};

// When a run begins, from its button.
Shown runOpening(RunKind kind);
// When a stage begins; erasing: the burn erases the disc first.
Shown stageOpening(RunKind kind, Stage stage, bool erasing);
// The completion text of a stage that succeeded, where the run shows one.
std::optional<QString> stageCompletion(RunKind kind, Stage stage, const QString& product);

struct EndingShown {
    std::optional<QString> status;
    std::optional<QString> phase;
    std::optional<double> progress;
    std::optional<QString> logLine; // what the log gets: the status, a failure in full
    bool endsEncoding = false;      // the encode's start time is cleared
};

// How a run ends after its last stage.
EndingShown endingShown(RunKind kind, const RunEnding& ending, bool verifyAfterBurn);

// The stage a run of this kind starts from.
Stage firstStage(RunKind kind);

// The progress of a run in words, large under the start button: "Kodieren · 42 % · Fertig um
// 10:10"; the end where the run expects one.
QString progressLine(const QString& phase, double progress,
                     const std::optional<QDateTime>& expectedEnd);
