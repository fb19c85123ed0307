#pragma once

#include <QString>

// True for a regular file (or a link to one) that this user may execute. A directory is never
// an executable tool, whatever its permission bits say.
bool isExecutableFile(const QString& path);

// A short German reason why a program at path could not be started, for error messages.
QString launchFailureReason(const QString& path);
