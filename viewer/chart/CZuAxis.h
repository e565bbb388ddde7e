#pragma once

#include "ChartMath.h"

#include <QWidget>

#include <vector>

class QPainter;

namespace nosk {

class CZuAxisLabel;
class CZuGraph;

// One axis of a graph: its range and scale type, the interior ticks, the
// number labels and the title (child label windows), and the drawing of the
// axis line and tick marks. It is the only place where a value becomes a
// pixel position.
class CZuAxis : public QWidget {
    Q_OBJECT
public:
    CZuAxis(AxisOrientation orientation, CZuGraph* graph, QWidget* parent);
    ~CZuAxis() override;

    // Re-creates the title (with its default text) and the end labels, then
    // rebuilds the ticks for (min, max) and repaints.
    virtual void SetRange(double min, double max);
    // Destroys the end labels, the title and every tick label.
    virtual void Clear();
    // The graph's data range along this axis (0 and 10 without traces).
    virtual double GetDataMin() const;
    virtual double GetDataMax() const;
    CZuAxisLabel* GetTitleWindow() const { return m_title; }
    // Draws the axis line and ticks; with printing set (pictures and the
    // printer) also the label texts, which are widgets on screen.
    virtual void Draw(QPainter& painter, bool printing) const;
    // Ticks, range policy and labels for a requested range.
    virtual void Rebuild(double min, double max);

    // Vertical: a = axis column, from = top row, to = bottom row.
    // Horizontal: a = axis row, from = left column, to = right column.
    // Coordinates are those of the graph's client area.
    void Create(int a, int from, int to);
    AxisPlacement PlaceRect(int a, int from, int to) const;

    int MapValue(double v) const { return m_scale.MapValue(v); }
    bool canMap(double v) const { return m_scale.canMap(v); }
    void FormatAxisNumber(CZuAxisLabel* label, double v) const;

    // Flags and the manual range, read and set by the owner before
    // UpdateRanges and by the axis properties dialog.
    int& autoScale() { return m_autoScale; }
    int& logScale() { return m_logScale; }
    int autoScale() const { return m_autoScale; }
    int logScale() const { return m_logScale; }
    double& rangeMin() { return m_rangeMin; }
    double& rangeMax() { return m_rangeMax; }
    double rangeMin() const { return m_rangeMin; }
    double rangeMax() const { return m_rangeMax; }

    AxisOrientation orientation() const { return m_metrics.orientation; }
    const AxisScale& scale() const { return m_scale; }
    const AxisMetrics& metrics() const { return m_metrics; }
    const std::vector<double>& tickValues() const { return m_ticks; }
    const std::vector<CZuAxisLabel*>& tickLabels() const { return m_tickLabels; }
    CZuAxisLabel* minLabel() const { return m_minLabel; }
    CZuAxisLabel* maxLabel() const { return m_maxLabel; }
    // Label width and height measured from the graph font.
    AxisMetrics measure() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    CZuGraph* graph() const { return m_graph; }

private:
    void layoutLabels();
    void deleteTickLabels();
    QRect toQRect(const ChartRect& r) const;

    int m_autoScale = 1;
    int m_logScale = 0;
    double m_rangeMax = 0;
    double m_rangeMin = 0;

    CZuGraph* m_graph;
    AxisMetrics m_metrics;
    AxisScale m_scale;

    CZuAxisLabel* m_minLabel = nullptr;
    CZuAxisLabel* m_maxLabel = nullptr;
    CZuAxisLabel* m_title = nullptr;
    std::vector<double> m_ticks;
    std::vector<CZuAxisLabel*> m_tickLabels;
};

// The horizontal axis along the bottom of the plot area.
class CZuAxisX : public CZuAxis {
    Q_OBJECT
public:
    CZuAxisX(CZuGraph* graph, QWidget* parent);
    double GetDataMin() const override;
    // The largest x, truncated to three significant digits.
    double GetDataMax() const override;
};

// The vertical axis along the left of the plot area.
class CZuAxisY : public CZuAxis {
    Q_OBJECT
public:
    CZuAxisY(CZuGraph* graph, QWidget* parent);
    double GetDataMin() const override;
    double GetDataMax() const override;
};

} // namespace nosk
