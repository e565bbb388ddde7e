// DEs whose response is Gauss's hypergeometric function: the exponential
// distributions of activation energies (12, 13, 28, 34), Dissado-Hill (18, 19)
// and the generalised Davidson-Cole form (29). Convergent series in double
// precision where they keep their digits; elsewhere the integral of the
// distribution of relaxation times (or Euler's integral of the 2F1) by
// Boost's double-exponential quadrature, cut where the integrand has its
// feature so that every piece is smooth inside and at most singular at an end.

#include "DeMath.h"
#include "Families.h"
#include "Special.h"

#include <boost/math/quadrature/exp_sinh.hpp>
#include <boost/math/quadrature/tanh_sinh.hpp>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace nosk::engine::de {

namespace {

namespace bq = boost::math::quadrature;

// The quadrature asks for this relative error, against the integral of the
// modulus (the integrands below have real and imaginary parts of one sign
// each on the imaginary axis, so that is the value's own size).
constexpr double kQuadTolerance = 1e-13;

// One rule of each kind for the whole program (their node tables grow on
// demand, under the library's own lock, so threads share them).
bq::tanh_sinh<double>& tanhSinh()
{
    static bq::tanh_sinh<double> q(15);
    return q;
}

bq::exp_sinh<double>& expSinh()
{
    static bq::exp_sinh<double> q(12);
    return q;
}

Complex nanComplex()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
}

// The integral of f over [a, b] (a < b finite), NaN when the library gives up.
// The rule runs over [0, 1] and f is called at a + (b - a) s: the library
// forms the nodes near 0 from their distance to it (so they never fall on the
// end, as they may on a long interval far from 0), and f may be called at a
// itself only through rounding, where every integrand here is finite.
template <class F>
Complex finitePiece(F f, double a, double b)
{
    if (!(b > a))
        return 0.0;
    const double width = b - a;
    const auto g = [&](double s) { return f(a + width * s); };
    try {
        double error = 0;
        return width * tanhSinh().integrate(g, 0.0, 1.0, kQuadTolerance, &error);
    } catch (...) {
        return nanComplex();
    }
}

// The integral of f(y) over y from `from` to -infinity (direction -1) or to
// +infinity (+1), for f decaying exponentially there.
template <class F>
Complex tailPiece(F f, double from, int direction)
{
    try {
        double error = 0;
        const auto g = [&](double t) { return f(from + direction * t); };
        return expSinh().integrate(g, 0.0, std::numeric_limits<double>::infinity(), kQuadTolerance, &error);
    } catch (...) {
        return nanComplex();
    }
}

// 1/(1 + u) (complement false) or u/(1 + u) (true) for u = exp(lu), formed
// from the smaller of u and 1/u so that neither overflows.
Complex kernel(Complex lu, bool complement)
{
    if (lu.real() <= 0) {
        const Complex u = std::exp(lu);
        return complement ? u / (1.0 + u) : 1.0 / (1.0 + u);
    }
    const Complex v = std::exp(-lu);
    return complement ? 1.0 / (1.0 + v) : v / (1.0 + v);
}

// The integral over y of w(y) kernel(log z + y) for y = origin + sign t, t
// between a and b (either may be infinite, where w decays exponentially), cut
// at the feature where the kernel turns from 1 to 1/(z e^y), y0 = -ln|z|, and
// at the points `extra` of t (the end of a narrow peak of w, the start of a
// singular end). The weight is given in t, w = exp(lw(t)), so that it keeps
// its digits near an end far from y = 0 (the origin is that end).
template <class LogWeight>
Complex drtIntegral(LogWeight lw, Complex z, bool complement, double a, double b,
    std::initializer_list<double> extra = {}, double origin = 0, double sign = 1)
{
    const Complex lz = std::log(z);
    const Complex shift = lz + origin;
    const auto f = [&](double t) -> Complex {
        const double l = lw(t);
        if (l < -745)
            return 0.0;
        return std::exp(l) * kernel(shift + sign * t, complement);
    };
    // Finite pieces between the cuts; each infinite end a tail of its own,
    // from the finite cut nearest to it. Inner cuts closer than 1/2 to another
    // are left out (a short piece gains nothing).
    double cuts[6];
    int n = 0;
    const auto add = [&](double c) {
        if (!(c > a && c < b) || !std::isfinite(c))
            return;
        for (int i = 0; i < n; ++i)
            if (std::abs(cuts[i] - c) < 0.5)
                return;
        cuts[n++] = c;
    };
    if (std::isfinite(a))
        cuts[n++] = a;
    if (std::isfinite(b))
        cuts[n++] = b;
    for (double c : extra)
        add(c);
    add(sign * (-lz.real() - origin));
    if (n == 0)
        cuts[n++] = 0;  // a line without ends and no feature on it: cut at 0
    std::sort(cuts, cuts + n);
    Complex sum = 0.0;
    for (int i = 0; i + 1 < n; ++i)
        sum += finitePiece(f, cuts[i], cuts[i + 1]);
    if (!std::isfinite(a))
        sum += tailPiece(f, cuts[0], -1);
    if (!std::isfinite(b))
        sum += tailPiece(f, cuts[n - 1], +1);
    return sum;
}

