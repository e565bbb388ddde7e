// The chart's arithmetic without widgets: ticks, ranges, number labels,
// mapping, label rectangles, layout, square ranges and print scale.
#include "ChartMath.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace nosk;

namespace {

void expectTicks(const TickResult& r, double min, double max, std::vector<double> ticks)
{
    EXPECT_DOUBLE_EQ(r.min, min);
    EXPECT_DOUBLE_EQ(r.max, max);
    ASSERT_EQ(r.ticks.size(), ticks.size());
    for (size_t i = 0; i < ticks.size(); ++i)
        EXPECT_REL_NEAR_FLOOR(r.ticks[i], ticks[i], 1e-12, 1.0)
            << "tick " << i;
}

std::vector<std::string> labels(const TickResult& r)
{
    std::vector<std::string> out{FormatAxisNumber(r.min)};
    for (double t : r.ticks)
        out.push_back(FormatAxisNumber(t));
    out.push_back(FormatAxisNumber(r.max));
    return out;
}

} // namespace

TEST(ChartTicks, LinearTable)
{
    const TickResult initial = rebuildRange(0, 100, true, false);
    expectTicks(initial, 0, 100, {20, 40, 60, 80});
    EXPECT_EQ(labels(initial),
              (std::vector<std::string>{"0", "20.00", "40.00", "60.00", "80.00", "100.00"}));

    expectTicks(rebuildRange(0, 7, true, false), 0, 8, {2, 4, 6});
    expectTicks(rebuildRange(-3.2, 17.9, true, false), -5, 20, {0, 5, 10, 15});
    // The 0.2 and 0.25 factors of the lower decade give 9 and 7 ticks;
    // 0.5 gives three, zero exactly in the middle.
    const TickResult sym = rebuildRange(-1, 1, true, false);
    expectTicks(sym, -1, 1, {-0.5, 0, 0.5});
    EXPECT_EQ(sym.ticks[1], 0.0);
}

TEST(ChartTicks, AllNegativeDataEndsAtPlainZero)
{
    // Phase angles below zero: the rounded maximum is 0, labelled without a sign.
    const TickResult r = rebuildRange(-70, -0.5, true, false);
    EXPECT_DOUBLE_EQ(r.min, -80);
    EXPECT_EQ(FormatAxisNumber(r.max), "0");
}

// The labels of one axis agree in form: zero, wherever a range puts it,
// is never an exponent among decimals.
TEST(ChartTicks, ZeroReadsAsZeroAmongDecimals)
{
    for (auto [lo, hi] : {std::pair{-70.0, -0.5}, {-3.2, 17.9}, {0.0, 7.0}, {-1.0, 1.0}, {-250.0, 250.0}}) {
        const std::vector<std::string> l = labels(rebuildRange(lo, hi, true, false));
        for (const std::string& s : l)
            EXPECT_EQ(s.find('e'), std::string::npos) << lo << " .. " << hi << ": " << s;
    }
}

// A log axis takes the user's limits; its ticks are the decades between.
TEST(ChartTicks, ManualLogKeepsRequestedRange)
{
    expectTicks(rebuildRange(2, 5000, false, true), 2, 5000, {10, 100, 1000});
    expectTicks(rebuildRange(10, 1000, false, true), 10, 1000, {100});
    // Auto scale rounds to whole decades as before.
    expectTicks(rebuildRange(2, 5000, true, true), 1, 10000, {10, 100, 1000});
}

TEST(ChartTicks, ManualLinearKeepsRequestedRange)
{
    const TickResult r = rebuildRange(0.5, 9.5, false, false);
    expectTicks(r, 0.5, 9.5, {2, 4, 6, 8});
    EXPECT_EQ(FormatAxisNumber(r.min), "0.50");
    EXPECT_EQ(FormatAxisNumber(r.max), "9.50");
    // With auto scale the rounded range stays.
    expectTicks(rebuildRange(0.5, 9.5, true, false), 0, 10, {2, 4, 6, 8});
    // The dialog example: manual 0 to 50.
    expectTicks(rebuildRange(0, 50, false, false), 0, 50, {10, 20, 30, 40});
}

