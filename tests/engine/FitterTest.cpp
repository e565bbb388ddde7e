// The fitter and the statistics on plain problems, checked against
// computations written out independently here.
#include "engine/Fitter.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "engine/Statistics.h"

#include "EngineTestSupport.h"
#include "support/Files.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace nosk::engine;

namespace {

// y = a exp(-b t) + c at fixed t; residuals (y_obs - y) / sigma.
class DecayProblem : public LeastSquaresProblem {
public:
    DecayProblem(std::vector<double> t, std::vector<double> y) : m_t(std::move(t)), m_y(std::move(y)) {}
    int valueCount() const override { return static_cast<int>(m_t.size()); }
    int variableCount() const override { return 3; }
    void residuals(const double* x, double* r) override
    {
        for (std::size_t i = 0; i < m_t.size(); ++i)
            r[i] = m_y[i] - (x[0] * std::exp(-x[1] * m_t[i]) + x[2]);
    }

private:
    std::vector<double> m_t, m_y;
};

// Inverse of a small symmetric matrix by Gauss-Jordan elimination.
std::vector<double> invert(std::vector<double> a, int n)
{
    std::vector<double> inv(n * n, 0.0);
    for (int i = 0; i < n; ++i)
        inv[i * n + i] = 1.0;
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::abs(a[r * n + c]) > std::abs(a[pivot * n + c]))
                pivot = r;
        for (int k = 0; k < n; ++k) {
            std::swap(a[c * n + k], a[pivot * n + k]);
            std::swap(inv[c * n + k], inv[pivot * n + k]);
        }
        const double d = a[c * n + c];
        for (int k = 0; k < n; ++k) {
            a[c * n + k] /= d;
            inv[c * n + k] /= d;
        }
        for (int r = 0; r < n; ++r) {
            if (r == c)
                continue;
            const double f = a[r * n + c];
            for (int k = 0; k < n; ++k) {
                a[r * n + k] -= f * a[c * n + k];
                inv[r * n + k] -= f * inv[c * n + k];
            }
        }
    }
    return inv;
}

// 20 samples of 3 exp(-0.7 t) + 0.5 without noise, t from 0 in steps of 0.25.
DecayProblem exactDecay()
{
    std::vector<double> t, y;
    for (int i = 0; i < 20; ++i) {
        t.push_back(0.25 * i);
        y.push_back(3.0 * std::exp(-0.7 * 0.25 * i) + 0.5);
    }
    return DecayProblem(t, y);
}

} // namespace

TEST(Fitter, FindsTheMinimumOfANonlinearProblem)
{
    DecayProblem problem = exactDecay();
    FitSettings settings;
    settings.maxFunctionEvaluations = 200;
    int progressCalls = 0;
    settings.printEvery = 1;
    settings.progress = [&](int, int, double) { ++progressCalls; };
    const FitOutcome out = fitLevenbergMarquardt(problem, {1.0, 0.2, 0.0}, settings);
    EXPECT_GE(out.info, 1);
    EXPECT_LE(out.info, 8);
    EXPECT_NEAR(out.x[0], 3.0, 1e-9);
    EXPECT_NEAR(out.x[1], 0.7, 1e-9);
    EXPECT_NEAR(out.x[2], 0.5, 1e-9);
    EXPECT_GT(out.jacobianEvaluations, 0);
    EXPECT_GE(progressCalls, out.jacobianEvaluations);
}

TEST(Fitter, StopsAtMaxfev)
{
    DecayProblem problem = exactDecay();
    FitSettings settings;
    settings.maxFunctionEvaluations = 3;
    const FitOutcome out = fitLevenbergMarquardt(problem, {100.0, 20.0, -5.0}, settings);
    EXPECT_EQ(out.info, 5);
    EXPECT_LE(out.functionEvaluations, 4);
}

