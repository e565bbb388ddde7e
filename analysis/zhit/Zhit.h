#pragma once

// Z-HIT: the modulus of an impedance spectrum reconstructed from its phase.
// For an impedance that obeys the Kramers-Kronig relations (a two-pole
// network),
//   ln |Z(w0)| = C + (2/pi) integral from w_first to w0 of phi d ln w
//                  + gamma d phi / d ln w at w0,    gamma = -pi/6,
// the first two terms of the series that links the modulus to the phase
// (Ehm, Goehr, Kaus, Roeseler, Schiller, J. Phys. IV 11 (2001) Pr10-287).
// Here the phase is first smoothed by a local quadratic in ln w (each point
// and its three neighbours on each side), which gives its slope too; the
// integral is taken over the smoothed phase with the slopes' end correction;
// the constant C is fitted over a range the data describe well: the highest
// run of a third of the points whose C's scatter no more than twice as much
// as the run that scatters least (most sweeps run from high to low
// frequency, so that run was measured first, before any drift). The
// deviation of the measured |Z| from the reconstruction shows drift and
// non-linearity: the phase does not change when the whole spectrum scales.
// At the three points nearest each end the slope comes from a cubic through
// the last five points instead (the quadratic, extrapolated to the edge of
// its window, misses a phase that still bends there).
//
// The verdict (kk::judgeDeviation) allows at each point for the error the
// two-term formula itself makes there: the size of the first term it leaves
// out, gamma3 d3phi/d ln w3 with gamma3 = -pi^3/360 (from a local cubic over
// nine points), and at the ends how far the two slope estimates part. A
// spectrum that obeys the relations exactly is then "valid" also where its
// phase bends sharply, while drift that reaches several percent is still
// flagged where it is. Single points far outside the noise are named.
//
// Standard library only (with the verdict of analysis/kk).

#include "analysis/kk/KramersKronig.h"

#include <complex>
#include <iosfwd>
#include <string>
#include <vector>

namespace nosk::zhit {

// The verdict's smallest deviation that counts, percent of |Z|: the
// two-term approximation itself is good to about 1 % on smooth spectra.
constexpr double kVerdictFloor = 1.5;

struct Result {
    // In the order of the input points.
    std::vector<double> frequencyHz;
    std::vector<double> modulus;        // measured |Z|
    std::vector<double> reconstructed;  // |Z| from the phase
    std::vector<double> deviation;      // 100 (|Z| - reconstructed) / reconstructed
    std::vector<double> phaseDeg, smoothedPhaseDeg;
    std::vector<double> allowance;      // the formula's own error allowed for, %
    double offsetFromHz = 0, offsetToHz = 0;  // where C was fitted
    kk::Verdict verdict;
};

// Throws std::invalid_argument for fewer than 5 points, frequencies that are
// not positive, finite and distinct, or impedances that are not finite or
// whose modulus is zero or subnormal.
Result test(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& z);

// The ZHITTEST table: '#' lines (what it is, the offset range, the verdict
// as "# Verdict: ..."), then per point: frequency (Hz), deviation of |Z| from
// the reconstruction (%), measured |Z|, reconstructed |Z|, phase and smoothed
// phase (degrees).
std::string formatTable(const Result& result);

struct Table {
    std::string verdict;  // the text after "# Verdict: ", empty when none
    std::vector<kk::Outlier> points;  // the "# Point apart: " lines
    std::vector<double> frequencyHz, deviation, modulus, reconstructed;
};
// Lines that do not start with two numbers are skipped.
Table readTable(std::istream& in);

} // namespace nosk::zhit
