#pragma once

#include <QString>

// Where the tools live on a Debian system.
namespace LinuxDefaults {

QString ffmpegPath();
QString dvdauthorPath();
QString genisoimagePath();

} // namespace LinuxDefaults
