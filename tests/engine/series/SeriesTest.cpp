// The joint fit of a series: its step against a dense solve, its
// statistics against the dense covariance, one spectrum against the single
// fit, the recovery of an activation energy, the F-test against its closed
// form, the test of a sharing that the data contradict, and the refusals.
#include "engine/series/SeriesRun.h"

#include "engine/EngineRun.h"
#include "support/SyntheticData.h"

#include "core/Exception.h"
#include "job/FitJob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace nosk::series {
namespace {

// R0 + (R1 || CPE1) + (R2 || CPE2) (circuit S with no inductance and no
// third CPE): P1 R0, P4 R1, P5 Q1, P6 alpha1, P7 R2, P8 Q2, P9 alpha2.
constexpr double kEa1 = 0.45, kEa2 = 0.60;

double arrhenius(double atReference, double ea, double T)
{
    return atReference * std::exp(ea / kBoltzmannEv * (1.0 / T - 1.0 / 300.0));
}

FitJob spectrumAt(double T, double noise, unsigned seed, double alpha1 = 0.85)
{
    FitJob job = impedanceFitJob('S', 11, "series test");
    job.IRCH = 3;  // sigma |Z|: the noise is proportional to |Z|
    const double truth[11] = {10, 0, 0, arrhenius(100, kEa1, T), 1e-5, alpha1, arrhenius(1000, kEa2, T), 1e-4, 0.75,
        0, 1};
    const int codes[11] = {1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0};
    for (int i = 0; i < 11; ++i) {
        job.P[i] = truth[i];
        job.NFREE[i] = codes[i];
    }
    test::fillSyntheticData(job, job.P, test::logSpaced(1, 1e5, 26), noise, seed);
    // Start values off the truth, as a user's would be.
    job.P[0] *= 1.2;
    job.P[3] *= 0.7;
    job.P[6] *= 1.4;
    return job;
}

SeriesSetup arrheniusSeries(int n, double noise, unsigned seed)
{
    SeriesSetup setup;
    for (int i = 0; i < n; ++i) {
        const double T = 280.0 + 40.0 * i / (n - 1);
        setup.jobs.push_back(spectrumAt(T, noise, seed + i));
        setup.covariate.push_back(T);
        setup.labels.push_back("s" + std::to_string(i) + ".csv");
    }
    setup.unit = "K";
    setup.roles.assign(9, Role::Local);
    setup.roles[0] = setup.roles[5] = setup.roles[8] = Role::Shared;
    setup.roles[3] = setup.roles[6] = Role::Arrhenius;
    setup.starts = 2;
    return setup;
}

TEST(SeriesSolve, SchurStepAndCovarianceAgreeWithDenseSolve)
{
    const SeriesSetup setup = arrheniusSeries(4, 0.01, 7);
    std::vector<Role> roles = {Role::Shared, Role::Arrhenius, Role::Local, Role::Shared, Role::Arrhenius,
        Role::Local, Role::Shared};
    std::vector<std::vector<double>> coefficients(7);
    coefficients[1] = {std::log(100.0), 0.4};
    coefficients[4] = {std::log(1000.0), 0.5};
    SeriesProblem problem(setup.jobs, setup.covariate, setup.labels, roles, std::vector<double>(7, 11.0));
    const std::vector<double> x = problem.startVariables(coefficients);
    NormalEquations eq;
    ASSERT_TRUE(assembleNormalEquations(problem, x, eq));
    for (double lambda : {0.0, 1e-3, 10.0}) {
        const std::vector<double> schur = schurStep(eq, lambda), dense = denseStep(eq, lambda);
        ASSERT_EQ(schur.size(), dense.size());
        double largest = 0;
        for (double v : dense)
            largest = std::max(largest, std::abs(v));
        for (std::size_t k = 0; k < dense.size(); ++k)
            EXPECT_NEAR(schur[k], dense[k], 1e-10 * largest) << "lambda " << lambda << " variable " << k;
    }

    // The joint statistics against the inverse of the whole J^T J.
    const JointFitOutcome fit = fitJoint(problem, x);
    ASSERT_TRUE(fit.converged) << fit.end;
    const JointStatistics st = jointStatistics(problem, fit.x);
    ASSERT_TRUE(assembleNormalEquations(problem, fit.x, eq));
    const int N = problem.spectrumCount(), L = problem.localCount(), G = problem.globalCount();
    Eigen::MatrixXd H = Eigen::MatrixXd::Zero(N * L + G, N * L + G);
    for (int i = 0; i < N; ++i) {
        H.block(i * L, i * L, L, L) = eq.U[i];
        H.block(i * L, N * L, L, G) = eq.W[i];
        H.block(N * L, i * L, G, L) = eq.W[i].transpose();
    }
    H.block(N * L, N * L, G, G) = eq.V;
    const Eigen::MatrixXd cov = st.XS * H.inverse();
    double d[3];
    for (int i = 0; i < N; ++i)
        for (int j : problem.localParams()) {
            problem.paramDerivative(fit.x.data(), i, j, d);
            const int v = problem.localOffset(i) + problem.localSlot(j);
            EXPECT_NEAR(st.spectra[i].stdDev[j], std::abs(d[0]) * std::sqrt(cov(v, v)), 1e-7 * st.spectra[i].stdDev[j]);
        }
    // Ea of R1 is a variable itself: its std dev is the variable's.
    const int ea = N * L + problem.globalSlot(1) + 1;
    const auto co = std::find_if(st.coefficients.begin(), st.coefficients.end(),
        [](const Coefficient& c) { return c.name == "P4.Ea"; });
    ASSERT_NE(co, st.coefficients.end());
    EXPECT_NEAR(co->stdDev, std::sqrt(cov(ea, ea)), 1e-7 * co->stdDev);
}

TEST(SeriesFit, OneSpectrumIsTheSingleFit)
{
    SeriesSetup setup = arrheniusSeries(3, 0.01, 3);
    setup.jobs.resize(1);
    setup.covariate.resize(1);
    setup.labels.resize(1);
    const SeriesResult result = fitSeries(setup);
    EXPECT_TRUE(result.single);

    const engine::PreparedJob prepared(setup.jobs[0]);
    engine::JobProblem problem(prepared);
    const engine::FitRun run = engine::fitPreparedJob(prepared, problem, engine::settingsFor(setup.jobs[0]), 2, {});
    EXPECT_NEAR(result.statistics.S, run.record.statistics.S, 1e-12 * run.record.statistics.S);
    for (int j = 0; j < prepared.freeCount(); ++j)
        EXPECT_EQ(result.statistics.spectra[0].value[j], run.record.finalParams[prepared.freeParam(j)]);
}

TEST(SeriesFit, RecoversActivationEnergiesAndAcceptsTrueRoles)
{
    const SeriesResult result = fitSeries(arrheniusSeries(6, 0.01, 11));
    ASSERT_TRUE(result.fit.converged) << result.fit.end;
    std::map<std::string, Coefficient> byName;
    for (const Coefficient& c : result.statistics.coefficients)
        byName[c.name] = c;
    for (const auto& [name, truth] : {std::pair{"P4.Ea", kEa1}, std::pair{"P7.Ea", kEa2}}) {
        const Coefficient& c = byName.at(name);
        ASSERT_EQ(c.status, ParameterStatus::Determined) << name;
        EXPECT_NEAR(c.value, truth, 4 * c.stdDev) << name;
        EXPECT_LT(c.stdDev, 0.05) << name;
        EXPECT_LT(c.low, c.value);
        EXPECT_GT(c.high, c.value);
    }
    EXPECT_NEAR(byName.at("P4.A").value, arrhenius(100, kEa1, 1e300), 0.5 * byName.at("P4.A").value);
    // The roles are the truth: neither the whole nor a part is rejected.
    ASSERT_TRUE(result.tests.available) << result.tests.why;
    EXPECT_GT(result.tests.pValue, 0.01) << result.tests.verdict;
    EXPECT_LT(result.tests.Sindependent, result.tests.Sjoint);
    for (const ParameterTest& t : result.tests.parameters)
        EXPECT_GT(t.pValue, 0.001) << t.verdict;
}

TEST(SeriesFit, RejectsSharingAnExponentThatChanges)
{
    SeriesSetup setup = arrheniusSeries(5, 0.005, 21);
    // The last two spectra's alpha1 moves away: sharing it is wrong there.
    for (int i = 3; i < 5; ++i)
        setup.jobs[i] = spectrumAt(setup.covariate[i], 0.005, 21 + i, 0.7);
    const SeriesResult result = fitSeries(setup);
    const auto t = std::find_if(result.tests.parameters.begin(), result.tests.parameters.end(),
        [](const ParameterTest& p) { return p.name == "P6"; });
    ASSERT_NE(t, result.tests.parameters.end());
    EXPECT_LT(t->pValue, 1e-6) << t->verdict;
    EXPECT_THAT(t->verdict, ::testing::StartsWith("sharing P6 rejected"));
    ASSERT_FALSE(t->disagree.empty());
    EXPECT_GE(t->disagree.front(), 3) << t->verdict;
    EXPECT_LT(result.tests.pValue, 1e-6) << result.tests.verdict;
}

TEST(SeriesFit, AValueHeldByItsLimitHasNoStdDev)
{
    // R0 is 10 in truth; an upper limit of 8 holds the shared value there.
    SeriesSetup setup = arrheniusSeries(4, 0.01, 5);
    for (FitJob& job : setup.jobs) {
        job.UPPER[0] = 8;
        job.P[0] = 7;
    }
    setup.testEachParameter = false;
    const SeriesResult result = fitSeries(setup);
    const auto r0 = std::find_if(result.statistics.coefficients.begin(), result.statistics.coefficients.end(),
        [](const Coefficient& c) { return c.name == "P1"; });
    ASSERT_NE(r0, result.statistics.coefficients.end());
    EXPECT_EQ(r0->status, ParameterStatus::AtLimit);
    EXPECT_NEAR(r0->value, 8, 1e-3);
    EXPECT_TRUE(std::isnan(r0->stdDev));
    for (const SpectrumValues& sv : result.statistics.spectra)
        EXPECT_EQ(sv.status[0], ParameterStatus::AtLimit);
    // The others' std devs are given it, and stay numbers. (The exponents
    // may go to their own limit to make up for R0.)
    for (const Coefficient& c : result.statistics.coefficients)
        if (c.name == "P4.Ea" || c.name == "P7.Ea") {
            EXPECT_EQ(c.status, ParameterStatus::Determined) << c.name;
            EXPECT_GT(c.stdDev, 0) << c.name;
        }
}

TEST(SeriesTests, FTestMatchesItsClosedForm)
{
    // With 2 numerator degrees of freedom P(F > f) = (1 + 2 f / d2)^(-d2 / 2).
    double F = 0;
    const double p = fTestPValue(12.0, 3, 10.0, 5, 25, &F);
    EXPECT_DOUBLE_EQ(F, 2.0);
    EXPECT_NEAR(p, std::pow(1.2, -10.0), 1e-13);
    // A full model that fits no better is never preferred.
    EXPECT_EQ(fTestPValue(10.0, 3, 10.5, 5, 25, &F), 1.0);
    EXPECT_EQ(pValueText(1e-20), "p < 1e-15");
    // AIC and BIC of a least-squares fit: K ln(S/K) + 2P, + P ln K.
    EXPECT_NEAR(aic(2.0, 3, 20), 20 * std::log(0.1) + 6, 1e-12);
    EXPECT_NEAR(bic(2.0, 3, 20), 20 * std::log(0.1) + 3 * std::log(20.0), 1e-12);
}

TEST(SeriesFit, RefusesWhatItCannotFit)
{
    auto message = [](const SeriesSetup& s) {
        try {
            fitSeries(s);
        } catch (const exception& e) {
            return std::string(e.what());
        }
        return std::string("no refusal");
    };
    SeriesSetup fixed = arrheniusSeries(3, 0.0, 1);
    fixed.roles[1] = Role::Arrhenius;  // P2 is fixed
    EXPECT_THAT(message(fixed), ::testing::HasSubstr("P2 is fixed"));
    SeriesSetup cold = arrheniusSeries(3, 0.0, 1);
    cold.covariate[1] = -3;
    EXPECT_THAT(message(cold), ::testing::AllOf(::testing::HasSubstr("s1.csv"), ::testing::HasSubstr("absolute zero")));
    SeriesSetup missing = arrheniusSeries(3, 0.0, 1);
    missing.covariate[2] = std::nan("");
    EXPECT_THAT(message(missing), ::testing::AllOf(::testing::HasSubstr("s2.csv"), ::testing::HasSubstr("no covariate")));
    SeriesSetup broken = arrheniusSeries(3, 0.0, 1);
    broken.jobs[1].M = 0;  // no data lines
    broken.jobs[1].FREQ.reset();
    broken.jobs[1].DATA1.reset();
    broken.jobs[1].DATA2.reset();
    EXPECT_THAT(message(broken), ::testing::HasSubstr("s1.csv"));
}

} // namespace
} // namespace nosk::series
