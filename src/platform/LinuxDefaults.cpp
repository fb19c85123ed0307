#include "LinuxDefaults.h"

namespace LinuxDefaults {

QString ffmpegPath() {
    return QStringLiteral("/usr/bin/ffmpeg");
}

QString dvdauthorPath() {
    return QStringLiteral("/usr/bin/dvdauthor");
}

QString genisoimagePath() {
    return QStringLiteral("/usr/bin/genisoimage");
}

} // namespace LinuxDefaults
