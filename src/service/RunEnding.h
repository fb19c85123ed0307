#pragma once

#include "DiscTitle.h"
#include "FFmpegError.h"
#include "Stage.h"

#include <QString>

#include <optional>

// What a run made, as far as it came.
struct RunProducts {
    std::optional<QString> mpg;
    std::optional<DiscTitle> title; // what the encode found out for the disc
    std::optional<QString> dvdFolder;
    std::optional<QString> iso;
};

// How a run ended: every stage succeeded, one failed, or the run was cancelled; `stage` is the
// last stage that ran (or was refused before it ran).
struct RunEnding {
    enum class Outcome { succeeded, failed, cancelled };
    Outcome outcome = Outcome::succeeded;
    Stage stage = Stage::encode;
    std::optional<FFmpegError> error; // why it failed; cancelled() when cancelled
    RunProducts products;

    bool succeeded() const { return outcome == Outcome::succeeded; }
    // "Abgebrochen." or "Fehler ❌ " with the error's description; in full, and on one line for
    // a status line. Empty for a success.
    QString message() const;
    QString summary() const;
};
