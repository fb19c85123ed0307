#include "DiscChoice.h"

QStringList discChoiceLabels() {
    return {QStringLiteral("DVD-5 (4,7 GB)"), QStringLiteral("DVD-9 (8,5 GB)")};
}

int discChoiceIndex(int storedChoice) {
    return storedChoice == 1 ? 1 : 0;
}

Disc chosenDisc(int storedChoice) {
    return discChoiceIndex(storedChoice) == 1 ? dualLayerDisc() : singleLayerDisc();
}
