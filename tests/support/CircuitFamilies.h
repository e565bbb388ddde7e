#pragma once

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

namespace nosk::test {

// Labelled synthetic spectra of nine circuit families, computed from the
// closed forms of their elements (independent of the engine's evaluator):
//   0 L-R-(RQ)        1 L-R-(RQ)x2       2 L-R-(RQ)x3
//   3 (RQ)x2          4 (RQ)x3           5 (RQ)x4
//   6 (RC)x2-(RQ)x2   7 (RC)-Gx2         8 R-Ws
// Parameters are drawn over ranges of batteries and solid electrolytes: a
// resistance scale R0 of 1 to 1000 ohm, arcs of 0.2 to 2 R0, time constants
// inside the measured range and at least a decade apart, CPE exponents of
// 0.65 to 0.95, an L whose reactance at 100 kHz is 0.05 to 2 R0; 30 to 80 points from 0.1 Hz to 100 kHz,
// relative noise (both parts, Gaussian, of |Z|) of 0 to `maxNoise`.
constexpr int kFamilyCount = 9;
const char* familyLabel(int family);

struct LabelledSpectrum {
    int family = 0;
    double noise = 0;
    std::vector<double> frequencyHz;
    std::vector<std::complex<double>> z;
};

// Spectrum `index` of `family`: the same numbers for the same arguments.
// `points` above 0 sets the number of points instead of drawing it.
LabelledSpectrum familySpectrum(int family, std::uint64_t index, double maxNoise = 0.01, int points = 0);

// The closed forms the families are made of (omega in rad/s).
std::complex<double> zarc(double omega, double r, double q, double alpha);       // R || CPE
std::complex<double> rc(double omega, double r, double c);                       // R || C
std::complex<double> gerischer(double omega, double z0, double k);               // Z0 / sqrt(k + i w)
std::complex<double> warburgTransmissive(double omega, double r, double tau);    // R tanh(sqrt(i w tau)) / sqrt(i w tau)
std::complex<double> warburgReflecting(double omega, double r, double tau);      // R coth(sqrt(i w tau)) / sqrt(i w tau)

} // namespace nosk::test