TEST(ChartTicks, LogarithmicTable)
{
    expectTicks(rebuildRange(0.002, 35000, true, true), 0.001, 100000,
                {0.01, 0.1, 1, 10, 100, 1000, 10000});
    // 1000.4 truncates to 1000: no extra decade for the excess.
    expectTicks(rebuildRange(5, 1000.4, true, true), 1, 1000, {10, 100});
    expectTicks(rebuildRange(2.5, 2.6, true, true), 1, 10, {});
    // With auto scale off the log axis keeps the limits given.
    expectTicks(rebuildRange(5, 1000.4, false, true), 5, 1000.4, {10, 100, 1000});
}

TEST(ChartTicks, DegenerateRequestsStayBounded)
{
    // Non-positive logarithmic minimum: max / 1e6, or 1e-6.
    double mn = -5, mx = 1000;
    sanitizeRange(mn, mx, true);
    EXPECT_DOUBLE_EQ(mn, 1000 / 1e6);
    mn = 0;
    mx = -3;
    sanitizeRange(mn, mx, true);
    EXPECT_DOUBLE_EQ(mn, 1e-6);
    EXPECT_GT(mx, mn);
    const TickResult log0 = rebuildRange(0, 1000, true, true);
    EXPECT_DOUBLE_EQ(log0.min, 1e-3);
    EXPECT_DOUBLE_EQ(log0.max, 1e3);
    EXPECT_EQ(log0.ticks.size(), 5u);

    // Zero width linear ranges.
    mn = mx = 0;
    sanitizeRange(mn, mx, false);
    EXPECT_DOUBLE_EQ(mn, -1);
    EXPECT_DOUBLE_EQ(mx, 1);
    mn = mx = -20;
    sanitizeRange(mn, mx, false);
    EXPECT_DOUBLE_EQ(mn, -22);
    EXPECT_DOUBLE_EQ(mx, -18);
    const TickResult flat = rebuildRange(5, 5, false, false);
    EXPECT_DOUBLE_EQ(flat.min, 4.5);
    EXPECT_DOUBLE_EQ(flat.max, 5.5);

    // Reversed ranges are swapped.
    expectTicks(rebuildRange(100, 0, true, false), 0, 100, {20, 40, 60, 80});

    // Non-finite ends, a width far below the values' precision, and the
    // widest logarithmic range all end with a bounded tick count.
    EXPECT_LE(rebuildRange(NAN, INFINITY, true, false).ticks.size(), 5u);
    EXPECT_LE(rebuildRange(1e15, 1e15 + 0.125, true, false).ticks.size(), 5u);
    EXPECT_LE(rebuildRange(-1e308, 1e308, true, false).ticks.size(), 5u);
    const TickResult wide = rebuildRange(1e-320, 1e308, true, true);
    EXPECT_GT(wide.min, 0);
    EXPECT_LT(wide.ticks.size(), 700u);
    // Equal positive log values still span a decade.
    const TickResult same = rebuildRange(1000.4, 1000.4, true, true);
    EXPECT_LT(same.min, same.max);
}

TEST(ChartNumbers, TruncateSignificant)
{
    EXPECT_NEAR(TruncateSignificant(3456, 2), 3450, 1e-9);
    EXPECT_DOUBLE_EQ(TruncateSignificant(1000.0000001, 2), 1000);
    EXPECT_NEAR(TruncateSignificant(0.0123456, 2), 0.0123, 1e-15);
    EXPECT_EQ(TruncateSignificant(0, 2), 0);
    EXPECT_EQ(TruncateSignificant(-42.5, 2), -42.5);
}

