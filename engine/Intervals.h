#pragma once

#include "Fitter.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace nosk::engine {

class PreparedJob;
struct FitRecord;

// Intervals for the free parameters of a finished fit, beyond the
// linearised "estimate +- std dev":
//  - profile likelihood: each parameter is held at a sequence of values and
//    the others refitted from the nearest point already fitted; the interval
//    ends where S rises to S0 (1 + F(1, nu; level) / nu). Not symmetric
//    where S is not, and open on a side where S never rises that far within
//    the parameter's range;
//  - bootstrap: B refits to data made from the fitted model and resampled
//    weighted residuals (or normal noise of the fitted sigma), the interval
//    between the percentiles of the refitted values.
enum class IntervalMethod { None, Profile, Bootstrap };

struct IntervalSettings {
    IntervalMethod method = IntervalMethod::None;
    double level = 0.95;      // in (0, 1)
    int replicates = 500;     // bootstrap B
    std::uint64_t seed = 1;   // bootstrap: the same seed gives the same intervals
    bool parametric = false;  // bootstrap from normal noise instead of the residuals
    int threads = 0;          // 0: both cores
};

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// One free parameter's interval. low = -infinity or high = +infinity: the
// side is not bounded (the profile never rises enough before the
// parameter's range ends); NaN both: no interval (the parameter is fixed,
// or too few bootstrap refits succeeded).
struct ParameterInterval {
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();
    // The profile's points: the held value and S of the others' refit, in
    // the order of the value.
    std::vector<double> profileValue, profileS;
};

struct IntervalResult {
    IntervalMethod method = IntervalMethod::None;
    double level = 0.95;
    double S = 0;          // S at the fit
    double threshold = 0;  // profile: the S where an interval ends
    int replicates = 0;    // bootstrap: refits asked for and those that succeeded
    int replicatesUsed = 0;
    std::vector<ParameterInterval> parameters;  // per free parameter
};

// Method names as the command line, the report and the job's option take them.
const char* intervalMethodName(IntervalMethod method);  // "none", "profile", "bootstrap"
bool parseIntervalMethod(const std::string& text, IntervalMethod& method);
// "bounded", "bounded on one side only" or "not bounded".
const char* boundedness(const ParameterInterval& interval);

// The two-sided quantile t of Student's t with nu degrees of freedom for
// `level`: t^2 is F(1, nu) at that level.
double studentQuantile(int nu, double level);
// The S at which a profile interval at `level` ends, from S0 at the fit.
double profileThreshold(double S0, int nu, double level);

// --- the computations on any least-squares problem ---

// How the fitter's variable j carries a parameter's value, for its profile.
struct ProfileAxis {
    std::function<double(double)> variableOf;  // value -> variable
    double estimate = 0;
    double scale = 0;       // the step of the walk: the std dev, or a guess where none is known
    bool logSteps = false;  // positive parameter: walk in ln value
    double lower = -kUnbounded, upper = kUnbounded;  // the parameter's range
};

// The profile interval of variable `j` of `problem` around the fit xHat
// (with S0 there) up to `threshold`.
ParameterInterval profileInterval(LeastSquaresProblem& problem, const std::vector<double>& xHat, int j,
    const ProfileAxis& axis, double S0, double threshold, const FitSettings& settings);

// Bootstrap percentile intervals. makeProblem gives each thread its own
// problem; valuesOf turns the variables into the parameters' values.
// rHat: the weighted residuals at xHat; nu the degrees of freedom.
IntervalResult bootstrapIntervals(const std::function<std::unique_ptr<LeastSquaresProblem>()>& makeProblem,
    const std::vector<double>& xHat, const std::function<std::vector<double>(const std::vector<double>&)>& valuesOf,
    int nu, const FitSettings& settings, const IntervalSettings& how);

// --- the engine's fit ---

// The intervals of every free parameter of the fit of `job`.
IntervalResult computeIntervals(const PreparedJob& job, const FitRecord& fit, const FitSettings& settings,
    const IntervalSettings& how);

} // namespace nosk::engine
