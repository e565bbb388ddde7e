#pragma once

#include "Fitter.h"
#include "PreparedJob.h"

#include "core/Reason.h"

#include <functional>
#include <vector>

namespace nosk::engine {

// A search for the lowest S from several starts, in rounds, until it knows
// it has finished. The first run starts at the job's start values with the
// full MAXFEV; the others start at points of a low-discrepancy sequence in a
// box around them (exponents of CPEs and DEs over (0.3, 1], a quarter of
// them from 0.03 up to 0.3) and are capped
// in function evaluations; a capped run that stopped by its cap near the
// lowest S goes on with the full MAXFEV. After each round the search stops
// when `agree` runs have reached the lowest S (within a relative 1e-6) and
// either every run that ended found that one minimum (at least seven runs)
// or the round found nothing lower than the rounds before; or when the
// budget of starts is spent. Once the runs have found more than one
// minimum, half of each later round starts around the best of them in a box
// of `widerDecades`. A run that runs away (a parameter fitted as ln p far
// past its start while the model no longer depends on it) is ended early as
// degenerate and does not count against the budget. The lowest S of the
// other runs wins (ties: the earlier run); a degenerate point wins only when
// no other run came as low. Rounds, starts and the winner depend on the
// runs' results alone, so the same job gives the same result, with one
// thread or two.
// Runs that must reach the lowest S before a search stops early.
inline constexpr int kAgreeingRuns = 3;
// The first box draws exponents from (kExponentLow, 1], and the share
// kSmallExponentShare of its starts each exponent from below.
inline constexpr double kExponentLow = 0.3;
inline constexpr double kSmallExponentShare = 0.25;

struct MultiStartSettings {
    // The budget: the most runs that count (degenerate ones do not; at most
    // twice as many are drawn in all).
    int starts = 1;
    // Runs that must reach the lowest S before the search stops early (never
    // more than the budget); 0: the search spends its whole budget.
    int agree = kAgreeingRuns;
    // Runs in the first round (the job's start among them) and in each later one.
    int firstRound = 8;
    int round = 8;
    // Half width of the box of a positive parameter, in decades around its
    // start value (a parameter of any sign: the same factor, same sign).
    double decades = 1.0;
    // The same around the best minima once the runs disagree; 0: no such starts.
    double widerDecades = 2.0;
    // The share of the first box's starts that draw each exponent below
    // kExponentLow (below 1); 0: none.
    double smallExponents = kSmallExponentShare;
    // Whether runs that run away are ended early as degenerate.
    bool endDegenerate = true;
    // Function evaluations of each further run; 0: chosen from the number of
    // free parameters (never more than MAXFEV).
    int runEvaluations = 0;
    // Seconds after which no further round begins; 0: no time budget. (The
    // one budget by which the result may depend on the machine.)
    double seconds = 0;
    // Threads to use; 0: up to two where the machine has them.
    int threads = 0;
};

// How a search ended.
enum class SearchEnd {
    Agreed,      // enough runs reached the lowest S
    Budget,      // the starts were spent first
    Time,        // the time budget was spent first
    Complete,    // the whole budget was asked for (agree 0) and spent
};

struct StartRunResult {
    FitOutcome outcome;
    double S = 0;          // at outcome.x; infinite when the start could not be evaluated
    bool continued = false; // capped, then continued with the full MAXFEV
    bool wide = false;      // started around one of the best minima
    // Ended early: free parameter `runaway` (0-based) ran away.
    bool degenerate = false;
    int runaway = -1;
    Reason stop;           // the problem's stop right after the fit (JobProblem::stop)
};

struct MultiStartResult {
    FitOutcome best;       // the winner's outcome (x: the best point)
    int bestRun = 0;       // 0-based run number
    int reached = 0;       // runs that ended within a relative 1e-6 of the best S
    int needed = 0;        // runs that had to reach it for the search to agree
    int degenerate = 0;    // runs ended early as degenerate
    int rounds = 0;
    SearchEnd end = SearchEnd::Complete;
    // The winner is a degenerate point: no other run came as low.
    bool bestDegenerate = false;
    std::vector<StartRunResult> runs;
};

// The start variables of run `run` (0: the job's own) for `count` runs.
std::vector<std::vector<double>> startVariables(const PreparedJob& job, int count, double decades);

// Runs the search. `settings.progress` is called for the first run only;
// `runDone(run, result)` (may be empty) after each run ends, one call at a time.
MultiStartResult multiStartFit(const PreparedJob& job, const FitSettings& settings,
    const MultiStartSettings& search, const std::function<void(int, const StartRunResult&)>& runDone = {});

// The free parameter (0-based) that has run away at the variables x of a run
// that started at `start`, given the residuals r0 and the Jacobian J there
// (K x F, leading dimension ld); -1 when none has.
int runawayParameter(const PreparedJob& job, const double* start, const double* x, const double* r0,
    const double* J, int ld);

// Whether a parameter role is the CPE's exponent alpha. (Like a DE's PHI
// with a start in (0, 1], it is drawn from (0.3, 1], and a share
// kSmallExponentShare of the starts from below: see StartBox.)
bool isCpeExponent(const std::string& role);

// A run is taken as run away when a parameter fitted as ln p lies this many
// decades above where the run started it (and above 1) and its column of the Jacobian is
// below kNegligibleColumn times the norm of the residuals: the element no
// longer changes the model. (A parameter that runs down to the bound of
// ln p is held there and reported as at bound, as in a single fit.)
inline constexpr double kRunawayDecades = 6.0;
inline constexpr double kNegligibleColumn = 1e-6;

} // namespace nosk::engine
