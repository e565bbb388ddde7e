#pragma once

#include <complex>

namespace nosk::engine {

using Complex = std::complex<double>;

// The distributed elements (DEs) this engine knows. A DE takes the four
// parameters in front of its selector, in the order R, T, U, PHI.
struct DeParams {
    double R = 0, T = 0, U = 0, PHI = 0;
};

// True for the DE numbers the engine can evaluate: 0-7, 9, 16, 17.
bool deAvailable(int de);

// The impedance of DE `de` at the points omega[0 .. count-1], multiplied by
// `sign` (+1, or -1 for a subtracted DE), written to out[]. lnOmega[i] is
// ln(omega[i]), precomputed once per job because every power (i w T)^PHI
// comes from it. Pure: no allocation, no state; an unknown DE gives zeros.
void deImpedances(int de, const DeParams& p, const double* omega, const double* lnOmega, int count,
    double sign, Complex* out) noexcept;

// The same at one point (tests and the fuzz target use it).
Complex deImpedance(int de, const DeParams& p, double omega) noexcept;

} // namespace nosk::engine
