#pragma once

// The front page printed from the organiser: the "Fitting options" page
// in black and white, as large as it fits.

class QImage;
class QPainter;
class QRect;

namespace nosk {

// Where the front page picture goes on a page of W x H device pixels: the
// picture w x h enlarged by the largest whole factor that fits, centred.
QRect frontPageTarget(int W, int H, int w, int h);

// The picture of a page for printing: the colour of its top-left pixel
// becomes white, every other colour black.
QImage monochromePage(const QImage& page);

} // namespace nosk
