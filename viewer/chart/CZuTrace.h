#pragma once

#include "ChartMath.h"

#include <QColor>

#include <QPoint>
#include <QString>

#include <cstdint>
#include <vector>

class QPainter;

namespace nosk {

class CZuGraph;

// Trace colours are kept with red in the low byte (255 red, 0xFF0000 blue).
inline QColor ColorFromRef(std::uint32_t ref)
{
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}
inline std::uint32_t ColorRefFrom(const QColor& c)
{
    return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8)
        | (std::uint32_t(c.blue()) << 16);
}

// The points of a polyline with the same pixels as the original one drawn
// with a one-pixel pen: each run of consecutive points in one pixel column
// becomes its first point, its lowest and highest point (in the order the
// run reaches them) and its last point; repeats of a point go. A trace of
// 100 000 points then draws a few per pixel column, on screen, in images
// and in printed pictures alike.
std::vector<QPoint> DecimatePolyline(const std::vector<QPoint>& points);

// One data series of a graph: style bits (TraceStyle), colour and point
// count. The values come from X(i) and Y(i); the base class answers 0.
class CZuTrace {
public:
    CZuTrace(int style, std::uint32_t color, int count, CZuGraph* graph);
    virtual ~CZuTrace();

    virtual double MaxX() const { return 0; }
    virtual double MinX() const { return 0; }
    virtual double MaxY() const { return 0; }
    virtual double MinY() const { return 0; }
    virtual double X(int) const { return 0; }
    virtual double Y(int) const { return 0; }
    // Markers at every point (square, or else cross), then the line, solid
    // or dotted. Points that cannot be mapped (not finite, or not positive
    // on a logarithmic axis) are not drawn and break the line.
    virtual void Draw(QPainter& painter, const AxisScale& x, const AxisScale& y,
                      bool printing) const;

    int style() const { return m_style; }
    void setStyle(int style) { m_style = style; }
    std::uint32_t color() const { return m_color; }
    void setColor(std::uint32_t color) { m_color = color; }
    int count() const { return m_count; }
    CZuGraph* graph() const { return m_graph; }
    // What the trace shows ("Input data", "Fitting result"), for the trace
    // dialog; empty: "Trace n", counted from 1.
    const QString& name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    // The line's width in pixels (1 unless a page widens it, so that a
    // dotted trace running along it stays in sight).
    int lineWidth() const { return m_lineWidth; }
    void setLineWidth(int width) { m_lineWidth = width < 1 ? 1 : width; }

private:
    int m_style;
    std::uint32_t m_color;
    int m_count;
    CZuGraph* m_graph;
    QString m_name;
    int m_lineWidth = 1;
};

// A trace over two arrays that the owner keeps alive as long as the graph;
// the trace never copies them. The extremes skip values that are not finite
// and are NaN when no value is.
class CZuXYTrace : public CZuTrace {
public:
    CZuXYTrace(const double* x, const double* y, int count, int style, std::uint32_t color,
               CZuGraph* graph);

    double MaxX() const override;
    double MinX() const override;
    double MaxY() const override;
    double MinY() const override;
    double X(int i) const override { return m_x[i]; }
    double Y(int i) const override { return m_y[i]; }

    const double* xData() const { return m_x; }
    const double* yData() const { return m_y; }

private:
    const double* m_x;
    const double* m_y;
};

} // namespace nosk
