#pragma once

// The engine's doors to the special-function libraries, each behind one small
// function so that tests can compare them with independent values.

#include "engine/DeTable.h"

#include <string>

struct NoskHypergeometricApi;

namespace nosk::engine::de {

// The hypergeometric module (HypergeometricModule.h), opened on the first
// call; nullptr when it cannot be loaded (each DE that needs it then refuses
// its job, see deValidate).
const NoskHypergeometricApi* hypergeometricModule() noexcept;
bool hypergeometricModuleLoaded() noexcept;
// Why the module could not be loaded (the paths tried and the loader's words).
std::string hypergeometricModuleError();
// Tests: load the module from `path` instead (empty: the usual places) on the
// next use.
void useHypergeometricModuleForTesting(const std::string& path);

// Gauss's 2F1(a, b; c; z) for real a, b, c and complex z (Arb, with the
// working precision raised until 48 bits of the result are certain; NaN
// without the module).
Complex hypergeometric2F1(double a, double b, double c, Complex z);

// P_phi(z) = 2F1(1, phi; 1 + phi; -z), the response of the one-sided
// power-law DRT: by convergent series in double precision where they keep
// their digits, by Arb elsewhere.
Complex powerLawDrtResponse(double phi, Complex z);

// Faddeeva's w(z) = exp(-z^2) erfc(-i z) (libcerf).
Complex faddeeva(Complex z);

// The integral of f over [a, b] by adaptive Gauss-Kronrod (21 points, the
// interval halved where the Kronrod and Gauss sums differ by more than epsrel
// of the estimate; Boost.Math).
double integrate(double (*f)(double, void*), void* data, double a, double b, double epsrel);

// The digamma function psi(x) for x > 0 (Boost.Math).
double digamma(double x);

} // namespace nosk::engine::de
