#pragma once

#include <QString>

// The volume name rule, for a typed name and a folder's name alike: upper case, only A–Z, 0–9,
// "_" and space (everything else becomes "_"), at most 32 characters, no blanks at either end.
QString sanitizeVolumeName(const QString& text);
// The name upper-cased with one allowed character or "_" for every code point, not yet cut.
QString normalisedVolumeName(const QString& text);

// The volume name field, or the DVD folder's name when the field is empty, by the rule above.
QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder);
