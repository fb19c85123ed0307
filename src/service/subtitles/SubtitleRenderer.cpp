#include "SubtitleRenderer.h"

#include "FourColours.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

namespace {

constexpr int largestLetters = 30; // pixel size: about 5 % of the frame's height
constexpr int smallestLetters = 20;
constexpr double outlineWidth = 3.5;

// Words of one text line filled into lines no wider than width.
QStringList wrapped(const QString& line, const QFontMetricsF& metrics, double width) {
    QStringList lines;
    QString current;
    for (const QString& word : line.split(u' ', Qt::SkipEmptyParts)) {
        const QString longer = current.isEmpty() ? word : current + u' ' + word;
        if (!current.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines << current;
            current = word;
        } else {
            current = longer;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

// Below a letterboxed picture, where the bar holds the cue above the action-safe edge (the frame
// less 5 %), so that it covers none of the picture; otherwise above the bottom of the title-safe
// area. Always on an even line.
int cueTop(int height, const PictureFit& picture) {
    const int below = (picture.top() + picture.height + 1) & ~1;
    if (below + height <= 576 - 29)
        return below;
    return (titleSafeArea().bottom() + 1 - height) & ~1;
}

} // namespace

QRect titleSafeArea() {
    return QRect(72, 58, 720 - 2 * 72, 576 - 2 * 58);
}

SubtitlePicture renderCue(const SubtitleCue& cue, const SubtitleCanvas& canvas) {
    if (!cue.picture.isNull())
        return {cue.picture, cue.position.x(), cue.position.y()};
    // Stored pixels per displayed pixel across: the inverse of the disc's pixel shape.
    const double narrow = canvas.widescreen ? 45.0 / 64.0 : 11.0 / 12.0;
    const QRect safe = titleSafeArea();
    const double width = safe.width() / narrow;
    const QStringList textLines = cue.text.split(u'\n');

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setItalic(cue.italic);
    QStringList lines;
    for (int size = largestLetters; size >= smallestLetters; size -= 2) {
        font.setPixelSize(size);
        const QFontMetricsF metrics(font);
        lines.clear();
        for (const QString& line : textLines)
            lines << wrapped(line, metrics, width);
        if (lines.size() <= 2 * textLines.size())
            break;
    }
    const QFontMetricsF metrics(font);
    const int lineHeight = qCeil(metrics.lineSpacing());
    const int margin = qCeil(outlineWidth);
    const int height = int(lines.size()) * lineHeight + 2 * margin;

    QImage drawn(720, height, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(narrow, 1.0);
        QPainterPath path;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const double left = (360 / narrow) - metrics.horizontalAdvance(lines[i]) / 2;
            path.addText(left, margin + i * lineHeight + metrics.ascent(), font, lines[i]);
        }
        painter.strokePath(path, QPen(QColor(16, 16, 16), 2 * outlineWidth, Qt::SolidLine,
                                      Qt::RoundCap, Qt::RoundJoin));
        painter.fillPath(path, Qt::white);
    }
    const QImage image = fourColours(drawn);

    // Cut to what is drawn, on whole columns, so that spumux sends no empty pixels.
    const QRect area = drawnArea(image);
    if (area.isEmpty())
        return {};
    const int left = area.left() & ~1;
    return {image.copy(left, 0, area.right() + 1 - left, height), left,
            cueTop(height, canvas.picture)};
}
