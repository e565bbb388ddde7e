// The automatic scaling with its floor, and the search from several starts.
#include "EngineTestSupport.h"

#include "engine/JobProblem.h"
#include "engine/MultiStart.h"
#include "engine/PreparedJob.h"
#include "results/PntoutlReader.h"

#include "support/Files.h"
#include "support/TempDir.h"

#include <cminpack.h>

#include <cstring>

namespace nosk::test {
namespace {

using engine::FitSettings;
using engine::JobProblem;
using engine::PreparedJob;

FitJob exampleJob(const std::string& relative)
{
    FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/" + relative);
    return job;
}

// Circuit I (Randles with a Gerischer element) on the measured battery
// spectrum of the example job TBAT. Its lowest S has the Gerischer's rate
// constant k at the bottom of the doubles (k far below every measured
// frequency), so near it the column of ln k is tiny but not zero.
FitJob gerischerOnBattery(const std::vector<double>& p)
{
    FitJob job = exampleJob("CKT.T/TBAT.TST");
    job.FUN = 'I';
    const int codes[7] = {1, 1, 1, 1, 0, 1, 1};
    for (int i = 0; i < 7; ++i) {
        job.P[i] = p[i];
        job.NFREE[i] = codes[i];
    }
    return job;
}
constexpr double kGerischerBestS = 2.0012248331e-4;

double sumOfSquares(JobProblem& problem, const std::vector<double>& x)
{
    std::vector<double> r(problem.valueCount());
    problem.residuals(x.data(), r.data());
    double s = 0;
    for (double v : r)
        s += v * v;
    return s;
}

// cminpack's lmder in its own mode 1, as the engine called it before the
// scaling kept a floor: the reference for the fits where the floor is not
// reached.
engine::FitOutcome plainMode1(JobProblem& problem, std::vector<double> x, int maxfev)
{
    const int K = problem.valueCount(), F = problem.variableCount();
    std::vector<double> fvec(K), fjac(static_cast<std::size_t>(K) * F), diag(F), qtf(F), wa1(F), wa2(F), wa3(F),
        wa4(K);
    std::vector<int> ipvt(F);
    auto callback = [](void* p, int m, int n, const double* xv, double* fv, double* fj, int ld, int flag) {
        auto* pr = static_cast<JobProblem*>(p);
        if (flag == 1) {
            pr->residuals(xv, fv);
            for (int i = 0; i < m; ++i)
                if (!std::isfinite(fv[i]))
                    fv[i] = 1e100;
        } else if (flag == 2) {
            pr->jacobian(xv, fv, fj, ld);
            for (int i = 0; i < m * n; ++i)
                if (!std::isfinite(fj[i]))
                    fj[i] = 0;
        }
        return 0;
    };
    engine::FitOutcome out;
    out.info = lmder(callback, &problem, K, F, x.data(), fvec.data(), fjac.data(), K, 1e-12, 1e-12, 0.0, maxfev,
        diag.data(), 1, 100.0, 0, &out.functionEvaluations, &out.jacobianEvaluations, ipvt.data(), qtf.data(),
        wa1.data(), wa2.data(), wa3.data(), wa4.data());
    out.x = x;
    return out;
}

} // namespace

TEST(Scaling, WithoutTheFloorItIsLmdersOwnMode1ToTheBit)
{
    for (const char* name : {"CKT.T/TBAT.TST", "CKT.S/SBAT.TST", "CKT.I/IGER.TST", "CKT.G/GTLM.TST"}) {
        FitJob job = exampleJob(name);
        offsetStart(job, 0.5);
        const PreparedJob prepared(job);
        JobProblem ours(prepared), reference(prepared);
        FitSettings settings = engine::settingsFor(job);
        settings.scaleFloor = 0;
        const engine::FitOutcome a = engine::fitLevenbergMarquardt(ours, prepared.startVariables(), settings);
        const engine::FitOutcome b = plainMode1(reference, prepared.startVariables(), job.MAXFEV);
        EXPECT_EQ(a.info, b.info) << name;
        EXPECT_EQ(a.functionEvaluations, b.functionEvaluations) << name;
        EXPECT_EQ(a.jacobianEvaluations, b.jacobianEvaluations) << name;
        ASSERT_EQ(a.x.size(), b.x.size());
        EXPECT_EQ(0, std::memcmp(a.x.data(), b.x.data(), a.x.size() * sizeof(double))) << name;
    }
}

TEST(Scaling, ATinyJacobianColumnNoLongerStopsTheFitAfterOneJacobian)
{
    // A start a factor of up to ten from the optimum in every free parameter
    // (k included).
    const FitJob job = gerischerOnBattery({0.00209406, 0.138668, 5.87936e-07, 0.00816111, 0, 0.00944301, 3.33698e-308});
    const PreparedJob prepared(job);
    FitSettings settings = engine::settingsFor(job);

    // Without the floor: every trial step is refused and the fit "converges"
    // on XTOL after one Jacobian, far above the minimum.
    settings.scaleFloor = 0;
    JobProblem stalled(prepared);
    const engine::FitOutcome bad = engine::fitLevenbergMarquardt(stalled, prepared.startVariables(), settings);
    EXPECT_EQ(bad.jacobianEvaluations, 1);
    EXPECT_EQ(bad.info, 2);
    EXPECT_GT(sumOfSquares(stalled, bad.x), 20 * kGerischerBestS);

    // With it (the engine's setting) the same start reaches the minimum.
    settings.scaleFloor = engine::kScaleFloor;
    JobProblem floored(prepared);
    const engine::FitOutcome good = engine::fitLevenbergMarquardt(floored, prepared.startVariables(), settings);
    EXPECT_REL_NEAR(sumOfSquares(floored, good.x), kGerischerBestS, 1e-8);
}

TEST(MultiStart, FirstRunIsTheJobsStartAndTheResultIsDeterministic)
{
    FitJob job = exampleJob("CKT.S/SBAT.TST");
    // Rough starts: a factor of three to seven away.
    const double factors[11] = {3, 0.2, 5, 0.3, 1, 7, 1, 0.25, 1, 4, 1};
    for (int i = 0; i < 11; ++i)
        job.P[i] *= factors[i];
    const PreparedJob prepared(job);
    const FitSettings settings = engine::settingsFor(job);

    JobProblem single(prepared);
    const engine::FitOutcome alone = engine::fitLevenbergMarquardt(single, prepared.startVariables(), settings);
    const double aloneS = sumOfSquares(single, alone.x);

    // A hard problem: most runs end in valleys where a ZARC's resistance runs
    // off, so the search needs more than its first round.
    engine::MultiStartSettings search;
    search.starts = 24;
    search.threads = 2;
    const engine::MultiStartResult two = engine::multiStartFit(prepared, settings, search);
    const engine::MultiStartResult again = engine::multiStartFit(prepared, settings, search);
    search.threads = 1;
    const engine::MultiStartResult one = engine::multiStartFit(prepared, settings, search);
    EXPECT_GE(two.rounds, 2);
    EXPECT_GT(two.degenerate, 0);
    int wide = 0;
    for (const engine::StartRunResult& r : two.runs)
        wide += r.wide ? 1 : 0;
    EXPECT_GT(wide, 0);

    // Run 1 is the single fit from the job's start, to the bit, unless it ran
    // away (then it ended at a point of its own path).
    if (!two.runs[0].degenerate) {
        EXPECT_EQ(0, std::memcmp(two.runs[0].outcome.x.data(), alone.x.data(), alone.x.size() * sizeof(double)));
    }
    // Never worse than that run, and here far better: the single fit ends in
    // a local minimum almost five times above the lowest S.
    JobProblem check(prepared);
    const double bestS = sumOfSquares(check, two.best.x);
    EXPECT_LE(bestS, aloneS);
    EXPECT_REL_NEAR(bestS, 2.9174411606e-6, 1e-8);
    // The same result with two threads twice and with one, run by run.
    for (const engine::MultiStartResult* other : {&again, &one}) {
        EXPECT_EQ(other->bestRun, two.bestRun);
        EXPECT_EQ(other->reached, two.reached);
        EXPECT_EQ(other->end, two.end);
        EXPECT_EQ(other->rounds, two.rounds);
        ASSERT_EQ(other->runs.size(), two.runs.size());
        for (std::size_t r = 0; r < two.runs.size(); ++r) {
            EXPECT_EQ(other->runs[r].S, two.runs[r].S) << "run " << r + 1;
            EXPECT_EQ(other->runs[r].outcome.x, two.runs[r].outcome.x) << "run " << r + 1;
        }
    }
    EXPECT_GE(two.reached, 1);
}

TEST(MultiStart, StartsStayInTheirBoxAndExponentsInTheirRange)
{
    const FitJob job = exampleJob("CKT.S/SBAT.TST");
    const PreparedJob prepared(job);
    const auto starts = engine::startVariables(prepared, 64, 1.0);
    ASSERT_EQ(starts.size(), 64u);
    EXPECT_EQ(starts[0], prepared.startVariables());
    const auto roles = model::parameterRoles(prepared.model().definition());
    for (int j = 0; j < prepared.freeCount(); ++j) {
        const int index = prepared.freeParam(j);
        bool exponent = false;
        for (const auto& role : roles)
            if (role.number == index + 1)
                exponent = engine::isCpeExponent(role.role);
        double low = 1e300, high = -1e300;
        for (std::size_t n = 1; n < starts.size(); ++n) {
            // An exponent is carried within (0, 1] by its map: compared as
            // its value, the others as their variable ln p.
            const double x = exponent ? prepared.parameterMap(j).param(starts[n][j]) : starts[n][j];
            low = std::min(low, x);
            high = std::max(high, x);
            if (exponent) {
                EXPECT_GE(x, 0.03 * (1 - 1e-12));  // a quarter below 0.3
                EXPECT_LE(x, 1.0);
            } else {
                EXPECT_LE(std::abs(x - starts[0][j]), std::log(10.0) + 1e-12) << "P" << index + 1;
            }
        }
        // Spread over the box, not bunched: 63 points of a low-discrepancy
        // sequence cover most of each side.
        const double width = exponent ? 1.0 - 0.3 : 2 * std::log(10.0);
        EXPECT_GT(high - low, 0.9 * width) << "P" << index + 1;
    }
}

TEST(MultiStart, StartsAndRunsStayWithinTheJobsLimits)
{
    FitJob job = exampleJob("CKT.S/SBAT.TST");
    // A lower limit and an upper one inside the decade around the start, both
    // on a resistance, both on an exponent, and an exponent held below the
    // range (0.3, 1] that starts of exponents are drawn from.
    job.LOWER[0] = 0.012;  // p1 = 0.015
    job.UPPER[3] = 0.01;   // p4 = 0.005
    job.LOWER[6] = 0.005;  // p7 = 0.01
    job.UPPER[6] = 0.02;
    job.LOWER[5] = 0.6;    // p6 = 0.8
    job.UPPER[5] = 0.9;
    job.P[8] = 0.1;        // p9
    job.LOWER[8] = 0.05;
    job.UPPER[8] = 0.2;
    const PreparedJob prepared(job);
    const int F = prepared.freeCount();

    auto withinLimits = [&](const std::vector<double>& x, const std::string& what) {
        double p[PreparedJob::kMaxParams];
        prepared.variablesToParams(x.data(), p);
        for (int j = 0; j < F; ++j) {
            const int i = prepared.freeParam(j);
            EXPECT_GE(p[i], job.LOWER[i]) << what << ", P" << i + 1;
            EXPECT_LE(p[i], job.UPPER[i]) << what << ", P" << i + 1;
        }
        return p[8];
    };
    const auto starts = engine::startVariables(prepared, 64, 1.0);
    double low = 1, high = 0;
    for (std::size_t n = 0; n < starts.size(); ++n) {
        const double p9 = withinLimits(starts[n], "start " + std::to_string(n + 1));
        low = std::min(low, p9);
        high = std::max(high, p9);
    }
    // The held exponent's starts spread over its limits instead of piling up
    // on one of them.
    EXPECT_GT(high - low, 0.8 * (0.2 - 0.05));

    engine::MultiStartSettings search;
    search.starts = 8;
    search.threads = 2;
    const engine::MultiStartResult found = engine::multiStartFit(prepared, engine::settingsFor(job), search);
    for (std::size_t r = 0; r < found.runs.size(); ++r)
        withinLimits(found.runs[r].outcome.x, "run " + std::to_string(r + 1));
}

// The engine shares the runs between two threads where the machine has two
// cores.
TEST(MultiStart, TheEngineWritesTheSameFilesForTheSameJob)
{
    TempWorkDir dir;
    FitJob job = exampleJob("CKT.S/SBAT.TST");
    offsetStart(job, 0.7);
    job.save("INFL");
    std::string files[2][2];
    for (auto& run : files) {
        std::ostringstream out, err;
        ASSERT_EQ(engine::runEngine(out, err, 12), 0) << err.str();
        run[0] = readAll("OUTIN");
        run[1] = readAll("AUXPNTL");
    }
    EXPECT_EQ(files[0][0], files[1][0]);
    EXPECT_EQ(files[0][1], files[1][1]);
}

TEST(MultiStart, EngineReportsTheRunsAndOneStartIsTheSingleFit)
{
    TempWorkDir dir;
    FitJob job = exampleJob("CKT.T/TBAT.TST");
    // A start with the CPE's alpha (0.8 in the job) inside (0, 1]: moved
    // beyond 1 it would start just below 1 and the single fit end at that
    // bound, where another run of the search ends lower.
    offsetStart(job, 0.2);
    job.save("INFL");
    std::ostringstream out1, err1;
    ASSERT_EQ(engine::runEngine(out1, err1, 1), 0) << err1.str();
    const std::string single = readAll("OUTIN");
    const std::string singleReport = readAll("PNTOUTL");
    EXPECT_EQ(singleReport.find("STARTS:"), std::string::npos);

    // An easy problem: the first round finds the lowest S several times and
    // some other minima; the second finds nothing lower, and the search
    // stops there, far within its budget.
    std::ostringstream out, err;
    ASSERT_EQ(engine::runEngine(out, err, 64), 0) << err.str();
    EXPECT_NE(out.str().find("RUN  16 OF  64"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("RUN  17 OF"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("the search agreed: "), std::string::npos) << out.str();
    const std::string report = readAll("PNTOUTL");
    EXPECT_NE(report.find(" STARTS: 16 RUNS, "), std::string::npos);
    FitStatistics read;
    readPntoutl(read);
    EXPECT_EQ(read.search.end, SearchSummary::End::Agreed);
    EXPECT_EQ(read.search.runs, 16);
    EXPECT_GE(read.search.reached, 3);
    EXPECT_EQ(read.search.budget, 64);
    EXPECT_EQ(read.search.best, 1);
    EXPECT_FALSE(read.search.unfinished());
    // The search kept run 1: its start was good, so the files are those of
    // the single fit.
    EXPECT_NE(report.find("THE BEST WAS RUN 1 "), std::string::npos);
    EXPECT_EQ(readAll("OUTIN"), single);
}

// Data of a series resistance and a blocking capacitor, fitted with a
// resistance parallel to the capacitor (circuit R without its Warburg): the
// parallel resistance belongs at infinity, where it no longer changes the
// model. Every run carries it off.
namespace {
FitJob blockingCapacitorJob()
{
    FitJob job = exampleJob("CKT.R/RWARB.TST");
    const double truth[5] = {10, 1e-5, 0, 1e14, 0};
    const int codes[5] = {1, 1, 0, 1, 0};
    for (int i = 0; i < 5; ++i) {
        job.P[i] = truth[i];
        job.NFREE[i] = codes[i];
    }
    fillSyntheticData(job, truth, logSpaced(0.1, 1e5, 40), 1e-3, 7);
    job.P[3] = 100;  // the start of the parallel resistance
    return job;
}
} // namespace

TEST(MultiStart, ARunThatRunsAwayIsRecognisedAndSaidWhenNothingBetterExists)
{
    const FitJob job = blockingCapacitorJob();
    const PreparedJob prepared(job);
    ASSERT_EQ(prepared.freeCount(), 3);
    ASSERT_EQ(prepared.freeParam(2), 3);
    JobProblem problem(prepared);
    const int K = prepared.valueCount();
    const std::vector<double> start = prepared.startVariables();
    std::vector<double> r(K), J(static_cast<std::size_t>(K) * 3);
    auto runaway = [&](std::vector<double> x) {
        problem.residuals(x.data(), r.data());
        problem.jacobian(x.data(), r.data(), J.data(), K);
        return engine::runawayParameter(prepared, start.data(), x.data(), r.data(), J.data(), K);
    };
    // At the start nothing has run away. Seven decades up the resistance
    // still changes the model by a sixth of the noise; fourteen decades up
    // it no longer does. Down it shorts the capacitor, which the data see.
    EXPECT_EQ(runaway(start), -1);
    std::vector<double> up = start, further = start, down = start;
    up[2] += 7 * std::log(10.0);
    further[2] += 14 * std::log(10.0);
    down[2] -= 14 * std::log(10.0);
    EXPECT_EQ(runaway(up), -1);
    EXPECT_EQ(runaway(further), 2);
    EXPECT_EQ(runaway(down), -1);

    // The search ends such runs early; as no run ends lower, the best point
    // is a degenerate one, and the search does not call itself agreed.
    engine::MultiStartSettings search;
    search.starts = 6;
    search.threads = 2;
    const engine::MultiStartResult found = engine::multiStartFit(prepared, engine::settingsFor(job), search);
    EXPECT_TRUE(found.bestDegenerate);
    EXPECT_EQ(found.runs[found.bestRun].runaway, 2);
    EXPECT_EQ(found.end, engine::SearchEnd::Budget);
    EXPECT_EQ(static_cast<int>(found.runs.size()), 12);  // every run replaced once: twice the budget drawn
    double p[PreparedJob::kMaxParams];
    prepared.variablesToParams(found.best.x.data(), p);
    EXPECT_GT(p[3], 1e9);
    EXPECT_REL_NEAR(p[1], 1e-5, 1e-2);

    // The report and its reader say so, and the status is not "ok".
    TempWorkDir dir;
    job.save("INFL");
    std::ostringstream out, err;
    ASSERT_EQ(engine::runEngine(out, err, 6), 0) << err.str();
    EXPECT_NE(out.str().find("P4 RAN AWAY: REPLACED"), std::string::npos) << out.str();
    FitStatistics read;
    readPntoutl(read);
    EXPECT_EQ(read.search.runaway, 4);
    EXPECT_EQ(read.search.end, SearchSummary::End::Budget);
    EXPECT_TRUE(read.search.unfinished());
    const std::string note = searchNote(read.search);
    EXPECT_NE(note.find("the best point is degenerate (P4 ran away"), std::string::npos) << note;
    EXPECT_NE(note.find("try more starts or limits"), std::string::npos) << note;
}

} // namespace nosk::test

namespace nosk::test {

// A minimum at a small exponent (a CPE that is almost a resistor, with the
// element's other parameters far from the start) is reached only from
// starts there: a quarter of the starts draw each exponent below 0.3.
TEST(MultiStart, AQuarterOfTheStartsDrawEachExponentBelowTheRangeEvenlyInLnP)
{
    FitJob job = exampleJob("CKT.S/SBAT.TST");
    job.P[8] = 0.06;  // p9: the small end reaches a third of a start below 0.09
    const PreparedJob prepared(job);
    const auto starts = engine::startVariables(prepared, 401, 1.0);
    const auto roles = model::parameterRoles(prepared.model().definition());
    int exponents = 0;
    for (int j = 0; j < prepared.freeCount(); ++j) {
        const int index = prepared.freeParam(j);
        bool exponent = false;
        for (const auto& role : roles)
            exponent = exponent || (role.number == index + 1 && engine::isCpeExponent(role.role));
        if (!exponent)
            continue;
        ++exponents;
        const double smallest = index == 8 ? 0.02 : 0.03;
        int small = 0, lowerHalf = 0, top = 0;
        for (std::size_t n = 1; n < starts.size(); ++n) {
            const double alpha = prepared.parameterMap(j).param(starts[n][j]);
            ASSERT_GE(alpha, smallest * (1 - 1e-12)) << "P" << index + 1;
            ASSERT_LE(alpha, 1.0) << "P" << index + 1;
            small += alpha < engine::kExponentLow ? 1 : 0;
            lowerHalf += alpha < std::sqrt(smallest * engine::kExponentLow) ? 1 : 0;
            top += alpha > 0.65 ? 1 : 0;
        }
        // A quarter below 0.3, half of them in the lower half of ln p; the
        // rest evenly over (0.3, 1].
        EXPECT_NEAR(small, 100, 3) << "P" << index + 1;
        EXPECT_NEAR(lowerHalf, 50, 3) << "P" << index + 1;
        EXPECT_NEAR(top, 150, 3) << "P" << index + 1;
    }
    EXPECT_EQ(exponents, 3);
}

TEST(MultiStart, ATimeBudgetEndsTheSearchAfterItsRoundAndSaysSo)
{
    TempWorkDir dir;
    FitJob job = exampleJob("CKT.S/SBAT.TST");
    offsetStart(job, 0.7);
    job.save("INFL");
    std::ostringstream out, err;
    ASSERT_EQ(engine::runEngine(out, err, 64, engine::kAgreeingRuns, {}, 1e-9), 0) << err.str();
    // The first round is finished, no second begins.
    EXPECT_NE(out.str().find("RUN   8 OF  64"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("RUN   9 OF"), std::string::npos) << out.str();
    FitStatistics read;
    readPntoutl(read);
    EXPECT_EQ(read.search.end, SearchSummary::End::Time);
    EXPECT_EQ(read.search.runs, 8);
    EXPECT_TRUE(read.search.unfinished());
    const std::string note = searchNote(read.search);
    EXPECT_NE(note.find("the search ran out of time before it agreed"), std::string::npos) << note;
    EXPECT_NE(note.find("try more time, more starts or limits"), std::string::npos) << note;
    EXPECT_NE(readAll("PNTOUTL").find(" SEARCH: end=time runs=8 "), std::string::npos);

    // Without the time budget the same job goes on to agree.
    std::ostringstream out2, err2;
    ASSERT_EQ(engine::runEngine(out2, err2, 64), 0) << err2.str();
    readPntoutl(read);
    EXPECT_EQ(read.search.end, SearchSummary::End::Agreed);
    EXPECT_GT(read.search.runs, 8);
}

} // namespace nosk::test
