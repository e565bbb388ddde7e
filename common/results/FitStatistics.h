#pragma once

#include "core/Reason.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nosk {

// What the data say about a free parameter at the end of a fit.
enum class ParameterStatus {
    Determined,    // a std dev from the determined part of the problem
    Undetermined,  // the data do not determine it: its column of the Jacobian is zero, it
                   // does not move the model, or it moves it only together with others
    AtLogBound,    // fitted as ln p and ended at the bound of ln p (p near 1e-308 or 1e308)
    AtLimit,       // ended at a limit the user set
};

// The word of a status in the report ("determined", "undetermined",
// "ln-bound", "limit"), and back (Undetermined for a word not known).
const char* parameterStatusName(ParameterStatus status);
ParameterStatus parameterStatusFromName(const std::string& name);
// One line for the user: why the parameter has no std dev.
const char* parameterStatusText(ParameterStatus status);

// One free parameter of a fit as the engine's report lists it.
struct FreeParameter {
    std::int32_t number = 0;  // the parameter's number in the model
    double estimate = 0;
    double stdDev = 0;        // NaN where no number is known (not determined)
    double relStdDev = 0;     // NaN likewise
    ParameterStatus status = ParameterStatus::Determined;
};

// The statistics of a fit, read from PNTOUTL (readPntoutl). All zero until read.
struct FitStatistics {
    double l2Norm = 0;
    std::int32_t functionEvaluations = 0;
    std::int32_t jacobianEvaluations = 0;
    double sumOfSquares = 0;
    double sigmaSquared = 0;
    double sigma = 0;
    double qualityFactor = 0;
    std::int32_t degreesOfFreedom = 0;
    std::int32_t freeCount = 0;
    std::vector<FreeParameter> freeParameters;        // freeCount entries
    std::vector<std::vector<double>> correlation;     // freeCount x freeCount, symmetric
    // How the fit ended: the report's reason line (kind None in a report
    // of an engine that writes none).
    Reason end;
};

} // namespace nosk
