#pragma once

// The engine's doors to the special-function libraries, each behind one small
// function so that tests can compare them with independent values.

#include "DeTypes.h"

#include <string>

namespace nosk::engine::de {

// P_phi(z) = 2F1(1, phi; 1 + phi; -z), the response of the one-sided
// power-law DRT: by convergent series in double precision where they keep
// their digits, by quadrature of its DRT integral elsewhere.
Complex powerLawDrtResponse(double phi, Complex z);
// The same (or 1 - P_phi(z) with `complement`) by quadrature alone, for any z
// off the negative real axis.
Complex powerLawDrtQuadrature(double phi, Complex z, bool complement);

// Faddeeva's w(z) = exp(-z^2) erfc(-i z) (libcerf).
Complex faddeeva(Complex z);

// The integral of f over [a, b] by adaptive Gauss-Kronrod (21 points, the
// interval halved where the Kronrod and Gauss sums differ by more than epsrel
// of the estimate; Boost.Math).
double integrate(double (*f)(double, void*), void* data, double a, double b, double epsrel);

// The digamma function psi(x) for x > 0 (Boost.Math).
double digamma(double x);

} // namespace nosk::engine::de
