#include "EndTime.h"

bool showsExpectedEnd(double fraction) {
    return fraction >= 0.1;
}

QDateTime expectedEnd(const QDateTime& start, const QDateTime& now, double fraction) {
    const double elapsed = start.msecsTo(now) / 1000.0;
    const double remaining = elapsed * (1.0 - fraction) / fraction;
    return now.addMSecs(qint64(remaining * 1000));
}
