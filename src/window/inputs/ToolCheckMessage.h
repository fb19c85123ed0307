#pragma once

#include <QString>
#include <QStringList>

// The entries of the tools that are missing ("ffmpeg (/path)" …), in the order ffmpeg,
// dvdauthor, genisoimage; empty when every path names an executable file.
QStringList missingToolEntries(const QString& ffmpegPath, const QString& dvdauthorPath,
                               const QString& genisoimagePath);

// The text of the missing-tools alert, with the install hints for Debian.
QString missingToolsText(const QStringList& entries);
