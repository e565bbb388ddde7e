// The stretched-exponential (Kohlrausch-Williams-Watts) family: DE 10 for any
// beta, the exact forms at beta = 1/2 (DE 32) and 1/3 (DE 35), DE 36 through
// the distribution of relaxation times, and that distribution itself (DE 37).
//
// With x = w T and phi(u) = exp(-u^beta), the two normalised responses are
//   N(x) = integral of (-phi'(u)) e^(-i x u) du   (U = 0, N(0) = 1)
//   Q(x) = integral of phi(u) e^(-i x u) du / Gamma(1 + 1/beta)   (U = 1, Q(0) = 1)

#include "DeMath.h"
#include "Families.h"
#include "Special.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

namespace nosk::engine::de {

namespace {

struct Sums {
    Complex value, dx, dbeta;
};

const double kSqrtPi = std::sqrt(kPi);

// The convergent large-x series, used where |x^-beta| <= 1/4:
//   N = sum_{n>=1} (-1)^(n+1) Gamma(n beta + 1)/n! (i x)^(-n beta)
//   F = sum_{n>=0} (-1)^n Gamma(n beta + 1)/n! (i x)^(-n beta - 1)   (F = Q Gamma(1 + 1/beta))
Sums largeXSeries(double beta, double x, bool conductive, bool derivs)
{
    const Complex lix(std::log(x), kHalfPi);
    const Complex v = std::exp(-beta * lix);
    const Complex inv = conductive ? std::exp(-lix) : Complex(1.0);
    Sums s{};
    Complex vn = 1.0;
    for (int n = conductive ? 0 : 1; n < 200; ++n) {
        if (n > 0)
            vn = n == 1 ? v : vn * v;
        const double c = std::exp(std::lgamma(n * beta + 1) - std::lgamma(n + 1.0));
        const Complex term = (n % 2 ? 1.0 : -1.0) * (conductive ? -1.0 : 1.0) * c * vn * inv;
        s.value += term;
        if (derivs) {
            s.dx += term * (-(n * beta + (conductive ? 1.0 : 0.0)) / x);
            if (n > 0)
                s.dbeta += term * (n * digamma(n * beta + 1) - double(n) * lix);
        }
        if (n > 2 && std::abs(term) < 1e-18 * std::abs(s.value))
            break;
    }
    return s;
}

// The trapezoid rule in rho = ln r along the ray u = r e^(-i pi/4), where the
// integrand decays on both sides and is analytic in a strip of half-width
// about pi/4, so the error falls geometrically with 1/h.
Sums rotatedIntegral(double beta, double x, bool conductive, bool derivs)
{
    const double h = 0.12;
    const double p = conductive ? 1.0 : beta;
    const double cosb = std::cos(beta * kPi / 4);
    double r = std::log(36 / cosb) / beta;
    for (int it = 0; it < 100; ++it) {
        const double next = std::log((36 + p * std::max(r, 0.0)) / cosb) / beta;
        if (std::abs(next - r) < 1e-12)
            break;
        r = next;
    }
    const double lnx = std::log(x);
    const double hi = std::min(std::log(76 / std::cos(kPi / 4)) - lnx, r);
    const double lo = std::min(-lnx, 0.0) - 36 / p;
    const int count = static_cast<int>(std::ceil((hi - lo) / h));
    const Complex rotB = std::exp(Complex(0.0, -kPi * beta / 4));  // e^(-i pi beta/4)
    const Complex rot1 = std::exp(Complex(0.0, kPi / 4));          // e^(i pi/4)
    const Complex shift(0.0, -kPi / 4);
    Sums s{};
    for (int k = 0; k <= count; ++k) {
        const double rho = lo + k * h;
        const Complex ub = std::exp(beta * rho) * rotB;  // u^beta
        const Complex xu = x * std::exp(rho) * rot1;     // i x u
        const Complex e = std::exp((conductive ? rho : beta * rho) - ub - xu);
        s.value += e;
        if (derivs) {
            s.dx += e * (-xu / x);
            s.dbeta += e * (conductive ? -(rho + shift) * ub : 1.0 / beta + (rho + shift) * (1.0 - ub));
        }
    }
    // The constant factor beta e^(-i pi beta/4) (N) or e^(-i pi/4) (F).
    const Complex f = conductive ? std::conj(rot1) : beta * rotB;
    s.value *= h * f;
    s.dx *= h * f;
    s.dbeta *= h * f;
    return s;
}

// N or Q at x, with d/dx and d/dbeta when derivs.
Sums kwwResponse(double beta, double x, bool conductive, bool derivs)
{
    if (!(x > 0))  // w T underflowed: the dc limit
        return {1.0, 0.0, 0.0};
    Sums s = std::pow(x, -beta) <= 0.25 ? largeXSeries(beta, x, conductive, derivs)
                                        : rotatedIntegral(beta, x, conductive, derivs);
    if (conductive) {
        const double g = std::tgamma(1 + 1 / beta);
        s.value /= g;
        s.dx /= g;
        s.dbeta = s.dbeta / g + s.value * digamma(1 + 1 / beta) / (beta * beta);
    }
    return s;
}

// --- beta = 1/2 ---

Complex halfN(double x)
{
    const Complex z = std::exp(Complex(0.0, -kPi / 4)) / (2 * std::sqrt(x));
    return kSqrtPi * z * faddeeva(kI * z);
}

Complex halfQ(double x)
{
    if (x >= 5e-3)
        return (1.0 - halfN(x)) / Complex(0.0, 2 * x);
    // The asymptotic series sum (-i x)^k (2k+1)!/k!, far from its smallest term.
    Complex sum = 0.0, term = 1.0;
    for (int k = 0; k < 60; ++k) {
        sum += term;
        term *= Complex(0.0, -x) * double((2 * k + 3) * (2 * k + 2)) / double(k + 1);
        if (std::abs(term) < 1e-17 * std::abs(sum))
            break;
    }
    return sum;
}

// --- beta = 1/3, through the Scorer function ---

// The integral of exp(k rho - e^(3 rho)/3 - a e^rho) over rho, by the
// trapezoid rule from `lo` until the (concave) real part has fallen 45 below
// its maximum.
Complex scorerIntegral(Complex a, int k, double lo)
{
    const double h = 0.1;
    Complex sum = 0.0;
    double top = -1e300;
    for (int j = 0; j < 100000; ++j) {
        const double rho = lo + j * h, er = std::exp(rho);
        const double re = k * rho - er * er * er / 3 - a.real() * er;
        top = std::max(top, re);
        sum += std::exp(Complex(re, -a.imag() * er));
        const double slope = k - er * er * er - a.real() * er;
        if (slope < 0 && re < top - 45)
            break;
    }
    return h * sum;
}

Complex thirdN(double x)
{
    const Complex a = std::pow(3 * x, -1.0 / 3) * std::exp(Complex(0.0, -kPi / 6));
    const double lo = std::min(0.0, -std::log(std::abs(a))) - 38;
    return a * scorerIntegral(a, 1, lo);
}

Complex thirdQ(double x)
{
    const Complex a = std::pow(3 * x, -1.0 / 3) * std::exp(Complex(0.0, -kPi / 6));
    const double lo = std::min(0.0, -std::log(std::abs(a))) - 14;
    return scorerIntegral(a, 3, lo) / Complex(0.0, 6 * x);
}

// --- the DRT ---

double pollardSeries(double beta, double z)
{
    double sum = 0;
    const double lz = std::log(z);
    for (int k = 1; k < 5000; ++k) {
        const double mag = std::exp(std::lgamma(k * beta + 1) - std::lgamma(k + 1.0) + k * lz);
        sum += (k % 2 ? 1.0 : -1.0) * mag * std::sin(kPi * k * beta);
        if (k > 3 && mag < 1e-18 * std::abs(sum))
            break;
    }
    return sum / kPi;
}

struct ZolotarevData {
    double beta, p, c, a0;
};

// ln(sin u / u), accurate for small u.
double logSinc(double u)
{
    if (u < 0.1) {
        const double u2 = u * u;
        return -u2 * (1.0 / 6 + u2 * (1.0 / 180 + u2 * (1.0 / 2835 + u2 / 37800)));
    }
    return std::log(std::sin(u) / u);
}

// A(theta) - A(0), from ln(A/A0) = p [f(b t) - f(t)] + f((1-b) t) - f(b t),
// f = ln(sin u / u): the difference keeps its digits where c (A - A0) is
// large even though A - A0 is tiny.
double zolotarevExcess(double theta, const ZolotarevData& z)
{
    const double fb = logSinc(z.beta * theta);
    const double logRatio = z.p * (fb - logSinc(theta)) + logSinc((1 - z.beta) * theta) - fb;
    return z.a0 * std::expm1(logRatio);
}

double zolotarevIntegrand(double theta, void* data)
{
    const auto* z = static_cast<const ZolotarevData*>(data);
    const double excess = zolotarevExcess(theta, *z);
    if (!std::isfinite(excess))
        return 0.0;
    return (z->a0 + excess) * std::exp(-z->c * excess);
}

double zolotarev(double beta, double y)
{
    ZolotarevData data;
    data.beta = beta;
    data.p = 1 / (1 - beta);
    data.c = std::exp(beta * y * data.p);
    data.a0 = std::pow(beta, beta * data.p) * (1 - beta);
    const double split = std::min(kPi, 8 / std::sqrt(data.c));
    double integral = integrate(zolotarevIntegrand, &data, 0.0, split, 1e-13);
    if (split < kPi)
        integral += integrate(zolotarevIntegrand, &data, split, kPi, 1e-13);
    if (!(integral > 0))
        return 0.0;
    return beta * data.p / kPi * std::exp(-y * (1 - data.p) - data.c * data.a0 + std::log(integral));
}

struct DrtGrid {
    double beta = 0, lo = 0, h = 0;
    std::vector<double> g;   // h G(y_k)
    std::vector<double> ey;  // e^(y_k)
};

std::shared_ptr<const DrtGrid> drtGrid(double beta, double largestX)
{
    static std::mutex mutex;
    static std::vector<std::shared_ptr<const DrtGrid>> cache;
    const double lo = -std::log(std::min(std::max(1e12, largestX), 1e300)) - 30 / beta;
    {
        std::lock_guard lock(mutex);
        for (const auto& grid : cache)
            if (grid->beta == beta && grid->lo <= lo)
                return grid;
    }
    auto grid = std::make_shared<DrtGrid>();
    grid->beta = beta;
    grid->lo = lo;
    const double a = kHalfPi * std::min(1.0, (1 - beta) / beta);
    grid->h = std::min(0.25, 2 * kPi * a / 32);
    double peak = 0;
    for (long k = static_cast<long>(std::floor(lo / grid->h));; ++k) {
        const double y = k * grid->h;
        const double G = kwwDrt(beta, y);
        peak = std::max(peak, G);
        if (y > 0 && G < 1e-18 * peak)
            break;
        grid->g.push_back(grid->h * G);
        grid->ey.push_back(std::exp(y));
    }
    std::lock_guard lock(mutex);
    if (cache.size() >= 4)
        cache.erase(cache.begin());
    cache.push_back(grid);
    return grid;
}

} // namespace

double kwwDrt(double beta, double y)
{
    const double z = std::exp(beta * y);
    return z <= 1 ? pollardSeries(beta, z) : zolotarev(beta, y);
}

Complex kwwNormalised(double beta, double x, bool conductive)
{
    return kwwResponse(beta, x, conductive, false).value;
}

Complex kww(const DeParams& p, double omega, double, Complex* d)
{
    const bool conductive = p.U == 1;
    const Sums s = kwwResponse(p.PHI, omega * p.T, conductive, d != nullptr);
    if (d) {
        d[0] = s.value;
        d[1] = p.R * s.dx * omega;
        d[2] = 0.0;
        d[3] = p.R * s.dbeta;
    }
    return p.R * s.value;
}

Complex kwwHalf(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T;
    if (!(x > 0))
        return p.R;
    return p.R * (p.U == 1 ? halfQ(x) : halfN(x));
}

Complex kwwThird(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T;
    if (!(x > 0))
        return p.R;
    return p.R * (p.U == 1 ? thirdQ(x) : thirdN(x));
}

Complex kwwThroughDrt(const DeParams& p, double omega, double, Complex*)
{
    const double beta = p.PHI, x = omega * p.T;
    const auto grid = drtGrid(beta, x);
    const bool conductive = p.U == 1;
    Complex sum = 0.0;
    for (std::size_t k = 0; k < grid->g.size(); ++k) {
        const double ey = grid->ey[k];
        const Complex term = grid->g[k] * inverse(Complex(1.0, x * ey));
        sum += conductive ? term * ey : term;
    }
    if (conductive)
        sum /= std::tgamma(1 + 1 / beta);
    return p.R * sum;
}

Complex kwwDrtValue(const DeParams& p, double omega, double, Complex*)
{
    return p.R * kwwDrt(p.PHI, std::log(omega / p.T));
}

} // namespace nosk::engine::de
