#pragma once

#include "Fitter.h"
#include "Intervals.h"
#include "PreparedJob.h"
#include "Statistics.h"

#include "core/Reason.h"
#include "job/FitJob.h"
#include "results/FitStatistics.h"

#include <ctime>
#include <string>
#include <vector>

namespace nosk::engine {

inline constexpr const char* kEngineName = "NOSKWIN";
inline constexpr const char* kEngineVersion = "1.0";

// When the run started and how long it took.
struct RunClock {
    std::time_t started = 0;
    double seconds = 0;     // from the start to the report
    double fitSeconds = 0;  // the fit and its statistics alone
};

// What a fit produced.
struct FitRecord {
    FitOutcome outcome;               // info 0 with no free parameters (nothing to fit)
    std::vector<double> finalParams;  // p1 ... p50 at the end
    FitStatisticsResult statistics;
    Reason end;                       // how the fit ended (fitEndReason)
    // A search from several starts (noskwin --starts N): how many runs, how
    // many ended at the lowest S, which one won (0: the job's start) and S
    // of the run from the job's start.
    int starts = 1;
    int startsReached = 1;
    int bestStart = 0;
    double firstRunS = 0;
    // How the search ended (runs 0 for a single fit).
    SearchSummary search;
    // Per free parameter: -1 held by its lower limit, +1 by its upper, 0
    // neither (limitReached). A held parameter has the status AtLimit: it
    // counts as fixed for the statistics of the others.
    std::vector<int> atLimit;
    // The intervals asked for (noskwin --intervals), method None otherwise.
    IntervalResult intervals;
};

// How a fit ended, from the fitter's exit code, or from the problem's own
// stop (a DE left its range) when that ended it; NotFitted without free
// parameters.
Reason fitEndReason(const FitOutcome& outcome, int freeCount, const Reason& problemStop);

// The printed report PNTOUTL. Every line is shorter than 120 characters but
// the reason line and the refusal's text, which are written whole; the
// marker texts the readers search for appear on their own lines only. Each
// report holds one reason line (core/Reason.h): the last line of a fit or a
// simulation report, the line before the text of a refusal (which stays the
// last line).
void writeFitReport(const std::string& path, const PreparedJob& job, const FitRecord& fit, const RunClock& clock);
void writeSimulationReport(const std::string& path, const PreparedJob& job, const RunClock& clock);
// A job the engine does not run: the banner, what is known of the job, and
// the reason as the last line. `job` is null when INFL could not be read.
void writeFailureReport(const std::string& path, const FitJob* job, const Reason& reason, const RunClock& clock);

} // namespace nosk::engine
