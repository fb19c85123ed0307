#pragma once

#include "SubtitleRenderer.h"

// One frame of a picture subtitle (its whole canvas, which stands for the source's whole picture)
// as a DVD sub-picture: what is drawn, scaled by the same fit as the video into the 720×576 frame,
// in the four colours of renderCue, cut to what is drawn and starting on an even column and line.
// Nothing when nothing is drawn, or when it is too large for one DVD sub-picture.
SubtitlePicture bitmapPicture(const QImage& frame, const SubtitleCanvas& canvas);
