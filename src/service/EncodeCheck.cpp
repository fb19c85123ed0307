#include "EncodeCheck.h"

#include <cmath>

namespace {

// Phrases of ffmpeg's demuxers and decoders when the input ends or breaks off.
constexpr QStringView damagePhrases[] = {
    u"file ended prematurely",
    u"truncating packet",
    u"invalid data found",
    u"error while decoding",
    u"partial file",
    u"moov atom not found",
    u"corrupt",
    u"error reading header",
    u"end of file",
    u"packet too small",
    u"invalid nal unit size",
    u"missing reference picture",
};

// A broken file can repeat its complaint for every packet; a few distinct lines say enough.
constexpr qsizetype mostReasons = 6;

} // namespace

bool tellsOfDamage(QStringView line) {
    for (QStringView phrase : damagePhrases)
        if (line.contains(phrase, Qt::CaseInsensitive))
            return true;
    return false;
}

void EncodeWatch::see(QStringView line, const std::optional<StatusLine>& status) {
    if (status && status->time) {
        m_reached = status->time;
        return;
    }
    const QString reason = line.trimmed().toString();
    if (m_reasons.size() < mostReasons && tellsOfDamage(reason) && !m_reasons.contains(reason))
        m_reasons.append(reason);
}

bool endedEarly(double encoded, double expected) {
    const double missing = expected - encoded;
    return missing > 1.0 && missing > 0.02 * expected;
}

QString clockDuration(double seconds) {
    const long long total = std::llround(std::max(0.0, seconds));
    if (total >= 3600)
        return QString::asprintf("%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    return QString::asprintf("%lld:%02lld", total / 60, total % 60);
}
