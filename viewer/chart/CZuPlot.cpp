#include "CZuPlot.h"

#include "CZuAxis.h"
#include "CZuGraph.h"
#include "CZuTrace.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace nosk {

CZuPlot::CZuPlot(CZuGraph* graph, QWidget* parent) : QWidget(parent), m_graph(graph)
{
    hide();
}

CZuPlot::~CZuPlot() = default;

TraceExtremes CZuPlot::extremes() const
{
    TraceExtremes e;
    bool hasX = false;
    bool hasY = false;
    for (const auto& t : m_traces) {
        const double minX = t->MinX();
        const double maxX = t->MaxX();
        const double minY = t->MinY();
        const double maxY = t->MaxY();
        if (std::isfinite(minX) && std::isfinite(maxX)) {
            e.minX = hasX ? std::min(e.minX, minX) : minX;
            e.maxX = hasX ? std::max(e.maxX, maxX) : maxX;
            hasX = true;
        }
        if (std::isfinite(minY) && std::isfinite(maxY)) {
            e.minY = hasY ? std::min(e.minY, minY) : minY;
            e.maxY = hasY ? std::max(e.maxY, maxY) : maxY;
            hasY = true;
        }
    }
    return e;
}

void CZuPlot::Draw(QPainter& painter, bool printing) const
{
    const CZuAxis* ax = m_graph->axisX();
    const CZuAxis* ay = m_graph->axisY();
    const int w = width();
    const int h = height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(220, 220, 220), 0));
    for (double v : ax->tickValues()) {
        const int x = ax->MapValue(v);
        painter.drawLine(x, 0, x, h - 1);
    }
    for (double v : ay->tickValues()) {
        const int y = ay->MapValue(v);
        painter.drawLine(0, y, w - 1, y);
    }
    if (printing) {
        // The axes draw the left and bottom borders.
        painter.setPen(QPen(Qt::black, 1));
        const QPoint border[] = {{0, 0}, {w - 1, 0}, {w - 1, h - 1}};
        painter.drawPolyline(border, 3);
    }
    // Dotted traces first, so solid ones cover them where they cross.
    for (const auto& t : m_traces)
        if (t->style() & StyleDash)
            t->Draw(painter, ax->scale(), ay->scale(), printing);
    for (const auto& t : m_traces)
        if (!(t->style() & StyleDash))
            t->Draw(painter, ax->scale(), ay->scale(), printing);
    painter.restore();
}

void CZuPlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Draw(painter, false);
}

void CZuPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        m_graph->openTraceDialog();
        return;
    }
    QWidget::mousePressEvent(event);
}

} // namespace nosk
