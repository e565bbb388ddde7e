#pragma once

#include <vector>

namespace nosk::engine {

// The statistics of a finished fit, from the weighted residuals r and the
// Jacobian J of r with respect to the parameters themselves.
struct FitStatisticsResult {
    int K = 0;                    // fitted values
    int F = 0;                    // free parameters
    int nu = 0;                   // degrees of freedom K - F
    double S = 0;                 // sum of r^2
    double l2Norm = 0;            // sqrt(S)
    double XS = 0;                // S / nu
    double sigma = 0;             // sqrt(XS)
    double quality = 0;           // sqrt(sum ((obs - model)/obs)^2 / nu), obs != 0
    std::vector<double> covariance;   // F x F, row-major
    std::vector<double> stdDev;       // F
    std::vector<double> relStdDev;    // F; 0 for an estimate of 0
    std::vector<double> correlation;  // F x F, row-major
    std::vector<bool> resolved;       // false: J cannot resolve the parameter
    bool singular = false;            // some parameter is not resolved
};

// K values: residuals r, observed and model values (for the quality factor).
// J is K x F, column-major; estimates are the F parameter values. nu must
// be positive.
FitStatisticsResult computeStatistics(int K, int F, const double* r, const double* obs, const double* model,
    const double* J, const double* estimates);

} // namespace nosk::engine
