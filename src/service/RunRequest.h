#pragma once

#include "DiscTitle.h"
#include "EncodePlan.h"
#include "Stage.h"

#include <QString>

#include <optional>

// The tools a run drives, as stored in the settings.
struct ToolPaths {
    QString ffmpeg;
    QString dvdauthor;
    QString genisoimage;
};

// What a run is asked to do, as a plain value: the stages from `from` to `until`, the file the
// first stage starts from, where the files go, and the choices for each stage.
struct RunRequest {
    Stage from = Stage::encode;
    Stage until = Stage::image;
    // What the first stage reads: the video (encode), the MPEG file (authoring), the DVD folder
    // (image) or the image (burn).
    QString input;
    // The MPEG file the encode writes.
    QString mpg;
    // Where the image goes; without a choice beside the DVD folder, named after it.
    std::optional<QString> isoTarget;
    // The disc's name as typed; empty gives the DVD folder's name.
    QString volumeName;
    // What the disc says about an MPEG file encoded earlier (the encode finds it out itself).
    DiscTitle title;
    EncodeSettings encode;
    ToolPaths tools;
    bool eraseBeforeBurn = false;
    bool verifyAfterBurn = false;
};
