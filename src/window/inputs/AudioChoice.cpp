#include "AudioChoice.h"

#include <algorithm>

QString displayLabel(const AudioStreamInfo& stream) {
    QStringList parts{QStringLiteral("#%1").arg(stream.index)};
    if (stream.language && !stream.language->isEmpty())
        parts << *stream.language;
    if (stream.codec && !stream.codec->isEmpty())
        parts << *stream.codec;
    if (stream.channels)
        parts << QStringLiteral("%1ch").arg(*stream.channels);
    if (stream.title && !stream.title->isEmpty())
        parts << *stream.title;
    return parts.join(QStringLiteral(" • "));
}

std::optional<int> audioStreamPosition(int storedIndex, const QList<AudioStreamInfo>& streams) {
    if (storedIndex < 0)
        return std::nullopt;
    QList<int> indexes;
    for (const AudioStreamInfo& stream : streams)
        indexes << stream.index;
    std::sort(indexes.begin(), indexes.end());
    const qsizetype position = indexes.indexOf(storedIndex);
    return position < 0 ? std::nullopt : std::optional<int>(int(position));
}
