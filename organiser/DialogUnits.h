#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>

namespace nosk {

// The organiser's layouts are given in dialog units: a quarter of the
// average character width horizontally, an eighth of the line height
// vertically, both of the window's font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font)
    {
        QFontMetrics fm(font);
        m_baseX = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
        m_baseY = fm.height();
    }
    int x(double du) const { return int(du * m_baseX / 4.0 + 0.5); }
    int y(double du) const { return int(du * m_baseY / 8.0 + 0.5); }
    QRect rect(double left, double top, double width, double height) const
    {
        return QRect(x(left), y(top), x(width), y(height));
    }

private:
    double m_baseX;
    double m_baseY;
};

} // namespace nosk
