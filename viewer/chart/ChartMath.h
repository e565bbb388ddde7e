#pragma once

// The arithmetic of the chart control: ticks, ranges, number labels, value
// to pixel mapping, label rectangles and the graph's layout. Nothing here
// knows a widget; the axes, the plot and the graph call these functions and
// the tests check them with plain numbers.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace nosk {

// A rectangle with exclusive right and bottom edges, as the layout rules
// give them (left, top, right, bottom).
struct ChartRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool intersects(const ChartRect& o) const;
    bool operator==(const ChartRect&) const = default;
};

// Keeps k decimals of the mantissa, truncating the rest: (3456, 2) gives
// 3450. Zero, negative and non-finite values are returned unchanged.
double TruncateSignificant(double x, int k);

// The axis number label: "%.3f" less one trailing zero for values of
// magnitude 0.01 to 999, otherwise "1.2e+04" with a signed two-digit exponent.
std::string FormatAxisNumber(double v);

// Makes a requested range usable: non-finite ends become 0 and 10, a
// reversed range is swapped, a linear range of zero width is widened to
// (v - 1, v + 1) or (v - |v|/10, v + |v|/10), and a logarithmic minimum that
// is not positive becomes max / 1e6 (1e-6 when max is not positive either).
void sanitizeRange(double& min, double& max, bool logScale);

struct TickResult {
    double min = 0;               // the rounded range
    double max = 0;
    std::vector<double> ticks;    // interior ticks, ascending
};

// Tick computation: linear with the step-factor search (0.2, 0.25, 0.5, 1 of
// each decade, from the coarsest decade down, first with 3 to 5 interior
// ticks), or logarithmic with one tick per interior decade. The request is
// sanitised first.
TickResult computeTicks(double min, double max, bool logScale);

// Ticks plus the range policy: with neither auto nor log scale the axis shows
// exactly the (sanitised) requested range, with the ticks of the rounded one.
TickResult rebuildRange(double min, double max, bool autoScale, bool logScale);

enum class AxisOrientation { Horizontal, Vertical };

// The mapping of one axis from values to pixel offsets. Horizontal: offset
// from the left end to the right. Vertical: offset from the top end downward
// (the maximum maps to 0, the minimum to the axis length).
struct AxisScale {
    AxisOrientation orientation = AxisOrientation::Horizontal;
    bool logScale = false;
    double min = 0;
    double max = 100;
    int maxEnd = 100;   // offset of the range maximum in the axis window
    int minEnd = 0;     // offset of the range minimum in the axis window

    // The offset, truncated toward zero; far-away values are clamped so the
    // result always fits an int. Values that cannot be mapped (not finite,
    // or not positive on a logarithmic axis) give 0.
    int MapValue(double v) const;
    // False when v cannot be mapped; such points are not drawn.
    bool canMap(double v) const;
};

// AxisScale's mapping with the logarithms of the range taken once, for
// mapping many points; gives exactly AxisScale::MapValue.
class AxisMapper {
public:
    explicit AxisMapper(const AxisScale& s);
    bool canMap(double v) const
    {
        return m_valid && std::isfinite(v) && (!m_log || v > 0);
    }
    int map(double v) const
    {
        const double q = m_log ? (std::log10(v) - m_lo) / m_span : (v - m_lo) / m_span;
        double x = m_length * q;
        x = x < -1e7 ? -1e7 : (x > 1e7 ? 1e7 : x);
        return static_cast<int>(x) + m_add;
    }

private:
    bool m_valid = false;
    bool m_log = false;
    double m_lo = 0;
    double m_span = 1;
    double m_length = 0;
    int m_add = 0;
};

// Label measurements of one axis, from its font: W and H of the sample text.
struct AxisMetrics {
    AxisOrientation orientation = AxisOrientation::Horizontal;
    int labelWidth = 0;   // W
    int labelHeight = 0;  // H
};

// The axis window rectangle in its parent and its end offsets. Vertical:
// a = axis column, from = top row (maximum), to = bottom row (minimum).
// Horizontal: a = axis row, from = left column (minimum), to = right column
// (maximum).
struct AxisPlacement {
    ChartRect rect;
    int maxEnd = 0;
    int minEnd = 0;
};
AxisPlacement placeAxis(const AxisMetrics& m, int a, int from, int to);

// Label rectangles in the axis window (client width R, client height B).
ChartRect axisTitleRect(const AxisMetrics& m, int R, int B);
ChartRect axisMaxLabelRect(const AxisMetrics& m, int R);
ChartRect axisMinLabelRect(const AxisMetrics& m, int R, int minEnd);
ChartRect axisTickLabelRect(const AxisMetrics& m, const AxisScale& s, int R, double v);

// Overlap suppression over min label, tick labels (ascending), max label:
// an entry that intersects the last visible one is hidden. Returns the
// visibility of each entry of the list.
std::vector<bool> suppressOverlaps(const std::vector<ChartRect>& labels);

// The graph's layout inside its client area CW x CH.
struct GraphLayout {
    int d = 0;    // column of the vertical axis line = left end of the horizontal axis
    int t = 0;    // row of the vertical axis's top end
    int e = 0;    // row of the horizontal axis line = bottom end of the vertical axis
    int xr = 0;   // right end of the horizontal axis
    AxisPlacement axisY;
    AxisPlacement axisX;
    ChartRect plot;
};
GraphLayout computeGraphLayout(int CW, int CH, const AxisMetrics& vertical,
                               const AxisMetrics& horizontal);

// The 15 x 15 slots of the corner buttons, slot 0 at the left.
ChartRect buttonSlot(int CH, int slot);

// The square graph: both axes get the larger of the two widths, each from
// its own minimum.
struct SquareRanges {
    double xMin, xMax, yMin, yMax;
};
SquareRanges squareRange(double xMin, double xMax, double yMin, double yMax);

// Printing one graph: the largest whole scale that fits the printer page,
// left-aligned and centred vertically. Empty when the page is too small.
ChartRect printTargetRect(int CW, int CH, int pageWidth, int pageHeight);

// Trace style bits and the eight named styles the user chooses from.
enum TraceStyle : int {
    StyleLine = 1,
    StyleDot = 2,
    StyleDash = 4,
    StyleCross = 8,
};
struct NamedStyle {
    const char* name;
    int value;
};
const std::vector<NamedStyle>& namedTraceStyles();
// Index into namedTraceStyles(), or -1 for a style that is none of them.
int namedStyleIndex(int style);

// Graph notifications to the owner.
constexpr int kGraphResizedNotification = 3024;
constexpr int kGraphCloseNotification = 3025;
// The legend dialog's result when "Print graph..." was pressed.
constexpr int kLegendPrintResult = 10001;
constexpr int kLegendHelpContext = 10024;

} // namespace nosk

namespace nosk {

// Trace colours are stored as the options file keeps them: red in the low
// byte (255 is red, 0xFF0000 is blue). The prompt's colour chooser speaks
// 0xRRGGBB; these swap between the two.
constexpr std::uint32_t colorRefToRgb(std::uint32_t ref)
{
    return ((ref & 0xFFu) << 16) | (ref & 0xFF00u) | ((ref >> 16) & 0xFFu);
}
constexpr std::uint32_t rgbToColorRef(std::uint32_t rgb)
{
    return colorRefToRgb(rgb);
}

} // namespace nosk
