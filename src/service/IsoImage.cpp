#include "IsoImage.h"

#include <QFileInfo>

namespace {

constexpr qsizetype volumeIdentifierBytes = 32;

QString fitVolumeIdentifier(const QString& name) {
    QString fitted;
    qsizetype bytes = 0;
    for (const char32_t codePoint : name.normalized(QString::NormalizationForm_C).toUcs4()) {
        const QString character = QString::fromUcs4(&codePoint, 1);
        bytes += character.toUtf8().size();
        if (bytes > volumeIdentifierBytes)
            break;
        fitted += character;
    }
    return fitted;
}

} // namespace

QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder) {
    return fitVolumeIdentifier(isoVolumeName.isEmpty() ? QFileInfo(dvdFolder).fileName()
                                                       : isoVolumeName);
}
