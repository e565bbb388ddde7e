#include "CZuColorBox.h"

#include "ChartMath.h"
#include "CZuTrace.h"
#include "core/Prompt.h"

#include <QMouseEvent>
#include <QPainter>

namespace nosk {

CZuColorBox::CZuColorBox(std::uint32_t color, Prompt* prompt, QWidget* parent)
    : QFrame(parent), m_color(color), m_prompt(prompt)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setCursor(Qt::PointingHandCursor);
}

void CZuColorBox::setColor(std::uint32_t color)
{
    m_color = color;
    repaint();
}

void CZuColorBox::chooseColor()
{
    if (!m_prompt)
        return;
    if (auto chosen = m_prompt->chooseColor(colorRefToRgb(m_color)))
        setColor(rgbToColorRef(*chosen));
}

void CZuColorBox::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), ColorFromRef(m_color));
    }
    QFrame::paintEvent(event);
}

void CZuColorBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        chooseColor();
        return;
    }
    QFrame::mousePressEvent(event);
}

} // namespace nosk
