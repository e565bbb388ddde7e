#include "ParameterMap.h"

#include <algorithm>
#include <cmath>

namespace nosk::engine {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// 1 / (1 + e^-x), without overflow on either side.
double logistic(double x)
{
    if (x >= 0)
        return 1.0 / (1.0 + std::exp(-x));
    const double e = std::exp(x);
    return e / (1.0 + e);
}

// ln(1 + e^x), exact for large |x|.
double softplus(double x)
{
    return x > 0 ? x + std::log1p(std::exp(-x)) : std::log1p(std::exp(x));
}

// The x of softplus(x) = y, for y > 0.
double softplusInverse(double y)
{
    return y + std::log(-std::expm1(-y));
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
    m_form = low && high ? Form::Both : low ? Form::Lower : high ? Form::Upper : Form::Free;
    if ((m_form == Form::Lower || m_form == Form::Upper) && !positive) {
        // The scale of p: the start's distance from its limit, or the size
        // of the limit for a start on it.
        const double limit = m_form == Form::Lower ? m_lo : m_hi;
        const double distance = std::abs(start - limit);
        m_width = distance > kInset * std::abs(limit) ? distance : std::abs(limit);
        if (!(m_width > 0) || !std::isfinite(m_width))
            m_width = 1;
    }
}

double ParameterMap::u(double x) const
{
    switch (m_form) {
    case Form::Both:
        // From the nearer limit, so that p keeps its digits there.
        return x >= 0 ? m_hi - (m_hi - m_lo) * logistic(-x) : m_lo + (m_hi - m_lo) * logistic(x);
    case Form::Lower: return m_lo + m_width * softplus(x);
    case Form::Upper: return m_hi - m_width * softplus(-x);
    default: return x;
    }
}

double ParameterMap::dudx(double x) const
{
    switch (m_form) {
    case Form::Both: return (m_hi - m_lo) * logistic(x) * logistic(-x);
    case Form::Lower: return m_width * logistic(x);
    case Form::Upper: return m_width * logistic(-x);
    default: return 1.0;
    }
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
    switch (m_form) {
    case Form::Both: {
        const double t = std::clamp((value - m_lo) / (m_hi - m_lo), kInset, 1.0 - kInset);
        return std::log(t) - std::log1p(-t);
    }
    case Form::Lower: return softplusInverse(std::max(value - m_lo, kInset * m_width) / m_width);
    case Form::Upper: return -softplusInverse(std::max(m_hi - value, kInset * m_width) / m_width);
    default: return value;
    }
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
