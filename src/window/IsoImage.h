#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The ISO stage's derived values.

// The chosen ISO location, or the DVD folder's name with ".iso" beside it.
QString isoTargetFor(const std::optional<QString>& isoURL, const QString& dvdFolder);
// The target without its last extension: what hdiutil is given, it adds ".iso" itself.
QString isoBasePath(const QString& isoTarget);
// The volume name field, or the DVD folder's name when the field is empty.
QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder);
QStringList hdiutilArguments(const QString& volumeName, const QString& basePath,
                             const QString& dvdFolder);