TEST(ChartNumbers, FormatAxisNumber)
{
    EXPECT_EQ(FormatAxisNumber(1.5), "1.50");
    EXPECT_EQ(FormatAxisNumber(100), "100.00");
    EXPECT_EQ(FormatAxisNumber(0.01), "0.01");
    EXPECT_EQ(FormatAxisNumber(-0.5), "-0.50");
    EXPECT_EQ(FormatAxisNumber(1000), "1.0e+03");
    EXPECT_EQ(FormatAxisNumber(0.005), "5.0e-03");
    EXPECT_EQ(FormatAxisNumber(12345), "1.2e+04");
    EXPECT_EQ(FormatAxisNumber(0), "0");
    EXPECT_EQ(FormatAxisNumber(-2e-7), "-2.0e-07");
    EXPECT_EQ(FormatAxisNumber(1e100), "1.0e+100");
    // Only one trailing zero goes.
    EXPECT_EQ(FormatAxisNumber(20), "20.00");
}

TEST(ChartMapping, LinearAndLog)
{
    AxisScale h{AxisOrientation::Horizontal, false, 0, 100, 210, 10};
    EXPECT_EQ(h.MapValue(0), 0);
    EXPECT_EQ(h.MapValue(100), 200);
    EXPECT_EQ(h.MapValue(33.3), 66);   // truncated
    EXPECT_EQ(h.MapValue(-10), -20);

    AxisScale v{AxisOrientation::Vertical, false, 0, 100, 7, 207};
    EXPECT_EQ(v.MapValue(100), 0);
    EXPECT_EQ(v.MapValue(0), 200);
    EXPECT_EQ(v.MapValue(25), 150);

    AxisScale lg{AxisOrientation::Horizontal, true, 1, 1000, 300, 0};
    EXPECT_EQ(lg.MapValue(10), 100);
    EXPECT_EQ(lg.MapValue(100), 200);
    EXPECT_FALSE(lg.canMap(0));
    EXPECT_FALSE(lg.canMap(-1));
    EXPECT_FALSE(h.canMap(NAN));
    EXPECT_FALSE(h.canMap(INFINITY));
    // Far-away values stay representable.
    EXPECT_GT(h.MapValue(1e300), 0);
    EXPECT_LT(h.MapValue(-1e300), 0);
}

TEST(ChartLabels, RectanglesAndOverlapSuppression)
{
    const AxisMetrics hm{AxisOrientation::Horizontal, 60, 14};
    // A short horizontal axis: 0 to 100 over 100 pixels; the tick labels
    // 20 pixels apart overlap, every other one is hidden.
    const AxisPlacement p = placeAxis(hm, 200, 40, 140);
    EXPECT_EQ(p.rect, (ChartRect{10, 200, 171, 238}));
    EXPECT_EQ(p.minEnd, 30);
    EXPECT_EQ(p.maxEnd, 130);
    AxisScale s{AxisOrientation::Horizontal, false, 0, 100, p.maxEnd, p.minEnd};
    const int R = p.rect.width();
    std::vector<ChartRect> list{axisMinLabelRect(hm, R, p.minEnd)};
    for (double v : {20.0, 40.0, 60.0, 80.0})
        list.push_back(axisTickLabelRect(hm, s, R, v));
    list.push_back(axisMaxLabelRect(hm, R));
    EXPECT_EQ(list[1], (ChartRect{20, 8, 80, 22}));
    const auto visible = suppressOverlaps(list);
    EXPECT_EQ(visible, (std::vector<bool>{true, false, false, true, false, false}));

    // Only the two end labels on a horizontal axis: the max label goes when
    // it overlaps the min label, the min label never.
    const AxisPlacement narrow = placeAxis(hm, 0, 0, 30);
    const int Rn = narrow.rect.width();
    EXPECT_EQ(suppressOverlaps({axisMinLabelRect(hm, Rn, narrow.minEnd), axisMaxLabelRect(hm, Rn)}),
              (std::vector<bool>{true, false}));

    // Vertical labels: right-aligned column, centred on the tick's row.
    const AxisMetrics vm{AxisOrientation::Vertical, 58, 14};
    const AxisPlacement vp = placeAxis(vm, 84, 7, 207);
    EXPECT_EQ(vp.rect, (ChartRect{0, 0, 85, 215}));
    EXPECT_EQ(vp.maxEnd, 7);
    EXPECT_EQ(vp.minEnd, 207);
    AxisScale vs{AxisOrientation::Vertical, false, 0, 100, vp.maxEnd, vp.minEnd};
    EXPECT_EQ(axisTickLabelRect(vm, vs, 85, 50), (ChartRect{19, 100, 77, 114}));
    EXPECT_EQ(axisMaxLabelRect(vm, 85), (ChartRect{19, 0, 77, 14}));
    EXPECT_EQ(axisMinLabelRect(vm, 85, 207), (ChartRect{19, 200, 77, 214}));
    EXPECT_EQ(axisTitleRect(vm, 85, 215), (ChartRect{0, 1, 18, 214}));
    EXPECT_EQ(axisTitleRect(hm, 161, 38), (ChartRect{1, 23, 160, 37}));
}

