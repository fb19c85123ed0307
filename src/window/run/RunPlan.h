#pragma once

#include "FFmpegError.h"

#include <QString>

#include <optional>

// What a run is made of and what the window shows at each of its steps, as plain data. The four
// kinds of run are sequences of the same stages; which stage follows is read from the chain
// toggles when the stage before has succeeded.

enum class RunKind {
    chained, // Start: the encode, then the stages the toggles chain after it
    videoTS, // "VIDEO_TS erstellen": authoring, then image and burn as the toggles say
    iso,     // "ISO erstellen": the image only
    burn,    // "DVD brennen": the burn only
};

enum class Stage { encode, authoring, image, burn };

struct ChainToggles {
    bool createVideoTSAfterConvert = true;
    bool createISOAfterVideoTS = true;
    bool burnAfterISO = false;
};

// The first stage of a run, and the stage after a successful one; none at the end of the run.
Stage firstStage(RunKind kind);
std::optional<Stage> nextStage(RunKind kind, Stage done, const ChainToggles& toggles);

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

struct RunEnding {
    std::optional<QString> status;
    std::optional<QString> phase;
    std::optional<double> progress;
    std::optional<QString> logLine; // what the log gets: the status, a failure in full
    bool endsEncoding = false;      // the encode's start time is cleared
};

// How a run ends after its last stage: with success (no failure), or with the failure, which is
// FFmpegError::cancelled() for an aborted run.
RunEnding runEnding(RunKind kind, Stage last, const std::optional<FFmpegError>& failure,
                    bool verifyAfterBurn);

// "Abgebrochen." or "Fehler ❌ " with the error's description; on one line for the status line.
QString failureText(const FFmpegError& error);
QString failureStatus(const FFmpegError& error);
