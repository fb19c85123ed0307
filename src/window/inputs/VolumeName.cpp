#include "VolumeName.h"

#include <algorithm>

namespace {

constexpr qsizetype maxLength = 32;

} // namespace

VolumeNameEdit editVolumeName(const QString& typed, int cursor) {
    const QString clean = sanitizeVolumeName(typed);
    const bool typingBlank = typed.endsWith(u' ') && !clean.isEmpty() && clean.size() < maxLength;
    const QString shown = typingBlank ? clean + u' ' : clean;
    const QString whole = normalisedVolumeName(typed);
    const auto leadingBlanks =
        std::find_if(whole.cbegin(), whole.cend(), [](QChar c) { return c != u' '; }) -
        whole.cbegin();
    const qsizetype before = normalisedVolumeName(typed.left(cursor)).size() - leadingBlanks;
    return {shown, int(std::clamp<qsizetype>(before, 0, shown.size()))};
}
