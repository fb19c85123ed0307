#include "EncodeProgress.h"

#include "NumberReading.h"

#include <QList>

#include <algorithm>

std::optional<double> progressFraction(QStringView line, double duration) {
    if (!(duration > 0))
        return std::nullopt;
    static constexpr QStringView marker = u"time=";
    const qsizetype at = line.indexOf(marker);
    if (at < 0)
        return std::nullopt;

    const QList<QStringView> tokens = line.mid(at + marker.size()).split(u' ', Qt::SkipEmptyParts);
    const QStringView token = tokens.isEmpty() ? QStringView() : tokens.front();
    const QList<QStringView> fields = token.split(u':', Qt::SkipEmptyParts);
    if (fields.size() != 3)
        return std::nullopt;

    const double hours = readNumber(fields[0]).value_or(0);
    const double minutes = readNumber(fields[1]).value_or(0);
    const double seconds = readNumber(fields[2]).value_or(0);
    const double fraction = (hours * 3600 + minutes * 60 + seconds) / duration;
    if (!(fraction > 0))
        return 0.0;
    return std::min(fraction, 1.0);
}
