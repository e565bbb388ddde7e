// DEs whose response is Gauss's hypergeometric function: the exponential
// distributions of activation energies (12, 13, 28, 34), Dissado-Hill (18, 19)
// and the generalised Davidson-Cole form (29). Arb evaluates them with
// rigorous error bounds; the working precision rises until the result has
// 48 certain bits, so differences such as DE 12 at small PHI keep their digits.

#include "DeMath.h"
#include "Families.h"
#include "Special.h"

#include <acb.h>
#include <acb_hypgeom.h>
#include <arb.h>

#include <cstdlib>
#include <mutex>

namespace nosk::engine::de {

namespace {

struct Acb {
    acb_t v;
    Acb() { acb_init(v); }
    Acb(double re, double im) { acb_init(v), acb_set_d_d(v, re, im); }
    ~Acb() { acb_clear(v); }
    Acb(const Acb&) = delete;
    Acb& operator=(const Acb&) = delete;
};

struct Arb {
    arb_t v;
    Arb() { arb_init(v); }
    explicit Arb(double x) { arb_init(v), arb_set_d(v, x); }
    ~Arb() { arb_clear(v); }
    Arb(const Arb&) = delete;
    Arb& operator=(const Arb&) = delete;
};

// Arb keeps per-thread caches (constants, gamma tables); they are released
// when the program ends so that leak checkers see a clean exit.
void releaseCachesAtExit()
{
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(flint_cleanup); });
}

Complex toComplex(const acb_t z)
{
    return {arf_get_d(arb_midref(acb_realref(z)), ARF_RND_NEAR), arf_get_d(arb_midref(acb_imagref(z)), ARF_RND_NEAR)};
}

// Runs compute(result, prec) at 64 bits and doubles the precision until the
// result carries 48 certain bits (or the precision reaches 4096 bits).
template <class F>
Complex certain(F compute)
{
    releaseCachesAtExit();
    Acb r;
    for (slong prec = 64; prec <= 4096; prec *= 2) {
        compute(r.v, prec);
        if (acb_rel_accuracy_bits(r.v) >= 48)
            break;
    }
    return toComplex(r.v);
}

// P_phi(z) = 2F1(1, phi; 1 + phi; -z), the response of the one-sided power-law DRT.
void powerLawResponse(acb_t res, double phi, const acb_t z, slong prec)
{
    Acb a(1.0, 0.0), b(phi, 0.0), c(1.0 + phi, 0.0), mz;
    acb_neg(mz.v, z);
    acb_hypgeom_2f1(res, a.v, b.v, c.v, mz.v, 0, prec);
}

// 1 - P_q(1/(i x)), the response of the power-law DRT above its cutoff.
void reflectedResponse(acb_t res, double q, double x, slong prec)
{
    Acb z(0.0, -1.0);
    acb_div_arb(z.v, z.v, Arb(x).v, prec);
    powerLawResponse(res, q, z.v, prec);
    acb_neg(res, res);
    acb_add_ui(res, res, 1, prec);
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
    return certain([&](acb_t res, slong prec) {
        const double q = std::abs(phi);
        Arb aq;  // a^q = e^(-q U)
        arb_set_d(aq.v, -q);
        arb_mul(aq.v, aq.v, Arb(U).v, prec);
        arb_exp(aq.v, aq.v, prec);
        Acb near, far;
        if (phi > 0) {
            // [P(i x) - a^phi P(i x a)] / (1 - a^phi)
            Acb ix(0.0, x), ixa;
            Arb a;
            arb_neg(a.v, Arb(U).v);
            arb_exp(a.v, a.v, prec);
            acb_mul_arb(ixa.v, ix.v, a.v, prec);
            powerLawResponse(near.v, q, ix.v, prec);
            powerLawResponse(far.v, q, ixa.v, prec);
        } else {
            // 1 - [P(xi) - a^q P(xi a)] / (1 - a^q), xi = e^U / (i x)
            Acb xia(0.0, -1.0), xi;
            acb_div_arb(xia.v, xia.v, Arb(x).v, prec);
            Arb eU;
            arb_exp(eU.v, Arb(U).v, prec);
            acb_mul_arb(xi.v, xia.v, eU.v, prec);
            powerLawResponse(near.v, q, xi.v, prec);
            powerLawResponse(far.v, q, xia.v, prec);
        }
        acb_mul_arb(far.v, far.v, aq.v, prec);
        acb_sub(res, near.v, far.v, prec);
        Arb den;
        arb_sub_ui(den.v, aq.v, 1, prec);
        arb_neg(den.v, den.v);
        acb_div_arb(res, res, den.v, prec);
        if (phi < 0) {
            acb_neg(res, res);
            acb_add_ui(res, res, 1, prec);
        }
    });
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
    return certain([&](acb_t res, slong prec) {
        Acb zz(z.real(), z.imag());
        powerLawResponse(res, phi, zz.v, prec);
    });
}

