#pragma once

#include <QRect>

class QPainter;
class QPaintDevice;
class QPicture;

namespace nosk {

// Plays a recorded picture so that its bounding rectangle fills target
// (device coordinates of the painter's device). A picture scales itself by
// the device's resolution on replay; the correction here undoes that, so a
// picture lands at the same place on the screen, an image and a 1200 dpi
// printer.
void playPicture(QPainter& painter, const QPicture& picture, const QRect& target);
// The same, painting on its own onto a device (a printer page, an image).
bool playPicture(QPaintDevice& device, const QPicture& picture, const QRect& target);

} // namespace nosk
