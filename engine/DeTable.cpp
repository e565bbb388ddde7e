#include "DeTable.h"

#include "EngineError.h"
#include "common/core/Exception.h"
#include "de/DeMath.h"
#include "de/Families.h"
#include "de/Special.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace nosk::engine {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kInf = std::numeric_limits<double>::infinity();

using de::inverse;

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

// tanh(x)/x, with its series near 0 where the quotient loses digits.
inline Complex tanhOverX(Complex x)
{
    if (std::abs(x) < 1e-4) {
        const Complex x2 = x * x;
        return 1.0 - x2 / 3.0 + 2.0 * x2 * x2 / 15.0;
    }
    return std::tanh(x) / x;
}

} // namespace

bool deAvailable(int de)
{
    return de >= 0 && de <= 37;
}

void deImpedances(int de, const DeParams& p, const double* omega, const double* lnOmega, int count,
    double sign, Complex* out) noexcept
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    switch (de) {
    case 1:  // R / (1 + i w R T)
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * inverse(Complex(1.0, omega[i] * R * T));
        return;
    case 2: {  // 1 / (T (i w)^PHI)
        const PowerSetup s = powerSetup(1.0, PHI);
        for (int i = 0; i < count; ++i)
            out[i] = sign * inverse(T * power(s, lnOmega[i], PHI));
        return;
    }
    case 3: {  // R / (1 + R T (i w)^PHI)
        const PowerSetup s = powerSetup(1.0, PHI);
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * inverse(1.0 + R * T * power(s, lnOmega[i], PHI));
        return;
    }
    case 4: {  // R / (1 + R^U T (i w)^PHI)
        const PowerSetup s = powerSetup(1.0, PHI);
        const double k = std::pow(R, U) * T;
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * inverse(1.0 + k * power(s, lnOmega[i], PHI));
        return;
    }
    case 5: {  // R / (1 + (i w T)^PHI)
        const PowerSetup s = powerSetup(T, PHI);
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * inverse(1.0 + power(s, lnOmega[i], PHI));
        return;
    }
    case 6: {  // R / (1 + (i w T)^U)^PHI
        const PowerSetup s = powerSetup(T, U);
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * std::exp(-PHI * std::log(1.0 + power(s, lnOmega[i], U)));
        return;
    }
    case 7:  // R / (1 + i w T)^PHI
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * std::exp(-PHI * std::log(Complex(1.0, omega[i] * T)));
        return;
    case 9: {  // R tanh(x) / x, x = (i w T)^PHI
        const PowerSetup s = powerSetup(T, PHI);
        for (int i = 0; i < count; ++i)
            out[i] = sign * R * tanhOverX(power(s, lnOmega[i], PHI));
        return;
    }
    case 16: {  // R coth(x) / x = R / (x tanh(x))
        const PowerSetup s = powerSetup(T, PHI);
        for (int i = 0; i < count; ++i) {
            const Complex x = power(s, lnOmega[i], PHI);
            out[i] = sign * R * inverse(x * std::tanh(x));
        }
        return;
    }
    case 17: {  // 1 / (i w T + 1/R + 1/(U + i w PHI)); R = 0 and U = PHI = 0 drop their branches
        const double g = R != 0 ? 1.0 / R : 0.0;
        const bool rl = !(U == 0 && PHI == 0);
        for (int i = 0; i < count; ++i) {
            Complex y(g, omega[i] * T);
            if (rl)
                y += inverse(Complex(U, omega[i] * PHI));
            out[i] = sign * inverse(y);
        }
        return;
    }
    default:  // DE 0, the empty slot
        for (int i = 0; i < count; ++i)
            out[i] = 0.0;
        return;
    }
}

