#include "BitmapPicture.h"

#include "FourColours.h"

namespace {

// The most bytes a DVD sub-picture unit holds, less room for its header and commands.
constexpr qint64 largestCodedPicture = 53220 - 100;

// The bytes of a four-colour picture coded as a DVD stores it: each line's runs of one colour in
// 4 to 16 bits (runs longer than 255 pixels split), each line filled to whole bytes.
qint64 codedBytes(const QImage& picture) {
    qint64 bytes = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* line = picture.constScanLine(y);
        qint64 bits = 0;
        for (int x = 0; x < picture.width();) {
            int run = 1;
            while (x + run < picture.width() && line[x + run] == line[x] && run < 255)
                ++run;
            bits += run < 4 ? 4 : run < 16 ? 8 : run < 64 ? 12 : 16;
            x += run;
        }
        bytes += (bits + 7) / 8;
    }
    return bytes;
}

} // namespace

SubtitlePicture bitmapPicture(const QImage& frame, const SubtitleCanvas& canvas) {
    const QImage source = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRect visible = drawnArea(source);
    if (visible.isEmpty())
        return {};
    const PictureFit& fit = canvas.picture;
    const double across = double(fit.width) / source.width();
    const double down = double(fit.height) / source.height();
    // Rounded ends stay inside the fitted picture, and so inside the frame.
    const QPoint topLeft(fit.left() + qRound(visible.left() * across),
                         fit.top() + qRound(visible.top() * down));
    const QPoint end(fit.left() + qRound((visible.right() + 1) * across),
                     fit.top() + qRound((visible.bottom() + 1) * down));
    const QSize size(std::max(1, end.x() - topLeft.x()), std::max(1, end.y() - topLeft.y()));
    const QImage scaled = fourColours(
        source.copy(visible).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    QRect area = drawnArea(scaled).translated(topLeft);
    if (area.isEmpty())
        return {};
    // Columns and lines outside the scaled picture are copied as transparent.
    area.setLeft(area.left() & ~1);
    area.setTop(area.top() & ~1);
    const QImage picture = scaled.copy(area.translated(-topLeft));
    if (codedBytes(picture) > largestCodedPicture)
        return {};
    return {picture, area.left(), area.top()};
}
