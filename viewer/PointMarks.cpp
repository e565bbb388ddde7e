#include "PointMarks.h"

#include "CZuGraph.h"
#include "CZuPlot.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>
#include <memory>

namespace nosk {

namespace {
constexpr std::uint32_t kMarkRed = 0x0000FF;  // colour refs: red in the low byte
}

CPointMarkTrace::CPointMarkTrace(const double* x, const double* y, int count, CZuGraph* graph)
    : CZuXYTrace(x, y, count, 0, kMarkRed, graph)
{
    setName(QStringLiteral("Points apart"));
}

void CPointMarkTrace::Draw(QPainter& painter, const AxisScale& xs, const AxisScale& ys, bool /*printing*/) const
{
    const AxisMapper mx(xs), my(ys);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor red = ColorFromRef(color());
    painter.setPen(QPen(red, 2));
    painter.setBrush(Qt::NoBrush);
    painter.setFont(graph()->graphFont());
    const QFontMetrics metrics(painter.font());
    const int radius = std::max(6, metrics.height() / 2);
    for (int i = 0; i < count(); ++i) {
        if (!mx.canMap(X(i)) || !my.canMap(Y(i)))
            continue;
        const QPoint at(mx.map(X(i)), my.map(Y(i)));
        painter.drawEllipse(at, radius, radius);
        const QString label = QString::number(X(i), 'g', 3) + QStringLiteral(" Hz");
        painter.drawText(at + QPoint(radius + 2, -radius), label);
    }
    painter.restore();
}

void pointMarkPlaces(const std::vector<kk::Outlier>& points, const std::vector<double>& f,
                     const std::vector<const std::vector<double>*>& series, std::vector<double>& x,
                     std::vector<double>& y)
{
    x.clear();
    y.clear();
    for (const kk::Outlier& p : points) {
        if (!(p.frequencyHz > 0))
            continue;
        std::size_t best = f.size();
        double nearest = 1e-6;  // the table writes nine digits
        for (std::size_t i = 0; i < f.size(); ++i) {
            const double d = f[i] > 0 ? std::abs(std::log(f[i] / p.frequencyHz)) : INFINITY;
            if (d <= nearest) {
                nearest = d;
                best = i;
            }
        }
        if (best == f.size())
            continue;
        double value = 0;
        bool found = false;
        for (const std::vector<double>* s : series) {
            if (s && best < s->size() && std::isfinite((*s)[best]) && (!found || std::abs((*s)[best]) > std::abs(value))) {
                value = (*s)[best];
                found = true;
            }
        }
        if (!found)
            continue;
        x.push_back(f[best]);
        y.push_back(value);
    }
}

void addPointMarks(CZuGraph& graph, const std::vector<double>& x, const std::vector<double>& y)
{
    if (x.empty() || !graph.plot())
        return;
    graph.plot()->traces().push_back(
        std::make_unique<CPointMarkTrace>(x.data(), y.data(), static_cast<int>(x.size()), &graph));
}

} // namespace nosk
