#pragma once

#include "IsoImage.h"

#include <QString>

// The volume name rule (sanitizeVolumeName) applied while the user types.

// What the name field shows after the user changed its text to typed, with the text cursor at
// cursor: the normalised name, a blank typed at its end kept while typing (so that words can be
// typed one by one), and the cursor after what was typed, also where upper case made the text
// longer ("ß" becomes "SS").
struct VolumeNameEdit {
    QString shown;
    int cursor = 0;
};
VolumeNameEdit editVolumeName(const QString& typed, int cursor);
