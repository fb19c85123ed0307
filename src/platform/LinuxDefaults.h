#pragma once

#include <QString>

// Where the tools live on a Debian system, and where our own hdiutil command lives.
namespace LinuxDefaults {

QString ffmpegPath();
QString dvdauthorPath();
// Our image command for the running executable: see hdiutilPathFor.
QString hdiutilPath();
// Our image command for an executable in applicationDir: installed, it lies in
// ../libexec/kestrin; in the build tree, beside the executable. The installed place wins, so
// that an unrelated hdiutil in bin/ is never taken. With neither present, the place is named
// where it belongs: the installed one for an executable in a bin/ folder, else beside it.
QString hdiutilPathFor(const QString& applicationDir);

} // namespace LinuxDefaults
