#pragma once

#include <QString>

// The volume name rule, applied while the user types: upper case, only A–Z, 0–9, "_" and space
// (everything else becomes "_"), at most 32 characters, no blanks at either end.
QString sanitizeVolumeName(const QString& text);

// What the name field shows after the user changed its text to typed, with the text cursor at
// cursor: the normalised name, a blank typed at its end kept while typing (so that words can be
// typed one by one), and the cursor after what was typed, also where upper case made the text
// longer ("ß" becomes "SS").
struct VolumeNameEdit {
    QString shown;
    int cursor = 0;
};
VolumeNameEdit editVolumeName(const QString& typed, int cursor);
