#include "LinuxDefaults.h"

#include "FileChecks.h"

#include <QCoreApplication>
#include <QDir>

namespace LinuxDefaults {

QString ffmpegPath() {
    return QStringLiteral("/usr/bin/ffmpeg");
}

QString dvdauthorPath() {
    return QStringLiteral("/usr/bin/dvdauthor");
}

QString hdiutilPath() {
    return hdiutilPathFor(QCoreApplication::applicationDirPath());
}

QString hdiutilPathFor(const QString& applicationDir) {
    const QDir dir(applicationDir);
    const QString installed =
        QDir::cleanPath(dir.filePath(QStringLiteral(KESTRIN_LIBEXEC_FROM_BINDIR "/hdiutil")));
    const QString beside = dir.filePath(QStringLiteral("hdiutil"));
    if (isExecutableFile(installed))
        return installed;
    if (isExecutableFile(beside))
        return beside;
    return dir.dirName() == QLatin1String("bin") ? installed : beside;
}

} // namespace LinuxDefaults