// exactDecay's problem with a fourth variable whose column is of subnormal
// size, as the column of ln p of a resistance near the bottom of the doubles
// is (dr/d ln p = p dr/dp); the Jacobian is exact, as the engine's is.
class DecayWithSubnormalColumn : public LeastSquaresProblem {
public:
    static constexpr double kTiny = 1e-309;
    int valueCount() const override { return 20; }
    int variableCount() const override { return 4; }
    void residuals(const double* x, double* r) override
    {
        for (int i = 0; i < 20; ++i) {
            const double t = 0.25 * i;
            r[i] = 3.0 * std::exp(-0.7 * t) + 0.5 - (x[0] * std::exp(-x[1] * t) + x[2]) - kTiny * (1 + i) * x[3];
        }
    }
    void jacobian(const double* x, const double*, double* J, int ld) override
    {
        for (int i = 0; i < 20; ++i) {
            const double t = 0.25 * i, e = std::exp(-x[1] * t);
            J[i] = -e;
            J[i + ld] = x[0] * t * e;
            J[i + 2 * ld] = -1;
            J[i + 3 * ld] = -kTiny * (1 + i);
        }
    }
};

TEST(Fitter, AColumnOfSubnormalSizeDoesNotStallTheFit)
{
    // Such a column once made every trial step NaN: the fit stayed at its
    // start until MAXFEV.
    for (const bool unit : {false, true}) {
        DecayWithSubnormalColumn problem;
        FitSettings settings;
        settings.maxFunctionEvaluations = 200;
        settings.unitScaling = unit;
        const FitOutcome out = fitLevenbergMarquardt(problem, {1.0, 0.2, 0.0, -700.0}, settings);
        EXPECT_GE(out.info, 1) << "unit scaling " << unit;
        EXPECT_LE(out.info, 4) << "unit scaling " << unit;
        EXPECT_NEAR(out.x[0], 3.0, 1e-9);
        EXPECT_NEAR(out.x[1], 0.7, 1e-9);
        EXPECT_NEAR(out.x[2], 0.5, 1e-9);
        EXPECT_EQ(out.x[3], -700.0);
    }
}

TEST(Statistics, MatchesAnIndependentComputation)
{
    // A small fixed problem: K = 6 residuals, F = 3 parameters.
    const int K = 6, F = 3;
    const double J[K * F] = {// column-major
        1.0, 2.0, -1.0, 0.5, 3.0, 1.5,   //
        0.2, -0.4, 1.1, 2.0, 0.3, -0.7,  //
        5.0, 1.0, 0.0, -2.0, 1.0, 4.0};
    const double r[K] = {0.1, -0.2, 0.05, 0.3, -0.1, 0.02};
    const double obs[K] = {10.0, 0.0, -4.0, 2.0, 8.0, 1.0};
    const double model[K] = {9.9, 0.2, -4.05, 1.7, 8.1, 0.98};
    const double estimates[F] = {2.0, -0.5, 0.0};
    const FitStatisticsResult s = computeStatistics(K, F, r, obs, model, J, estimates);

    double S = 0;
    for (double v : r)
        S += v * v;
    const int nu = K - F;
    const double XS = S / nu;
    double q = 0;
    for (int i = 0; i < K; ++i)
        if (obs[i] != 0)
            q += std::pow((obs[i] - model[i]) / obs[i], 2);
    EXPECT_EQ(s.nu, 3);
    EXPECT_REL_NEAR(s.S, S, 1e-14);
    EXPECT_REL_NEAR(s.l2Norm, std::sqrt(S), 1e-14);
    EXPECT_REL_NEAR(s.XS, XS, 1e-14);
    EXPECT_REL_NEAR(s.sigma, std::sqrt(XS), 1e-14);
    EXPECT_REL_NEAR(s.quality, std::sqrt(q / nu), 1e-14);

    std::vector<double> jtj(F * F, 0.0);
    for (int a = 0; a < F; ++a)
        for (int b = 0; b < F; ++b)
            for (int i = 0; i < K; ++i)
                jtj[a * F + b] += J[a * K + i] * J[b * K + i];
    const std::vector<double> inv = invert(jtj, F);
    for (int a = 0; a < F; ++a) {
        const double var = XS * inv[a * F + a];
        EXPECT_REL_NEAR(s.stdDev[a], std::sqrt(var), 1e-10) << a;
        EXPECT_TRUE(s.resolved[a]);
        for (int b = 0; b < F; ++b) {
            EXPECT_REL_NEAR(s.covariance[a * F + b], XS * inv[a * F + b], 1e-10);
            const double corr = inv[a * F + b] / std::sqrt(inv[a * F + a] * inv[b * F + b]);
            EXPECT_NEAR(s.correlation[a * F + b], corr, 1e-12);
        }
    }
    EXPECT_REL_NEAR(s.relStdDev[0], s.stdDev[0] / 2.0, 1e-14);
    EXPECT_REL_NEAR(s.relStdDev[1], s.stdDev[1] / 0.5, 1e-14);
    EXPECT_EQ(s.relStdDev[2], 0.0);  // estimate 0: no relative value
    EXPECT_FALSE(s.singular);
}