Complex hypergeometric2F1(double a, double b, double c, Complex z)
{
    return certain([&](acb_t res, slong prec) {
        Acb aa(a, 0.0), bb(b, 0.0), cc(c, 0.0), zz(z.real(), z.imag());
        acb_hypgeom_2f1(res, aa.v, bb.v, cc.v, zz.v, 0, prec);
    });
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
    return p.R * certain([&](acb_t res, slong prec) {
        // [PHI P_U(i x) + U (1 - P_PHI(1/(i x)))] / (U + PHI)
        Acb ix(0.0, x), low, high;
        powerLawResponse(high.v, U, ix.v, prec);
        reflectedResponse(low.v, PHI, x, prec);
        acb_mul_arb(high.v, high.v, Arb(PHI).v, prec);
        acb_mul_arb(low.v, low.v, Arb(U).v, prec);
        acb_add(res, high.v, low.v, prec);
        Arb sum;
        arb_add(sum.v, Arb(U).v, Arb(PHI).v, prec);
        acb_div_arb(res, res, sum.v, prec);
    });
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
    return p.R * certain([&](acb_t res, slong prec) {
        // Gamma(1+m-n) / (Gamma(2-n) Gamma(m)) (1+ix)^(n-1) 2F1(1-n, 1-m; 2-n; 1/(1+ix))
        Arb mA(m), nA(n), t, g;
        arb_sub(t.v, mA.v, nA.v, prec);
        arb_add_ui(t.v, t.v, 1, prec);
        arb_gamma(g.v, t.v, prec);
        arb_sub_ui(t.v, nA.v, 2, prec);
        arb_neg(t.v, t.v);
        Arb g2;
        arb_gamma(g2.v, t.v, prec);
        arb_div(g.v, g.v, g2.v, prec);
        arb_gamma(g2.v, mA.v, prec);
        arb_div(g.v, g.v, g2.v, prec);
        Acb onePlusIx(1.0, x), w, a, b, c, f, pw;
        acb_inv(w.v, onePlusIx.v, prec);
        arb_sub_ui(t.v, nA.v, 1, prec);
        arb_neg(t.v, t.v);
        acb_set_arb(a.v, t.v);  // 1 - n
        arb_sub_ui(t.v, mA.v, 1, prec);
        arb_neg(t.v, t.v);
        acb_set_arb(b.v, t.v);  // 1 - m
        arb_sub_ui(t.v, nA.v, 2, prec);
        arb_neg(t.v, t.v);
        acb_set_arb(c.v, t.v);  // 2 - n
        acb_hypgeom_2f1(f.v, a.v, b.v, c.v, w.v, 0, prec);
        arb_sub_ui(t.v, nA.v, 1, prec);
        acb_pow_arb(pw.v, onePlusIx.v, t.v, prec);
        acb_mul(res, f.v, pw.v, prec);
        acb_mul_arb(res, res, g.v, prec);
    });
}

Complex davidsonColeGeneral(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, U = p.U, PHI = p.PHI;
    return p.R * certain([&](acb_t res, slong prec) {
        // 2F1(1, PHI; 1 + PHI - U; -i x)
        Acb a(1.0, 0.0), b(PHI, 0.0), c, z(0.0, -x);
        Arb t;
        arb_add_ui(t.v, Arb(PHI).v, 1, prec);
        arb_sub(t.v, t.v, Arb(U).v, prec);
        acb_set_arb(c.v, t.v);
        acb_hypgeom_2f1(res, a.v, b.v, c.v, z.v, 0, prec);
    });
}

Complex edaeOneCutoff(const DeParams& p, double omega, double, Complex*)
{
    const double x = omega * p.T, PHI = p.PHI;
    Complex fast;
    if (PHI > 0 ? powerLawSeries(PHI, Complex(0.0, x), false, fast)
                : powerLawSeries(-PHI, Complex(0.0, -1.0 / x), true, fast))
        return p.R * fast;
    return p.R * certain([&](acb_t res, slong prec) {
        if (PHI > 0) {
            Acb ix(0.0, x);
            powerLawResponse(res, PHI, ix.v, prec);
        } else {
            reflectedResponse(res, -PHI, x, prec);
        }
    });
}

} // namespace nosk::engine::de
