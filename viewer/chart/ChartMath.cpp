#include "ChartMath.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nosk {

bool ChartRect::intersects(const ChartRect& o) const
{
    return std::max(left, o.left) < std::min(right, o.right)
        && std::max(top, o.top) < std::min(bottom, o.bottom);
}

double TruncateSignificant(double x, int k)
{
    if (!(x > 0) || !std::isfinite(x))
        return x;
    const double L = std::log10(x);
    const double F = std::floor(L);
    const double M = std::pow(10.0, L - F);
    const double scale = std::pow(10.0, k);
    return std::floor(M * scale) / scale * std::pow(10.0, F);
}

std::string FormatAxisNumber(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    const double a = std::fabs(v);
    // Zero has no decade: a plain 0 sits well among decimals and exponents.
    if (a == 0)
        return "0";
    const int e = static_cast<int>(std::floor(std::log10(a)));
    char buf[64];
    if (e > -3 && e < 3) {
        std::snprintf(buf, sizeof buf, "%.3f", v);
        std::string s(buf);
        if (!s.empty() && s.back() == '0')
            s.pop_back();
        return s;
    }
    std::snprintf(buf, sizeof buf, "%.1e", v);
    std::string mantissa(buf);
    int exponent = 0;
    if (auto pos = mantissa.find('e'); pos != std::string::npos) {
        exponent = std::atoi(mantissa.c_str() + pos + 1);
        mantissa.resize(pos);
    }
    std::snprintf(buf, sizeof buf, "%se%+.02i", mantissa.c_str(), exponent);
    return buf;
}

void sanitizeRange(double& min, double& max, bool logScale)
{
    if (!std::isfinite(min))
        min = 0;
    if (!std::isfinite(max))
        max = 10;
    if (max < min)
        std::swap(min, max);
    if (logScale) {
        if (!(min > 0))
            min = max > 0 ? max / 1e6 : 1e-6;
        if (max < min)
            max = min * 10;
        return;
    }
    if (max == min) {
        const double v = min;
        const double half = v == 0 ? 1.0 : std::fabs(v) / 10;
        min = v - half;
        max = v + half;
    }
}

namespace {

TickResult linearTicks(double min, double max)
{
    TickResult r{min, max, {}};
    const double width = max - min;
    if (!(width > 0) || !std::isfinite(width))
        return r;
    int m = static_cast<int>(std::ceil(std::log10(width)));
    const int stop = std::max(m - 10, -307);
    static constexpr double factors[] = {0.2, 0.25, 0.5, 1.0};
    for (; m > stop; --m) {
        for (double f : factors) {
            const double step = std::pow(10.0, m) * f;
            const double lo = std::floor(min / step);
            const double hi = std::ceil(max / step);
            const double n = hi - lo - 1;
            if (n >= 3 && n <= 5) {
                // + 0.0 turns -0 into 0, which would read "-0.0e+00".
                r.min = lo * step + 0.0;
                r.max = hi * step + 0.0;
                for (int k = 1; k <= static_cast<int>(n); ++k) {
                    double t = k * step + r.min;
                    // k * step + min leaves rounding noise where the tick is
                    // zero; the user should read 0, not 5.6e-17.
                    if (std::fabs(t) < step * 1e-9)
                        t = 0;
                    r.ticks.push_back(t);
                }
                return r;
            }
        }
    }
    // No step fits (a width far below the precision of the values): the
    // requested range without interior ticks.
    return r;
}

TickResult logTicks(double min, double max)
{
    TickResult r;
    const double t = TruncateSignificant(max, 2);
    int c = static_cast<int>(std::floor(std::log10(min)));
    c = std::clamp(c, -307, 307);
    int d = static_cast<int>(std::ceil(std::log10(t)));
    d = std::min(d, 308);
    if (d <= c)
        d = c + 1;
    r.min = std::pow(10.0, c);
    r.max = std::pow(10.0, d);
    for (int k = 1; k <= d - c - 1; ++k)
        r.ticks.push_back(std::pow(10.0, c + k));
    return r;
}

} // namespace

TickResult computeTicks(double min, double max, bool logScale)
{
    sanitizeRange(min, max, logScale);
    return logScale ? logTicks(min, max) : linearTicks(min, max);
}

TickResult rebuildRange(double min, double max, bool autoScale, bool logScale)
{
    TickResult r = computeTicks(min, max, logScale);
    if (!autoScale) {
        // The user's own limits, on a log axis too: the decades between them
        // are the ticks.
        sanitizeRange(min, max, logScale);
        r.min = min;
        r.max = max;
        if (logScale) {
            r.ticks.clear();
            const int from = std::clamp(static_cast<int>(std::ceil(std::log10(min))), -307, 308);
            const int to = std::clamp(static_cast<int>(std::floor(std::log10(max))), -307, 308);
            for (int k = from; k <= to; ++k)
                if (const double t = std::pow(10.0, k); t > min && t < max)
                    r.ticks.push_back(t);
        }
    }
    return r;
}

AxisMapper::AxisMapper(const AxisScale& s)
{
    m_log = s.logScale;
    if (m_log) {
        m_valid = s.min > 0 && s.max > s.min && std::isfinite(s.max);
        if (m_valid) {
            m_lo = std::log10(s.min);
            m_span = std::log10(s.max) - m_lo;
        }
    } else {
        m_valid = s.max != s.min && std::isfinite(s.min) && std::isfinite(s.max);
        m_lo = s.min;
        m_span = s.max - s.min;
    }
    if (!(m_span != 0))
        m_valid = false;
    m_length = s.maxEnd - s.minEnd;
    // The vertical offset is measured down from the top end.
    m_add = s.orientation == AxisOrientation::Vertical ? s.minEnd - s.maxEnd : 0;
}

