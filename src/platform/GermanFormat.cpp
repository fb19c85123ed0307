#include "GermanFormat.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace GermanFormat {

namespace {

const QLocale& german() {
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

} // namespace

QString clockTime(const QDateTime& moment) {
    return german().toString(moment.time(), QStringLiteral("HH:mm"));
}

QString number(double value, int decimals) {
    return german().toString(value, 'f', decimals);
}

QString megabytes(double bytes) {
    return number(bytes / 1e6, 1) + QStringLiteral(" MB");
}

QString gigabytes(double bytes) {
    return number(bytes / 1e9, 2) + QStringLiteral(" GB");
}

QString size(double bytes) {
    if (bytes >= 1e9)
        return number(bytes / 1e9, 1) + QStringLiteral(" GB");
    return number(bytes / 1e6, 1) + QStringLiteral(" MB");
}

QString hoursMinutes(double seconds) {
    const long long minutes = std::llround(std::max(0.0, seconds) / 60.0);
    return QString::asprintf("%lld:%02lld h", minutes / 60, minutes % 60);
}

} // namespace GermanFormat
