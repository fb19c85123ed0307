#pragma once

#include "DiscFit.h"

#include <QStringList>

// The disc picker: its entries, in the order of the stored values.
QStringList discChoiceLabels(); // "DVD-5 (4,7 GB)", "DVD-9 (8,5 GB)"

// The disc of the stored choice: 1 is DVD-9, anything else (0, missing, unknown) DVD-5.
Disc chosenDisc(int storedChoice);
// The picker entry that shows the stored choice.
int discChoiceIndex(int storedChoice);