TEST(ChartLayout, GraphArithmetic)
{
    const AxisMetrics vm{AxisOrientation::Vertical, 58, 14};
    const AxisMetrics hm{AxisOrientation::Horizontal, 60, 14};
    const GraphLayout L = computeGraphLayout(400, 300, vm, hm);
    EXPECT_EQ(L.d, 18 + 4 + 4 + 58);
    EXPECT_EQ(L.t, 7);
    EXPECT_EQ(L.xr, 400 - 30 - 1);
    EXPECT_EQ(L.e, 300 - 38);
    EXPECT_EQ(L.plot, (ChartRect{84, 7, 370, 262}));
    // The axes' ends are the plot's edges.
    EXPECT_EQ(L.axisY.rect.left, 0);
    EXPECT_EQ(L.axisY.rect.top + L.axisY.maxEnd, L.t);
    EXPECT_EQ(L.axisY.rect.top + L.axisY.minEnd, L.e);
    EXPECT_EQ(L.axisX.rect.left + L.axisX.minEnd, L.d);
    EXPECT_EQ(L.axisX.rect.left + L.axisX.maxEnd, L.xr);
    EXPECT_EQ(L.axisX.rect.bottom, 300);

    EXPECT_EQ(buttonSlot(300, 0), (ChartRect{2, 283, 17, 298}));
    EXPECT_EQ(buttonSlot(300, 2), (ChartRect{32, 283, 47, 298}));
}

TEST(ChartLayout, SquareRangeAndPrintScale)
{
    // Automatic ranges 0..4 and -1..0.5: both axes span 4.
    const TickResult x = rebuildRange(0, 4, true, false);
    const TickResult y = rebuildRange(-1, 0.5, true, false);
    EXPECT_DOUBLE_EQ(x.min, 0);
    EXPECT_DOUBLE_EQ(x.max, 4);
    EXPECT_DOUBLE_EQ(y.min, -1);
    EXPECT_DOUBLE_EQ(y.max, 0.5);
    const SquareRanges r = squareRange(x.min, x.max, y.min, y.max);
    EXPECT_DOUBLE_EQ(r.xMin, 0);
    EXPECT_DOUBLE_EQ(r.xMax, 4);
    EXPECT_DOUBLE_EQ(r.yMin, -1);
    EXPECT_DOUBLE_EQ(r.yMax, 3);

    EXPECT_EQ(printTargetRect(300, 200, 2400, 3200), (ChartRect{0, 800, 2400, 2400}));
    // A page smaller than the graph gives an empty rectangle, no division by zero.
    EXPECT_EQ(printTargetRect(300, 200, 100, 100).width(), 0);
    EXPECT_EQ(printTargetRect(0, 0, 100, 100).width(), 0);
}

TEST(ChartStyles, NamedStylesAndColours)
{
    const auto& s = namedTraceStyles();
    ASSERT_EQ(s.size(), 8u);
    const int values[] = {1, 2, 3, 5, 7, 8, 9, 13};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(s[i].value, values[i]);
    EXPECT_STREQ(s[3].name, "Dash");
    EXPECT_EQ(namedStyleIndex(13), 7);
    EXPECT_EQ(namedStyleIndex(10), -1);
    EXPECT_EQ(colorRefToRgb(255), 0xFF0000u);
    EXPECT_EQ(rgbToColorRef(0x0000FF), 16711680u);
}
