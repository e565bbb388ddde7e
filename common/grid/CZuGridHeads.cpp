#include "CZuGridHeads.h"

#include <QPaintEvent>
#include <QPainter>

namespace nosk {

CZuGridHead::CZuGridHead(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent)
    , m_orientation(orientation)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CZuGridHead::setup(int count, int length, int thickness, const QColor& color)
{
    m_titles.assign(static_cast<std::size_t>(std::max(count, 0)), QString());
    for (int i = 0; i < count; ++i)
        m_titles[static_cast<std::size_t>(i)] = m_orientation == Qt::Horizontal
            ? QStringLiteral("col %1 ").arg(i)
            : QStringLiteral("%1 ").arg(i);
    m_length = length;
    m_thickness = thickness;
    m_color = color;
    m_first = 0;
    update();
}

void CZuGridHead::setTitle(int index, const QString& title)
{
    if (index < 0 || index >= count())
        return;
    m_titles[static_cast<std::size_t>(index)] = title;
    update();
}

QString CZuGridHead::title(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return m_titles[static_cast<std::size_t>(index)];
}

void CZuGridHead::setFirst(int first)
{
    if (first == m_first)
        return;
    m_first = first;
    update();
}

void CZuGridHead::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    // The black background between the labels draws the grid lines.
    p.fillRect(event->rect(), Qt::black);
    p.setFont(font());
    p.setPen(Qt::black);
    int step = m_length + 1;
    if (step <= 0)
        return;
    int span = m_orientation == Qt::Horizontal ? width() : height();
    int visible = span / step + 1;
    for (int k = 0; k <= visible; ++k) {
        int index = m_first + k;
        if (index >= count())
            break;
        QRect r = m_orientation == Qt::Horizontal
            ? QRect(step * k + 1, 1, m_length, m_thickness - 1)
            : QRect(1, step * k + 1, m_thickness - 1, m_length);
        if (!r.intersects(event->rect()))
            continue;
        p.fillRect(r, m_color);
        p.drawText(r, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                   m_titles[static_cast<std::size_t>(index)]);
    }
}

} // namespace nosk
