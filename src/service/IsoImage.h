#pragma once

#include <QString>

// The volume name field, or the DVD folder's name when the field is empty; either cut to the 32
// bytes an ISO 9660 volume identifier holds, after normalisation (NFC) and never inside a
// character.
QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder);
