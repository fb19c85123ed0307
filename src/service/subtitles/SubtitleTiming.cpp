#include "SubtitleTiming.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

QList<SubtitleCue> timedCues(const QList<SubtitleCue>& cues, const SubtitleTiming& timing) {
    const double last = timing.end.value_or(INFINITY);
    QList<SubtitleCue> moved;
    QList<double> bounds;
    for (const SubtitleCue& cue : cues) {
        SubtitleCue on = cue;
        on.start = std::max(0.0, (cue.start - timing.origin) * timing.scale);
        on.end = std::min(last, (cue.end - timing.origin) * timing.scale);
        if (on.end <= on.start)
            continue;
        moved.append(on);
        bounds << on.start << on.end;
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

    QList<SubtitleCue> shown;
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
        SubtitleCue piece{bounds[i], bounds[i + 1], {}, true};
        QStringList lines;
        for (const SubtitleCue& cue : moved)
            if (cue.start <= piece.start && cue.end >= piece.end) {
                lines << cue.text;
                piece.italic = piece.italic && cue.italic;
            }
        piece.text = lines.join(u'\n');
        if (lines.isEmpty())
            continue;
        if (!shown.isEmpty() && shown.last().end == piece.start && shown.last().text == piece.text)
            shown.last().end = piece.end;
        else
            shown.append(piece);
    }
    return shown;
}
