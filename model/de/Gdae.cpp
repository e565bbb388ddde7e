// DE 14: the Gaussian distribution of activation energies, i.e. a log-normal
// DRT in y = ln(tau/T) of standard deviation sigma = PHI. Trapezoid rule in y
// on a grid anchored at 0; the log of each integrand is concave, so the sum
// runs outwards from its maximum until the terms fall below e^-42 of it. The
// derivatives in T and sigma are sums over the same nodes.

#include "DeMath.h"
#include "Families.h"

#include <cmath>

namespace nosk::engine::de {

namespace {

constexpr double kLogWindow = 42;
const double kInvSqrt2Pi = 1.0 / std::sqrt(2 * kPi);

// ln(1 + e^(2t)) without overflow.
double log1pExp2(double t)
{
    return t > 20 ? 2 * t + std::log1p(std::exp(-2 * t)) : std::log1p(std::exp(2 * t));
}

// The zero of a decreasing function on [lo, hi] by bisection.
template <class F>
double bisect(F slope, double lo, double hi)
{
    for (int it = 0; it < 200 && hi - lo > 1e-12 * std::max(1.0, std::abs(lo) + std::abs(hi)); ++it) {
        const double mid = 0.5 * (lo + hi);
        (slope(mid) > 0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Calls term(y) for the grid nodes y = k h around yPeak while logIntegrand(y)
// stays within the window of its maximum.
template <class L, class T>
void sumAround(double yPeak, double h, L logIntegrand, T term)
{
    const double top = logIntegrand(yPeak) - kLogWindow;
    const long k0 = std::lround(yPeak / h);
    constexpr long kMaxNodes = 100000;  // far more than any valid sigma needs
    for (long k = k0; k < k0 + kMaxNodes; ++k) {
        const double y = k * h;
        if (!(logIntegrand(y) >= top) && y > yPeak)
            break;
        term(y);
    }
    for (long k = k0 - 1; k > k0 - kMaxNodes; --k) {
        const double y = k * h;
        if (!(logIntegrand(y) >= top) && y < yPeak)
            break;
        term(y);
    }
}

Complex frequencyResponse(const DeParams& p, double omega, Complex* d)
{
    const double sigma = p.PHI, s2 = sigma * sigma, x = omega * p.T, lnx = std::log(x);
    const double h = std::min(0.3, sigma / 2);
    auto logIntegrand = [&](double y) { return -y * y / (2 * s2) - 0.5 * log1pExp2(lnx + y); };
    auto slope = [&](double y) {
        const double t = 2 * (lnx + y);
        const double frac = t > 0 ? 1.0 / (1.0 + std::exp(-t)) : std::exp(t) / (1.0 + std::exp(t));
        return -y / s2 - frac;
    };
    const double yPeak = bisect(slope, -s2, 0.0);
    Complex sum = 0.0, sumT = 0.0, sumS = 0.0;
    const double norm = kInvSqrt2Pi / sigma;
    sumAround(yPeak, h, logIntegrand, [&](double y) {
        const double g = norm * std::exp(-y * y / (2 * s2));
        const double ey = std::exp(y);
        const Complex iD = inverse(Complex(1.0, x * ey));
        sum += g * iD;
        if (d) {
            sumT += g * Complex(0.0, -ey) * iD * iD;
            sumS += g * (y * y / (s2 * sigma) - 1.0 / sigma) * iD;
        }
    });
    if (d) {
        d[0] = h * sum;
        d[1] = p.R * h * sumT * omega;
        d[2] = 0.0;
        d[3] = p.R * h * sumS;
    }
    return p.R * h * sum;
}

Complex transient(const DeParams& p, double t, Complex* d)
{
    const double sigma = p.PHI, s2 = sigma * sigma, tau = t / p.T;
    auto logIntegrand = [&](double y) { return -y * y / (2 * s2) - tau * std::exp(-y); };
    auto slope = [&](double y) { return -y / s2 + tau * std::exp(-y); };
    double hi = 1;
    while (slope(hi) > 0)
        hi *= 2;
    const double yPeak = bisect(slope, 0.0, hi);
    const double width = 1.0 / std::sqrt(1.0 / s2 + tau * std::exp(-yPeak));
    const double h = std::min({0.3, sigma / 2, width / 3});
    const double norm = kInvSqrt2Pi / sigma;
    double sum = 0, sumT = 0, sumS = 0;
    sumAround(yPeak, h, logIntegrand, [&](double y) {
        const double v = norm * std::exp(logIntegrand(y));
        sum += v;
        if (d) {
            sumT += v * std::exp(-y) * tau / p.T;
            sumS += v * (y * y / (s2 * sigma) - 1.0 / sigma);
        }
    });
    if (d) {
        d[0] = h * sum;
        d[1] = p.R * h * sumT;
        d[2] = 0.0;
        d[3] = p.R * h * sumS;
    }
    return p.R * h * sum;
}

} // namespace

Complex gaussianDae(const DeParams& p, double omega, double, Complex* d)
{
    // w T (or t/T) that under- or overflows: the limits (Z = R at w T -> 0
    // and in the transient at t/T -> 0; Z = 0 at the other end).
    const double x = p.U == 1 ? omega / p.T : omega * p.T;
    if (!(x > 0) || !std::isfinite(x)) {
        const bool start = !(x > 0);
        if (d) {
            for (int k = 0; k < 4; ++k)
                d[k] = 0.0;
            d[0] = start ? 1.0 : 0.0;
        }
        return start ? Complex(p.R) : Complex(0.0);
    }
    return p.U == 1 ? transient(p, omega, d) : frequencyResponse(p, omega, d);
}

} // namespace nosk::engine::de
