#pragma once

#include <QString>

// Where the tools live on a Debian system, and our own hdiutil command beside the application.
namespace LinuxDefaults {

QString ffmpegPath();
QString dvdauthorPath();
// Found next to the running executable, in the build tree and after installation alike.
QString hdiutilPath();

} // namespace LinuxDefaults
