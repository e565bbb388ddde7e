#pragma once

// Small numerical helpers shared by the DE families. Internal to the engine.

#include "DeTypes.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace nosk::engine::de {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kHalfPi = 1.57079632679489661923;
inline const Complex kI{0.0, 1.0};

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

// ln(i w T) = ln(w T) + i pi/2 on the principal branch, from ln w and ln T.
inline Complex logIwt(double lnOmega, double lnT)
{
    return {lnOmega + lnT, kHalfPi};
}

// (i w T)^phi = exp(phi ln(i w T)).
inline Complex powIwt(double phi, Complex logIwt)
{
    const double mag = std::exp(phi * logIwt.real());
    const double ang = phi * logIwt.imag();
    return {mag * std::cos(ang), mag * std::sin(ang)};
}

// tanh(s)/s, with its series near 0 where the quotient loses digits, and
// its derivative with respect to s.
inline Complex tanhOverX(Complex s)
{
    if (std::abs(s) < 1e-4) {
        const Complex s2 = s * s;
        return 1.0 - s2 / 3.0 + 2.0 * s2 * s2 / 15.0;
    }
    return std::tanh(s) / s;
}

inline Complex tanhOverXDerivative(Complex s)
{
    if (std::abs(s) < 1e-4) {
        const Complex s2 = s * s;
        return s * (-2.0 / 3.0 + 8.0 * s2 / 15.0);
    }
    const Complex th = std::tanh(s);
    return (1.0 - th * th) / s - th / (s * s);
}

} // namespace nosk::engine::de
