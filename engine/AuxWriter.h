#pragma once

#include "JobProblem.h"
#include "PreparedJob.h"

#include <string>

namespace nosk::engine {

// AUXPNTL of a fit: after the "OBSERVED VARIABLES" line and a column
// heading, one row per point and fitted component (two for DATTYP C):
// point number, observed, model, sigma, residual obs - model, and the
// relative residual (obs - model)/model, or (obs - model)/sigma when
// IPAR > 0. Values in the fit representation; left-out values have sigma 0.
// model0/model1 hold the model at the final parameters.
void writeFitTable(const std::string& path, const PreparedJob& job, const JobProblem& problem,
    const double* model0, const double* model1);

// AUXPNTL of a simulation: the "MODEL DATA" heading, then per point the
// frequency as given in INFL and the two model components.
void writeModelTable(const std::string& path, const PreparedJob& job, const double* model0, const double* model1);

} // namespace nosk::engine
