#include "ElementDrt.h"

#include <cmath>
#include <numbers>

namespace nosk::drt {

using std::numbers::pi;

double zarcGamma(double r, double tau0, double phi, double tau)
{
    if (phi >= 1)
        return 0;  // a single line: see Line
    const double s = std::sin((1 - phi) * pi);
    return r / (2 * pi) * s / (std::cosh(phi * std::log(tau / tau0)) - std::cos((1 - phi) * pi));
}

double havriliakNegamiGamma(double r, double tau0, double alpha, double beta, double tau)
{
    const double y = std::pow(tau / tau0, alpha);
    const double theta = std::atan2(std::sin(pi * alpha), y + std::cos(pi * alpha));
    const double denom = std::pow(y * y + 2 * y * std::cos(pi * alpha) + 1, beta / 2);
    if (denom <= 0)
        return 0;
    return r / pi * std::pow(y, beta) * std::sin(beta * theta) / denom;
}

double davidsonColeGamma(double r, double tau0, double beta, double tau)
{
    if (tau >= tau0)
        return 0;
    const double y = tau / tau0;
    return r / pi * std::sin(beta * pi) * std::pow(y / (1 - y), beta);
}

double logNormalGamma(double r, double tau0, double sigma, double tau)
{
    const double y = std::log(tau / tau0) / sigma;
    return r / (sigma * std::sqrt(2 * pi)) * std::exp(-0.5 * y * y);
}

double kwwHalfGamma(double r, double tau0, double tau)
{
    const double y = tau / tau0;
    return r / (2 * std::sqrt(pi)) * std::sqrt(y) * std::exp(-y / 4);
}

std::vector<Line> finiteWarburgLines(double r, double t, int count)
{
    std::vector<Line> lines;
    for (int k = 1; k <= count; ++k) {
        const double q = (k - 0.5) * (k - 0.5) * pi * pi;
        lines.push_back({t / q, 2 * r / q});
    }
    return lines;
}

std::vector<Line> finiteSpaceWarburgLines(double r, double t, int count)
{
    std::vector<Line> lines;
    for (int k = 1; k <= count; ++k) {
        const double q = k * k * pi * pi;
        lines.push_back({t / q, 2 * r / q});
    }
    return lines;
}

std::complex<double> zarcImpedance(double r, double tau0, double phi, double omega)
{
    return r / (1.0 + std::pow(std::complex<double>(0, omega * tau0), phi));
}

std::complex<double> havriliakNegamiImpedance(double r, double tau0, double alpha, double beta, double omega)
{
    return r / std::pow(1.0 + std::pow(std::complex<double>(0, omega * tau0), alpha), beta);
}

std::complex<double> davidsonColeImpedance(double r, double tau0, double beta, double omega)
{
    return r / std::pow(std::complex<double>(1, omega * tau0), beta);
}

} // namespace nosk::drt
