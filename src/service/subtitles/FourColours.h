#pragma once

#include <QImage>

// A drawing (premultiplied ARGB) in the four colours of a DVD sub-picture: transparent, white
// fill, dark outline and grey edge, told apart by opacity and brightness. QImage::Format_Indexed8
// with that table of four colours, the first transparent.
QImage fourColours(const QImage& drawn);

// The smallest rectangle that holds every pixel that is not transparent, of a four-colour picture
// or of a drawing in 32-bit ARGB; empty when there is none.
QRect drawnArea(const QImage& picture);
