#include "FileChecks.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() &&
           ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

QString launchFailureReason(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Datei nicht gefunden");
    if (info.isDir())
        return QStringLiteral("das ist ein Ordner");
    if (!isExecutableFile(path))
        return QStringLiteral("keine Berechtigung zum Ausführen");
    return QStringLiteral("kein lauffähiges Programm oder sein Interpreter fehlt");
}