namespace {

// Values and derivatives of the power-law and diffusion DEs in one pass: the
// power (i w T)^PHI and tanh are formed once per point and serve both. The
// values are those of deImpedances to the bit, the derivatives those of
// de::classicDerivatives. Returns false for the other DEs (and T = 0), which
// take the two separate passes.
bool classicInOnePass(int de, const DeParams& p, const double* lnOmega, int count, double sign, Complex* z,
    Complex* const* d)
{
    const double R = p.R, T = p.T, PHI = p.PHI;
    Complex dd[4];
    auto store = [&](int i) {
        for (int k = 0; k < 4; ++k)
            if (d[k])
                d[k][i] = sign * dd[k];
    };
    switch (de) {
    case 2: {  // 1 / (T (i w)^PHI)
        const PowerSetup s = powerSetup(1.0, PHI);
        for (int i = 0; i < count; ++i) {
            const Complex x = power(s, lnOmega[i], PHI), lw(lnOmega[i], kHalfPi);
            z[i] = sign * inverse(T * x);
            const Complex zz = inverse(T * x);
            dd[0] = dd[2] = 0.0;
            dd[1] = -zz / T;
            dd[3] = -zz * lw;
            store(i);
        }
        return true;
    }
    case 3: {  // R / (1 + R T (i w)^PHI)
        const PowerSetup s = powerSetup(1.0, PHI);
        for (int i = 0; i < count; ++i) {
            const Complex x = power(s, lnOmega[i], PHI), lw(lnOmega[i], kHalfPi);
            z[i] = sign * R * inverse(1.0 + R * T * x);
            const Complex iD2 = inverse((1.0 + R * T * x) * (1.0 + R * T * x));
            dd[0] = iD2;
            dd[1] = -R * R * x * iD2;
            dd[2] = 0.0;
            dd[3] = -R * R * T * x * lw * iD2;
            store(i);
        }
        return true;
    }
    case 5: {  // R / (1 + (i w T)^PHI)
        if (T == 0)
            return false;
        const PowerSetup s = powerSetup(T, PHI);
        for (int i = 0; i < count; ++i) {
            const Complex x = power(s, lnOmega[i], PHI);
            z[i] = sign * R * inverse(1.0 + x);
            const Complex iD = inverse(1.0 + x);
            dd[0] = iD;
            dd[1] = -R * PHI * x / T * iD * iD;
            dd[2] = 0.0;
            dd[3] = -R * x * Complex(lnOmega[i] + s.lnAbsT, s.tSign * kHalfPi) * iD * iD;
            store(i);
        }
        return true;
    }
    case 9: {  // R tanh(x) / x, x = (i w T)^PHI
        if (T == 0)
            return false;
        const PowerSetup s = powerSetup(T, PHI);
        for (int i = 0; i < count; ++i) {
            const Complex x = power(s, lnOmega[i], PHI);
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
            z[i] = sign * R * f;
            dd[0] = f;
            dd[2] = 0.0;
            powerChain(s, R * df, x, T, PHI, lnOmega[i], dd[1], dd[3]);
            store(i);
        }
        return true;
    }
    case 16: {  // R coth(x) / x = R / (x tanh(x))
        if (T == 0)
            return false;
        const PowerSetup s = powerSetup(T, PHI);
        for (int i = 0; i < count; ++i) {
            const Complex x = power(s, lnOmega[i], PHI);
            const Complex th = std::tanh(x), st = x * th, ist = inverse(st);
            z[i] = sign * R * ist;
            dd[0] = ist;
            dd[2] = 0.0;
            powerChain(s, -R * (th + x * (1.0 - th * th)) * inverse(st * st), x, T, PHI, lnOmega[i], dd[1], dd[3]);
            store(i);
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace

Complex deImpedance(int de, const DeParams& p, double omega) noexcept
{
    const double lnOmega = std::log(omega);
    Complex z;
    deImpedances(de, p, &omega, &lnOmega, 1, 1.0, &z);
    return z;
}

namespace {

// What the engine returns for a DE's natural value v.
enum class Level {
    Z,     // v is the impedance
    E,     // v is a dielectric constant: Z = 1 / (i w CELCAP v)
    M,     // v is a modulus: Z = v / (i w CELCAP)
    Real,  // v is a real function of the first data column, returned as Z = v + 0i
};

struct DeEntry {
    de::PointFunction fn;  // nullptr: a first-edition DE (deImpedances)
    Level level;
    bool analytic;         // fn gives every derivative
    unsigned used;         // bits 0-3: R, T, U, PHI take part
};

constexpr unsigned kR = 1, kT = 2, kU = 4, kPhi = 8, kAll = 15;

const DeEntry& entry(int de)
{
    static const DeEntry table[38] = {
        {nullptr, Level::Z, true, 0},                               // 0 empty slot
        {nullptr, Level::Z, true, kR | kT},                         // 1
        {nullptr, Level::Z, true, kT | kPhi},                       // 2
        {nullptr, Level::Z, true, kR | kT | kPhi},                  // 3
        {nullptr, Level::Z, true, kAll},                            // 4
        {nullptr, Level::Z, true, kR | kT | kPhi},                  // 5
        {nullptr, Level::Z, true, kAll},                            // 6
        {nullptr, Level::Z, true, kR | kT | kPhi},                  // 7
        {de::havriliakNegamiPeak, Level::Z, true, kAll},            // 8
        {nullptr, Level::Z, true, kR | kT | kPhi},                  // 9
        {de::kww, Level::Z, true, kR | kT | kPhi},                  // 10
        {de::jonscher, Level::Z, true, kAll},                       // 11
        {de::edaeTwoCutoffs, Level::Z, false, kAll},                // 12
        {de::edaeDoubleExponential, Level::Z, false, kAll},         // 13
        {de::gaussianDae, Level::Z, true, kR | kT | kPhi},          // 14 (real for U = 1)
        {de::diffusionBoundary, Level::Z, true, kAll},              // 15
        {nullptr, Level::Z, true, kR | kT | kPhi},                  // 16
        {nullptr, Level::Z, true, kAll},                            // 17
        {de::dissadoHill, Level::Z, false, kAll},                   // 18
        {de::dissadoHill, Level::E, false, kAll},                   // 19
        {de::powerLawZ, Level::Z, true, kR | kT | kPhi},            // 20
        {de::powerLawEps, Level::E, true, kR | kT | kPhi},          // 21
        {de::powerLawModulus, Level::M, true, kR | kT | kPhi},      // 22
        {de::ladderOpen, Level::Z, true, kR | kT | kPhi},           // 23
        {de::ladderShorted, Level::Z, true, kR | kT | kPhi},        // 24
        {de::bruggeman, Level::E, true, kAll},                      // 25
        {de::seriesCpe, Level::Z, true, kR | kT | kPhi},            // 26
        {de::parallelCpeEps, Level::E, true, kR | kT | kPhi},       // 27
        {de::edaeTwoCutoffsEps, Level::E, false, kAll},             // 28
        {de::davidsonColeGeneral, Level::Z, false, kAll},           // 29
        {de::edaeExact, Level::Z, true, kR | kT | kU},              // 30
        {de::hanaiBruggeman, Level::E, true, kAll},                 // 31
        {de::kwwHalf, Level::Z, false, kR | kT},                    // 32
        {de::thermalLaw, Level::Real, true, kAll},                  // 33
        {de::edaeOneCutoff, Level::Z, false, kR | kT | kPhi},       // 34
        {de::kwwThird, Level::Z, false, kR | kT},                   // 35
        {de::kwwThroughDrt, Level::Z, false, kR | kT | kPhi},       // 36
        {de::kwwDrtValue, Level::Real, false, kR | kT | kPhi},      // 37
    };
    return table[de];
}

Level levelOf(int de, const DeParams& p)
{
    if (de == 14 && p.U == 1)
        return Level::Real;
    return entry(de).level;
}

const char* const kSlotNames[4] = {"R", "T", "U", "PHI"};

double slotValue(const DeParams& p, int k)
{
    const double v[4] = {p.R, p.T, p.U, p.PHI};
    return v[k];
}

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* f, ...)
{
    char buf[200];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buf, sizeof buf, f, args);
    va_end(args);
    return buf;
}

// Collects the first range violation of a DE's parameters as a text such as
// "PHI = 1.2 is outside 0.1 ... 1".
class RangeCheck {
public:
    explicit RangeCheck(const DeParams& p) : m_p(p) {}

    bool ok() const { return m_why.empty(); }
    const std::string& why() const { return m_why; }

    // lo <= v <= hi; an open end excludes its bound.
    void within(int k, double lo, double hi, bool loOpen = false, bool hiOpen = false, const char* hint = nullptr)
    {
        const double v = slotValue(m_p, k);
        if (!ok())
            return;
        const bool bad = !std::isfinite(v) || v < lo || v > hi || (loOpen && v == lo) || (hiOpen && v == hi);
        if (!bad)
            return;
        m_why = format("%s = %g is outside %g ... %g", kSlotNames[k], v, lo, hi);
        if (std::isfinite(v) && ((loOpen && v == lo) || (hiOpen && v == hi)))
            m_why += format(" (%g excluded)", v);
        if (hint)
            m_why += format("; %s", hint);
    }
    void positive(int k)
    {
        const double v = slotValue(m_p, k);
        if (ok() && !(v > 0 && std::isfinite(v)))
            m_why = format("%s = %g must be positive", kSlotNames[k], v);
    }
    void nonNegative(int k)
    {
        const double v = slotValue(m_p, k);
        if (ok() && !(v >= 0 && std::isfinite(v)))
            m_why = format("%s = %g must not be negative", kSlotNames[k], v);
    }
    void finite(int k)
    {
        const double v = slotValue(m_p, k);
        if (ok() && !std::isfinite(v))
            m_why = format("%s is not a number", kSlotNames[k]);
    }
    void form(int k)
    {
        const double v = slotValue(m_p, k);
        if (ok() && v != 0 && v != 1)
            m_why = format("%s = %g must be 0 or 1", kSlotNames[k], v);
    }
    void fail(const std::string& why)
    {
        if (ok())
            m_why = why;
    }

private:
    const DeParams& m_p;
    std::string m_why;
};

enum { R = 0, T = 1, U = 2, PHI = 3 };

// The valid ranges of the DEs that have them (the first-edition DEs accept
// any value, as they always did).
void checkRanges(int de, const DeParams& p, RangeCheck& c)
{
    const bool newDe = de == 8 || de == 10 || (de >= 11 && de <= 15) || de >= 18;
    if (!newDe)
        return;
    if (de == 27)
        c.nonNegative(R);
    else
        c.positive(R);
    if (de == 33)
        c.nonNegative(T);
    else
        c.positive(T);
    switch (de) {
    case 8:
        c.within(U, 0, 1, true);
        c.positive(PHI);
        if (c.ok() && p.U * p.PHI > 1)
            c.fail(format("U*PHI = %g is above 1", p.U * p.PHI));
        break;
    case 10:
        c.form(U);
        c.within(PHI, 0.1, 1);
        break;
    case 11:
        c.nonNegative(U);
        c.within(PHI, 0, 1, true);
        break;
    case 12:
    case 28:
        c.within(U, 0, 700, true);
        c.within(PHI, -20, 20);
        break;
    case 13:
        c.within(U, 0, 20, true);
        c.within(PHI, 0, 20, true);
        break;
    case 14:
        c.form(U);
        c.within(PHI, 1e-3, 50);
        break;
    case 15:
        c.nonNegative(U);
        c.within(PHI, 0, 0.5, true);
        break;
    case 18:
    case 19:
        c.within(U, 0, 1, true);
        c.within(PHI, 0, 1, false, true);
        break;
    case 20:
        c.within(PHI, -1, 1);
        break;
    case 21:
    case 22:
    case 26:
    case 27:
        c.within(PHI, 0, 1);
        break;
    case 23:
    case 24:
        if (c.ok() && !(p.U >= 1 && p.U <= 100000 && p.U == std::floor(p.U)))
            c.fail(format("U = %g is no whole number of sections from 1 to 100000", p.U));
        c.within(PHI, 0, 1, true);
        break;
    case 25:
    case 31:
        c.within(U, 0, 1);
        c.within(PHI, 0, 1);
        break;
    case 29:
        c.within(U, -20, 1, false, true);
        c.within(PHI, 0, 20, true);
        break;
    case 30:
        c.within(U, 0, 700, true);
        break;
    case 32:
    case 35:
        c.form(U);
        break;
    case 33:
        c.finite(U);
        c.within(PHI, -20, 20);
        break;
    case 34:
        c.within(PHI, -20, 20);
        if (c.ok() && p.PHI == 0)
            c.fail("PHI = 0 is not allowed (the distribution cannot be normalised)");
        break;
    case 36:
        c.form(U);
        c.within(PHI, 0.1, 0.98, false, false, "use DE 10 for beta near 1");
        break;
    case 37:
        c.within(PHI, 0.1, 0.98, false, false, "use DE 10 for beta near 1");
        break;
    default:
        break;
    }
}

bool needsCell(int de)
{
    const Level l = entry(de).level;
    return l == Level::E || l == Level::M;
}

bool inRange(int de, const DeParams& p, const DeContext& ctx)
{
    if (de < 0 || de > 37)
        return false;
    if (needsCell(de) && !(ctx.celcap > 0 && std::isfinite(ctx.celcap)))
        return false;
    if (de == 30 && p.PHI != 0 && p.PHI != 1)
        return false;
    RangeCheck c(p);
    checkRanges(de, p, c);
    return c.ok();
}

// Turns the DE's natural value v (with derivatives dv) into Z.
inline Complex toImpedance(Level level, double omega, const DeContext& ctx, Complex v, Complex* dv)
{
    switch (level) {
    case Level::E: {
        const Complex z = de::inverse(Complex(0.0, omega * ctx.celcap) * v);
        if (dv) {
            const Complex f = -z * de::inverse(v);
            for (int k = 0; k < 4; ++k)
                dv[k] *= f;
        }
        return z;
    }
    case Level::M: {
        const Complex f = de::inverse(Complex(0.0, omega * ctx.celcap));
        if (dv)
            for (int k = 0; k < 4; ++k)
                dv[k] *= f;
        return v * f;
    }
    case Level::Real:
        if (dv)
            for (int k = 0; k < 4; ++k)
                dv[k] = dv[k].real();
        return v.real();
    case Level::Z:
    default:
        return v;
    }
}

// Values (unsigned) of a DE computed by its point function.
void pointValues(int de, const DeParams& p, const DeContext& ctx, const double* omega, const double* lnOmega,
    int count, Complex* z)
{
    const DeEntry& e = entry(de);
    const Level level = levelOf(de, p);
    for (int i = 0; i < count; ++i)
        z[i] = toImpedance(level, omega[i], ctx, e.fn(p, omega[i], lnOmega[i], nullptr), nullptr);
}

} // namespace

bool deHasAnalyticDerivatives(int de)
{
    return de >= 0 && de <= 37 && entry(de).analytic;
}

bool deEvaluate(int de, const DeParams& p, const DeContext& ctx, const double* omega, const double* lnOmega,
    int count, double sign, Complex* z, Complex* const* d)
{
    if (!inRange(de, p, ctx))
        return false;
    const DeEntry& e = entry(de);
    bool wanted = false;
    if (d)
        for (int k = 0; k < 4; ++k)
            wanted = wanted || d[k] != nullptr;
    if (!e.fn) {
        if (wanted && classicInOnePass(de, p, lnOmega, count, sign, z, d))
            return true;
        deImpedances(de, p, omega, lnOmega, count, sign, z);
        if (wanted) {
            Complex dd[4];
            for (int i = 0; i < count; ++i) {
                de::classicDerivatives(de, p, omega[i], lnOmega[i], dd);
                for (int k = 0; k < 4; ++k)
                    if (d[k])
                        d[k][i] = sign * dd[k];
            }
        }
        return true;
    }
    const Level level = levelOf(de, p);
    if (e.analytic) {
        Complex dd[4];
        for (int i = 0; i < count; ++i) {
            const Complex v = e.fn(p, omega[i], lnOmega[i], wanted ? dd : nullptr);
            z[i] = sign * toImpedance(level, omega[i], ctx, v, wanted ? dd : nullptr);
            if (wanted)
                for (int k = 0; k < 4; ++k)
                    if (d[k])
                        d[k][i] = (e.used >> k & 1) ? sign * dd[k] : Complex(0.0);
        }
        return true;
    }
    pointValues(de, p, ctx, omega, lnOmega, count, z);
    if (wanted) {
        // Every DE without analytic derivatives is proportional to R (or, at
        // the dielectric level, its Z to 1/R); the others by central
        // differences of this DE alone, one-sided at the end of a range.
        for (int k = 0; k < 4; ++k) {
            if (!d[k])
                continue;
            if (!(e.used >> k & 1)) {
                std::fill(d[k], d[k] + count, Complex(0.0));
                continue;
            }
            if (k == 0) {
                const double f = level == Level::E ? -1.0 / p.R : 1.0 / p.R;
                for (int i = 0; i < count; ++i)
                    d[k][i] = sign * f * z[i];
                continue;
            }
            const double x = slotValue(p, k);
            const double h = 1e-5 * std::max(std::abs(x), k == T ? 1e-300 : 0.01);
            auto shifted = [&](double delta) {
                DeParams q = p;
                double* slots[4] = {&q.R, &q.T, &q.U, &q.PHI};
                *slots[k] = x + delta;
                return q;
            };
            const DeParams plus = shifted(h), minus = shifted(-h);
            std::vector<Complex> a(count), b(count);
            if (inRange(de, plus, ctx) && inRange(de, minus, ctx)) {
                pointValues(de, plus, ctx, omega, lnOmega, count, a.data());
                pointValues(de, minus, ctx, omega, lnOmega, count, b.data());
                for (int i = 0; i < count; ++i) {
                    // A positive real output (a density far in its tail) varies
                    // smoothly in its logarithm, not in its value.
                    const bool logScale = level == Level::Real && z[i].real() > 0 && a[i].real() > 0
                        && b[i].real() > 0;
                    d[k][i] = logScale ? sign * z[i] * (std::log(a[i].real()) - std::log(b[i].real())) / (2 * h)
                                       : sign * (a[i] - b[i]) / (2 * h);
                }
            } else {
                // Second-order one-sided difference into the range.
                const double s = inRange(de, plus, ctx) ? 1.0 : -1.0;
                pointValues(de, shifted(s * h), ctx, omega, lnOmega, count, a.data());
                pointValues(de, shifted(2 * s * h), ctx, omega, lnOmega, count, b.data());
                for (int i = 0; i < count; ++i)
                    d[k][i] = sign * s * (-3.0 * z[i] + 4.0 * a[i] - b[i]) / (2 * h);
            }
        }
    }
    for (int i = 0; i < count; ++i)
        z[i] *= sign;
    return true;
}

void deValidate(int de, const DeParams& p, const int* nfree, int selectorIndex, const DeContext& ctx)
{
    if (!deAvailable(de))
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE %i is not available in this engine", de);
    if (needsCell(de) && !(ctx.celcap > 0 && std::isfinite(ctx.celcap)))
        throw EngineError(Reason::Kind::Field, Place().withField("CELCAP").withDe(de),
            "DE %i works at the dielectric level and needs CELCAP > 0", de);
    if (de == 30 && p.PHI != 0 && p.PHI != 1)
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE 30: PHI must be 0 or 1; use DE 12");
    RangeCheck c(p);
    checkRanges(de, p, c);
    if (!c.ok())
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE %i (P[%i]): %s", de, selectorIndex, c.why().c_str());
    // Parameters that pick the response form, count sections or set the
    // reference time of a pure power law cannot be fitted.
    int fixedOnly = -1;
    if (de == 10 || de == 14 || de == 32 || de == 35 || de == 36 || de == 23 || de == 24)
        fixedOnly = U;
    else if (de == 20 || de == 21 || de == 22)
        fixedOnly = T;
    if (fixedOnly >= 0 && nfree && (nfree[fixedOnly] == 1 || nfree[fixedOnly] == 2))
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE %i: %s selects the form (or is a reference value) and must be fixed", de,
            kSlotNames[fixedOnly]);
}

} // namespace nosk::engine
