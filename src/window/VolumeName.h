#pragma once

#include <QString>

// The volume name rule, applied while the user types: upper case, only A–Z, 0–9, "_" and space
// (everything else becomes "_"), at most 32 characters, no blanks at either end.
QString sanitizeVolumeName(const QString& text);