// The covariance of the columns `kept` of J alone, XS * inverse(Jr^T Jr), by
// the normal equations: the reference for the determined part of a problem.
std::vector<double> reducedCovariance(const double* J, int K, const std::vector<int>& kept, double XS)
{
    const int n = static_cast<int>(kept.size());
    std::vector<double> jtj(n * n, 0.0);
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            for (int i = 0; i < K; ++i)
                jtj[a * n + b] += J[kept[a] * K + i] * J[kept[b] * K + i];
    std::vector<double> inv = invert(jtj, n);
    for (double& v : inv)
        v *= XS;
    return inv;
}

TEST(Statistics, WhatTheDataDoNotDetermineHasNoNumberAndTheRestComesFromTheReducedProblem)
{
    // Column 2 repeats column 0 (neither is determined, only their sum);
    // column 3 is zero.
    const int K = 5, F = 4;
    const double J[K * F] = {1, 2, 3, 4, 5, 0.5, -1, 0.25, 2, 1, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0};
    const double r[K] = {0.1, 0.2, -0.1, 0.05, 0.0};
    const double obs[K] = {1, 1, 1, 1, 1}, model[K] = {1, 1, 1, 1, 1}, est[F] = {1, 1, 1, 1};
    const FitStatisticsResult s = computeStatistics(K, F, r, obs, model, J, est);
    EXPECT_TRUE(s.singular);
    const ParameterStatus U = ParameterStatus::Undetermined;
    EXPECT_EQ(s.status, (std::vector<ParameterStatus>{U, ParameterStatus::Determined, U, U}));
    for (int j : {0, 2, 3}) {
        EXPECT_TRUE(std::isnan(s.stdDev[j])) << j;
        EXPECT_TRUE(std::isnan(s.relStdDev[j])) << j;
        for (int i = 0; i < F; ++i)
            EXPECT_TRUE(std::isnan(s.correlation[j * F + i]));
    }
    const std::vector<double> c = reducedCovariance(J, K, {1}, s.XS);
    EXPECT_REL_NEAR(s.stdDev[1], std::sqrt(c[0]), 1e-12);
    EXPECT_EQ(s.correlation[1 * F + 1], 1.0);
}

