#pragma once

#include "engine/series/SeriesRun.h"
#include "ops/SeriesList.h"

#include <string>
#include <vector>

namespace nosk {

struct CommandLine;

// --series: a series fitted as one (engine/series), its table, the whole
// result as JSON and the picture of the parameters along the covariate.
// 0 after a fit that converged, 3 after one that ended early (the results
// are written), 1 with the message on standard error when the series
// cannot be fitted (nothing is written then).
int runSeriesCommand(const CommandLine& commandLine);

namespace seriescmd {

// The fitted series with what the command knows about it.
struct SeriesReport {
    std::vector<std::string> files;
    std::vector<double> covariate;  // as the list gives it (not converted)
    serieslist::Quantity quantity;
    series::SeriesResult result;
};

// The roles of --shared and --vary over the template's N parameters
// (index from 0). Throws nosk::exception naming the parameter: one that
// does not exist, a function we do not know, a parameter named twice.
std::vector<series::Role> rolesOf(const std::vector<std::string>& shared, const std::vector<std::string>& vary,
    int parameterCount);

// The table: a row per spectrum with the file, the covariate, the
// spectrum's part of S, and per free parameter its value, std dev and status.
std::string formatTable(const SeriesReport& report);
// Everything as JSON: parameters (name, role, value, std_dev, ci95,
// status), spectra, the independent fits, correlations and the tests.
std::string formatJson(const SeriesReport& report);

} // namespace seriescmd
} // namespace nosk
