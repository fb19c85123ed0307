#include "NumberReading.h"

#include <QList>

#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace {

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

bool isCSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

} // namespace

std::optional<double> readNumber(QStringView text) {
    if (text.isEmpty() || isCSpace(text.front()))
        return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    if (bytes.contains('\0'))
        return std::nullopt;
    char* end = nullptr;
    const double value = strtod_l(bytes.constData(), &end, cLocale());
    if (end != bytes.constData() + bytes.size())
        return std::nullopt;
    return value;
}

std::optional<double> parseRatio(QStringView text, QChar separator) {
    const QList<QStringView> pieces = text.split(separator, Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    const auto numerator = readNumber(pieces[0]);
    const auto denominator = readNumber(pieces[1]);
    if (!numerator || !denominator || *denominator == 0)
        return std::nullopt;
    return *numerator / *denominator;
}
