// DEs whose response is Gauss's hypergeometric function: the exponential
// distributions of activation energies (12, 13, 28, 34), Dissado-Hill (18, 19)
// and the generalised Davidson-Cole form (29). Convergent series in double
// precision where they keep their digits; elsewhere Arb, with rigorous error
// bounds, in the hypergeometric module that the engine opens on first use
// (HypergeometricModule.h), so a job without these DEs never loads Arb.

#include "DeMath.h"
#include "Families.h"
#include "HypergeometricModule.h"
#include "Special.h"

#include <limits>

namespace nosk::engine::de {

namespace {

// Runs a kernel of the module; NaN when the module is missing (the job
// checks refuse such a DE before the first evaluation).
template <class Kernel, class... Args>
Complex viaModule(Kernel NoskHypergeometricApi::*kernel, Args... args)
{
    const NoskHypergeometricApi* api = hypergeometricModule();
    if (!api) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    double out[2];
    (api->*kernel)(args..., out);
    return {out[0], out[1]};
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
    const Complex iz = 1.0 / z;
    Complex sum = 0.0, izk = iz;
    for (int k = 0; k < 200; ++k) {
        const double e = k + 1 - q;
        const double c = e != 0 ? -std::expm1(U * e) / e : -U;
        const Complex term = (k % 2 ? -1.0 : 1.0) * izk * c;
        sum += term;
        if (std::abs(term) < 1e-17 * std::abs(sum) || std::abs(term) < 1e-300)
            break;
        izk *= iz;
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
    return viaModule(&NoskHypergeometricApi::twoCutoff, phi, U, x);
}

// P_phi(z) in double precision where a convergent series has no
// cancellation: |z| <= 1/2 by the Gauss series sum phi/(phi+k) (-z)^k, and
// |z| >= 2 by the connection to infinity
//   P = (pi phi / sin pi phi) z^-phi - phi sum_k (-1)^k z^(-k-1) / (k+1-phi),
// which needs phi away from the whole numbers. With `complement` the result
// is 1 - P (summed without forming P where P is near 1). Returns false where
// neither applies; Arb then takes over.
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

} // namespace

Complex powerLawDrtResponse(double phi, Complex z)
{
    Complex out;
    if (powerLawSeries(phi, z, false, out))
        return out;
    return viaModule(&NoskHypergeometricApi::powerLaw, phi, z.real(), z.imag());
}

Complex hypergeometric2F1(double a, double b, double c, Complex z)
{
    return viaModule(&NoskHypergeometricApi::hyp2f1, a, b, c, z.real(), z.imag());
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
    Complex high, low;
    if (powerLawSeries(U, Complex(0.0, x), false, high) && powerLawSeries(PHI, Complex(0.0, -1.0 / x), true, low))
        return p.R * (PHI * high + U * low) / (U + PHI);
    return p.R * viaModule(&NoskHypergeometricApi::doubleExponential, U, PHI, x);
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
    return p.R * viaModule(&NoskHypergeometricApi::dissadoHill, m, n, x);
}

Complex davidsonColeGeneral(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, U = p.U, PHI = p.PHI;
    return p.R * viaModule(&NoskHypergeometricApi::davidsonCole, U, PHI, x);
}

Complex edaeOneCutoff(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, PHI = p.PHI;
    Complex fast;
    if (PHI > 0 ? powerLawSeries(PHI, Complex(0.0, x), false, fast)
                : powerLawSeries(-PHI, Complex(0.0, -1.0 / x), true, fast))
        return p.R * fast;
    return p.R * viaModule(&NoskHypergeometricApi::oneCutoff, PHI, x);
}

} // namespace nosk::engine::de
