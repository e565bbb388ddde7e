// The first-edition DEs 0-7, 9, 16 and 17: closed forms over all points at
// once (values, values with derivatives in one pass) and their analytic
// derivatives at one point. They accept any parameter values, T <= 0
// included, as they always did.

#include "DeMath.h"
#include "Families.h"

#include <cmath>
#include <limits>

namespace nosk::engine::de {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// (i w t)^phi on the principal branch, from ln w: |w t|^phi at the angle
// +-phi pi/2 (the sign of t decides the side). `rot` is e^(i phi pi/2),
// hoisted out of the point loop by the caller.
inline Complex imagPower(double lnOmega, double lnAbsT, double tSign, double phi, Complex rot) noexcept
{
    const double mag = std::exp(phi * (lnOmega + lnAbsT));
    return {mag * rot.real(), tSign * mag * rot.imag()};
}

// The exponent data of (i w T)^PHI that do not depend on w.
struct PowerSetup {
    double lnAbsT, tSign;
    Complex rot;
    bool zeroBase;  // T == 0: the power is 0, 1 or infinite
};

PowerSetup powerSetup(double T, double phi)
{
    PowerSetup s;
    s.zeroBase = (T == 0);
    s.lnAbsT = s.zeroBase ? 0.0 : std::log(std::abs(T));
    s.tSign = T < 0 ? -1.0 : 1.0;
    s.rot = {std::cos(kHalfPi * phi), std::sin(kHalfPi * phi)};
    return s;
}

inline Complex power(const PowerSetup& s, double lnOmega, double phi) noexcept
{
    if (s.zeroBase) {
        if (phi > 0)
            return 0.0;
        return phi == 0 ? Complex(1.0) : Complex(kInf, 0.0);
    }
    return imagPower(lnOmega, s.lnAbsT, s.tSign, phi, s.rot);
}

// The derivatives with respect to T and PHI of a z(x), x = (i w T)^PHI with
// T != 0, from g = dz/dx: dz/dT = g PHI x / T, dz/dPHI = g x ln(i w T) on the
// principal branch.
inline void powerChain(const PowerSetup& s, Complex g, Complex x, double T, double phi, double lnOmega,
    Complex& dT, Complex& dPhi) noexcept
{
    dT = g * phi * x / T;
    dPhi = g * x * Complex(lnOmega + s.lnAbsT, s.tSign * kHalfPi);
}

// The loop of a DE that gives values and derivatives in one pass, over
// x = (i w t)^phi (t = T, or 1 where T is a coefficient): at(s, i, x, dd)
// returns point i's unsigned value and writes its derivatives to dd. False
// for t = 0, where the power is no function of w. The callers are marked
// flatten so that the loop and every helper inline into them (without it the
// loop of DE 9 takes 3 % more instructions).
template <class At>
bool overPower(double t, double phi, const double* lnOmega, int count, double sign, Complex* z, Complex* const* d,
    At at)
{
    if (t == 0)
        return false;
    const PowerSetup s = powerSetup(t, phi);
    Complex dd[4];
    for (int i = 0; i < count; ++i) {
        z[i] = sign * at(s, i, power(s, lnOmega[i], phi), dd);
        for (int k = 0; k < 4; ++k)
            if (d[k])
                d[k][i] = sign * dd[k];
    }
    return true;
}

// ln(i w T) for T of either sign (the power then takes the angle -phi pi/2).
Complex signedLogIwt(double lnOmega, double T)
{
    return {lnOmega + std::log(std::abs(T)), T < 0 ? -kHalfPi : kHalfPi};
}

// The power (i w T)^phi at one point, as the values form it.
Complex signedPower(double lnOmega, double T, double phi)
{
    if (T == 0)
        return phi > 0 ? Complex(0.0) : Complex(1.0);
    return powIwt(phi, signedLogIwt(lnOmega, T));
}

void clear(Complex* d)
{
    for (int k = 0; k < 4; ++k)
        d[k] = 0.0;
}

// DE 0, the empty slot: Z = 0.
void emptyValues(const DeParams&, const double*, const double*, int count, double, Complex* out) noexcept
{
    for (int i = 0; i < count; ++i)
        out[i] = 0.0;
}

void emptyDerivatives(const DeParams&, double, double, Complex* d)
{
    clear(d);
}

// DE 1: R / (1 + i w R T).
void parallelRcValues(const DeParams& p, const double* omega, const double*, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T;
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * inverse(Complex(1.0, omega[i] * R * T));
}

void parallelRcDerivatives(const DeParams& p, double omega, double, Complex* d)
{
    const double R = p.R, T = p.T;
    clear(d);
    const Complex D(1.0, omega * R * T);
    const Complex D2 = D * D;
    d[0] = inverse(D2);
    d[1] = Complex(0.0, -omega * R * R) * inverse(D2);
}

// DE 2: 1 / (T (i w)^PHI).
void cpeValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double T = p.T, PHI = p.PHI;
    const PowerSetup s = powerSetup(1.0, PHI);
    for (int i = 0; i < count; ++i)
        out[i] = sign * inverse(T * power(s, lnOmega[i], PHI));
}

