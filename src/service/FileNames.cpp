#include "FileNames.h"

#include <QDir>
#include <QFileInfo>

QString besideWithSuffix(const QString& path, const QString& suffix) {
    const QFileInfo file(path);
    QString base = file.fileName();
    const qsizetype dot = base.lastIndexOf(u'.');
    if (dot > 0)
        base.truncate(dot);
    return QDir(file.absolutePath()).filePath(base + suffix);
}

QString destinationFor(const QString& source) {
    return besideWithSuffix(source, QStringLiteral("_PAL_DVD.mpg"));
}

QString dvdFolderFor(const QString& mpg) {
    return besideWithSuffix(mpg, QStringLiteral("_DVD"));
}

QString isoTargetFor(const std::optional<QString>& isoURL, const QString& dvdFolder) {
    if (isoURL)
        return *isoURL;
    const QFileInfo folder(dvdFolder);
    return folder.absolutePath() + u'/' + folder.fileName() + QStringLiteral(".iso");
}
