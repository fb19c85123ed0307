#include "FourColours.h"

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

QRect drawnArea(const QImage& picture) {
    int left = picture.width();
    int right = -1;
    int top = picture.height();
    int bottom = -1;
    // Transparent is the first colour of a four-colour picture, and alpha 0 of a drawing.
    const bool indexed = picture.format() == QImage::Format_Indexed8;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* line = picture.constScanLine(y);
        const QRgb* pixels = reinterpret_cast<const QRgb*>(line);
        for (int x = 0; x < picture.width(); ++x)
            if (indexed ? line[x] != 0 : qAlpha(pixels[x]) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    return right < left ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}
