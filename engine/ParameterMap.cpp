#include "ParameterMap.h"

#include <algorithm>
#include <cmath>

namespace nosk::engine {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// tanh(s) at which a side's formula changes from "from c" to "from the limit".
constexpr double kHalfWay = 0.5;

// For s >= 0, 1 - tanh(s) = 2e/(1 + e) with e = e^-2s, without cancellation.
double oneMinusTanh(double s)
{
    const double e = std::exp(-2 * s);
    return 2 * e / (1 + e);
}

// sech^2(s) = 1 - tanh^2(s), for any s, without overflow.
double sech2(double s)
{
    const double e = std::exp(-2 * std::abs(s));
    return 4 * e / ((1 + e) * (1 + e));
}

// atanh(y) for 0 <= y < 1, where oneMinusY = 1 - y was computed directly.
double atanhFrom(double y, double oneMinusY)
{
    return y <= kHalfWay ? std::atanh(y) : 0.5 * std::log((1 + y) / oneMinusY);
}

} // namespace

ParameterMap::ParameterMap(bool positive, double lower, double upper, double start)
    : m_positive(positive), m_lower(lower), m_upper(upper), m_lo(-kInfinity), m_hi(kInfinity)
{
    if (positive) {
        if (lower > 0)
            m_lo = std::log(lower);
        if (upper < kInfinity)
            m_hi = std::log(upper);
    } else {
        m_lo = lower;
        m_hi = upper;
    }
    const bool low = m_lo > -kInfinity, high = m_hi < kInfinity;
    m_bounded = low || high;
    m_halfBelow = kInfinity;
    m_halfAbove = kInfinity;
    if (!m_bounded)
        return;
    double c = positive ? (start > 0 ? std::log(start) : kMinLog) : start;
    if (!std::isfinite(c))
        c = 0;
    // How far inside a start on a limit is moved: a part of the range, of
    // the limit's size (1 for a limit of 0), of 1 in ln p.
    double inset = kInset;
    if (low && high)
        inset = 2 * kInset * (m_hi / 2 - m_lo / 2);
    else if (!positive) {
        const double limit = low ? m_lo : m_hi;
        inset = limit != 0 ? kInset * std::abs(limit) : kInset;
    }
    if (low)
        c = std::max(c, m_lo + inset);
    if (high)
        c = std::min(c, m_hi - inset);
    if (low && !(c > m_lo))  // an inset lost to rounding at a huge limit
        c = std::nextafter(m_lo, kInfinity);
    if (high && !(c < m_hi))
        c = std::nextafter(m_hi, -kInfinity);
    m_centre = c;
    if (low)
        m_halfBelow = c / 2 - m_lo / 2;
    if (high)
        m_halfAbove = m_hi / 2 - c / 2;
}

double ParameterMap::u(double x) const
{
    if (!m_bounded)
        return x;
    const double t = x - m_centre;
    if (t >= 0) {
        if (m_halfAbove == kInfinity)
            return x;
        const double s = (t / 2) / m_halfAbove;
        const double th = std::tanh(s);
        if (th <= kHalfWay)
            return (m_centre + m_halfAbove * th) + m_halfAbove * th;
        return m_hi - 2 * m_halfAbove * oneMinusTanh(s);
    }
    if (m_halfBelow == kInfinity)
        return x;
    const double s = (-t / 2) / m_halfBelow;
    const double th = std::tanh(s);
    if (th <= kHalfWay)
        return (m_centre - m_halfBelow * th) - m_halfBelow * th;
    return m_lo + 2 * m_halfBelow * oneMinusTanh(s);
}

double ParameterMap::dudx(double x) const
{
    if (!m_bounded)
        return 1.0;
    const double t = x - m_centre;
    const double half = t >= 0 ? m_halfAbove : m_halfBelow;
    if (half == kInfinity)
        return 1.0;
    return sech2((t / 2) / half);
}

double ParameterMap::param(double x) const
{
    const double value = u(x);
    // exp(ln limit) may round to a neighbour of the limit beyond it.
    return std::clamp(m_positive ? std::exp(std::clamp(value, kMinLog, kMaxLog)) : value, m_lower, m_upper);
}

double ParameterMap::derivative(double x) const
{
    if (!m_positive)
        return dudx(x);
    const double value = u(x);
    if (value < kMinLog || value > kMaxLog)
        return 0.0;
    return std::exp(value) * dudx(x);
}

double ParameterMap::variable(double p) const
{
    const double value = m_positive ? (p > 0 ? std::log(p) : kMinLog) : p;
    if (!m_bounded)
        return value;
    const double c = m_centre;
    if (value >= c) {
        if (m_halfAbove == kInfinity)
            return value;
        // y = (u - c) / 2h, kept kInset away from 1.
        const double h = m_halfAbove;
        const double oneMinusY = std::max((m_hi / 2 - value / 2) / h, kInset);
        const double y = std::min((value / 2 - c / 2) / h, 1 - kInset);
        const double s = atanhFrom(y, oneMinusY);
        return (c + h * s) + h * s;
    }
    if (m_halfBelow == kInfinity)
        return value;
    const double h = m_halfBelow;
    const double oneMinusY = std::max((value / 2 - m_lo / 2) / h, kInset);
    const double y = std::min((c / 2 - value / 2) / h, 1 - kInset);
    const double s = atanhFrom(y, oneMinusY);
    return (c - h * s) - h * s;
}

int limitReached(const ParameterMap& map, double p, const double* column, const double* r, int K)
{
    const bool lower = map.lower() > -kInfinity, upper = map.upper() < kInfinity;
    if (!lower && !upper)
        return 0;
    double g = 0, h = 0;
    for (int k = 0; k < K; ++k) {
        g += column[k] * r[k];
        h += column[k] * column[k];
    }
    // The Gauss-Newton step along p alone: r + column * step is least.
    const double step = h > 0 ? -g / h : 0.0;
    if (lower && (p <= map.lower() || (step < 0 && p - map.lower() <= -step)))
        return -1;
    if (upper && (p >= map.upper() || (step > 0 && map.upper() - p <= step)))
        return 1;
    return 0;
}

} // namespace nosk::engine
