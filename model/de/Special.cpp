#include "Special.h"

#include <boost/math/policies/policy.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/digamma.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

// libcerf's real and imaginary parts of w(z); its header uses C99 complex
// types, which C++ does not have.
extern "C" double re_w_of_z(double x, double y);
extern "C" double im_w_of_z(double x, double y);

namespace nosk::engine::de {

namespace {

namespace bm = boost::math;

// No exceptions from the library: a result that cannot be computed comes
// back as NaN or infinity, which the callers check. Doubles are computed in
// double (not promoted to long double), as fast as the engine needs them.
using Quiet = bm::policies::policy<bm::policies::domain_error<bm::policies::errno_on_error>,
    bm::policies::pole_error<bm::policies::errno_on_error>,
    bm::policies::overflow_error<bm::policies::errno_on_error>,
    bm::policies::evaluation_error<bm::policies::errno_on_error>,
    bm::policies::promote_double<false>>;

// The pieces the interval is cut into at most.
constexpr int kMaxPieces = 200;

struct Piece {
    double a, b, value, error;
};

// The 21-point Kronrod sum of f over [a, b] and its error: the difference
// from the embedded 10-point Gauss sum, scaled down where the integrand is
// smooth on the piece (the estimate of the classic adaptive scheme), and never
// below what rounding leaves of the sum. Boost's Gauss-Kronrod pair has its
// nodes in rising order from the centre; the odd ones are the Gauss nodes.
Piece kronrod21(double (*f)(double, void*), void* data, double a, double b)
{
    const auto& x = bm::quadrature::gauss_kronrod<double, 21>::abscissa();
    const auto& wk = bm::quadrature::gauss_kronrod<double, 21>::weights();
    const auto& wg = bm::quadrature::gauss<double, 10>::weights();
    const double centre = (a + b) / 2, half = (b - a) / 2;
    double fl[11], fr[11];
    fl[0] = fr[0] = f(centre, data);
    double kronrod = wk[0] * fl[0], gauss = 0, absolute = std::abs(kronrod);
    for (int i = 1; i <= 10; ++i) {
        fl[i] = f(centre - half * x[i], data);
        fr[i] = f(centre + half * x[i], data);
        kronrod += wk[i] * (fl[i] + fr[i]);
        absolute += wk[i] * (std::abs(fl[i]) + std::abs(fr[i]));
        if (i % 2)
            gauss += wg[i / 2] * (fl[i] + fr[i]);
    }
    const double mean = kronrod / 2;
    double spread = wk[0] * std::abs(fl[0] - mean);
    for (int i = 1; i <= 10; ++i)
        spread += wk[i] * (std::abs(fl[i] - mean) + std::abs(fr[i] - mean));
    const double w = std::abs(half);
    spread *= w;
    absolute *= w;
    double error = std::abs((kronrod - gauss) * half);
    if (spread != 0 && error != 0)
        error = spread * std::min(1.0, std::pow(200 * error / spread, 1.5));
    const double eps = std::numeric_limits<double>::epsilon();
    if (absolute > std::numeric_limits<double>::min() / (50 * eps))
        error = std::max(50 * eps * absolute, error);
    return {a, b, kronrod * half, error};
}

} // namespace

Complex faddeeva(Complex z)
{
    return {re_w_of_z(z.real(), z.imag()), im_w_of_z(z.real(), z.imag())};
}

double integrate(double (*f)(double, void*), void* data, double a, double b, double epsrel)
{
    if (!(std::isfinite(a) && std::isfinite(b)))
        return std::numeric_limits<double>::quiet_NaN();
    // The piece with the largest error is halved until the errors add up to
    // epsrel of the integral (or the pieces run out).
    std::vector<Piece> pieces;
    pieces.reserve(kMaxPieces);
    pieces.push_back(kronrod21(f, data, a, b));
    double value = pieces[0].value, error = pieces[0].error;
    while (error > epsrel * std::abs(value) && static_cast<int>(pieces.size()) < kMaxPieces) {
        auto worst = std::max_element(
            pieces.begin(), pieces.end(), [](const Piece& p, const Piece& q) { return p.error < q.error; });
        const double mid = (worst->a + worst->b) / 2;
        if (!(mid > std::min(worst->a, worst->b) && mid < std::max(worst->a, worst->b)))
            break;  // as fine as the numbers go
        const Piece left = kronrod21(f, data, worst->a, mid), right = kronrod21(f, data, mid, worst->b);
        value += left.value + right.value - worst->value;
        error += left.error + right.error - worst->error;
        *worst = left;
        pieces.push_back(right);
    }
    value = 0;
    for (const Piece& p : pieces)
        value += p.value;
    return value;
}

double digamma(double x)
{
    return bm::digamma(x, Quiet());
}

} // namespace nosk::engine::de
