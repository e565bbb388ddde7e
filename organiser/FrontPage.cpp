#include "FrontPage.h"

#include <QImage>
#include <QRect>

#include <algorithm>

namespace nosk {

QRect frontPageTarget(int W, int H, int w, int h)
{
    if (w <= 0 || h <= 0)
        return {};
    int s = std::min(W / w, H / h);
    return QRect((W - w * s) / 2, (H - h * s) / 2, w * s, h * s);
}

QImage monochromePage(const QImage& page)
{
    QImage rgb = page.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull())
        return {};
    const QRgb background = rgb.pixel(0, 0);
    QImage mono(rgb.size(), QImage::Format_Mono);
    mono.setColor(0, qRgb(255, 255, 255));
    mono.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            QRgb c = line[x];
            bool white = c == background || (qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 255);
            mono.setPixel(x, y, white ? 0 : 1);
        }
    }
    return mono;
}

} // namespace nosk