// P_q(z) = 2F1(1, q; 1 + q; -z) = int_{-inf}^0 q e^(q y) / (1 + z e^y) dy, or 1 - P_q(z)
// with `complement`, by quadrature (any z off the negative real axis, q > 0).
Complex powerLawQuadrature(double q, Complex z, bool complement)
{
    const double lq = std::log(q);
    return drtIntegral([=](double y) { return lq + q * y; }, z, complement,
        -std::numeric_limits<double>::infinity(), 0.0, {-40 / q});
}

// [P_q(z) - a^q P_q(z a)] / (1 - a^q), a = e^-U, q > 0 (or one minus it),
// in double precision where both arguments lie on the same side of the unit
// circle: there the two series combine term by term, so the difference that
// cancels in P(z) - a^q P(z a) is never formed. Returns false in between.
bool twoCutoffSeries(double q, double U, Complex z, bool complement, Complex& out)
{
    const double A = -std::expm1(-q * U);  // 1 - a^q
    const double a = std::exp(-U);
    if (std::abs(z) <= 0.5) {
        // sum_k q/(q+k) (-z)^k (1 - a^(q+k)); its k = 0 term is A.
        Complex tail = 0.0, zk = 1.0;
        for (int k = 1; k < 80; ++k) {
            zk *= -z;
            const Complex term = q / (q + k) * zk * -std::expm1(-(q + k) * U);
            tail += term;
            if (std::abs(term) < 1e-17 * std::abs(tail) || std::abs(term) < 1e-300)
                break;
        }
        out = complement ? -tail / A : 1.0 + tail / A;
        return true;
    }
    if (std::abs(z) * a < 2)
        return false;
    // -q sum_k (-1)^k z^(-k-1) (1 - a^(q-k-1)) / (k+1-q); the z^-q terms cancel exactly.
    // Where a^(q-k-1) is large it is carried in the powers of 1/(z a), which
    // stay below 1/2 (a^(q-k-1) alone overflows for large U while z^(-k-1)
    // underflows).
    const Complex iz = 1.0 / z, izOverA = iz * std::exp(U);
    const double aq = std::exp(-q * U);
    Complex sum = 0.0, izk = iz, jzk = izOverA;
    for (int k = 0; k < 200; ++k) {
        const double e = k + 1 - q;
        Complex term;
        if (std::abs(U * e) < 1)
            term = izk * (e != 0 ? -std::expm1(U * e) / e : -U);
        else
            term = (izk - jzk * aq) / e;
        if (k % 2)
            term = -term;
        sum += term;
        if (std::abs(term) < 1e-17 * std::abs(sum) || std::abs(term) < 1e-300)
            break;
        izk *= iz;
        jzk *= izOverA;
    }
    const Complex n = -q * sum / A;
    out = complement ? 1.0 - n : n;
    return true;
}

// The normalised DE 12 response D[G](x) of G = C e^(phi y) on [-U, 0].
Complex twoCutoffResponse(double phi, double U, double x)
{
    if (phi == 0) {
        const DeParams p{1.0, 1.0, U, 0.0};
        return edaeExact(p, x, std::log(x), nullptr);
    }
    Complex fast;
    if (phi > 0 ? twoCutoffSeries(phi, U, Complex(0.0, x), false, fast)
                : twoCutoffSeries(-phi, U, Complex(0.0, -std::exp(U) / x), true, fast))
        return fast;
    // The DRT C e^(phi y) on [-U, 0], normalised: q e^(-q d) / (1 - e^(-q U)) with
    // q = |phi| and d the distance from its heavy end.
    // A cut 40/q from the heavy end, where the weight has fallen by e^-40,
    // keeps a narrow peak from hiding in a long piece.
    const double q = std::abs(phi);
    const double lnorm = std::log(q) - std::log(-std::expm1(-q * U));
    // t is the distance from the heavy end: y = -t for phi > 0, y = t - U below.
    const auto lw = [=](double t) { return lnorm - q * t; };
    return phi > 0 ? drtIntegral(lw, Complex(0.0, x), false, 0.0, U, {40 / q}, 0.0, -1)
                   : drtIntegral(lw, Complex(0.0, x), false, 0.0, U, {40 / q}, -U, 1);
}

