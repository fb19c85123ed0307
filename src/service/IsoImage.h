#pragma once

#include <QString>
#include <QStringList>

// The volume name field, or the DVD folder's name when the field is empty; either cut to the 32
// bytes an ISO 9660 volume identifier holds, after normalisation (NFC) and never inside a
// character.
QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder);
// The call of the hdiutil command that builds the image BASE.iso of a DVD folder.
QStringList hdiutilArguments(const QString& volumeName, const QString& basePath,
                             const QString& dvdFolder);
