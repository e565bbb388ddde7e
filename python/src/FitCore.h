#pragma once

// The module's work in plain C++: a circuit given as a letter or as a text of
// the circuit language, a fit of complex data through the engine's own
// pipeline (PreparedJob, JobProblem, fitPreparedJob), and the model at given
// parameters. Standard library only; the Python layer converts arrays.

#include "job/FitJob.h"

#include <complex>
#include <string>
#include <utility>
#include <vector>

namespace nosk::python {

// The most points the programs take: the data lines a job file holds (the
// five digits of M). Every function of the module refuses more.
constexpr int kMaxPoints = 99999;

// Refuses a spectrum of more than kMaxPoints points (`what` names it).
void checkPointCount(std::size_t count, const char* what);

struct FitInput {
    std::string circuit;  // a letter A-Z or a definition in the circuit language
    std::vector<double> frequency;               // Hz
    std::vector<std::complex<double>> z;         // ohm
    std::vector<double> start;                   // p1 ... pN
    std::vector<int> codes;                      // NFREE of each parameter
    int weighting = 3;                           // IRCH
    std::vector<std::complex<double>> sigma;     // IRCH 0: sigma of Z' and of Z''
    std::vector<double> lower, upper;            // limits (empty: none; +-inf: none for one)
    int maxEvaluations = 500;
    int mode = 0;
    std::string intervals;  // "", "profile" or "bootstrap"
    double level = 0.95;
};

struct FitOutput {
    std::vector<double> params;     // p1 ... pN at the end
    std::vector<int> freeIndex;     // 0-based parameter of each free one
    std::vector<double> stdDev;     // per free parameter
    std::vector<bool> resolved;     // false: the data do not determine it
    std::vector<int> atLimit;       // per free parameter: -1 held by its lower limit, +1 upper, 0 neither
    // Per free parameter: the status word of the engine's report
    // ("determined", "undetermined", "ln-bound", "limit"), and for one at a
    // bound or a limit the value at which the others' std devs take it as
    // fixed (NaN for the others).
    std::vector<std::string> status;
    std::vector<double> given;
    std::vector<double> correlation;  // F x F, row-major
    double S = 0, sigma = 0, quality = 0;
    int nu = 0;
    int functionEvaluations = 0, jacobianEvaluations = 0;
    bool converged = false;     // ended by a convergence test (or nothing to fit)
    std::string endKind;        // the reason line's kind: "converged", "maxfev", "de-range", ...
    std::string reason;         // how the fit ended, in words
    std::vector<std::complex<double>> model;  // Z at each frequency
    std::vector<std::pair<int, std::string>> roles;
    std::vector<double> intervalLow, intervalHigh;  // per free parameter when asked for; +-inf: not bounded
    // fitJob: the circuit-language definition fitted under the job's letter
    // when a CIRCUITS file or a definition replaced the letter's own ("" else).
    std::string definition;
};

// Throws nosk::exception with the engine's reason for anything it refuses.
FitOutput fit(const FitInput& in);
// A job as it stands (its data, weighting, MAXFEV); `circuitsFile` names a
// CIRCUITS file whose letters replace the built-in ones ("" for none);
// `definition`, when not empty, is the job's circuit in the circuit language,
// fitted under the job's letter in place of that letter's own circuit.
FitOutput fitJob(const FitJob& job, const std::string& circuitsFile, const std::string& definition = {});
std::vector<std::complex<double>> simulate(const std::string& circuit, const std::vector<double>& params,
    const std::vector<double>& frequencyHz);
// What each parameter of the circuit means: (number from 1, role).
std::vector<std::pair<int, std::string>> roles(const std::string& circuit);
// The definition text of a letter, or the text itself once it parsed.
std::string definitionText(const std::string& circuit);
// Refuses a job whose data columns differ in length from M before it is written.
void checkColumns(const FitJob& job);

} // namespace nosk::python
