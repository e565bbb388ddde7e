#pragma once

// The types every distributed element (DE) shares: its four parameters, what
// it needs besides them, the level of its natural value and the shapes of the
// functions that compute it. The table of DEs (model/DeTable.h) is built
// from these; nothing here depends on the rest of the engine.

#include <complex>

namespace nosk::engine {

using Complex = std::complex<double>;

// A DE takes the four parameters in front of its selector, in the order R,
// T, U, PHI.
struct DeParams {
    double R = 0, T = 0, U = 0, PHI = 0;
};

// What a DE needs besides its four parameters and the frequencies.
struct DeContext {
    double celcap = 0;  // CELCAP in F: E- and M-level DEs turn eps or M into Z with it
};

namespace de {

// The slots of R, T, U and PHI, as indices of DeParams' order and of the
// derivative arrays d[0 .. 3].
enum Slot { kR = 0, kT = 1, kU = 2, kPhi = 3 };

// What the engine returns for a DE's natural value v.
enum class Level {
    Z,     // v is the impedance
    E,     // v is a dielectric constant: Z = 1 / (i w CELCAP v)
    M,     // v is a modulus: Z = v / (i w CELCAP)
    Real,  // v is a real function of the first data column, returned as Z = v + 0i
};

// A DE's natural value at one point; when d is not null also its derivatives
// with respect to R, T, U and PHI in d[0 .. 3] (DEs without analytic
// derivatives ignore d). The parameters are in the DE's valid range.
using PointFunction = Complex (*)(const DeParams& p, double omega, double lnOmega, Complex* d);

// The first-edition DEs work on all points at once, from ln w precomputed per
// job: their signed impedances (sign +1, or -1 for a subtracted DE) ...
using BatchValues = void (*)(const DeParams& p, const double* omega, const double* lnOmega, int count,
    double sign, Complex* out) noexcept;
// ... the signed values and derivatives in one pass (d[k] may be null: not
// wanted); false, writing nothing, where the DE takes the two separate passes ...
using BatchWithDerivatives = bool (*)(const DeParams& p, const double* lnOmega, int count, double sign,
    Complex* z, Complex* const* d);
// ... and the (unsigned) derivatives at one point, d[0 .. 3].
using PointDerivatives = void (*)(const DeParams& p, double omega, double lnOmega, Complex* d);

} // namespace de
} // namespace nosk::engine
