#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace nosk {

class FitJob;
class ProcessLauncher;

namespace analyses {
struct Analysis;
}

// Fits many spectra without a window: each in a temporary work folder of its
// own, a number of them at once, and one table of the results. A spectrum
// that fails is recorded with its reason and never stops the others.
namespace batch {

struct Settings {
    std::vector<std::string> inputs;  // files and folders, in this order
    std::string templateFile;         // a job for data files (model, codes, start values)
    int jobs = 1;                     // spectra fitted at once
    bool chain = false;               // each spectrum starts from the previous result
    std::string engine;               // the engine program, an absolute path
    int starts = 1;                   // the engine's starts of each fit (--starts)
    std::vector<std::string> engineOptions;  // further arguments of the engine (--intervals)
    // The work folder's circuit definitions (CIRCUITS), copied into every
    // spectrum's folder so that the engine models as it would here; empty
    // when there is none.
    std::string circuitsFile;
    // Set (by a signal handler) to stop: spectra not yet started are left
    // out with the reason "interrupted"; those running are finished.
    const std::atomic<bool>* stop = nullptr;
    // The analyses (--check) whose verdicts on every spectrum's data the
    // table gets as columns, in this order.
    std::vector<const analyses::Analysis*> checks;
};

// The reason of a spectrum left out because the batch was interrupted.
constexpr const char* kInterrupted = "interrupted";

// The result of one spectrum.
struct Row {
    std::string file;
    char model = 0;         // the job's model letter (FUN)
    double series = 0;      // the last number in the file name, else the index (from 1)
    bool ok = false;
    int status = 0;         // the engine's exit status (-1: not started)
    std::string reason;     // why it failed; empty when ok
    std::string end;        // how the fit ended ("converged (FTOL)", "stopped at MAXFEV", ...)
    bool converged = false; // a fit that met a convergence test, or a run without a fit
    bool fit = false;       // statistics are there (a fit, not a simulation)
    double S = 0, sigma = 0;
    std::vector<double> value;   // the N parameters after the run
    std::vector<double> stdDev;  // NaN for a parameter that was not fitted or is not determined
    // The intervals' ends when the engine gave intervals (empty otherwise):
    // -/+ infinity for a side that is not bounded, NaN for a fixed parameter.
    std::vector<double> intervalLow, intervalHigh;
    std::string undetermined;    // the free parameters the data do not determine ("P3 P7")
    // The free parameters the fit holds at a bound of ln p or at a limit
    // ("P1 P6"), per parameter whether it is one of them (such a value is
    // not carried along a chain), and the values the other std devs are
    // conditional on ("given P1 = 0, P6 = 1"; empty when none).
    std::string atBound;
    std::vector<bool> heldAtBound;
    std::string given;
    // The parameters whose values lie outside their physical range
    // ("P6 = 1.27 outside (0, 1]"; model/ParameterNames.h).
    std::string unphysical;
    // How a search from several starts ended (searchNote; empty for a single
    // fit), and whether it stopped before it agreed or ended at a degenerate
    // point: then the row is not "ok".
    std::string search;
    bool searchUnfinished = false;
    // The verdicts of the checks asked for, one each ("valid: ...",
    // "suspicious ...", or "not tested: REASON"); also for a spectrum whose
    // fit failed.
    std::vector<std::string> verdicts;
};

// The spectra named by files and folders: a folder gives its .TST files, and
// with a template also its other files, sorted by name with numbers in
// numeric order (so "soc2" comes before "soc10"). Files are taken as they
// are. A name that does not exist is kept, to fail with its reason.
std::vector<std::string> collectInputs(const std::vector<std::string>& inputs, bool withTemplate);

// The number in a file name that orders a series: the last run of digits
// (with a decimal point or sign) in the name without its folder and suffix.
// NaN when there is none.
double seriesNumber(const std::string& file);

// The job of one spectrum: a job file as it is, or the template with the
// data lines of a data file (whose weights become proportional ones).
FitJob makeJob(const std::string& file, const FitJob* templ);

// Fits all spectra; progress ("done/total, failed") goes to `progress`.
// The rows come in the order of the inputs.
std::vector<Row> run(const Settings& settings, ProcessLauncher& launcher, std::ostream& progress,
                     bool progressOnOneLine);

// The table: one row per spectrum; per parameter the value and std dev
// (empty where there is none: a fixed, an undetermined or an at-bound
// parameter) and, when some spectrum has intervals, their ends ("none" for a
// side that is not bounded), then how the fit ended (with the parameters that are
// undetermined or at a bound), the engine's exit status and "ok" for a
// converged fit whose parameters are all determined and within their
// physical ranges, else the reason and what is wrong.
// `names` (one per parameter, may be shorter) heads the parameter columns;
// missing names are P1, P2, ...
// The verdict columns of `checks` follow the reason.
std::string formatTable(const std::vector<Row>& rows, const std::vector<std::string>& names = {},
                        const std::vector<const analyses::Analysis*>& checks = {});

} // namespace batch
} // namespace nosk
