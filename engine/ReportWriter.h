#pragma once

#include "Fitter.h"
#include "PreparedJob.h"
#include "Statistics.h"

#include "job/FitJob.h"

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
    // A search from several starts (noskwin --starts N): how many runs, how
    // many ended at the lowest S, which one won (0: the job's start) and S
    // of the run from the job's start.
    int starts = 1;
    int startsReached = 1;
    int bestStart = 0;
    double firstRunS = 0;
};

// The printed report PNTOUTL. Every line is shorter than 120 characters; the
// marker texts the readers search for appear on their own lines only.
void writeFitReport(const std::string& path, const PreparedJob& job, const FitRecord& fit, const RunClock& clock);
void writeSimulationReport(const std::string& path, const PreparedJob& job, const RunClock& clock);
// A job the engine does not run: the banner, what is known of the job, and
// the reason as the last line. `job` is null when INFL could not be read.
void writeFailureReport(const std::string& path, const FitJob* job, const std::string& reason,
    const RunClock& clock);

} // namespace nosk::engine
