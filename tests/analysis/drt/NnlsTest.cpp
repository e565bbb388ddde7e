#include "analysis/drt/Nnls.h"

#include <gtest/gtest.h>

#include <random>

using nosk::drt::nnls;

namespace {

// The reference: every choice of the positive set, solved without
// constraints, the feasible one of least residual (exhaustive, small n).
Eigen::VectorXd bruteForce(const Eigen::MatrixXd& a, const Eigen::VectorXd& b, const std::vector<bool>& free)
{
    const int n = static_cast<int>(a.cols());
    Eigen::VectorXd best = Eigen::VectorXd::Zero(n);
    double bestNorm = std::numeric_limits<double>::infinity();
    for (int mask = 0; mask < (1 << n); ++mask) {
        std::vector<int> cols;
        bool skip = false;
        for (int j = 0; j < n; ++j) {
            if (mask & (1 << j))
                cols.push_back(j);
            else if (!free.empty() && free[j])
                skip = true;  // free variables are always in
        }
        if (skip)
            continue;
        Eigen::VectorXd x = Eigen::VectorXd::Zero(n);
        if (!cols.empty()) {
            Eigen::MatrixXd sub(a.rows(), cols.size());
            for (std::size_t i = 0; i < cols.size(); ++i)
                sub.col(i) = a.col(cols[i]);
            const Eigen::VectorXd s = sub.completeOrthogonalDecomposition().solve(b);
            bool feasible = true;
            for (std::size_t i = 0; i < cols.size(); ++i) {
                if (s(i) < -1e-12 && (free.empty() || !free[cols[i]]))
                    feasible = false;
                x(cols[i]) = s(i);
            }
            if (!feasible)
                continue;
        }
        const double norm = (a * x - b).norm();
        if (norm < bestNorm - 1e-12) {
            bestNorm = norm;
            best = x;
        }
    }
    return best;
}

} // namespace

TEST(Nnls, MatchesExhaustiveSearchOnRandomProblems)
{
    std::mt19937 rng(7);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 1 + trial % 7;
        const int m = trial % 3 == 0 ? n + 1 : 2 * n + 3;
        Eigen::MatrixXd a(m, n);
        Eigen::VectorXd b(m);
        for (int i = 0; i < m; ++i) {
            b(i) = normal(rng);
            for (int j = 0; j < n; ++j)
                a(i, j) = normal(rng);
        }
        std::vector<bool> free;
        if (trial % 4 == 1 && n > 1)
            free = std::vector<bool>(n, false), free[0] = true;
        const auto r = nnls(a, b, free);
        ASSERT_TRUE(r.converged) << "trial " << trial;
        const Eigen::VectorXd ref = bruteForce(a, b, free);
        // The solution of a full-rank problem is unique: compare it, and its residual.
        EXPECT_NEAR((r.x - ref).norm(), 0, 1e-8 * (1 + ref.norm())) << "trial " << trial;
        EXPECT_NEAR((a * r.x - b).norm(), (a * ref - b).norm(), 1e-9) << "trial " << trial;
        // A warm start from any set (here a random one, often infeasible)
        // reaches the same solution.
        std::vector<bool> start(n);
        for (int j = 0; j < n; ++j)
            start[j] = normal(rng) > 0;
        const auto w = nosk::drt::nnlsNormal(a.transpose() * a, a.transpose() * b, free, start);
        ASSERT_TRUE(w.converged) << "trial " << trial;
        EXPECT_NEAR((w.x - ref).norm(), 0, 1e-8 * (1 + ref.norm())) << "trial " << trial;
    }
}

TEST(Nnls, KarushKuhnTuckerConditionsOnAnIllPosedKernel)
{
    // A discretised smoothing kernel (nearly collinear columns), as in the DRT.
    const int m = 40, n = 25;
    Eigen::MatrixXd a(m, n);
    Eigen::VectorXd xTrue = Eigen::VectorXd::Zero(n);
    for (int j = 8; j < 14; ++j)
        xTrue(j) = 1 + 0.1 * j;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j)
            a(i, j) = 1 / (1 + std::pow(std::exp(0.3 * (i - 1.6 * j)), 2));
    const Eigen::VectorXd b = a * xTrue + Eigen::VectorXd::Constant(m, -0.01);
    const auto r = nnls(a, b);
    ASSERT_TRUE(r.converged);
    const Eigen::VectorXd w = a.transpose() * (b - a * r.x);
    for (int j = 0; j < n; ++j) {
        EXPECT_GE(r.x(j), 0);
        if (r.x(j) > 0)
            EXPECT_NEAR(w(j), 0, 1e-7) << j;
        else
            EXPECT_LE(w(j), 1e-7) << j;
    }
}

TEST(Nnls, KnownSolutionsOfSmallProblems)
{
    // b lies in the negative direction of the only column: x = 0.
    Eigen::MatrixXd a(2, 1);
    a << 1, 1;
    Eigen::VectorXd b(2);
    b << -1, -2;
    EXPECT_EQ(nnls(a, b).x(0), 0);
    // Free, the same variable takes the least-squares value -1.5.
    EXPECT_NEAR(nnls(a, b, {true}).x(0), -1.5, 1e-14);
    // Two columns, the unconstrained solution (2, -1) is infeasible: the
    // constrained optimum keeps column 1 alone, x = (b.a1 / a1.a1, 0).
    Eigen::MatrixXd c(3, 2);
    c << 1, 1, 0, 1, 0, 0;
    Eigen::VectorXd d(3);
    d << 1, -1, 0;
    const auto r = nnls(c, d);
    EXPECT_NEAR(r.x(0), 1, 1e-14);
    EXPECT_EQ(r.x(1), 0);
}
