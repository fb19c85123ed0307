#include "IsoImage.h"

#include <QFileInfo>

QString isoTargetFor(const std::optional<QString>& isoURL, const QString& dvdFolder) {
    if (isoURL)
        return *isoURL;
    const QFileInfo folder(dvdFolder);
    return folder.absolutePath() + u'/' + folder.fileName() + QStringLiteral(".iso");
}

QString isoBasePath(const QString& isoTarget) {
    const qsizetype slash = isoTarget.lastIndexOf(u'/');
    const qsizetype dot = isoTarget.lastIndexOf(u'.');
    return dot > slash + 1 ? isoTarget.left(dot) : isoTarget;
}

QString isoVolumeNameFor(const QString& isoVolumeName, const QString& dvdFolder) {
    return isoVolumeName.isEmpty() ? QFileInfo(dvdFolder).fileName() : isoVolumeName;
}

QStringList hdiutilArguments(const QString& volumeName, const QString& basePath,
                             const QString& dvdFolder) {
    return {QStringLiteral("makehybrid"),
            QStringLiteral("-udf"),
            QStringLiteral("-iso"),
            QStringLiteral("-joliet"),
            QStringLiteral("-default-volume-name"),
            volumeName,
            QStringLiteral("-o"),
            basePath,
            dvdFolder};
}
