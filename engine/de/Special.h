#pragma once

// The engine's doors to the special-function libraries, each behind one small
// function so that tests can compare them with independent values.

#include "engine/DeTable.h"

namespace nosk::engine::de {

// Gauss's 2F1(a, b; c; z) for real a, b, c and complex z (Arb, with the
// working precision raised until 48 bits of the result are certain).
Complex hypergeometric2F1(double a, double b, double c, Complex z);

// P_phi(z) = 2F1(1, phi; 1 + phi; -z), the response of the one-sided
// power-law DRT: by convergent series in double precision where they keep
// their digits, by Arb elsewhere.
Complex powerLawDrtResponse(double phi, Complex z);

// Faddeeva's w(z) = exp(-z^2) erfc(-i z) (libcerf).
Complex faddeeva(Complex z);

// The integral of f over [a, b] by adaptive Gauss-Kronrod (GSL qag, 21 points),
// to the relative tolerance epsrel.
double integrate(double (*f)(double, void*), void* data, double a, double b, double epsrel);

// The digamma function psi(x) for x > 0 (GSL).
double digamma(double x);

} // namespace nosk::engine::de
