#pragma once

#include <QWidget>

#include <memory>
#include <vector>

class QPainter;

namespace nosk {

class CZuGraph;
class CZuTrace;

// The extremes of all traces; 0 and 10 where no trace has a finite value.
struct TraceExtremes {
    double minX = 0;
    double maxX = 10;
    double minY = 0;
    double maxY = 10;
};

// The plot area of a graph: grid lines and traces. It owns the trace list.
class CZuPlot : public QWidget {
    Q_OBJECT
public:
    using TraceList = std::vector<std::unique_ptr<CZuTrace>>;

    CZuPlot(CZuGraph* graph, QWidget* parent);
    ~CZuPlot() override;

    // Grid lines at the interior ticks, with printing the top and right
    // border, then the dotted traces and then the others, in list order.
    void Draw(QPainter& painter, bool printing) const;

    TraceList& traces() { return m_traces; }
    const TraceList& traces() const { return m_traces; }
    TraceExtremes extremes() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    CZuGraph* m_graph;
    TraceList m_traces;
};

} // namespace nosk
