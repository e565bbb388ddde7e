#pragma once

#include "Intervals.h"
#include "JobProblem.h"
#include "MultiStart.h"
#include "PreparedJob.h"
#include "ReportWriter.h"

#include <functional>
#include <iosfwd>
#include <vector>

namespace nosk::engine {

// The fit of a prepared job (MAXFEV >= 3) with its statistics, and the model
// at the final parameters (M values per component).
struct FitRun {
    FitRecord record;
    std::vector<double> model0, model1;
};

// Fits, then computes the statistics at the solution. The progress callback
// (may be empty) gets iteration, function evaluations and S every NPRINT
// iterations. presetStatus (empty, or one per free parameter) flags what the
// caller knows at the solution, such as AtLimit for a parameter a limit
// holds: such a parameter is reported like an undetermined one and left out
// of the covariance of the others.
FitRun fitPreparedJob(const PreparedJob& job, JobProblem& problem, const FitSettings& settings,
    const std::vector<ParameterStatus>& presetStatus = {});
// The same from a search with a budget of `starts` starts (MultiStart.h);
// 1 is fitPreparedJob. Each finished run is reported to `runDone` (may be
// empty). No round begins after `seconds` (0: no time budget). The record
// says how the search ended (FitRecord::search).
FitRun fitPreparedJob(const PreparedJob& job, JobProblem& problem, const FitSettings& settings, int starts,
    const std::function<void(int, const StartRunResult&)>& runDone, int agree = kAgreeingRuns, double seconds = 0);
// The record and model of a fit that ended at outcome.x; `problemStop` is
// the problem's stop right after that fit (JobProblem::stop).
FitRun finishFit(const PreparedJob& job, JobProblem& problem, const FitOutcome& outcome, const Reason& problemStop,
    const std::vector<ParameterStatus>& presetStatus = {});

// The fitter's settings for a job: MAXFEV, MODE and NPRINT.
FitSettings settingsFor(const FitJob& job);

// The whole run in the current folder: reads INFL, fits or evaluates, writes
// PNTOUTL, AUXPNTL and OUTIN. Progress to `out`, errors to `err`. Returns
// the exit status: 0 after a completed run, 1 for a job the engine cannot
// run (then PNTOUTL ends with the reason and no AUXPNTL is left).
// `starts` is the budget of the search from several starts (noskwin
// --starts N), `agree` the runs that must reach the lowest S for it to stop
// early (--agree K; 0: it spends the whole budget); `intervals` adds the
// intervals of the free parameters (--intervals); `seconds` is the search's
// time budget (--seconds S; 0: none).
int runEngine(std::ostream& out, std::ostream& err, int starts = 1, int agree = kAgreeingRuns,
    const IntervalSettings& intervals = {}, double seconds = 0);

} // namespace nosk::engine
