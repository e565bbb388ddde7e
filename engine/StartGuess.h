#pragma once

#include "model/Circuit.h"

#include "job/FitJob.h"

#include <string>

namespace nosk::engine {

// Start values of a job's free parameters from its data alone. Scales come
// from the spectrum as an impedance: the high-frequency intercept (a series
// resistance), the width of the real axis it covers (the resistances of
// the arcs, shared among them), the frequency of the largest -Z'' (the arcs'
// time constants) and the slope of the low-frequency tail; each free
// parameter takes the value its role in the circuit asks for (R, C, L, CPE
// Q and alpha, Warburg, finite Warburg, Gerischer, transmission line, a DE's
// R and T). Then a wide search from many starts (two decades around those
// values) fits the job, and its best point becomes the new start values.
// Fixed parameters, DE selectors and the shape parameters of DEs (U, PHI,
// whose ranges are the DE's own) keep their values. Exponents (Q's alpha,
// the PHI of DEs 2 to 7) end within (0, 1] as in any fit, unless the job
// sets them limits of its own. A parameter the search drives to 0 (towards
// the bound of ln p) is handed on there: the fit from it reports it at bound.
struct GuessOutcome {
    FitJob job;        // the job with the new start values
    double S = 0;      // S at those values
    int starts = 0;    // starts of the search
    int reached = 0;   // how many of them ended at the lowest S
};

// Throws nosk::exception when the engine cannot run the job (as a fit would).
GuessOutcome guessStartValues(const FitJob& job, const model::CircuitLibrary* circuits = nullptr, int starts = 64);

// Only the values from the data, without the search (p1 ... p50 of `job`
// with the free parameters replaced).
FitJob dataScaleGuess(const FitJob& job, const model::CircuitLibrary* circuits = nullptr);

} // namespace nosk::engine
