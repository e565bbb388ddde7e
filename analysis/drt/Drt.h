#pragma once

// The distribution of relaxation times (DRT) of an impedance spectrum:
//   Z(w) = R_inf + i w L [+ 1/(i w C)] + integral of gamma(ln tau) / (1 + i w tau) d ln tau,
// gamma in ohm per unit of ln tau. gamma is a sum of Gaussians equally spaced
// in ln tau, found by Tikhonov regularisation (the integral of the squared
// first or second derivative of gamma) under gamma >= 0: a non-negative least
// squares on the stacked matrix [A; sqrt(lambda) D]. The residuals are
// relative to |Z|. lambda comes from the modified generalised
// cross-validation (Cummins, Filloon and Nychka 2001) of the unconstrained
// ridge problem, found on a grid of four points per decade and refined by
// golden section. The penalty is then made locally adaptive (re-weighted
// Tikhonov): a few passes weight the squared derivative at each ln tau by
// 1 / (1 + (D gamma / (2 rms D gamma))^2) from the previous solution, so that
// a peak keeps its curvature while the flanks and the noise stay smooth;
// with these passes lambda is the largest whose criterion is within 5 % of
// the minimum (the criterion is flat near its minimum and the re-weighting
// amplifies an undersmoothed start). The credible band samples the truncated
// Gaussian posterior (likelihood with the residual variance, the final
// penalty as prior, gamma >= 0) by Gibbs sweeps.
//
// Standard library and Eigen only.

#include "ElementDrt.h"

#include <complex>
#include <iosfwd>
#include <string>
#include <vector>

namespace nosk::drt {

// Whether a series capacitance takes the capacitive low-frequency branch of
// a blocking electrode. Automatic: when -Z'' still grows at least as fast as
// f^-0.4 towards the lowest frequencies.
enum class Capacitance { Automatic, Always, Never };

struct Options {
    int derivative = 2;            // the order penalised: 1 or 2
    double lambda = 0;             // above 0: this lambda, no search
    double lambdaStart = 1e-3;     // where the search grid is anchored
    Capacitance capacitance = Capacitance::Automatic;
    bool inductance = true;        // a series inductance (free sign)
    int basisPerDecade = 10;       // Gaussians per decade of tau
    double basisWidth = 1.25;      // their full width at half maximum, in spacings
    int adaptivePasses = 30;       // re-weightings of the penalty at most; 0: plain Tikhonov
    // The basis reaches this far beyond the longest measured time constant
    // (tails of diffusion and CPE branches), and this far below the shortest:
    // a relaxation faster than the highest frequency acts there as a
    // resistance, and Gaussians below the range would share R_inf with it
    // (on an R-RC cell they took half of R_inf and gave it to the arc).
    double extendDecades = 1;
    double extendDecadesFast = 0;
    int outputPerDecade = 20;      // points per decade of the table
    int bandSamples = 0;           // above 0: the credible band from this many samples
    double bandLevel = 0.95;       // the band's probability
    unsigned seed = 1;             // of the sampler
};

struct Peak {
    double tau = 0;          // s
    double frequencyHz = 0;  // 1 / (2 pi tau)
    double gamma = 0;        // height, ohm
    double area = 0;         // the integral over the peak between its valleys, ohm
    // It rises less than half its height out of the higher of its valleys:
    // a ripple on a broad tail (the ringing a diffusion tail can leave) as
    // much as a process of its own.
    bool ripple = false;
};

// The peak table's rules: a peak counts when its area is at least
// kPeakAreaShare of the polarisation resistance (all of gamma inside the
// measured range), a ripple only by its part above the higher of its
// valleys; the measured range of tau is 1/(2 pi f_max) to
// 1/(2 pi f_min), widened by kRangeMargin (a factor) on each side.
constexpr double kPeakAreaShare = 0.02;
constexpr double kRangeMargin = 1.7782794100389228;  // a quarter decade

struct Result {
    double lambda = 0;
    double criterion = 0;               // modified GCV of the uniform penalty at lambda
    double seriesResistance = 0;        // R_inf, ohm
    double seriesInductance = 0;        // L, H
    double seriesCapacitance = 0;       // C, F; 0: no series capacitance
    double residualRms = 0;             // RMS of (Z - model) / |Z| over both parts
    std::vector<double> tau;            // the table's points, s
    std::vector<double> gamma;          // ohm
    std::vector<double> bandLow, bandHigh;  // empty without a band
    std::vector<Peak> peaks;            // inside the measured range, by tau
    double tauMin = 0, tauMax = 0;      // the measured range with its margin, s
    double polarisation = 0;            // the area of gamma inside it, ohm
    double areaAbove = 0;               // the area of gamma beyond tauMax, ohm
    double tauAbove = 0;                // where it is highest there, s (0: none)
    double topReactance = 0;            // w_max L / |Z(f_max)|: L's share at the top end
    std::vector<std::complex<double>> model;  // the fitted Z at each point
    // The expansion itself: gamma(tau) = sum weight_k exp(-(shape ln(tau / basisTau_k))^2).
    std::vector<double> basisTau, weights;
    double shape = 0;
};

// The DRT of points at ordinary frequencies (Hz). Throws std::invalid_argument
// for fewer than 5 points, a frequency that is not positive and finite, a
// zero or non-finite impedance, or all frequencies equal.
Result compute(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& z,
               const Options& options = {});

// gamma of a result at any tau.
double gammaAt(const Result& result, double tau);

// The modified GCV of the unconstrained problem at each lambda given (for
// tests and for a report of the choice).
std::vector<double> criterionCurve(const std::vector<double>& frequencyHz,
                                   const std::vector<std::complex<double>>& z, const Options& options,
                                   const std::vector<double>& lambdas);

// The maxima of gamma on a grid equally spaced in ln tau that rise at least
// minProminence of the highest value above the valleys parting them from
// higher ground, with the position refined by a parabola and the area
// between the valleys on either side.
std::vector<Peak> findPeaks(const std::vector<double>& tau, const std::vector<double>& gamma,
                            double minProminence = 0.10);

// What in the result needs words, one sentence each: a negative R_inf, a
// negative L that is at least 1 % of |Z| at the top end (a capacitive top
// end), gamma beyond the measured range holding at least kPeakAreaShare of
// the polarisation resistance, peaks that may be ripples. Empty when nothing
// does.
std::vector<std::string> notes(const Result& result);

// The peaks of gamma between tauMin and tauMax by the table's rules, with
// their areas inside that range only; `polarisation` receives the area of
// gamma there.
std::vector<Peak> peaksInRange(const std::vector<double>& tau, const std::vector<double>& gamma, double tauMin,
                               double tauMax, double& polarisation);

// The DRT table: '#' lines (method, lambda, R_inf, L, C, residual RMS, the
// peaks, gamma beyond the range, the notes), then per tau: tau (s), gamma (ohm) and, when computed, the band's
// lower and upper limits.
std::string formatTable(const Result& result, const Options& options);

// A DRT table read back; lines that are not numbers are skipped.
struct Table {
    std::string method;
    double lambda = 0, seriesResistance = 0, seriesInductance = 0, seriesCapacitance = 0, residualRms = 0;
    std::vector<Peak> peaks;
    std::vector<std::string> notes;  // the "# note: " lines
    // The measured range with its margin (Result::tauMin, tauMax); 0 when the
    // table does not say.
    double tauMin = 0, tauMax = 0;
    std::vector<double> tau, gamma, bandLow, bandHigh;
};
Table readTable(std::istream& in);

} // namespace nosk::drt
