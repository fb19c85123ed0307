#include "VolumeName.h"

#include <QList>

#include <algorithm>

namespace {

constexpr qsizetype maxLength = 32;

bool allowed(char32_t codePoint) {
    return (codePoint >= 'A' && codePoint <= 'Z') || (codePoint >= '0' && codePoint <= '9') ||
           codePoint == '_' || codePoint == ' ';
}

// Upper case, then one allowed character or "_" for every code point.
QString normalised(const QString& text) {
    QString result;
    for (const char32_t codePoint : text.toUpper().toUcs4())
        result += allowed(codePoint) ? QChar(codePoint) : QChar(u'_');
    return result;
}

} // namespace

QString sanitizeVolumeName(const QString& text) {
    return normalised(text).left(maxLength).trimmed();
}

VolumeNameEdit editVolumeName(const QString& typed, int cursor) {
    const QString clean = sanitizeVolumeName(typed);
    const bool typingBlank = typed.endsWith(u' ') && !clean.isEmpty() && clean.size() < maxLength;
    const QString shown = typingBlank ? clean + u' ' : clean;
    const QString whole = normalised(typed);
    const auto leadingBlanks =
        std::find_if(whole.cbegin(), whole.cend(), [](QChar c) { return c != u' '; }) -
        whole.cbegin();
    const qsizetype before = normalised(typed.left(cursor)).size() - leadingBlanks;
    return {shown, int(std::clamp<qsizetype>(before, 0, shown.size()))};
}
