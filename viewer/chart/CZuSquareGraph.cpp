#include "CZuSquareGraph.h"

#include "CZuAxis.h"

namespace nosk {

CZuSquareGraph::CZuSquareGraph(QWidget* parent) : CZuGraph(parent)
{
}

bool CZuSquareGraph::Create(const QRect& rect, QWidget* parent, int id, int style,
                            int showSizeButtons)
{
    // The plot size that an ordinary graph of this rectangle would get.
    const QSize cs = clientSizeFor(rect.size());
    const GraphLayout L = computeGraphLayout(cs.width(), cs.height(), axisY()->measure(),
                                             axisX()->measure());
    const int PW = L.plot.width();
    const int PH = L.plot.height();
    QRect square = rect;
    square.setRight(rect.right() + (PH - PW));
    return CZuGraph::Create(square, parent, id, style, showSizeButtons);
}

void CZuSquareGraph::UpdateRanges()
{
    const bool wasShown = !isHidden();
    hide();
    axisX()->autoScale() = 1;
    axisY()->autoScale() = 1;
    CZuGraph::UpdateRanges();
    const SquareRanges r = squareRange(axisX()->rangeMin(), axisX()->rangeMax(),
                                       axisY()->rangeMin(), axisY()->rangeMax());
    axisX()->autoScale() = 0;
    axisY()->autoScale() = 0;
    axisX()->SetRange(r.xMin, r.xMax);
    axisY()->SetRange(r.yMin, r.yMax);
    if (wasShown)
        show();
}

} // namespace nosk
