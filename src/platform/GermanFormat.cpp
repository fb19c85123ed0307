#include "GermanFormat.h"

#include <QLocale>

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

} // namespace GermanFormat