[[gnu::flatten]]
bool cpeOnePass(const DeParams& p, const double* lnOmega, int count, double sign, Complex* z, Complex* const* d)
{
    const double T = p.T;
    return overPower(1.0, p.PHI, lnOmega, count, sign, z, d, [&](const PowerSetup&, int i, Complex x, Complex* dd) {
        const Complex lw(lnOmega[i], kHalfPi), zz = inverse(T * x);
        dd[0] = dd[2] = 0.0;
        dd[1] = -zz / T;
        dd[3] = -zz * lw;
        return zz;
    });
}

void cpeDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double T = p.T, PHI = p.PHI;
    clear(d);
    const Complex lw(lnOmega, kHalfPi);  // ln(i w)
    const Complex s = powIwt(PHI, lw);
    const Complex z = inverse(T * s);
    d[1] = -z / T;
    d[3] = -z * lw;
}

// DE 3: R / (1 + R T (i w)^PHI).
void cpeParallelRValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    const PowerSetup s = powerSetup(1.0, PHI);
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * inverse(1.0 + R * T * power(s, lnOmega[i], PHI));
}

[[gnu::flatten]]
bool cpeParallelROnePass(const DeParams& p, const double* lnOmega, int count, double sign, Complex* z,
    Complex* const* d)
{
    const double R = p.R, T = p.T;
    return overPower(1.0, p.PHI, lnOmega, count, sign, z, d, [&](const PowerSetup&, int i, Complex x, Complex* dd) {
        const Complex lw(lnOmega[i], kHalfPi);
        const Complex iD2 = inverse((1.0 + R * T * x) * (1.0 + R * T * x));
        dd[0] = iD2;
        dd[1] = -R * R * x * iD2;
        dd[2] = 0.0;
        dd[3] = -R * R * T * x * lw * iD2;
        return R * inverse(1.0 + R * T * x);
    });
}

void cpeParallelRDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    clear(d);
    const Complex lw(lnOmega, kHalfPi);
    const Complex s = powIwt(PHI, lw);
    const Complex iD2 = inverse((1.0 + R * T * s) * (1.0 + R * T * s));
    d[0] = iD2;
    d[1] = -R * R * s * iD2;
    d[3] = -R * R * T * s * lw * iD2;
}

// DE 4: R / (1 + R^U T (i w)^PHI).
void coleColeValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    const PowerSetup s = powerSetup(1.0, PHI);
    const double k = std::pow(R, U) * T;
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * inverse(1.0 + k * power(s, lnOmega[i], PHI));
}

void coleColeDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    clear(d);
    const Complex lw(lnOmega, kHalfPi);
    const Complex s = powIwt(PHI, lw);
    const double k = std::pow(R, U) * T;
    const Complex iD2 = inverse((1.0 + k * s) * (1.0 + k * s));
    d[0] = (1.0 + (1.0 - U) * k * s) * iD2;
    d[1] = -R * std::pow(R, U) * s * iD2;
    if (R > 0)
        d[2] = -R * k * std::log(R) * s * iD2;
    d[3] = -R * k * s * lw * iD2;
}

