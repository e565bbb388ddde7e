#pragma once

#include "SeriesProblem.h"

#include <Eigen/Dense>

#include <string>
#include <vector>

namespace nosk::series {

// The normal equations J^T J and J^T r of the joint problem, kept in the
// blocks its Jacobian has: per spectrum U = A^T A of its local columns A,
// W = A^T B with the global columns B, and gL = A^T r; over all spectra
// V = sum B^T B and gG = sum B^T r. Memory and time grow linearly with
// the number of spectra.
struct NormalEquations {
    std::vector<Eigen::MatrixXd> U, W;
    std::vector<Eigen::VectorXd> gL;
    Eigen::MatrixXd V;
    Eigen::VectorXd gG;
    double S = 0;  // sum of r^2
};

// The blocks at x; false when a residual is not finite there.
bool assembleNormalEquations(SeriesProblem& problem, const std::vector<double>& x, NormalEquations& out);

// The Levenberg-Marquardt step d of (H + lambda diag(H)) d = -g, H = J^T J,
// by the Schur complement of the local blocks: each spectrum's small block
// is factorised alone, the global block takes what they leave. Empty when
// the damped system is singular.
std::vector<double> schurStep(const NormalEquations& eq, double lambda);
// The same step by a dense solve of the whole system (for small series
// and tests: its cost grows with the cube of the variables).
std::vector<double> denseStep(const NormalEquations& eq, double lambda);

struct JointFitSettings {
    int maxIterations = 300;
    double ftol = 1e-12;  // relative decrease of S on an accepted step
    double xtol = 1e-10;  // relative size of an accepted step
    // An accepted step that lowers S, and predicts to lower it, by less
    // than this part of S / (K - P) ends the fit.
    double chiSquareTol = 1e-5;
};

struct JointFitOutcome {
    std::vector<double> x;
    double S = 0;
    int iterations = 0;
    int evaluations = 0;
    bool converged = false;
    std::string end;  // "converged (FTOL)", "stopped after 300 iterations", ...
};

// Levenberg-Marquardt over the joint problem with the Schur step; the
// damping is Marquardt's (the diagonal of J^T J, floored), adjusted by the
// ratio of the actual to the predicted decrease.
JointFitOutcome fitJoint(SeriesProblem& problem, std::vector<double> x0, const JointFitSettings& settings = {});

} // namespace nosk::series
