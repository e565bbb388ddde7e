#pragma once

#include "core/Reason.h"
#include "core/WorkFolderFiles.h"
#include "results/FitStatistics.h"

#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The one reader of the engine's report PNTOUTL: the viewer's statistics,
// the organiser's summary, the end of a run and the batch's rows all take
// it apart here, by the texts of core/WorkFolderFiles.h.
namespace nosk {

// Reads the fit statistics, the free parameters and their correlation matrix
// out of the engine's report (PNTOUTL in the work folder, the current folder,
// unless another path is given). Throws nosk::exception; fields read before a
// failure keep their values.
void readPntoutl(FitStatistics& statistics, const std::string& path = workfiles::kReport);

// The same from an open report (CR LF or LF line ends).
void readPntoutl(std::istream& in, FitStatistics& statistics);

// A fit's report in the parts its printed summary shows.
struct ReportSections {
    std::vector<std::string> heading;          // lines 6 to 10: the run and its job
    std::vector<std::string> startParameters;  // from line 13 to the first empty line
    // From the statistics' first line to the line before the correlation
    // matrix: the statistics and the parameter table.
    std::vector<std::string> results;
    std::vector<std::string> tail;  // what follows the matrix and its empty line
};

// The parts of a fit's report; nothing when the report does not have that
// shape (a simulation's, a refused job's, a cut one).
std::optional<ReportSections> splitReport(std::istream& in);

// What the engine said about the end of a run.
struct EngineAccount {
    // Its reason line: the report's, else the first on its console.
    std::optional<Reason> reason;
    // The last lines that hold more than blanks: an engine that writes no
    // reason line ends a refused job's report with the reason, and says on
    // its console why it wrote no report.
    std::string reportLastLine;
    std::string consoleLastLine;
};

// Reads the report at `reportPath` (missing, or no regular file: nothing
// from it) and the console's text.
EngineAccount readEngineAccount(const std::string& reportPath, std::string_view console);

} // namespace nosk
