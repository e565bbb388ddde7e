#pragma once

#include <string>
#include <vector>

namespace nosk {

// An axis of the pictures drawn without the chart control (the batch's and
// the series'): its ends, whether it is logarithmic, the
// values of its ticks and their labels.
struct PlotAxis {
    double low = 0, high = 1;
    bool log = false;
    std::vector<double> ticks;
    std::vector<std::string> labels;
};

// The axis for values (with their error bars `err`, NaN for none): ticks
// at 1, 2 or 5 times a power of ten, about four of them, the ends on ticks,
// labels with as many digits as the step needs ("2.4", "-5e-07", never
// 2.41 or -5.027e-07). Values all above 0 keep the axis at or above 0, and
// when they span three decades or more (largest / smallest >= 1000) the
// axis is logarithmic with a tick at each power of ten (every second or
// third when they are many).
// `keepZero` false: the axis spans the values alone (a covariate, ln p).
PlotAxis valueAxis(const std::vector<double>& values, const std::vector<double>& err = {}, bool keepZero = true);

} // namespace nosk
