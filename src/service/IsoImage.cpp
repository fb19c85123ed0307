#include "IsoImage.h"

#include <QFileInfo>
#include <QList>

namespace {

constexpr qsizetype maxLength = 32;

bool allowed(char32_t codePoint) {
    return (codePoint >= 'A' && codePoint <= 'Z') || (codePoint >= '0' && codePoint <= '9') ||
           codePoint == '_' || codePoint == ' ';
}

} // namespace

QString normalisedVolumeName(const QString& text) {
    QString result;
    for (const char32_t codePoint : text.toUpper().toUcs4())
        result += allowed(codePoint) ? QChar(codePoint) : QChar(u'_');
    return result;
}

QString sanitizeVolumeName(const QString& text) {
    return normalisedVolumeName(text).left(maxLength).trimmed();
}

QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder) {
    return sanitizeVolumeName(isoVolumeName.isEmpty() ? QFileInfo(dvdFolder).fileName()
                                                      : isoVolumeName);
}
