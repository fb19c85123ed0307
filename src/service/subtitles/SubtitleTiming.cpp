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
        QList<const SubtitleCue*> covering;
        for (const SubtitleCue& cue : moved)
            if (cue.start <= bounds[i] && cue.end >= bounds[i + 1])
                covering << &cue;
        if (covering.isEmpty())
            continue;
        // A picture is shown alone: the later one replaces the one before.
        SubtitleCue piece = *covering.last();
        piece.start = bounds[i];
        piece.end = bounds[i + 1];
        if (piece.picture.isNull()) {
            piece.italic = true;
            QStringList lines;
            for (const SubtitleCue* cue : covering) {
                lines << cue->text;
                piece.italic = piece.italic && cue->italic;
            }
            piece.text = lines.join(u'\n');
        }
        if (!shown.isEmpty() && shown.last().end == piece.start &&
            shown.last().text == piece.text && shown.last().picture == piece.picture &&
            shown.last().position == piece.position)
            shown.last().end = piece.end;
        else
            shown.append(piece);
    }
    return shown;
}