TEST(Statistics, ParametersAtTheLogBoundWithoutEffectOrAtALimitLeaveTheRestAsTheReducedProblemGivesIt)
{
    // Six parameters fitted as ln p: 0, 1 and 4 well determined (and
    // correlated); 2 sits at the ln p bound, 3 moves the model by 1e-20 of
    // the others, below the rounding of any sum with them (a CPE whose Q has
    // all but vanished), 5 is at a user's limit.
    const int K = 8, F = 6;
    std::vector<double> J(K * F);
    for (int i = 0; i < K; ++i) {
        const double x = 0.3 * i;
        J[0 * K + i] = 1.0 + x;
        J[1 * K + i] = std::exp(-x);
        J[2 * K + i] = 1e300 * std::sin(3 * x + 1);
        J[3 * K + i] = 1e-20 * std::cos(x);
        J[4 * K + i] = x * x - 0.5 * x + 0.5 * std::exp(-x);
        J[5 * K + i] = std::sqrt(x + 1);
    }
    const double r[K] = {0.01, -0.02, 0.015, 0.0, -0.01, 0.02, -0.005, 0.01};
    const double obs[K] = {1, 1, 1, 1, 1, 1, 1, 1};
    const double est[F] = {2.0, 0.5, 3.3e-308, 1.0, 4.0, 7.0};
    const bool logScaled[F] = {true, true, true, true, true, true};
    std::vector<ParameterStatus> preset(F, ParameterStatus::Determined);
    preset[5] = ParameterStatus::AtLimit;
    const FitStatisticsResult s = computeStatistics(K, F, r, obs, obs, J.data(), est, logScaled, preset.data());
    const ParameterStatus D = ParameterStatus::Determined;
    EXPECT_EQ(s.status, (std::vector<ParameterStatus>{D, D, ParameterStatus::AtLogBound, ParameterStatus::Undetermined, D,
                            ParameterStatus::AtLimit}));
    EXPECT_EQ(s.nu, K - F);

    const std::vector<int> kept = {0, 1, 4};
    const std::vector<double> c = reducedCovariance(J.data(), K, kept, s.XS);
    for (int a = 0; a < 3; ++a) {
        const int i = kept[a];
        EXPECT_REL_NEAR(s.stdDev[i], std::sqrt(c[a * 3 + a]), 1e-9) << i;
        EXPECT_REL_NEAR(s.relStdDev[i], s.stdDev[i] / est[i], 1e-12) << i;
        for (int b = 0; b < 3; ++b) {
            const int j = kept[b];
            EXPECT_REL_NEAR(s.covariance[i * F + j], c[a * 3 + b], 1e-9) << i << "," << j;
            EXPECT_NEAR(s.correlation[i * F + j], c[a * 3 + b] / std::sqrt(c[a * 3 + a] * c[b * 3 + b]), 1e-10);
        }
    }
    for (int j : {2, 3, 5})
        EXPECT_TRUE(std::isnan(s.stdDev[j])) << j;
}

TEST(Statistics, PerfectFitStillHasCorrelations)
{
    const int K = 4, F = 2;
    const double J[K * F] = {1, 1, 1, 1, 0, 1, 2, 3};
    const double r[K] = {0, 0, 0, 0}, obs[K] = {1, 2, 3, 4}, est[F] = {1, 1};
    const FitStatisticsResult s = computeStatistics(K, F, r, obs, obs, J, est);
    EXPECT_EQ(s.S, 0.0);
    EXPECT_EQ(s.stdDev[0], 0.0);
    EXPECT_FALSE(s.singular);
    // (JtJ)^-1 of [[4, 6], [6, 14]]: correlation -6 / sqrt(14 * 4).
    EXPECT_NEAR(s.correlation[1], -6.0 / std::sqrt(56.0), 1e-12);
}

TEST(JobProblem, CachedJacobianEqualsPlainCentralDifferences)
{
    using nosk::test::TestParam;
    nosk::FitJob job = nosk::test::makeTestJob('B', 25,
        {{1, 10.0, 1}, {2, 2e-5, 1}, {3, 1e-6, 2}, {4, 100.0, 1}, {6, 50.0, 1}, {7, 1.0, 1}, {9, 0.5, 1},
            {10, 9, 0}, {11, 30.0, 2}, {12, 1e-3, 1}, {15, 1, 0}, {16, 5.0, 1}, {17, 1e-4, 1}, {19, 0.8, 1},
            {20, 3, 0}, {22, 1e-2, 1}, {24, 0.7, 1}, {25, 2, 3}});
    job.IRCH = 3;
    nosk::test::offsetStart(job);
    const PreparedJob prepared(job);
    JobProblem problem(prepared);
    const int K = prepared.valueCount(), F = prepared.freeCount();
    ASSERT_EQ(F, 14);
    const std::vector<double> x = prepared.startVariables();
    std::vector<double> r(K), cached(K * F), plain(K * F);
    problem.residuals(x.data(), r.data());
    problem.jacobian(x.data(), r.data(), cached.data(), K);
    problem.LeastSquaresProblem::jacobian(x.data(), r.data(), plain.data(), K);
    // The circuit's Jacobian is exact; central differences carry rounding
    // errors that grow where a parameter moves the model little (L here), so
    // each column is compared on the scale of its largest entry.
    for (int j = 0; j < F; ++j) {
        double scale = 0;
        for (int k = 0; k < K; ++k)
            scale = std::max(scale, std::abs(plain[j * K + k]));
        for (int k = 0; k < K; ++k)
            EXPECT_NEAR(cached[j * K + k], plain[j * K + k], 1e-7 * scale) << "column " << j << " value " << k;
    }
}

