// What the engine writes, read back with the project's own readers, gives
// the numbers the engine computed (within the printed precision).
#include "EngineTestSupport.h"

#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"

#include "results/AuxpntlReader.h"
#include "results/PntoutlReader.h"
#include "results/ResultHolder.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>

using namespace nosk;
using namespace nosk::test;

namespace {

FitJob jobWithFreeCount(int free)
{
    std::vector<TestParam> params;
    char fun = 'A';
    int n = 20;
    switch (free) {
    case 1:
        params = {{1, 20.0, 0}, {6, 500.0, 1}, {7, 2e-6, 0}, {10, 1, 0}};
        n = 10;
        break;
    case 6:
        fun = 'B';
        params = {{1, 10.0, 1}, {2, 2e-5, 1}, {4, 100.0, 1}, {6, 50.0, 1}, {7, 1.0, 1}, {9, 0.5, 2}, {10, 16, 0}};
        n = 10;
        break;
    case 7:
        fun = 'B';
        params = {{1, 10.0, 1}, {2, 2e-5, 1}, {3, 1e-5, 1}, {4, 100.0, 1}, {6, 50.0, 1}, {7, 1.0, 1}, {9, 0.5, 1},
            {10, 9, 0}};
        n = 10;
        break;
    default:  // 13: circuit A with three DEs
        params = {{1, 10.0, 1}, {2, 1e-2, 1}, {3, 1e-6, 1}, {4, 1e-8, 1}, {6, 1000.0, 1}, {7, 1e-5, 1},
            {9, 0.8, 1}, {10, 5, 0}, {11, 500.0, 1}, {12, 1e-3, 1}, {14, 0.7, 1}, {15, 3, 0}, {16, 300.0, 1},
            {17, 2.0, 1}, {19, 0.5, 1}, {20, 9, 0}};
        break;
    }
    FitJob job = makeTestJob(fun, n, params, 60, 1e-3, 1e6);
    job.IRCH = 3;
    nosk::test::fillSyntheticData(job, job.P, nosk::test::logSpaced(1e-3, 1e6, 60), 0.01, 7);
    offsetStart(job, 0.1);
    return job;
}

// Runs the engine on `job`, then reads the job back as the engine read it:
// its numbers as the input file keeps them.
::testing::AssertionResult runAndReadBack(FitJob& job)
{
    job.save("INFL");
    const EngineResult r = runEngineHere();
    if (r.status != 0)
        return ::testing::AssertionFailure() << "the engine ended with status " << r.status << "\n" << r.err;
    job.load("INFL");
    return ::testing::AssertionSuccess();
}

} // namespace

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, ReadersGetWhatTheEngineComputed)
{
    const int free = GetParam();
    TempWorkDir dir;
    jobWithFreeCount(free).save("INFL");
    const EngineResult run = runEngineHere();
    ASSERT_EQ(run.status, 0) << run.err;

    // The same fit again in this process: the engine is deterministic.
    FitJob job;
    job.load("INFL");
    const engine::PreparedJob prepared(job);
    engine::JobProblem problem(prepared);
    const engine::FitRun fit = engine::fitPreparedJob(prepared, problem, engine::settingsFor(job));
    const engine::FitStatisticsResult& s = fit.record.statistics;
    ASSERT_EQ(prepared.freeCount(), free);

    FitStatistics read;
    readPntoutl(read);
    EXPECT_EQ(read.freeCount, free);
    EXPECT_REL_NEAR(read.l2Norm, s.l2Norm, 1e-7);
    EXPECT_EQ(read.functionEvaluations, fit.record.outcome.functionEvaluations);
    EXPECT_EQ(read.jacobianEvaluations, fit.record.outcome.jacobianEvaluations);
    EXPECT_REL_NEAR(read.sumOfSquares, s.S, 1e-12);
    EXPECT_REL_NEAR(read.sigmaSquared, s.XS, 1e-12);
    EXPECT_REL_NEAR(read.sigma, s.sigma, 1e-12);
    EXPECT_REL_NEAR(read.qualityFactor, s.quality, 1e-4);
    EXPECT_EQ(read.degreesOfFreedom, s.nu);
    ASSERT_EQ(read.freeParameters.size(), static_cast<std::size_t>(free));
    for (int j = 0; j < free; ++j) {
        const FreeParameter& p = read.freeParameters[j];
        EXPECT_EQ(p.number, prepared.freeParam(j) + 1);
        EXPECT_REL_NEAR(p.estimate, fit.record.finalParams[prepared.freeParam(j)], 6e-6) << j;
        EXPECT_REL_NEAR(p.stdDev, s.stdDev[j], 6e-6) << j;
        EXPECT_REL_NEAR(p.relStdDev, s.relStdDev[j], 6e-6) << j;
        EXPECT_GT(p.stdDev, 0.0);
        for (int i = 0; i < free; ++i)
            EXPECT_NEAR(read.correlation[j][i], s.correlation[j * free + i], 6e-8) << j << "," << i;
    }

    // The point table: observed, model, residual and relative residual.
    const int M = prepared.pointCount();
    std::vector<double> obs1(M), model1(M), a1(M), b1(M), obs2(M), model2(M), a2(M), b2(M);
    std::ifstream in("AUXPNTL", std::ios::binary);
    readAuxpntlFit(in, 'C', M,
        {obs1.data(), model1.data(), a1.data(), b1.data(), obs2.data(), model2.data(), a2.data(), b2.data()});
    for (int i = 0; i < M; ++i) {
        EXPECT_REL_NEAR(obs1[i], prepared.observed(i, 0), 1e-7);
        EXPECT_REL_NEAR(obs2[i], prepared.observed(i, 1), 1e-7);
        EXPECT_REL_NEAR(model1[i], fit.model0[i], 1e-7);
        EXPECT_REL_NEAR(model2[i], fit.model1[i], 1e-7);
        EXPECT_NEAR(a1[i], prepared.observed(i, 0) - fit.model0[i], 1e-7 * std::abs(obs1[i]));
        EXPECT_REL_NEAR(b2[i], (prepared.observed(i, 1) - fit.model1[i]) / fit.model1[i], 1e-6);
    }
    if (HasFailure())
        std::cout << readAll("PNTOUTL");
}

