#pragma once

// The linear Kramers-Kronig test of an impedance spectrum: a Voigt series of
// RC elements whose time constants are fixed, logarithmically spaced over the
// measured range, with a series resistance and inductance (and, on request, a
// series capacitance), is fitted to the data by linear least squares. The
// number of RC elements grows until the over-fitting measure mu falls below
// the cutoff (Schoenleber et al., Electrochimica Acta 131 (2014) 20-27). Data
// that obey the Kramers-Kronig relations are then reproduced to their noise;
// drift, non-linearity or instability leave residuals well above it.
//
// Standard library and Eigen only.

#include <complex>
#include <iosfwd>
#include <string>
#include <vector>

namespace nosk::kk {

// Which parts of the data the elements are fitted to. Real and Imaginary fit
// one part and find the series terms the other part needs afterwards.
enum class FitPart { Complex, Real, Imaginary };

struct Options {
    double cutoff = 0.85;          // mu below this stops the growth of M
    int maxElements = 50;          // largest M tried
    int elements = 0;              // above 0: exactly this M, no automatic choice
    FitPart part = FitPart::Complex;
    bool inductance = true;        // a series inductance (high-frequency tails)
    bool capacitance = true;       // a series capacitance (no low-frequency intercept)
};

struct Result {
    int elements = 0;               // M
    double mu = 1;                  // over-fitting measure at M
    std::vector<double> tau;        // M time constants, s
    std::vector<double> resistance; // M resistances of the RC elements
    double seriesResistance = 0;
    double seriesInductance = 0;
    double inverseCapacitance = 0;  // 1/C of the series capacitance (0: none)
    std::vector<std::complex<double>> model;  // the fitted Z at each point
    // (Z - model) / |Z| in percent, real and imaginary part, at each point.
    std::vector<double> residualReal;
    std::vector<double> residualImag;
    // mu at each M tried, from 1 (for a report of the choice).
    std::vector<double> muHistory;
};

// M time constants from 1/(2 pi fMax) to 1/(2 pi fMin), equally spaced in log.
std::vector<double> timeConstants(double fMinHz, double fMaxHz, int count);

// 1 - (sum of |R| of the negative resistances) / (sum of the positive ones).
// No positive resistance: 1 without negative ones, else minus infinity.
double overfitMeasure(const std::vector<double>& resistances);

// Runs the test on points at ordinary frequencies (Hz). Throws
// std::invalid_argument for fewer than 3 points, a frequency that is not
// positive and finite, a zero or non-finite impedance, or all frequencies equal.
Result test(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& z,
            const Options& options = {});

// The KKTEST table: a comment line with M and mu, then one line per point
// with frequency (Hz), residual of the real part and of the imaginary part in
// percent of |Z|.
std::string formatTable(const std::vector<double>& frequencyHz, const Result& result);

// A KKTEST table read back. `elements` is 0 and `mu` NaN when the comment
// line is missing; lines that are not three numbers are skipped.
struct Table {
    int elements = 0;
    double mu = 0;
    std::vector<double> frequencyHz, residualReal, residualImag;
};
Table readTable(std::istream& in);

} // namespace nosk::kk
