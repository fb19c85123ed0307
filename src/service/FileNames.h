#pragma once

#include <QString>

#include <optional>

// Where each stage puts what it makes, derived from the file before it.

// The file's folder joined with its name without its last extension, followed by suffix.
QString besideWithSuffix(const QString& path, const QString& suffix);

// The MPEG file proposed for a source: beside it, "_PAL_DVD.mpg" in place of its extension.
QString destinationFor(const QString& source);
// The DVD folder of an MPEG file: beside it, "_DVD" in place of its extension.
QString dvdFolderFor(const QString& mpg);
// The chosen ISO location, or the DVD folder's name with ".iso" beside it.
QString isoTargetFor(const std::optional<QString>& isoURL, const QString& dvdFolder);
