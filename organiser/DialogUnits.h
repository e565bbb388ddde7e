#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
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

// The organiser's job pages are all 467 by 276 units; the units of the page
// for its controls.
inline DialogUnits sizeJobPage(QWidget& page)
{
    DialogUnits du(page.font());
    page.setMinimumSize(du.x(467), du.y(276));
    page.resize(page.minimumSize());
    return du;
}

// A frame captioned in bold. The controls inside it are children of the
// page, not of the frame, so that the bold font stays on the caption.
inline QGroupBox* addGroup(QWidget& page, const QString& title, const QFont& bold, const QRect& where)
{
    auto* group = new QGroupBox(title, &page);
    group->setFont(bold);
    group->setGeometry(where);
    return group;
}

} // namespace nosk
