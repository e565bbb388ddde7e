#include "Drawing.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPicture>

namespace nosk {

namespace {

// A picture records only the state it changed from a fresh painter's (black
// pen, no brush, default font): replayed into a painter with another pen, its
// default-pen lines and texts would take that pen. This puts the painter back
// to the fresh state.
void resetToRecordingState(QPainter& painter)
{
    painter.setPen(QPen());
    painter.setBrush(Qt::NoBrush);
    painter.setFont(QFont());
    painter.setBackgroundMode(Qt::TransparentMode);
}

} // namespace

void playPicture(QPainter& painter, const QPicture& picture, const QRect& target)
{
    QRect frame = picture.boundingRect();
    if (frame.width() <= 0 || frame.height() <= 0 || target.width() <= 0 || target.height() <= 0)
        return;
    QPaintDevice* device = painter.device();
    double dpiX = device ? device->logicalDpiX() : picture.logicalDpiX();
    double dpiY = device ? device->logicalDpiY() : picture.logicalDpiY();
    double correctX = picture.logicalDpiX() / dpiX;
    double correctY = picture.logicalDpiY() / dpiY;
    painter.save();
    resetToRecordingState(painter);
    painter.translate(target.topLeft());
    painter.scale(static_cast<double>(target.width()) / frame.width() * correctX,
                  static_cast<double>(target.height()) / frame.height() * correctY);
    // In the corrected frame the picture's own origin sits dpi-scaled.
    painter.drawPicture(QPointF(-frame.left() * dpiX / picture.logicalDpiX(),
                                -frame.top() * dpiY / picture.logicalDpiY()),
                        picture);
    painter.restore();
}

bool playPicture(QPaintDevice& device, const QPicture& picture, const QRect& target)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    playPicture(painter, picture, target);
    painter.end();
    return true;
}

} // namespace nosk
