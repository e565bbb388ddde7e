#pragma once

// The linear Kramers-Kronig test of an impedance spectrum: a Voigt series of
// RC elements whose time constants are fixed, logarithmically spaced over the
// measured range, with a series resistance and inductance (and, on request, a
// series capacitance), is fitted to the data by linear least squares
// (Schoenleber et al., Electrochimica Acta 131 (2014) 20-27). Data that obey
// the Kramers-Kronig relations are then reproduced to their noise; drift,
// non-linearity or instability leave residuals well above it.
//
// The number of elements M (Rule::Automatic):
//  1. For every M from 1 to the largest, the series is fitted and the noise
//     it leaves is estimated, s(M) = sqrt(sum of squared residuals / (2N -
//     unknowns)), in percent of |Z|.
//  2. The series describes the data from Md, the smallest M whose s(M) is
//     within kDescribedMargin (15 %) of the smallest s any M reaches: M is
//     never chosen where the residuals still fall (an underfit).
//  3. From Md on, mu is applied as in the classic rule: M is the first M >= Md
//     whose mu is at or below the cutoff, or Md when none is.
// This is done for the time constants over the measured range and extended
// by one decade on each side (relaxations just outside the range: tails of
// CPE and diffusion branches), and, when the lowest frequencies are
// capacitive (phase below -45 degrees), for the admittance 1/Z fitted with
// series-RC branches, a conductance and a capacitance as well. The variant
// with the smallest s at its M is used unless it is less than 10 % better than
// the plainer one before it (order: impedance, impedance extended,
// admittance, admittance extended); Result says which.
// Rule::Cutoff is the classic rule alone: M grows until mu <= cutoff.
//
// The verdict compares the residuals with the noise level the series itself
// estimates: along frequency, the second differences r[k-1] - 2 r[k] + r[k+1]
// of the residuals cancel what varies smoothly (the systematic part, drift
// included) and leave 6 sigma^2 of white noise; sigma = 1.4826 x the median of
// their absolute values / sqrt(6) (a median, so that single outliers do not
// raise it). A point is suspicious when the RMS of its residuals and those of
// its two neighbours on each side exceeds both 5 sigma and kVerdictFloor
// (0.3 % of |Z|, about 0.2 degrees, the accuracy of common instruments). The
// verdict names the stretch above that threshold around the largest one.
// Single points are judged too, before that RMS could dilute them: a point
// stands apart when one of its residuals, less the line through the nearest
// points on each side that do not stand apart (the line through the next two
// on one side at an end), exceeds kPointNoiseFactor times what the noise
// alone leaves there, and the distance of both is at least kPointFloor (or a
// third of the floor, when that is more). The point furthest apart is taken out first and the rest judged
// again without it, so that its neighbours, whose lines it drags, are not
// named with it. Such points are named with their frequency and that
// distance, left out of the RMS of the systematic part, and make the verdict
// "suspicious" too.
//
// Standard library and Eigen only.

#include <cmath>
#include <complex>
#include <iosfwd>
#include <string>
#include <vector>

