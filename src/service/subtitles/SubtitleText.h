#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The text of a subtitle file in whatever character set it was written: UTF-8 with or without
// byte order mark, UTF-16, or a legacy set, as uchardet recognises it. Nothing when the bytes
// fit no character set.
std::optional<QString> decodeSubtitleText(const QByteArray& bytes);