INSTANTIATE_TEST_SUITE_P(FreeCounts, RoundTrip, ::testing::Values(1, 6, 7, 13));

TEST(RoundTrip, RealAndImaginaryOnlyTablesAndTheSigmaColumn)
{
    for (char dattyp : {'R', 'I'}) {
        TempWorkDir dir;
        FitJob job = jobWithFreeCount(6);
        job.DATTYP = dattyp;
        job.IPAR = 1;  // last column (obs - model) / sigma
        ASSERT_TRUE(runAndReadBack(job));
        const engine::PreparedJob prepared(job);
        const int M = prepared.pointCount();
        const int c = dattyp == 'R' ? 0 : 1;
        std::vector<double> obs(M), model(M), a(M), b(M);
        AuxpntlFitColumns columns;
        if (c == 0)
            columns = {obs.data(), model.data(), a.data(), b.data()};
        else
            columns = {nullptr, nullptr, nullptr, nullptr, obs.data(), model.data(), a.data(), b.data()};
        std::ifstream in("AUXPNTL", std::ios::binary);
        readAuxpntlFit(in, dattyp, M, columns);
        std::size_t rows = 0;
        int point;
        for (const std::string& line : fileLines("AUXPNTL"))
            rows += std::sscanf(line.c_str(), "%5d", &point) == 1;
        EXPECT_EQ(rows, static_cast<std::size_t>(M));
        for (int i = 0; i < M; ++i) {
            EXPECT_REL_NEAR(obs[i], prepared.observed(i, c), 1e-7);
            // IRCH 3: sigma is the modulus of the observed value.
            double x = prepared.observed(i, 0), y = prepared.observed(i, 1);
            EXPECT_REL_NEAR(b[i] * std::hypot(x, y), a[i], 1e-6);
        }
    }
}

TEST(RoundTrip, SimulationTableReadsBack)
{
    TempWorkDir dir;
    FitJob job = jobWithFreeCount(6);
    job.MAXFEV = 0;
    ASSERT_TRUE(runAndReadBack(job));
    const engine::PreparedJob prepared(job);
    engine::JobProblem problem(prepared);
    const int M = prepared.pointCount();
    std::vector<double> m0(M), m1(M), r0(M), r1(M);
    problem.modelAt(prepared.startParams(), m0.data(), m1.data());
    std::ifstream in("AUXPNTL", std::ios::binary);
    readAuxpntlModel(in, M, r0.data(), r1.data());
    for (int i = 0; i < M; ++i) {
        EXPECT_REL_NEAR(r0[i], m0[i], 1e-14);
        EXPECT_REL_NEAR(r1[i], m1[i], 1e-14);
    }
}

TEST(RoundTrip, ResultHolderReadsFitAndSimulation)
{
    TempWorkDir dir;
    FitJob job = jobWithFreeCount(7);
    job.DINP = 'Z';
    job.DFIT = 'Y';  // the model result set converts the data itself
    job.PINP = 'R';
    job.PFIT = 'P';
    job.IRCH = 1;
    ASSERT_TRUE(runAndReadBack(job));
    const engine::PreparedJob prepared(job);
    engine::JobProblem problem(prepared);
    const engine::FitRun fit = engine::fitPreparedJob(prepared, problem, engine::settingsFor(job));
    {
        ResultHolder holder(job);
        holder.read();
        FitResultSet* set = holder.fitResults();
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->statistics.freeCount, 7);
        EXPECT_REL_NEAR(set->statistics.sumOfSquares, fit.record.statistics.S, 1e-12);
        for (int i = 0; i < prepared.pointCount(); ++i) {
            EXPECT_REL_NEAR((*set->obs1)[i], prepared.observed(i, 0), 1e-7);
            EXPECT_REL_NEAR((*set->model2)[i], fit.model1[i], 1e-7);
        }
    }

    job.MAXFEV = 0;
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    std::vector<double> m0(prepared.pointCount()), m1(prepared.pointCount());
    problem.modelAt(prepared.startParams(), m0.data(), m1.data());
    ResultHolder holder(job);
    holder.read();
    ModelResultSet* set = holder.modelResults();
    ASSERT_NE(set, nullptr);
    for (int i = 0; i < prepared.pointCount(); ++i) {
        EXPECT_REL_NEAR((*set->model1)[i], m0[i], 1e-14);
        EXPECT_REL_NEAR((*set->model2)[i], m1[i], 1e-14);
        // The viewer's conversion of the data and the engine's agree.
        EXPECT_REL_NEAR((*set->obs1)[i], prepared.observed(i, 0), 1e-13);
        EXPECT_REL_NEAR((*set->obs2)[i], prepared.observed(i, 1), 1e-13);
    }
}
