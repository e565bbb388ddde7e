#pragma once

#include "results/FitStatistics.h"

#include <vector>

namespace nosk::engine {

// ParameterStatus (results/FitStatistics.h): determined, undetermined, at the
// ln p bound, at a user's limit.
using nosk::ParameterStatus;

// The statistics of a finished fit, from the weighted residuals r and the
// Jacobian J of r with respect to the parameters themselves.
//
// Parameters that are not determined take no part in the covariance: their
// columns are removed and the covariance of the others is XS * inverse(Jr^T
// Jr) of the reduced Jacobian Jr (computed by a singular value decomposition
// of Jr with unit-length columns). nu stays K - F. A parameter not
// determined has std dev, relative std dev and correlations NaN (no number
// is known).
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
    std::vector<ParameterStatus> status;  // F
    std::vector<bool> resolved;       // F; status == Determined
    bool singular = false;            // some parameter is not determined
};

// K values: residuals r, observed and model values (for the quality factor).
// J is K x F, column-major; estimates are the F parameter values. nu must
// be positive. logScaled (F entries, may be null) marks parameters fitted as
// ln p; one that sits at the ln p bound is not determined. A parameter whose
// change (relative for ln p, else by max(|p|, 1)) moves the residuals by
// less than the double epsilon of the strongest such change does not move
// the model and is not determined either.
// preset (F entries, may be null) holds statuses the caller already knows
// (AtLimit for a parameter at a user's limit); those other than Determined
// are kept and their columns removed like those of undetermined ones.
FitStatisticsResult computeStatistics(int K, int F, const double* r, const double* obs, const double* model,
    const double* J, const double* estimates, const bool* logScaled = nullptr,
    const ParameterStatus* preset = nullptr);

} // namespace nosk::engine
