#pragma once

#include <QRect>

class QPainter;
class QPaintDevice;
class QPicture;

namespace nosk {

// A picture records only the state it changed from a fresh painter's (black
// pen, no brush, default font): replayed into a painter with another pen, its
// default-pen lines and texts would take that pen. This puts the painter back
// to the fresh state; call it between save() and drawPicture().
void resetToRecordingState(QPainter& painter);

// Plays a recorded picture so that its bounding rectangle fills target
// (device coordinates of the painter's device). A picture scales itself by
// the device's resolution on replay; the correction here undoes that, so a
// picture lands at the same place on the screen, an image and a 1200 dpi
// printer.
void playPicture(QPainter& painter, const QPicture& picture, const QRect& target);
// The same, painting on its own onto a device (a printer page, an image).
bool playPicture(QPaintDevice& device, const QPicture& picture, const QRect& target);

} // namespace nosk
