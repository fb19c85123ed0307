#include "VolumeName.h"

#include <QList>

namespace {

constexpr qsizetype maxLength = 32;

bool allowed(uint codePoint) {
    return (codePoint >= 'A' && codePoint <= 'Z') || (codePoint >= '0' && codePoint <= '9') ||
           codePoint == '_' || codePoint == ' ';
}

} // namespace

QString sanitizeVolumeName(const QString& text) {
    QString result;
    for (const uint codePoint : text.toUpper().toUcs4())
        result += allowed(codePoint) ? QChar(codePoint) : QChar(u'_');
    return result.left(maxLength).trimmed();
}