// DE 5: R / (1 + (i w T)^PHI).
void zarcValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    const PowerSetup s = powerSetup(T, PHI);
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * inverse(1.0 + power(s, lnOmega[i], PHI));
}

[[gnu::flatten]]
bool zarcOnePass(const DeParams& p, const double* lnOmega, int count, double sign, Complex* z, Complex* const* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    return overPower(T, PHI, lnOmega, count, sign, z, d, [&](const PowerSetup& s, int i, Complex x, Complex* dd) {
        const Complex iD = inverse(1.0 + x);
        dd[0] = iD;
        dd[1] = -R * PHI * x / T * iD * iD;
        dd[2] = 0.0;
        dd[3] = -R * x * Complex(lnOmega[i] + s.lnAbsT, s.tSign * kHalfPi) * iD * iD;
        return R * inverse(1.0 + x);
    });
}

void zarcDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    clear(d);
    const Complex s = signedPower(lnOmega, T, PHI);
    const Complex iD = inverse(1.0 + s);
    d[0] = iD;
    if (T != 0) {
        d[1] = -R * PHI * s / T * iD * iD;
        d[3] = -R * s * signedLogIwt(lnOmega, T) * iD * iD;
    }
}

// DE 6: R / (1 + (i w T)^U)^PHI.
void havriliakNegamiValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    const PowerSetup s = powerSetup(T, U);
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * std::exp(-PHI * std::log(1.0 + power(s, lnOmega[i], U)));
}

void havriliakNegamiDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    clear(d);
    const Complex s = signedPower(lnOmega, T, U);
    const Complex B = 1.0 + s, logB = std::log(B);
    const Complex base = std::exp(-PHI * logB);
    d[0] = base;
    if (T != 0) {
        d[1] = -PHI * R * base / B * U * s / T;
        d[2] = -PHI * R * base / B * s * signedLogIwt(lnOmega, T);
    }
    d[3] = -R * base * logB;
}

// DE 7: R / (1 + i w T)^PHI.
void coleDavidsonValues(const DeParams& p, const double* omega, const double*, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * std::exp(-PHI * std::log(Complex(1.0, omega[i] * T)));
}

void coleDavidsonDerivatives(const DeParams& p, double omega, double, Complex* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    clear(d);
    const Complex B(1.0, omega * T), logB = std::log(B);
    const Complex base = std::exp(-PHI * logB);
    d[0] = base;
    d[1] = -PHI * R * base * Complex(0.0, omega) / B;
    d[3] = -R * base * logB;
}

// DE 9: R tanh(x) / x, x = (i w T)^PHI.
void transmissiveValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    const PowerSetup s = powerSetup(T, PHI);
    for (int i = 0; i < count; ++i)
        out[i] = sign * R * tanhOverX(power(s, lnOmega[i], PHI));
}

[[gnu::flatten]]
bool transmissiveOnePass(const DeParams& p, const double* lnOmega, int count, double sign, Complex* z,
    Complex* const* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    return overPower(T, PHI, lnOmega, count, sign, z, d, [&](const PowerSetup& s, int i, Complex x, Complex* dd) {
        Complex f, df;
        if (std::abs(x) < 1e-4) {
            const Complex x2 = x * x;
            f = 1.0 - x2 / 3.0 + 2.0 * x2 * x2 / 15.0;
            df = x * (-2.0 / 3.0 + 8.0 * x2 / 15.0);
        } else {
            const Complex th = std::tanh(x);
            f = th / x;
            df = (1.0 - th * th) / x - th / (x * x);
        }
        dd[0] = f;
        dd[2] = 0.0;
        powerChain(s, R * df, x, T, PHI, lnOmega[i], dd[1], dd[3]);
        return R * f;
    });
}

void transmissiveDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    clear(d);
    const Complex s = signedPower(lnOmega, T, PHI);
    d[0] = tanhOverX(s);
    if (T != 0) {
        const Complex dt = R * tanhOverXDerivative(s);
        d[1] = dt * PHI * s / T;
        d[3] = dt * s * signedLogIwt(lnOmega, T);
    }
}

