#pragma once

#include "core/Reason.h"

#include <cstdint>
#include <vector>

namespace nosk {

// One free parameter of a fit as the engine's report lists it.
struct FreeParameter {
    std::int32_t number = 0;  // the parameter's number in the model
    double estimate = 0;
    double stdDev = 0;
    double relStdDev = 0;
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
