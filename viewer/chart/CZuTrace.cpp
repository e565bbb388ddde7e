#include "CZuTrace.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

#include <cmath>
#include <limits>
#include <vector>

namespace nosk {

CZuTrace::CZuTrace(int style, std::uint32_t color, int count, CZuGraph* graph)
    : m_style(style), m_color(color), m_count(count < 0 ? 0 : count), m_graph(graph)
{
}

CZuTrace::~CZuTrace() = default;

namespace {

// One pixel of a marker relative to its point: 1 = trace colour, 2 = white.
struct MarkerPixel {
    int dx, dy;
    std::uint8_t value;
};

std::vector<MarkerPixel> markerPixels(int style, bool printing)
{
    std::vector<MarkerPixel> px;
    if (style & StyleDot) {
        // A 3 x 3 square outlined in the trace colour around a white centre.
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                px.push_back({dx, dy, std::uint8_t(dx == 0 && dy == 0 ? 2 : 1)});
    } else if (style & StyleCross) {
        // Two diagonals from (-c, -c) to (2, 2) and from (c, -c) to (-2, 2).
        const int c = printing ? 3 : 2;
        for (int k = -c; k <= 2; ++k)
            px.push_back({k, k, 1});
        for (int k = -c; k <= 2; ++k)
            px.push_back({-k, k, 1});
    }
    return px;
}

// Markers of many points overlap; the picture is the one of drawing them one
// after another, so the last marker over a pixel decides its colour. Resolve
// that on a pixel mask first and paint the result as runs of rectangles:
// the same pixels at a fraction of the cost, on screen, in images and in
// pictures.
void drawMarkers(QPainter& painter, const std::vector<QPoint>& pts, const std::vector<char>& ok,
                 const std::vector<MarkerPixel>& shape, const QColor& color, int W, int H)
{
    std::vector<std::uint8_t> mask(size_t(W) * size_t(H), 0);
    for (size_t i = pts.size(); i-- > 0;) {
        if (!ok[i])
            continue;
        const int px = pts[i].x();
        const int py = pts[i].y();
        if (px < -4 || py < -4 || px > W + 4 || py > H + 4)
            continue;
        for (const MarkerPixel& m : shape) {
            const int x = px + m.dx;
            const int y = py + m.dy;
            if (x < 0 || y < 0 || x >= W || y >= H)
                continue;
            std::uint8_t& cell = mask[size_t(y) * size_t(W) + size_t(x)];
            if (!cell)
                cell = m.value;
        }
    }
    // Runs of one value in a row; a run that repeats the one just above it
    // grows that rectangle instead (the squares of neighbouring points
    // give many such runs).
    std::vector<QRect> coloured;
    std::vector<QRect> white;
    struct Open {
        int x, end;
        std::uint8_t value;
        size_t rect;
    };
    std::vector<Open> above, here;
    for (int y = 0; y < H; ++y) {
        const std::uint8_t* row = mask.data() + size_t(y) * size_t(W);
        here.clear();
        size_t a = 0;
        int x = 0;
        while (x < W) {
            const std::uint8_t v = row[x];
            int end = x + 1;
            while (end < W && row[end] == v)
                ++end;
            if (v != 0) {
                std::vector<QRect>& rects = v == 1 ? coloured : white;
                while (a < above.size() && above[a].x < x)
                    ++a;
                if (a < above.size() && above[a].x == x && above[a].end == end && above[a].value == v) {
                    rects[above[a].rect].setBottom(y);
                    here.push_back({x, end, v, above[a].rect});
                } else {
                    rects.emplace_back(x, y, end - x, 1);
                    here.push_back({x, end, v, rects.size() - 1});
                }
            }
            x = end;
        }
        std::swap(above, here);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRects(coloured.data(), int(coloured.size()));
    painter.setBrush(Qt::white);
    painter.drawRects(white.data(), int(white.size()));
}

} // namespace

std::vector<QPoint> DecimatePolyline(const std::vector<QPoint>& points)
{
    std::vector<QPoint> out;
    out.reserve(std::min<size_t>(points.size(), 4096));
    auto push = [&out](const QPoint& p) {
        if (out.empty() || out.back() != p)
            out.push_back(p);
    };
    size_t i = 0;
    while (i < points.size()) {
        // The run of points in the column of point i.
        size_t end = i + 1;
        size_t lo = i, hi = i;
        while (end < points.size() && points[end].x() == points[i].x()) {
            if (points[end].y() < points[lo].y())
                lo = end;
            if (points[end].y() > points[hi].y())
                hi = end;
            ++end;
        }
        // A path through the run covers the column from its lowest to its
        // highest point: first, the extremes in path order, last cover the
        // same, and the segments to the neighbouring columns keep their ends.
        push(points[i]);
        push(points[std::min(lo, hi)]);
        push(points[std::max(lo, hi)]);
        push(points[end - 1]);
        i = end;
    }
    return out;
}

void CZuTrace::Draw(QPainter& painter, const AxisScale& xs, const AxisScale& ys,
                    bool printing) const
{
    const int n = m_count;
    if (n <= 0)
        return;
    // Map once; a point that cannot be mapped is not drawn.
    const AxisMapper mx(xs);
    const AxisMapper my(ys);
    std::vector<QPoint> pts(static_cast<size_t>(n));
    std::vector<char> ok(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double x = X(i);
        const double y = Y(i);
        ok[i] = mx.canMap(x) && my.canMap(y);
        if (ok[i])
            pts[i] = QPoint(mx.map(x), my.map(y));
    }

    const QColor color = ColorFromRef(m_color);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);

