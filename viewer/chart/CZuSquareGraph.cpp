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
    const GraphLayout L = ComputeGraphLayout(cs.width(), cs.height(), AxisY()->Measure(),
                                             AxisX()->Measure());
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
    AxisX()->AutoScale() = 1;
    AxisY()->AutoScale() = 1;
    CZuGraph::UpdateRanges();
    const SquareRanges r = SquareRange(AxisX()->RangeMin(), AxisX()->RangeMax(),
                                       AxisY()->RangeMin(), AxisY()->RangeMax());
    AxisX()->AutoScale() = 0;
    AxisY()->AutoScale() = 0;
    AxisX()->SetRange(r.xMin, r.xMax);
    AxisY()->SetRange(r.yMin, r.yMax);
    if (wasShown)
        show();
}

} // namespace nosk
