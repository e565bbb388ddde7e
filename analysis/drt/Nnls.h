#pragma once

// Non-negative least squares by the active-set method of Lawson and Hanson
// (Solving Least Squares Problems, 1974, chapter 23), working on the normal
// equations so that a regularised problem [A; sqrt(lambda) D] costs no more
// than its cross products. Variables may be marked free (no sign constraint):
// they stay in the passive set from the start.
//
// Standard library and Eigen only.

#include <Eigen/Dense>

#include <vector>

namespace nosk::drt {

struct NnlsResult {
    Eigen::VectorXd x;
    int iterations = 0;
    bool converged = false;  // false: the iteration limit ended the search
};

// Minimises |A x - b|^2 subject to x >= 0 (except where free[j]).
NnlsResult nnls(const Eigen::MatrixXd& a, const Eigen::VectorXd& b, const std::vector<bool>& free = {});

// The same on the normal equations: minimises x'Kx - 2 c'x with K = A'A
// (positive semi-definite) and c = A'b.
// `start` marks variables to try in the passive set first (a warm start from
// a neighbouring problem's solution); the result does not depend on it.
NnlsResult nnlsNormal(const Eigen::MatrixXd& k, const Eigen::VectorXd& c, const std::vector<bool>& free = {},
                      const std::vector<bool>& start = {});

} // namespace nosk::drt
