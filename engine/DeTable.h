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

// What a DE needs besides its four parameters and the frequencies.
struct DeContext {
    double celcap = 0;  // CELCAP in F: E- and M-level DEs turn eps or M into Z with it
};

// The DE's (signed) values and, where wanted, their derivatives with respect
// to R, T, U and PHI at count points: z[i], and d[k][i] for k = 0 (R), 1 (T),
// 2 (U), 3 (PHI). d may be nullptr (values only), and any d[k] may be nullptr
// (that derivative not wanted). Returns false, writing nothing, when p lies
// outside the DE's valid range (a trial point of the fit); the caller then
// stops the fit with the last accepted parameters.
bool deEvaluate(int de, const DeParams& p, const DeContext& ctx, const double* omega,
    const double* lnOmega, int count, double sign, Complex* z, Complex* const* d);

// True where deEvaluate gives every derivative analytically (closed forms);
// false where it falls back to a central difference of the DE alone.
bool deHasAnalyticDerivatives(int de);

// Checks a DE before the first evaluation, on the start values: its number,
// the valid ranges of R, T, U, PHI, the codes of fixed-only parameters and
// the context it needs. nfree holds the NFREE codes of R, T, U, PHI;
// selectorIndex is the 0-based job index of the selector (messages name
// P[selectorIndex]). Throws nosk::exception with the reason.
void deValidate(int de, const DeParams& p, const int* nfree, int selectorIndex, const DeContext& ctx);

} // namespace nosk::engine