namespace nosk::kk {

// Which parts of the data the elements are fitted to. Real and Imaginary fit
// one part and find the series terms the other part needs afterwards.
enum class FitPart { Complex, Real, Imaginary };

enum class Rule { Automatic, Cutoff };

// The verdict's smallest deviation that counts, percent of |Z|.
constexpr double kVerdictFloor = 0.3;
// A single point stands apart beyond this many noise levels (in its real or
// its imaginary part: a point off in one part only is not diluted by the
// other).
constexpr double kPointNoiseFactor = 8;
// A single point is named only when it is at least this far off, % of |Z|
// (about 0.3 degrees): less is within what instruments promise, however
// quiet the rest of the spectrum.
constexpr double kPointFloor = 0.5;
// At most this many points are named one by one.
constexpr int kMaxNamedPoints = 3;
// Fewer points than this get no verdict: a series of as many elements fits
// them exactly, whatever they are.
constexpr int kMinJudgedPoints = 5;

// What the series is fitted to: Z (a Voigt series) or 1/Z (parallel series-RC
// branches, a conductance and a capacitance). Residuals are always of Z.
enum class Representation { Impedance, Admittance };

struct Options {
    Rule rule = Rule::Automatic;
    double cutoff = 0.85;          // mu at or below this stops the growth of M
    int maxElements = 50;          // largest M tried
    int elements = 0;              // above 0: exactly this M, no automatic choice
    FitPart part = FitPart::Complex;
    bool inductance = true;        // a series inductance (high-frequency tails)
    bool capacitance = true;       // a series capacitance (no low-frequency intercept)
    // Rule::Cutoff and fixed M: the representation and the decades by which
    // the time constants reach beyond the measured range on each side.
    Representation representation = Representation::Impedance;
    double extendDecades = 0;
};

// Where the residuals stand above the noise. `below` and `above` are 0 when
// the low or high end is clean; a stretch inside the range gives `from` and
// `to` (Hz), else both 0.
struct Outlier {
    double frequencyHz = 0;
    double size = 0;     // how far it is off its neighbours' line, % of |Z|
    double ratio = 0;    // how far it stands apart, in noise levels
};

struct Verdict {
    bool valid = true;     // neither a systematic stretch nor a single point
    bool judged = true;    // false: too few points (`count`) to judge, and not valid
    int count = 0;         // the points judged
    bool systematic = false;  // a stretch above the threshold (below, above, ...)
    double below = 0, above = 0, from = 0, to = 0;
    double at = 0;       // where the largest smoothed residual is (Hz)
    double noise = 0;    // the noise level, % of |Z|
    double worst = 0;    // the largest smoothed residual, % of |Z|
    double floor = 0;    // the smallest smoothed residual that counts, %
    // Single points far outside the noise, largest first (kMaxNamedPoints at
    // most); `apart` counts them all.
    std::vector<Outlier> points;
    int apart = 0;
    // "valid: largest 0.02 %, within 5x the noise (0.012 %) or 0.3 %",
    // "suspicious below 1.2 Hz: up to 4.1 % of |Z|, 135x the noise (0.03 %)",
    // "suspicious: one point at 56.2 Hz is 8.8 % off (130x the noise); the
    // rest valid: largest ...", or both a stretch and the points.
    std::string text() const;
    // The part on single points: "one point at 56.2 Hz is 8.8 % off (130x
    // the noise)"; empty when there are none.
    std::string pointsText() const;
};

// The verdict on residuals (percent of |Z|) at the frequencies given;
// `floor` is the smallest smoothed residual (percent) that counts. A point's
// size is the modulus of its two residuals.
Verdict judge(const std::vector<double>& frequencyHz, const std::vector<double>& residualReal,
              const std::vector<double>& residualImag, double floor = kVerdictFloor);

// The same for one residual per point (a deviation of |Z|, percent), with
// `allowance` (percent, one per point, or empty) the error the method itself
// may make there, added to the threshold of the systematic part, and
// `pointAllowance` what it may make from one point to the next (where it
// changes how it estimates), added to that of single points.
Verdict judgeDeviation(const std::vector<double>& frequencyHz, const std::vector<double>& deviation,
                       double floor, const std::vector<double>& allowance = {},
                       const std::vector<double>& pointAllowance = {});

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
    // The noise estimate s(M) at each M tried, % of |Z|, and Md (rule 2).
    std::vector<double> noiseHistory;
    int describedFrom = 0;
    Representation representation = Representation::Impedance;
    double extendDecades = 0;
    int unknowns = 0;               // parameters fitted at M
    Verdict verdict;
    // mu is undefined: no RC element has a positive resistance (inductive
    // or negative-resistance data).
    bool muUndefined() const { return !std::isfinite(mu); }
    // "impedance" or "admittance", with the extension when there is one.
    std::string representationText() const;
};

// M time constants from 1/(2 pi fMax) to 1/(2 pi fMin), equally spaced in log,
// the range widened by `extendDecades` on each side.
std::vector<double> timeConstants(double fMinHz, double fMaxHz, int count, double extendDecades = 0);

// 1 - (sum of |R| of the negative resistances) / (sum of the positive ones).
// No positive resistance: 1 without negative ones, else minus infinity.
double overfitMeasure(const std::vector<double>& resistances);

// Runs the test on points at ordinary frequencies (Hz). Throws
// std::invalid_argument for fewer than 3 points, a frequency that is not
// positive and finite, an impedance that is not finite or whose modulus is
// zero or subnormal, all frequencies equal, or a fit that gives no finite
// residuals.
Result test(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& z,
            const Options& options = {});

// The KKTEST table: comment lines with M and mu, the representation, the
// noise level and the verdict ("# Verdict: ..."), then one line per point
// with frequency (Hz), residual of the real part and of the imaginary part in
// percent of |Z|.
std::string formatTable(const std::vector<double>& frequencyHz, const Result& result);

// A KKTEST table read back. `elements` is 0 and `mu` NaN when the comment
// line is missing; lines that are not three numbers are skipped.
struct Table {
    int elements = 0;
    double mu = 0;
    std::string verdict;  // the text after "# Verdict: ", empty when none
    std::vector<Outlier> points;  // the "# Point apart: " lines
    std::vector<double> frequencyHz, residualReal, residualImag;
};
Table readTable(std::istream& in);

// The "# Point apart: f size ratio" lines of a verdict, and one read back
// (false when the line is not one).
std::string formatPointLines(const Verdict& verdict);
bool readPointLine(const std::string& line, Outlier& point);

} // namespace nosk::kk
