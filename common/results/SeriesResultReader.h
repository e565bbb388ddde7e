#pragma once

// The result of a series fitted as one, as `noskrun --series --json` writes
// it (and the organiser's Run menu into the work folder's SERIES): read into
// plain records for the viewer's page and the series' pictures. Standard
// library only.

#include <string>
#include <string_view>
#include <vector>

namespace nosk {

// A value with its std dev (NaN when the file has none) and status.
struct SeriesValue {
    double value = 0;
    double stdDev = 0;
    std::string status;
};

// A published coefficient: a shared parameter ("P1") or a function's
// coefficient ("P4.Ea"); `role` "shared" or the function ("arrhenius").
struct SeriesCoefficient {
    std::string name;
    std::string parameter;    // "P4"
    std::string coefficient;  // "Ea"; empty for a shared value
    std::string role;
    double value = 0, stdDev = 0, low = 0, high = 0;  // low, high: the 95 % interval
    std::string status;
};

struct SeriesSpectrum {
    std::string file;
    double covariate = 0;  // as the list gave it, in the covariate's unit
    double S = 0;          // its part of the joint S
    std::vector<SeriesValue> joint;  // per parameter of SeriesResultFile::parameters
    bool hasIndependent = false;     // the spectrum fitted alone
    double independentS = 0;
    std::string independentEnd;
    std::vector<SeriesValue> independent;
};

struct SeriesParameterTest {
    std::string name, role;
    double Sfreed = 0, F = 0, pValue = 1;
    std::vector<std::string> disagree;  // the files of the spectra that disagree most
    std::string verdict;
};

struct SeriesTests {
    bool available = false;
    std::string why;  // when not available
    double Sjoint = 0, Sindependent = 0;
    int Pjoint = 0, Pindependent = 0;
    double F = 0, pValue = 1;
    double aicJoint = 0, aicIndependent = 0, bicJoint = 0, bicIndependent = 0;
    std::string verdict;
    std::vector<SeriesParameterTest> parameters;
};

struct SeriesResultFile {
    std::string covariateName, covariateUnit;
    bool singleFit = false, converged = false;
    std::string fitEnd;
    double S = 0, sigma = 0;
    int K = 0, variables = 0, nu = 0;
    // The free parameters in the file's order ("P1", "P4", ...) and the
    // role of each ("local", "shared", "arrhenius", ...).
    std::vector<std::string> parameters, roles;
    std::vector<SeriesCoefficient> coefficients;
    // The coefficients' correlations, in the order of `coefficients`; NaN
    // where one is not determined.
    std::vector<std::vector<double>> correlation;
    std::vector<SeriesSpectrum> spectra;
    SeriesTests tests;
    std::vector<std::string> notes;

    // The index of a parameter in `parameters`, -1 when there is none.
    int parameterIndex(std::string_view name) const;
    // The indices in `coefficients` of a parameter's coefficients, in the
    // function's order (A, Ea; A, B, T0; a, b, c; A, b; one for shared).
    std::vector<int> coefficientsOf(std::string_view parameter) const;
};

// The names of a function's coefficients in their order; empty for "local"
// and an unknown word, {""} for "shared".
std::vector<std::string> seriesCoefficientNames(std::string_view role);

// Reads the text of a series result. Throws nosk::exception naming what
// is wrong (a damaged or truncated file, a field missing or of the wrong
// kind, a function's coefficients incomplete).
SeriesResultFile parseSeriesResult(std::string_view text);
// The same from a file (a regular file of at most kMaxResultFile bytes);
// the message begins with the file's name.
SeriesResultFile readSeriesResult(const std::string& path);

} // namespace nosk
