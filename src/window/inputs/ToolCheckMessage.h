#pragma once

#include "RunRequest.h"

#include <QString>
#include <QStringList>

// The entries of the tools that the stages from..until drive and that are missing
// ("ffmpeg (/path)" …), in the order ffmpeg, dvdauthor, genisoimage; empty when every path
// names an executable file. The burn drives no tool.
QStringList missingToolEntries(const ToolPaths& tools, Stage from = Stage::encode,
                               Stage until = Stage::image);

// The text of the missing-tools alert, with the install hints for Debian.
QString missingToolsText(const QStringList& entries);