TEST(JobProblem, DerivativesCarriedAlongNeverGoStale)
{
    // A residual evaluation may carry the derivatives along for the Jacobian
    // the fitter asks next at the same point. Whatever the order of calls
    // (accepted and rejected steps, a Jacobian elsewhere, the statistics'
    // own evaluations in between), every residual vector and every Jacobian
    // must equal, to the bit, those of a problem that has seen nothing else.
    // Circuit B with DE 16 (analytic derivatives) and with DE 10 (by
    // differences, where nothing is carried along).
    using nosk::test::TestParam;
    for (int de : {16, 10}) {
        nosk::FitJob job = nosk::test::makeTestJob('B', 10,
            {{1, 0.02, 1}, {2, 1.0, 1}, {4, 0.01, 1}, {6, 0.03, 1}, {7, 40.0, 1}, {9, 0.45, 1}, {10, static_cast<double>(de), 0}});
        nosk::test::offsetStart(job);
        const PreparedJob prepared(job);
        JobProblem problem(prepared);
        const int K = prepared.valueCount(), F = prepared.freeCount();
        std::vector<std::vector<double>> points;
        for (int n = 0; n < 4; ++n) {
            std::vector<double> x = prepared.startVariables();
            for (int j = 0; j < F; ++j)
                x[j] += 0.05 * n * (j % 2 ? 1 : -1);
            points.push_back(x);
        }
        auto fresh = [&](const std::vector<double>& x, std::vector<double>& r, std::vector<double>& J) {
            JobProblem alone(prepared);
            r.assign(K, 0.0);
            J.assign(static_cast<std::size_t>(K) * F, 0.0);
            alone.jacobian(x.data(), nullptr, J.data(), K);
            alone.residuals(x.data(), r.data());
        };
        std::vector<std::vector<double>> refR(points.size()), refJ(points.size());
        for (std::size_t n = 0; n < points.size(); ++n)
            fresh(points[n], refR[n], refJ[n]);

        // r a, J a, r b (rejected), r c, J c, J a, r a, model, J a, r d, J b, r b, J b ...
        const char* script = "rA jA rB rC jC jA rA mA jA rD jB rB jB pB jB rC rA jA jA rD jD rC jC rB jA jB jC";
        std::vector<double> r(K), J(static_cast<std::size_t>(K) * F), p(PreparedJob::kMaxParams),
            m0(prepared.pointCount()), m1(prepared.pointCount()), Jp(static_cast<std::size_t>(K) * F);
        for (const char* c = script; *c; c += (c[2] ? 3 : 2)) {
            const int n = c[1] - 'A';
            SCOPED_TRACE(std::string("DE ") + std::to_string(de) + " step " + std::string(c, 2));
            switch (c[0]) {
            case 'r':
                problem.residuals(points[n].data(), r.data());
                ASSERT_EQ(r, refR[n]);
                break;
            case 'j':
                problem.jacobian(points[n].data(), r.data(), J.data(), K);
                ASSERT_EQ(J, refJ[n]);
                break;
            case 'm':
                prepared.variablesToParams(points[n].data(), p.data());
                problem.modelAt(p.data(), m0.data(), m1.data());
                break;
            case 'p':
                prepared.variablesToParams(points[n].data(), p.data());
                problem.parameterJacobian(p.data(), Jp.data(), K);
                break;
            }
        }
    }
}