// DE 16: R coth(x) / x = R / (x tanh(x)), x = (i w T)^PHI.
void reflectingValues(const DeParams& p, const double*, const double* lnOmega, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    const PowerSetup s = powerSetup(T, PHI);
    for (int i = 0; i < count; ++i) {
        const Complex x = power(s, lnOmega[i], PHI);
        out[i] = sign * R * inverse(x * std::tanh(x));
    }
}

[[gnu::flatten]]
bool reflectingOnePass(const DeParams& p, const double* lnOmega, int count, double sign, Complex* z,
    Complex* const* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    return overPower(T, PHI, lnOmega, count, sign, z, d, [&](const PowerSetup& s, int i, Complex x, Complex* dd) {
        const Complex th = std::tanh(x), st = x * th, ist = inverse(st);
        dd[0] = ist;
        dd[2] = 0.0;
        powerChain(s, -R * (th + x * (1.0 - th * th)) * inverse(st * st), x, T, PHI, lnOmega[i], dd[1], dd[3]);
        return R * ist;
    });
}

void reflectingDerivatives(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    clear(d);
    const Complex s = signedPower(lnOmega, T, PHI);
    const Complex th = std::tanh(s), st = s * th;
    d[0] = inverse(st);
    if (T != 0) {
        const Complex dc = -R * (th + s * (1.0 - th * th)) * inverse(st * st);
        d[1] = dc * PHI * s / T;
        d[3] = dc * s * signedLogIwt(lnOmega, T);
    }
}

// DE 17: 1 / (i w T + 1/R + 1/(U + i w PHI)); R = 0 and U = PHI = 0 drop
// their branches.
void fourElementsValues(const DeParams& p, const double* omega, const double*, int count, double sign,
    Complex* out) noexcept
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    const double g = R != 0 ? 1.0 / R : 0.0;
    const bool rl = !(U == 0 && PHI == 0);
    for (int i = 0; i < count; ++i) {
        Complex y(g, omega[i] * T);
        if (rl)
            y += inverse(Complex(U, omega[i] * PHI));
        out[i] = sign * inverse(y);
    }
}

void fourElementsDerivatives(const DeParams& p, double omega, double, Complex* d)
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    clear(d);
    const bool rl = !(U == 0 && PHI == 0);
    const Complex b(U, omega * PHI);
    Complex y(R != 0 ? 1.0 / R : 0.0, omega * T);
    if (rl)
        y += inverse(b);
    const Complex z = inverse(y), mz2 = -z * z;
    if (R != 0)
        d[0] = mz2 * (-1.0 / (R * R));
    d[1] = mz2 * Complex(0.0, omega);
    if (rl) {
        const Complex ib2 = inverse(b * b);
        d[2] = mz2 * -ib2;
        d[3] = mz2 * Complex(0.0, -omega) * ib2;
    }
}

} // namespace

const FirstEdition kEmptySlot{emptyValues, nullptr, emptyDerivatives};
const FirstEdition kParallelRc{parallelRcValues, nullptr, parallelRcDerivatives};
const FirstEdition kCpe{cpeValues, cpeOnePass, cpeDerivatives};
const FirstEdition kCpeParallelR{cpeParallelRValues, cpeParallelROnePass, cpeParallelRDerivatives};
const FirstEdition kColeCole{coleColeValues, nullptr, coleColeDerivatives};
const FirstEdition kZarc{zarcValues, zarcOnePass, zarcDerivatives};
const FirstEdition kHavriliakNegami{havriliakNegamiValues, nullptr, havriliakNegamiDerivatives};
const FirstEdition kColeDavidson{coleDavidsonValues, nullptr, coleDavidsonDerivatives};
const FirstEdition kTransmissive{transmissiveValues, transmissiveOnePass, transmissiveDerivatives};
const FirstEdition kReflecting{reflectingValues, reflectingOnePass, reflectingDerivatives};
const FirstEdition kFourElements{fourElementsValues, nullptr, fourElementsDerivatives};

} // namespace nosk::engine::de
