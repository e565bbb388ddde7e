#include "ui/PlotAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nosk {

namespace {

// A tick label: the value with the digits its axis' step needs.
std::string tickLabel(double v, double step)
{
    if (v == 0)
        return "0";
    char text[40];
    const double size = std::max(std::abs(v), step);
    const int stepExponent = int(std::floor(std::log10(step) + 1e-9));
    if (size >= 1e5 || size < 1e-3) {
        const int digits = std::clamp(int(std::floor(std::log10(size) + 1e-9)) - stepExponent, 0, 6);
        std::snprintf(text, sizeof text, "%.*e", digits, v);
        // "5.0e-07" keeps its one digit; the exponent needs no leading zero.
        std::string s = text;
        const std::size_t e = s.find('e');
        std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
        const bool negative = exponent[0] == '-';
        exponent.erase(0, 1);
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        return mantissa + "e" + (negative ? "-" : "") + exponent;
    }
    std::snprintf(text, sizeof text, "%.*f", std::clamp(-stepExponent, 0, 9), v);
    return text;
}

// 1, 2 or 5 times a power of ten, the nearest above `rough`.
double niceStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

} // namespace

PlotAxis valueAxis(const std::vector<double>& values, const std::vector<double>& err, bool keepZero)
{
    PlotAxis axis;
    double lowest = HUGE_VAL, highest = -HUGE_VAL, smallest = HUGE_VAL;
    bool positive = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        if (!std::isfinite(v))
            continue;
        const double e = i < err.size() && std::isfinite(err[i]) ? std::abs(err[i]) : 0;
        lowest = std::min(lowest, v - e);
        highest = std::max(highest, v + e);
        smallest = std::min(smallest, v);
        positive = positive && v > 0;
    }
    if (!(lowest <= highest)) {  // nothing finite
        lowest = 0;
        highest = 1;
        positive = false;
    }
    double largest = -HUGE_VAL;
    for (const double v : values)
        if (std::isfinite(v))
            largest = std::max(largest, v);
    if (positive && largest / smallest >= 1000) {
        // Decades: the values' own range, error bars below 0 cut at the edge.
        axis.log = true;
        const double low = std::floor(std::log10(std::min(smallest, lowest > 0 ? lowest : smallest)) + 1e-9);
        const double high = std::ceil(std::log10(std::max(largest, highest)) - 1e-9);
        const int every = int(std::ceil((high - low) / 6));
        axis.low = std::pow(10.0, low);
        axis.high = std::pow(10.0, high);
        for (double d = low; d <= high + 1e-9; d += every) {
            axis.ticks.push_back(std::pow(10.0, d));
            axis.labels.push_back(tickLabel(std::pow(10.0, d), std::pow(10.0, d)));
        }
        return axis;
    }
    if (positive && keepZero)
        lowest = std::max(lowest, 0.0);
    if (highest - lowest <= std::abs(highest) * 1e-12) {
        const double d = highest == 0 ? 1 : std::abs(highest) * 0.1;
        lowest = positive && keepZero ? std::max(lowest - d, 0.0) : lowest - d;
        highest += d;
    }
    const double step = niceStep((highest - lowest) / 4);
    const long first = long(std::floor(lowest / step + 1e-9)), last = long(std::ceil(highest / step - 1e-9));
    axis.low = first * step;
    axis.high = last * step;
    for (long k = first; k <= last; ++k) {
        axis.ticks.push_back(k * step);
        axis.labels.push_back(tickLabel(k * step, step));
    }
    return axis;
}

} // namespace nosk
