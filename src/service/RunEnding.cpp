#include "RunEnding.h"

QString RunEnding::message() const {
    if (!error)
        return {};
    return error->isCancellation() ? QStringLiteral("Abgebrochen.")
                                   : QStringLiteral("Fehler ❌ ") + error->description();
}

QString RunEnding::summary() const {
    if (!error)
        return {};
    return error->isCancellation() ? QStringLiteral("Abgebrochen.")
                                   : QStringLiteral("Fehler ❌ ") + error->summary();
}
