#pragma once

#include <QString>

#include <optional>

// The two-letter ISO 639-1 code that DVD players show for a stream's language tag: three-letter
// ISO 639-2 codes (terminology and bibliographic forms, "deu" and "ger" alike) and two-letter
// codes are understood, a region after "-" or "_" is ignored. Nothing for tags without a
// two-letter form ("und", "mul", "zxx", "gsw", …) or that are no language code at all.
std::optional<QString> twoLetterLanguage(const QString& tag);
