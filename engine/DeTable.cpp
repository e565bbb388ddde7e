#include "DeTable.h"

#include "common/core/Exception.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nosk::engine {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kInf = std::numeric_limits<double>::infinity();

// 1/z without the overflow-safe (and slow) library division for the usual
// magnitudes; the library handles the extremes.
inline Complex inverse(Complex z)
{
    const double a = z.real(), b = z.imag();
    const double big = std::max(std::abs(a), std::abs(b));
    if (big > 1e-150 && big < 1e150) {
        const double s = a * a + b * b;
        return {a / s, -b / s};
    }
    return 1.0 / z;
}

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
    return (de >= 0 && de <= 7) || de == 9 || de == 16 || de == 17;
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

Complex deImpedance(int de, const DeParams& p, double omega) noexcept
{
    const double lnOmega = std::log(omega);
    Complex z;
    deImpedances(de, p, &omega, &lnOmega, 1, 1.0, &z);
    return z;
}

bool deHasAnalyticDerivatives(int)
{
    return false;
}

bool deEvaluate(int de, const DeParams& p, const DeContext&, const double* omega, const double* lnOmega,
    int count, double sign, Complex* z, Complex* const* d)
{
    deImpedances(de, p, omega, lnOmega, count, sign, z);
    if (!d)
        return true;
    // Central differences of the DE alone, one parameter at a time.
    for (int k = 0; k < 4; ++k) {
        if (!d[k])
            continue;
        DeParams plus = p, minus = p;
        double* slotPlus[4] = {&plus.R, &plus.T, &plus.U, &plus.PHI};
        double* slotMinus[4] = {&minus.R, &minus.T, &minus.U, &minus.PHI};
        const double x = *slotPlus[k];
        const double h = 1e-6 * std::max(std::abs(x), 1e-8);
        *slotPlus[k] = x + h;
        *slotMinus[k] = x - h;
        for (int i = 0; i < count; ++i) {
            Complex zp, zm;
            deImpedances(de, plus, &omega[i], &lnOmega[i], 1, sign, &zp);
            deImpedances(de, minus, &omega[i], &lnOmega[i], 1, sign, &zm);
            d[k][i] = (zp - zm) / (2 * h);
        }
    }
    return true;
}

void deValidate(int de, const DeParams&, const int*, int, const DeContext&)
{
    if (!deAvailable(de))
        throw exception("DE %i is not available in this engine", de);
}

} // namespace nosk::engine
