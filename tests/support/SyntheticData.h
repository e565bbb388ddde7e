#pragma once

#include "job/FitJob.h"

#include <string>
#include <vector>

namespace nosk::engine {

// Data lines made from the job's own model at the parameters `truth`
// (p1 ... p50), in the job's input representation (DINP, PINP, FREEQ, NEG),
// at the given frequencies (Hz when FREEQ is F, rad/s when blank). `noise`
// is a relative standard deviation added to both rectangular components of
// the impedance (0 for exact data); `seed` makes it repeatable. With IRCH 0
// the weight lines become noise times the modulus of the value (1 when
// noise is 0).
// Used for the example jobs, the tests and the benchmarks. Throws
// nosk::exception for a model the engine lacks.
void fillSyntheticData(FitJob& job, const double* truth, const std::vector<double>& frequencies, double noise,
    unsigned seed);

// The header of a fit of circuit `fun` with `n` parameters (all 0 and fixed):
// complex data as Z in rectangular form, frequencies in Hz, unit weighting
// (IRCH 1), CELCAP 1 and at most 500 function evaluations; no data lines.
// The example jobs, the tests and the benchmarks start from it.
FitJob impedanceFitJob(char fun, int n, const std::string& description = {});

// n frequencies spaced evenly in log between `from` and `to`.
std::vector<double> logSpaced(double from, double to, int n);

} // namespace nosk::engine