// P_phi(z) in double precision where a convergent series has no
// cancellation: |z| <= 1/2 by the Gauss series sum phi/(phi+k) (-z)^k, and
// |z| >= 2 by the connection to infinity
//   P = (pi phi / sin pi phi) z^-phi - phi sum_k (-1)^k z^(-k-1) / (k+1-phi),
// which needs phi away from the whole numbers. With `complement` the result
// is 1 - P (summed without forming P where P is near 1). Returns false where
// neither applies; quadrature then takes over.
bool powerLawSeries(double phi, Complex z, bool complement, Complex& out)
{
    const double r = std::abs(z);
    if (r <= 0.5) {
        Complex sum = 0.0, zk = 1.0;
        for (int k = 1; k < 80; ++k) {
            zk *= -z;
            const Complex term = phi / (phi + k) * zk;
            sum += term;
            if (std::abs(term) < 1e-17 * std::abs(sum))
                break;
        }
        out = complement ? -sum : 1.0 + sum;
        return true;
    }
    const double nearest = std::round(phi);
    if (r < 2 || std::abs(phi - nearest) < 0.05)
        return false;
    const Complex iz = 1.0 / z;
    Complex sum = 0.0, izk = iz;
    for (int k = 0; k < 80; ++k) {
        const Complex term = (k % 2 ? -1.0 : 1.0) * izk / (k + 1 - phi);
        sum += term;
        if (std::abs(term) < 1e-17 * std::abs(sum))
            break;
        izk *= iz;
    }
    const Complex p = kPi * phi / std::sin(kPi * phi) * std::exp(-phi * std::log(z)) - phi * sum;
    out = complement ? 1.0 - p : p;
    return true;
}

// P_q(z) (or 1 - P_q(z)): the series where one applies, else quadrature.
Complex powerLawResponse(double q, Complex z, bool complement)
{
    Complex out;
    if (powerLawSeries(q, z, complement, out))
        return out;
    return powerLawQuadrature(q, z, complement);
}

} // namespace

Complex powerLawDrtResponse(double phi, Complex z)
{
    Complex out;
    if (powerLawSeries(phi, z, false, out))
        return out;
    return powerLawQuadrature(phi, z, false);
}

Complex powerLawDrtQuadrature(double phi, Complex z, bool complement)
{
    return powerLawQuadrature(phi, z, complement);
}

Complex edaeTwoCutoffs(const DeParams& p, double omega, double, Complex*)
{
    return p.R * twoCutoffResponse(p.PHI, p.U, omega * p.T);
}

Complex edaeTwoCutoffsEps(const DeParams& p, double omega, double, Complex*)
{
    return p.R * twoCutoffResponse(p.PHI, p.U, omega * p.T);
}

Complex edaeDoubleExponential(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, U = p.U, PHI = p.PHI;
    // The DRT U PHI / (U + PHI) e^(U y) below y = 0 and e^(-PHI y) above.
    const Complex high = powerLawResponse(U, Complex(0.0, x), false);
    const Complex low = powerLawResponse(PHI, Complex(0.0, -1.0 / x), true);
    return p.R * (PHI * high + U * low) / (U + PHI);
}

Complex dissadoHill(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, m = p.U, n = p.PHI;
    if (x >= 2) {
        // |1/(1+ix)| <= 1/sqrt(5): Gauss's series converges fast, and its
        // coefficients (1-n)_k (1-m)_k / ((2-n)_k k!) lie in [0, 1].
        const Complex w = 1.0 / Complex(1.0, x);
        Complex sum = 1.0, term = 1.0;
        for (int k = 0; k < 120; ++k) {
            term *= (1 - n + k) * (1 - m + k) / ((2 - n + k) * (k + 1.0)) * w;
            sum += term;
            if (std::abs(term) < 1e-17 * std::abs(sum))
                break;
        }
        const double c = std::exp(std::lgamma(1 + m - n) - std::lgamma(2 - n) - std::lgamma(m));
        return p.R * c * std::exp((n - 1) * std::log(Complex(1.0, x))) * sum;
    }
    if (x <= 0.5 && std::abs(m - 1) > 0.05) {
        // Near w = 1 the connection formula leaves
        //   F = 1 + B (1+ix)^(n-1) u^m 2F1(1, 1+m-n; 1+m; u),  u = ix/(1+ix),
        //   B = Gamma(1+m-n) Gamma(-m) / (Gamma(m) Gamma(1-n) Gamma(1-m)),
        // whose series converges fast for |u| <= 1/sqrt(5) with coefficients in [0, 1].
        const Complex onePlusIx(1.0, x);
        const Complex u = Complex(0.0, x) / onePlusIx;
        Complex sum = 1.0, term = 1.0;
        for (int k = 0; k < 120; ++k) {
            term *= (1 + m - n + k) / (1 + m + k) * u;
            sum += term;
            if (std::abs(term) < 1e-17 * std::abs(sum))
                break;
        }
        const double B = std::tgamma(1 + m - n) * std::tgamma(-m) / (std::tgamma(m) * std::tgamma(1 - n) * std::tgamma(1 - m));
        const Complex lead = std::exp((n - 1) * std::log(onePlusIx) + m * std::log(u));
        return p.R * (1.0 + B * lead * sum);
    }
    // Elsewhere (near x = 1, and below it for m near 1, where the connection
    // formula above degenerates) Euler's integral
    //   2F1(1-n, 1-m; 2-n; w) = (1-n) int_0^1 t^-n (1 - w t)^(m-1) dt,  w = 1/(1+ix),
    // with s = t^(1-n), so that the integrand is bounded: (1 - w s^k)^(m-1),
    // k = 1/(1-n), whose base (1 - s^k) + (1 - w) s^k keeps its digits near s = 1.
    const double k = 1 / (1 - n);
    const Complex oneMinusW = Complex(0.0, x) / Complex(1.0, x);
    const auto f = [=](double s) -> Complex {
        const double sk = std::exp(k * std::log(s));
        const Complex base = -std::expm1(k * std::log(s)) + oneMinusW * sk;
        return std::exp((m - 1) * std::log(base));
    };
    // s^k rises from 0 to 1 within about 1/k of s = 1: a cut there.
    const double cut = k > 4 ? 1 - 2 / k : 0.0;
    const Complex J = finitePiece(f, 0.0, cut) + finitePiece(f, cut, 1.0);
    const double c = std::exp(std::lgamma(1 + m - n) - std::lgamma(2 - n) - std::lgamma(m));
    return p.R * c * std::exp((n - 1) * std::log(Complex(1.0, x))) * J;
}

