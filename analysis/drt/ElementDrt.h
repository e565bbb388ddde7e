#pragma once

// The distribution of relaxation times of single elements, written out:
// gamma(tau) in ohm per unit of ln tau for the continuous ones, discrete
// lines (tau, resistance) for those whose impedance is a sum of Debye terms.
// Z(w) = integral of gamma / (1 + i w tau) d ln tau.
//
// Standard library only.

#include <complex>
#include <vector>

namespace nosk::drt {

// One Debye term R / (1 + i w tau): a line of area R at tau.
struct Line {
    double tau = 0;
    double resistance = 0;
};

// ZARC (R parallel to a CPE, Cole-Cole): Z = R / (1 + (i w tau0)^phi), 0 < phi <= 1.
double zarcGamma(double r, double tau0, double phi, double tau);

// Havriliak-Negami: Z = R / (1 + (i w tau0)^alpha)^beta, 0 < alpha, beta <= 1.
double havriliakNegamiGamma(double r, double tau0, double alpha, double beta, double tau);

// Davidson-Cole: Z = R / (1 + i w tau0)^beta; zero above tau0.
double davidsonColeGamma(double r, double tau0, double beta, double tau);

// A log-normal DRT: ln tau normally distributed about ln tau0 with standard deviation sigma.
double logNormalGamma(double r, double tau0, double sigma, double tau);

// The relaxation exp(-sqrt(t / tau0)) (Kohlrausch-Williams-Watts, beta = 1/2)
// of total resistance R.
double kwwHalfGamma(double r, double tau0, double tau);

// Finite-length Warburg with a transmissive end: Z = R tanh(sqrt(i w T)) / sqrt(i w T).
// Lines at T / ((k - 1/2)^2 pi^2) of 2 R / ((k - 1/2)^2 pi^2), k = 1 ... count.
std::vector<Line> finiteWarburgLines(double r, double t, int count);

// Finite-space Warburg with a reflecting end: Z = R coth(sqrt(i w T)) / sqrt(i w T):
// a series capacitance T / R and lines at T / (k^2 pi^2) of 2 R / (k^2 pi^2).
std::vector<Line> finiteSpaceWarburgLines(double r, double t, int count);

// The impedances, for tests and for the numerical DRT of a model curve.
std::complex<double> zarcImpedance(double r, double tau0, double phi, double omega);
std::complex<double> havriliakNegamiImpedance(double r, double tau0, double alpha, double beta, double omega);
std::complex<double> davidsonColeImpedance(double r, double tau0, double beta, double omega);

} // namespace nosk::drt
