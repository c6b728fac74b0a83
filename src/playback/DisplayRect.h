#pragma once
// Where a picture goes in the output area, and the way back from output pixels to picture pixels.

#include <QRect>
#include <QSize>

// The picture's display aspect: a negative setting fills the area, 0 takes the picture's own
// (width x sample aspect / height, a missing or non-positive sample aspect counting as 1), any
// other value is used as it is.
double DisplayAspect(float aspectSetting, QSize area, int pictureWidth, int pictureHeight, double sampleAspect);

// The largest rectangle of that aspect centred in the area: even width and height (at least 1).
QRect CalculateDisplayRect(QSize area, double aspect);

// Maps a rectangle in output pixels to picture pixels through the rectangle the picture was
// drawn to. Empty when nothing is shown.
QRect DisplayToActual(const QRect& requested, const QRect& displayRect, int frameWidth, int frameHeight);