Complex davidsonColeGeneral(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, U = p.U, PHI = p.PHI;
    // 2F1(1, PHI; c; -ix), c = 1 + PHI - U > PHI.
    const double c = 1 + PHI - U;
    if (x <= 0.5) {
        // Gauss's series; its coefficients (PHI)_k / (c)_k fall from 1.
        const Complex z(0.0, -x);
        Complex sum = 1.0, term = 1.0;
        for (int k = 0; k < 200; ++k) {
            term *= (PHI + k) / (c + k) * z;
            sum += term;
            if (std::abs(term) < 1e-17 * std::abs(sum))
                break;
        }
        return p.R * sum;
    }
    // Euler's integral, the DRT t^(PHI-1) (1-t)^-U of t = tau/T in (0, 1), in
    // y = ln t: Gamma(c) / (Gamma(PHI) Gamma(1-U)) e^(PHI y) (1 - e^y)^-U.
    const double lnorm = std::lgamma(c) - std::lgamma(PHI) - std::lgamma(1 - U);
    const Complex z(0.0, x);
    if (U <= 0) {
        // (1 - e^y)^-U, 1 at U = 0 also where y rounds to 0.
        const auto lw = [=](double y) { return lnorm + PHI * y - (U == 0 ? 0.0 : U * std::log(-std::expm1(y))); };
        return p.R * drtIntegral(lw, z, false, -std::numeric_limits<double>::infinity(), 0.0, {-1.0});
    }
    // For U > 0 the weight is singular at t = 1, too strongly near U = 1 for
    // any rule that stops short of the end; below y = -1 it is smooth, and
    // over t in [1/e, 1] the substitution 1 - t = v^(1/(1-U)) turns
    // (1-t)^-U dt into dv / (1-U), so the integrand is bounded there.
    const auto lw = [=](double y) { return lnorm + PHI * y - U * std::log(-std::expm1(y)); };
    const Complex below = drtIntegral(lw, z, false, -std::numeric_limits<double>::infinity(), -1.0);
    const double a = 1 / (1 - U);
    const double lnormV = std::lgamma(c) - std::lgamma(PHI) - std::lgamma(2 - U);
    const Complex lz = std::log(z);
    const auto f = [=](double v) -> Complex {
        const double r = std::exp(a * std::log(v));  // 1 - t
        const double y = std::log1p(-r);
        return std::exp(lnormV + (PHI - 1) * y) * kernel(lz + y, false);
    };
    const double v1 = std::exp(std::log(-std::expm1(-1.0)) / a);
    return p.R * (below + finitePiece(f, 0.0, v1));
}

Complex edaeOneCutoff(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, PHI = p.PHI;
    Complex fast;
    if (PHI > 0 ? powerLawSeries(PHI, Complex(0.0, x), false, fast)
                : powerLawSeries(-PHI, Complex(0.0, -1.0 / x), true, fast))
        return p.R * fast;
    return p.R * (PHI > 0 ? powerLawQuadrature(PHI, Complex(0.0, x), false)
                          : powerLawQuadrature(-PHI, Complex(0.0, -1.0 / x), true));
}

} // namespace nosk::engine::de
