#include "CZuAxisLabel.h"

#include <QPainter>

namespace nosk {

CZuAxisLabel::CZuAxisLabel(const QString& text, Qt::Alignment alignment, const QFont& font,
                           QWidget* axis)
    : QLabel(text, axis)
{
    setAlignment(alignment | Qt::AlignTop);
    setFont(font);
    // Clicks go to the axis, which opens its properties dialog.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CZuAxisLabel::paintLabel(QPainter& painter) const
{
    if (isHidden())
        return;
    painter.save();
    painter.setFont(font());
    renderText(painter, geometry());
    painter.restore();
}

void CZuAxisLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    renderText(painter, rect());
}

void CZuAxisLabel::renderText(QPainter& painter, const QRect& rect) const
{
    painter.setPen(Qt::black);
    Qt::Alignment h = alignment() & Qt::AlignHorizontal_Mask;
    // Labels are as wide as the widest number; a longer text must not be
    // cut, so draw without clipping around the aligned edge.
    painter.drawText(rect, int(h | Qt::AlignTop | Qt::TextDontClip), text());
}

CZuVertLabel::CZuVertLabel(const QString& text, const QFont& font, QWidget* axis)
    : CZuAxisLabel(text, Qt::AlignHCenter, font, axis)
{
}

void CZuVertLabel::renderText(QPainter& painter, const QRect& rect) const
{
    painter.setPen(Qt::black);
    painter.translate(rect.left() + 2, rect.top() + rect.height() / 2);
    painter.rotate(-90);
    const int span = 4 * rect.height() + 200;
    painter.drawText(QRect(-span / 2, 0, span, rect.width() + 200),
                     int(Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip), text());
}

} // namespace nosk
