#include "Nnls.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nosk::drt {

namespace {

// Least squares on the passive set P: solves K_PP s_P = c_P.
Eigen::VectorXd solvePassive(const Eigen::MatrixXd& k, const Eigen::VectorXd& c, const std::vector<int>& passive)
{
    const int p = static_cast<int>(passive.size());
    Eigen::MatrixXd kp(p, p);
    Eigen::VectorXd cp(p);
    for (int i = 0; i < p; ++i) {
        cp(i) = c(passive[i]);
        for (int j = 0; j < p; ++j)
            kp(i, j) = k(passive[i], passive[j]);
    }
    // LDLT with pivoting copes with the semi-definite K of collinear columns.
    Eigen::LDLT<Eigen::MatrixXd> ldlt(kp);
    Eigen::VectorXd s = ldlt.solve(cp);
    if (!s.allFinite())
        s = kp.completeOrthogonalDecomposition().solve(cp);
    return s;
}

} // namespace

namespace {

NnlsResult nnlsScaled(const Eigen::MatrixXd& k, const Eigen::VectorXd& c, const std::vector<bool>& freeIn,
                      const std::vector<bool>& start);

} // namespace

NnlsResult nnlsNormal(const Eigen::MatrixXd& k, const Eigen::VectorXd& c, const std::vector<bool>& free,
                      const std::vector<bool>& start)
{
    // Columns of very different sizes (rows weighted by 1/|Z| over many
    // decades of |Z|) would leave the gradient test and the passive solves to
    // rounding: solve for the unknowns scaled to unit diagonal, which keeps
    // their signs, and scale back.
    const int n = static_cast<int>(c.size());
    Eigen::VectorXd d(n);
    for (int j = 0; j < n; ++j)
        d(j) = k(j, j) > 0 && std::isfinite(k(j, j)) ? 1 / std::sqrt(k(j, j)) : 1.0;
    const Eigen::MatrixXd ks = d.asDiagonal() * k * d.asDiagonal();
    const Eigen::VectorXd cs = d.cwiseProduct(c);
    NnlsResult r = nnlsScaled(ks, cs, free, start);
    r.x = d.cwiseProduct(r.x);
    return r;
}

namespace {

NnlsResult nnlsScaled(const Eigen::MatrixXd& k, const Eigen::VectorXd& c, const std::vector<bool>& freeIn,
                      const std::vector<bool>& start)
{
    const int n = static_cast<int>(c.size());
    std::vector<bool> free = freeIn;
    free.resize(n, false);
    NnlsResult r;
    r.x = Eigen::VectorXd::Zero(n);
    if (n == 0) {
        r.converged = true;
        return r;
    }
    // The gradient test is relative to the size of the problem.
    const double scale = std::max(k.diagonal().cwiseAbs().maxCoeff(), c.cwiseAbs().maxCoeff());
    const double tol = 1e-12 * std::max(scale, std::numeric_limits<double>::min()) * n;

    std::vector<bool> inP(n, false);
    std::vector<int> passive;
    for (int j = 0; j < n; ++j) {
        if (free[j]) {
            inP[j] = true;
            passive.push_back(j);
        }
    }
    // A warm start: the variables marked join the free ones; while the
    // solution on that set has constrained variables at or below zero, they
    // leave it. What remains is a feasible start, positive on its passive
    // set, from which the iteration below goes on as from zero.
    for (int j = 0; j < n && j < static_cast<int>(start.size()); ++j) {
        if (start[j] && !inP[j]) {
            inP[j] = true;
            passive.push_back(j);
        }
    }
    while (!passive.empty()) {
        const Eigen::VectorXd s = solvePassive(k, c, passive);
        std::vector<int> kept;
        for (std::size_t i = 0; i < passive.size(); ++i) {
            const int j = passive[i];
            if (free[j] || s(static_cast<int>(i)) > 0)
                kept.push_back(j);
            else
                inP[j] = false;
        }
        if (kept.size() == passive.size()) {
            for (std::size_t i = 0; i < passive.size(); ++i)
                r.x(passive[i]) = s(static_cast<int>(i));
            break;
        }
        passive = std::move(kept);
    }

    const int maxIterations = 3 * n + 30;
    for (r.iterations = 0; r.iterations < maxIterations; ++r.iterations) {
        const Eigen::VectorXd w = c - k * r.x;
        int t = -1;
        double best = tol;
        for (int j = 0; j < n; ++j) {
            if (!inP[j] && w(j) > best) {
                best = w(j);
                t = j;
            }
        }
        if (t < 0) {
            r.converged = true;
            return r;
        }
        inP[t] = true;
        passive.push_back(t);

        for (int inner = 0; inner <= 3 * n; ++inner) {
            const Eigen::VectorXd s = solvePassive(k, c, passive);
            // Feasible when every constrained variable of P is positive.
            double alpha = 1;
            bool feasible = true;
            for (std::size_t i = 0; i < passive.size(); ++i) {
                const int j = passive[i];
                if (free[j] || s(static_cast<int>(i)) > 0)
                    continue;
                feasible = false;
                const double denom = r.x(j) - s(static_cast<int>(i));
                const double a = denom > 0 ? r.x(j) / denom : 0;
                alpha = std::min(alpha, a);
            }
            if (feasible) {
                for (std::size_t i = 0; i < passive.size(); ++i)
                    r.x(passive[i]) = s(static_cast<int>(i));
                break;
            }
            // Step towards s as far as feasibility allows; the variables
            // that reach zero return to the active set.
            for (std::size_t i = 0; i < passive.size(); ++i) {
                const int j = passive[i];
                r.x(j) += alpha * (s(static_cast<int>(i)) - r.x(j));
            }
            std::vector<int> kept;
            for (int j : passive) {
                if (!free[j] && r.x(j) <= 0) {
                    r.x(j) = 0;
                    inP[j] = false;
                } else {
                    kept.push_back(j);
                }
            }
            // The variable just added may drop out at once when its step
            // is blocked: then it must not be offered again in a loop.
            if (kept.size() == passive.size()) {
                // No variable reached zero (rounding): drop the most negative.
                int worst = -1;
                double lowest = 0;
                for (std::size_t i = 0; i < passive.size(); ++i) {
                    const int j = passive[i];
                    if (!free[j] && s(static_cast<int>(i)) < lowest) {
                        lowest = s(static_cast<int>(i));
                        worst = j;
                    }
                }
                if (worst < 0)
                    break;
                r.x(worst) = 0;
                inP[worst] = false;
                kept.erase(std::find(kept.begin(), kept.end(), worst));
            }
            passive = std::move(kept);
        }
    }
    return r;
}

} // namespace

NnlsResult nnls(const Eigen::MatrixXd& a, const Eigen::VectorXd& b, const std::vector<bool>& free)
{
    const Eigen::MatrixXd k = a.transpose() * a;
    const Eigen::VectorXd c = a.transpose() * b;
    return nnlsNormal(k, c, free);
}

} // namespace nosk::drt
