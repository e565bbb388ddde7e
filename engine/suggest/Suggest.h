#pragma once

#include "Candidates.h"

#include "results/FitStatistics.h"

#include <complex>
#include <string>
#include <vector>

namespace nosk::suggest {

// Ranked equivalent circuits for one impedance spectrum.
//
// The spectrum's own analyses choose and seed the candidates: the DRT counts
// its processes (the circuits tried start at that many and one more, and
// grow while the best of them leaves residuals above the noise by more than
// chance explains or is one of the largest tried) and gives the time
// constants and resistances of the arcs; a Z'' above the noise at the
// highest frequency asks for a series L; the Kramers-Kronig test estimates
// the noise sigma (a fraction of |Z|, the same for both parts of each
// point). Every candidate is fitted to Z with modulus weighting by the
// multi-start search, and ranked by
//     BIC = S / sigma^2 + F ln K,   AIC = S / sigma^2 + 2 F
// with K = 2 x points (both parts count). A parameter that the data leave
// undetermined, that ends at a bound or whose std dev exceeds its value
// points to a smaller circuit: a CPE exponent at 1 (or nearer 1 than its std
// dev) to the one with a capacitor in that CPE's place, any other to the one
// without its unit. The candidate ranks below the best of those; where the
// grammar lacks the circuit with the capacitor, it counts as that circuit,
// with one parameter fewer. Neighbours in the ranking whose BIC differ by less than `tieMargin`
// are ties: the data cannot tell them apart.
struct Options {
    int starts = 8;          // starts of the multi-start search per candidate
    // Every candidate is first fitted from this many starts (0: `starts`);
    // the `refine` best of them then from `starts`.
    int screenStarts = 3;
    int refine = 6;
    int threads = 0;         // 0: up to two where the machine has them
    double tieMargin = 2.0;  // BIC difference below which two candidates tie
    int maxProcesses = 0;    // above 0: circuits of at most this many processes (else from the data)
    // The best this many of the ranking, where they are chains of units that
    // fit worse than another chain of as many units, search again from its
    // fit carried over (0: never).
    int carryOver = 8;
    // The BIC's penalty per parameter, as a multiple of ln K.
    double penalty = 1.0;
};

struct FittedParameter {
    std::string name;
    double value = 0;
    double stdDev = 0;  // NaN where the data do not determine it
    ParameterStatus status = ParameterStatus::Determined;
};

struct Ranked {
    Candidate candidate;
    int index = 0;        // in the list of candidates tried
    double S = 0;         // sum of squared residuals relative to |Z|
    double sigmaF = 0;    // sqrt(S / (K - F))
    double chi2 = 0;      // S / sigma^2
    double bic = 0, aic = 0;
    int undetermined = 0; // parameters undetermined, at a bound or with a std dev above the value
    int tieWith = -1;     // rank (from 0) of the candidate it ties with, -1 none
    int reducedTo = -1;   // with undetermined parameters: the smaller candidate it ranks below
    std::vector<FittedParameter> parameters;
    std::string reason;   // one line
};

// Whether the circuits tried have a series L: all (Z'' > 0 at the highest
// frequency), none, or either way (an L the DRT finds but that does not make
// the top end inductive).
enum class Inductance { Without, Either, With };

struct Result {
    int points = 0;
    double noise = 0;        // sigma, fraction of |Z|
    int peaks = 0;           // processes the DRT counts
    Inductance inductance = Inductance::Without;
    int largest = 0;         // the most processes of the circuits tried
    int tried = 0;           // candidates fitted
    int failed = 0;          // of them, fits the engine refused or that did not end
    std::vector<Ranked> ranked;
};

// Throws std::invalid_argument for fewer than 8 points or values that are
// not finite (frequencies must be positive).
Result suggestCircuits(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& z,
    const Options& options = {});

// A candidate's fit as the ranking sees it (ok false: not fitted, or the
// engine could not fit it). K counts the fitted values, both parts.
struct CandidateFit {
    bool ok = false;
    double S = 0, sigmaF = 0;
    int K = 0;
    std::vector<FittedParameter> parameters;
};

// The ranking itself, from the fits of `list` (one per candidate) and the
// noise sigma: the criteria, the order, ties and the reasons.
// `penalty` scales the BIC's ln K per parameter.
std::vector<Ranked> rankCandidates(const std::vector<Candidate>& list, const std::vector<CandidateFit>& fits,
    double noise, double tieMargin = 2.0, double penalty = 1.0);

// How far the residuals of a ranked fit are from the noise (1: at it).
double misfit(const Ranked& r, int K);

// The candidates of the grammar that suit a spectrum of `points` points,
// in order of size, with their reductions linked among them. Of these,
// `suggestCircuits` fits those of as many processes as the DRT counts and
// one more, and more while the best leaves residuals well above the noise.
std::vector<Candidate> candidatesFor(Inductance inductance, int points);

} // namespace nosk::suggest
