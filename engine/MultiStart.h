#pragma once

#include "Fitter.h"
#include "PreparedJob.h"

#include "core/Reason.h"

#include <functional>
#include <vector>

namespace nosk::engine {

// A search for the lowest S from several starts. The first run starts at the
// job's start values with the full MAXFEV; the others start at points of a
// low-discrepancy sequence in a box around them (exponents of CPEs and DEs
// over (0.3, 1]) and are capped in function
// evaluations. The run with the lowest S wins (ties: the earlier run); a
// capped winner that was stopped by its cap goes on from where it stopped
// with the full MAXFEV. The same job gives the same result, with one thread
// or two.
struct MultiStartSettings {
    int starts = 1;
    // Half width of the box of a positive parameter, in decades around its
    // start value (a parameter of any sign: the same factor, same sign).
    double decades = 1.0;
    // Function evaluations of each further run; 0: chosen from the number of
    // free parameters (never more than MAXFEV).
    int runEvaluations = 0;
    // Threads to use; 0: up to two where the machine has them.
    int threads = 0;
};

struct StartRunResult {
    FitOutcome outcome;
    double S = 0;          // at outcome.x; infinite when the start could not be evaluated
    bool continued = false; // capped, then continued with the full MAXFEV
    Reason stop;           // the problem's stop right after the fit (JobProblem::stop)
};

struct MultiStartResult {
    FitOutcome best;       // the winner's outcome (x: the best point)
    int bestRun = 0;       // 0-based run number
    int reached = 0;       // runs that ended within a relative 1e-6 of the best S
    std::vector<StartRunResult> runs;
};

// The start variables of run `run` (0: the job's own) for `count` runs.
std::vector<std::vector<double>> startVariables(const PreparedJob& job, int count, double decades);

// Runs the search. `settings.progress` is called for the first run only;
// `runDone(run, S)` (may be empty) after each run ends, one call at a time.
MultiStartResult multiStartFit(const PreparedJob& job, const FitSettings& settings,
    const MultiStartSettings& search, const std::function<void(int, double)>& runDone = {});

// Whether a parameter role is the CPE's exponent alpha. (Like a DE's PHI
// with a start in (0, 1], it is drawn from (0.3, 1].)
bool isCpeExponent(const std::string& role);

} // namespace nosk::engine
