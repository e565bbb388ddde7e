// The hypergeometric module: every computation of the engine that needs Arb,
// loaded by the engine on first use (see HypergeometricModule.h). Arb
// evaluates with rigorous error bounds; the working precision rises until the
// result has 48 certain bits, so differences such as DE 12 at small PHI keep
// their digits.

#include "HypergeometricModule.h"

#include <acb.h>
#include <acb_hypgeom.h>
#include <arb.h>

#include <pthread.h>

#include <cstdlib>

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
// when the program ends so that leak checkers see a clean exit. (pthread_once
// rather than std::call_once: the module needs no C++ runtime of its own, so
// it works beside an engine that carries the runtime inside.)
void registerCleanup()
{
    std::atexit(flint_cleanup);
}

void releaseCachesAtExit()
{
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    pthread_once(&once, registerCleanup);
}

// Runs compute(result, prec) at 64 bits and doubles the precision until the
// result carries 48 certain bits (or the precision reaches 4096 bits), and
// writes the midpoint to out[0], out[1].
template <class F>
void certain(double* out, F compute)
{
    releaseCachesAtExit();
    Acb r;
    for (slong prec = 64; prec <= 4096; prec *= 2) {
        compute(r.v, prec);
        if (acb_rel_accuracy_bits(r.v) >= 48)
            break;
    }
    out[0] = arf_get_d(arb_midref(acb_realref(r.v)), ARF_RND_NEAR);
    out[1] = arf_get_d(arb_midref(acb_imagref(r.v)), ARF_RND_NEAR);
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

void hyp2f1(double a, double b, double c, double zRe, double zIm, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
        Acb aa(a, 0.0), bb(b, 0.0), cc(c, 0.0), zz(zRe, zIm);
        acb_hypgeom_2f1(res, aa.v, bb.v, cc.v, zz.v, 0, prec);
    });
}

void powerLaw(double phi, double zRe, double zIm, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
        Acb zz(zRe, zIm);
        powerLawResponse(res, phi, zz.v, prec);
    });
}

void twoCutoff(double phi, double U, double x, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
        const double q = phi < 0 ? -phi : phi;
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

void doubleExponential(double U, double PHI, double x, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
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

void dissadoHill(double m, double n, double x, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
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

void davidsonCole(double U, double PHI, double x, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
        // 2F1(1, PHI; 1 + PHI - U; -i x)
        Acb a(1.0, 0.0), b(PHI, 0.0), c, z(0.0, -x);
        Arb t;
        arb_add_ui(t.v, Arb(PHI).v, 1, prec);
        arb_sub(t.v, t.v, Arb(U).v, prec);
        acb_set_arb(c.v, t.v);
        acb_hypgeom_2f1(res, a.v, b.v, c.v, z.v, 0, prec);
    });
}

void oneCutoff(double PHI, double x, double* out)
{
    certain(out, [&](acb_t res, slong prec) {
        if (PHI > 0) {
            Acb ix(0.0, x);
            powerLawResponse(res, PHI, ix.v, prec);
        } else {
            reflectedResponse(res, -PHI, x, prec);
        }
    });
}

const NoskHypergeometricApi kApi = {
    kNoskHypergeometricApiVersion, hyp2f1, powerLaw, twoCutoff, doubleExponential, dissadoHill, davidsonCole,
    oneCutoff};

} // namespace

extern "C" __attribute__((visibility("default"))) const NoskHypergeometricApi* nosk_hypergeometric_api(void)
{
    return &kApi;
}
