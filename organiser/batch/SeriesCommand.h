#pragma once

#include "engine/series/SeriesRun.h"
#include "ops/SeriesList.h"
#include "core/AtomicFileWriter.h"

#include <string>
#include <vector>

namespace nosk {

struct CommandLine;
class FitJob;

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
    char model = 0;  // the circuit letter of the spectra's jobs
};

// A series as the command line or the window gives it.
struct SeriesInput {
    // Files and folders, or one list file (isListFile) with the covariate.
    std::vector<std::string> inputs;
    // The covariate asked for ("T/K", "E/mV"): the list's column of that
    // name, else each file's own metadata, else the number in its name.
    // Empty: the list's second column, else the number in each name.
    std::string covariate;
    // The model for data files (not owned); null: every input is a job file.
    const FitJob* templ = nullptr;
    std::vector<std::string> shared, vary;  // "P1", "P4=arrhenius"
    int starts = 4;
};

// Loads the spectra, finds each one's covariate, fits the series. A folder's
// files that are no spectrum are passed over, a line each in `passedOver`.
// When a spectrum has no covariate value and no parameter follows a
// function of it, the spectra are numbered 1 to N in their order instead
// (quantity "index", and a note says so). Throws nosk::exception with the
// message that names the file or the parameter.
SeriesReport fitSeriesInput(const SeriesInput& input, std::vector<std::string>& passedOver);

// Writes the table to `tablePath` and, when `jsonPath` is not empty, the
// JSON: both written out before either replaces its file, so that a failure
// leaves both as they were. The links: Replace for a name of ours.
void writeSeriesFiles(const SeriesReport& report, const std::string& tablePath, const std::string& jsonPath,
    AtomicFileWriter::Links tableLinks = AtomicFileWriter::Links::Follow,
    AtomicFileWriter::Links jsonLinks = AtomicFileWriter::Links::Follow);

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
