#include "LinuxDefaults.h"

#include <QCoreApplication>

namespace LinuxDefaults {

QString ffmpegPath() {
    return QStringLiteral("/usr/bin/ffmpeg");
}

QString dvdauthorPath() {
    return QStringLiteral("/usr/bin/dvdauthor");
}

QString hdiutilPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/hdiutil");
}

} // namespace LinuxDefaults
