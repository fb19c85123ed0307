#pragma once

#include <QString>

// How the desktop knows Kestrin: the id names the desktop entry, the icon and the AppStream
// metainfo, and lets the shell tie notifications and windows to the menu entry.
namespace DesktopIdentity {

inline const QString appName = QStringLiteral("Kestrin");
inline const QString id = QStringLiteral("io.github.kestrin.Kestrin");

} // namespace DesktopIdentity