bool AxisScale::canMap(double v) const
{
    return AxisMapper(*this).canMap(v);
}

int AxisScale::MapValue(double v) const
{
    const AxisMapper m(*this);
    return m.canMap(v) ? m.map(v) : 0;
}

AxisPlacement placeAxis(const AxisMetrics& m, int a, int from, int to)
{
    const int W = m.labelWidth;
    const int H = m.labelHeight;
    AxisPlacement p;
    if (m.orientation == AxisOrientation::Vertical) {
        // title strip 18, title gap 0, label gap 4, tick length 4
        p.rect = {a - (18 + 0 + 4 + 4 + W), from - H / 2, a + 1, to + (H - H / 2) + 1};
        p.maxEnd = from - p.rect.top;
        p.minEnd = to - p.rect.top;
    } else {
        // label height, title gap 1, label gap 4, tick length 4, title strip H
        p.rect = {from - W / 2, a, to + (W - W / 2) + 1, a + (H + 1 + 4 + 4 + H) + 1};
        p.maxEnd = to - p.rect.left;
        p.minEnd = from - p.rect.left;
    }
    return p;
}

ChartRect axisTitleRect(const AxisMetrics& m, int R, int B)
{
    if (m.orientation == AxisOrientation::Vertical)
        return {0, 1, 18, B - 1};
    return {1, B - 1 - m.labelHeight, R - 1, B - 1};
}

ChartRect axisMaxLabelRect(const AxisMetrics& m, int R)
{
    const int W = m.labelWidth;
    const int H = m.labelHeight;
    if (m.orientation == AxisOrientation::Vertical)
        return {R - 8 - W, 0, R - 8, H};
    return {R - W, 8, R, 8 + H};
}

ChartRect axisMinLabelRect(const AxisMetrics& m, int R, int minEnd)
{
    const int W = m.labelWidth;
    const int H = m.labelHeight;
    if (m.orientation == AxisOrientation::Vertical) {
        const int top = minEnd - H / 2;
        return {R - 8 - W, top, R - 8, top + H};
    }
    return {0, 8, W, 8 + H};
}

ChartRect axisTickLabelRect(const AxisMetrics& m, const AxisScale& s, int R, double v)
{
    const int W = m.labelWidth;
    const int H = m.labelHeight;
    if (m.orientation == AxisOrientation::Vertical) {
        const int y = s.maxEnd + s.MapValue(v) - H / 2;
        return {R - 8 - W, y, R - 8, y + H};
    }
    const int x = s.minEnd + s.MapValue(v) - W / 2;
    return {x, 8, x + W, 8 + H};
}

std::vector<bool> suppressOverlaps(const std::vector<ChartRect>& labels)
{
    std::vector<bool> visible(labels.size(), false);
    if (labels.empty())
        return visible;
    visible[0] = true;
    size_t last = 0;
    for (size_t i = 1; i < labels.size(); ++i) {
        if (labels[i].intersects(labels[last]))
            continue;
        visible[i] = true;
        last = i;
    }
    return visible;
}

GraphLayout computeGraphLayout(int CW, int CH, const AxisMetrics& vertical,
                               const AxisMetrics& horizontal)
{
    GraphLayout g;
    const int H = vertical.labelHeight;
    const int Wh = horizontal.labelWidth;
    g.d = 18 + 4 + 4 + vertical.labelWidth;
    g.t = H / 2;
    g.xr = CW - (Wh - Wh / 2) - 1;
    g.e = CH - (2 * H + 10);
    g.axisY = placeAxis(vertical, g.d, g.t, g.e);
    g.axisX = placeAxis(horizontal, g.e, g.d, g.xr);
    g.plot = {g.d, g.t, g.xr + 1, g.e};
    return g;
}

ChartRect buttonSlot(int CH, int slot)
{
    return {2 + 15 * slot, CH - 17, 17 + 15 * slot, CH - 2};
}

SquareRanges squareRange(double xMin, double xMax, double yMin, double yMax)
{
    const double span = std::max(xMax - xMin, yMax - yMin);
    return {xMin, xMin + span, yMin, yMin + span};
}

ChartRect printTargetRect(int CW, int CH, int pageWidth, int pageHeight)
{
    if (CW <= 0 || CH <= 0)
        return {};
    const int s = std::min(pageWidth / CW, pageHeight / CH);
    const int top = (pageHeight - CH * s) / 2;
    return {0, top, CW * s, top + CH * s};
}

const std::vector<NamedStyle>& namedTraceStyles()
{
    static const std::vector<NamedStyle> styles = {
        {"Line", 1}, {"Dot", 2}, {"Line+Dot", 3}, {"Dash", 5},
        {"Dash+Dot", 7}, {"Cross", 8}, {"Line+Cross", 9}, {"Dash+Cross", 13},
    };
    return styles;
}

int namedStyleIndex(int style)
{
    const auto& styles = namedTraceStyles();
    for (size_t i = 0; i < styles.size(); ++i)
        if (styles[i].value == style)
            return static_cast<int>(i);
    return -1;
}

} // namespace nosk