    const std::vector<MarkerPixel> shape = markerPixels(m_style, printing);
    if (!shape.empty()) {
        // The plot area: the horizontal axis's length by the vertical one's.
        const int W = std::abs(xs.maxEnd - xs.minEnd) + 2;
        const int H = std::abs(ys.minEnd - ys.maxEnd) + 2;
        if (W > 0 && H > 0 && double(W) * H <= 64.0 * 1024 * 1024)
            drawMarkers(painter, pts, ok, shape, color, W, H);
    }

    if (m_style & StyleLine) {
        painter.setBrush(Qt::NoBrush);
        if (m_style & StyleDash)
            painter.setPen(QPen(color, 1, Qt::DotLine, Qt::FlatCap, Qt::MiterJoin));
        else
            painter.setPen(QPen(color, m_lineWidth, Qt::SolidLine, m_lineWidth > 1 ? Qt::RoundCap : Qt::SquareCap,
                                m_lineWidth > 1 ? Qt::RoundJoin : Qt::MiterJoin));
        // Runs of drawable points, with what a pixel column cannot show
        // left out (a dotted line then keeps its dots along a shorter path).
        std::vector<QPoint> run;
        run.reserve(static_cast<size_t>(n));
        // The segments go as separate lines: a played picture is scaled
        // (twice the size in an image, many times on a printer), and Qt
        // strokes a scaled zigzag polyline as one outline, a hundred times
        // slower than its segments one by one, which look the same.
        std::vector<QLine> segments;
        auto flush = [&] {
            if (run.size() > 4)
                run = DecimatePolyline(run);
            segments.clear();
            for (size_t k = 1; k < run.size(); ++k)
                segments.emplace_back(run[k - 1], run[k]);
            if (!segments.empty())
                painter.drawLines(segments.data(), int(segments.size()));
            run.clear();
        };
        for (int i = 0; i < n; ++i) {
            if (!ok[i]) {
                flush();
                continue;
            }
            if (run.empty() || run.back() != pts[i])
                run.push_back(pts[i]);
        }
        flush();
    }
    painter.restore();
}

namespace {

template <typename Better>
double scan(const double* a, int n, Better better)
{
    double r = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < n; ++i) {
        const double v = a[i];
        if (!std::isfinite(v))
            continue;
        if (std::isnan(r) || better(v, r))
            r = v;
    }
    return r;
}

} // namespace

CZuXYTrace::CZuXYTrace(const double* x, const double* y, int count, int style,
                       std::uint32_t color, CZuGraph* graph)
    : CZuTrace(style, color, (x && y) ? count : 0, graph), m_x(x), m_y(y)
{
}

double CZuXYTrace::MaxX() const
{
    return scan(m_x, count(), [](double a, double b) { return a > b; });
}

double CZuXYTrace::MinX() const
{
    return scan(m_x, count(), [](double a, double b) { return a < b; });
}

double CZuXYTrace::MaxY() const
{
    return scan(m_y, count(), [](double a, double b) { return a > b; });
}

double CZuXYTrace::MinY() const
{
    return scan(m_y, count(), [](double a, double b) { return a < b; });
}

} // namespace nosk
