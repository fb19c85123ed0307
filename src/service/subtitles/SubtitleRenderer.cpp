#include "SubtitleRenderer.h"

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

// Each colour of the drawing as one of the four: transparent, fill, outline or edge.
QImage fourColours(const QImage& drawn) {
    QImage image(drawn.size(), QImage::Format_Indexed8);
    image.setColorTable(
        {qRgba(0, 0, 0, 0), qRgb(255, 255, 255), qRgb(16, 16, 16), qRgb(128, 128, 128)});
    for (int y = 0; y < drawn.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        uchar* out = image.scanLine(y);
        for (int x = 0; x < drawn.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            const int grey = alpha > 0 ? qGray(in[x]) * 255 / alpha : 0;
            out[x] = alpha < 96 ? 0 : grey > 190 ? 1 : grey < 70 ? 2 : 3;
        }
    }
    return image;
}

} // namespace

QRect titleSafeArea() {
    return QRect(72, 58, 720 - 2 * 72, 576 - 2 * 58);
}

SubtitlePicture renderCue(const SubtitleCue& cue, const SubtitleCanvas& canvas) {
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
    QImage image = fourColours(drawn);

    // Cut to what is drawn, on whole columns, so that spumux sends no empty pixels.
    int left = image.width();
    int right = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.scanLine(y)[x] != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    if (right < left)
        return {};
    left &= ~1;
    const int top = safe.bottom() + 1 - height;
    return {image.copy(left, 0, right + 1 - left, height), left, top & ~1};
}
