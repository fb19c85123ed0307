#include "StatusLine.h"

#include "NumberReading.h"

#include <QList>

#include <cmath>

namespace {

// The value after the first "<name>=", up to the next space; ffmpeg pads sizes on the left.
std::optional<QStringView> valueOf(QStringView line, QStringView marker, bool padded) {
    const qsizetype at = line.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    QStringView rest = line.mid(at + marker.size());
    if (padded)
        rest = rest.trimmed();
    return rest.left(rest.indexOf(u' '));
}

std::optional<double> timeOf(QStringView line) {
    const auto value = valueOf(line, u"time=", false);
    if (!value)
        return std::nullopt;
    const QList<QStringView> fields = value->split(u':');
    if (fields.size() != 3)
        return std::nullopt;
    const auto hours = readNumber(fields[0]);
    const auto minutes = readNumber(fields[1]);
    const auto seconds = readNumber(fields[2]);
    if (!hours || !minutes || !seconds)
        return std::nullopt;
    const double time = *hours * 3600 + *minutes * 60 + *seconds;
    return std::isfinite(time) ? std::optional(time) : std::nullopt;
}

std::optional<qint64> sizeOf(QStringView line) {
    const auto value = valueOf(line, u"size=", true);
    if (!value || !value->endsWith(u"kB"))
        return std::nullopt;
    bool read = false;
    const qint64 kilobytes = value->chopped(2).toLongLong(&read);
    return read ? std::optional(kilobytes * 1024) : std::nullopt;
}

} // namespace

std::optional<StatusLine> StatusLine::parse(QStringView line) {
    const StatusLine status{timeOf(line), sizeOf(line)};
    if (!status.time && !status.size)
        return std::nullopt;
    return status;
}
