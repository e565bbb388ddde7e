// Parameter limits in the engine: the map of a bounded parameter, fits held
// by limits against an independent bounded solver, the statistics around a
// held parameter, and the limits the engine refuses.

#include "EngineTestSupport.h"

#include "core/Exception.h"
#include "engine/EngineRun.h"
#include "engine/ParameterMap.h"
#include "results/PntoutlReader.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace nosk;
using namespace nosk::engine;
using nosk::test::EngineResult;
using nosk::test::readAll;
using nosk::test::runEngineHere;
using nosk::test::TempWorkDir;

namespace {

constexpr double kNone = std::numeric_limits<double>::infinity();

// The measured battery spectrum with circuit T and the limits of
// tests/engine/reference/limits_trf.py, whose output is pinned below. Its fit
// without limits ends outside three of them: p1 = 0.01497 (lower limit
// 0.0155), p4 = 0.01741 (upper 0.017), p5 = 0.5545 (upper 0.5).
FitJob batteryJobWithLimits(bool limits = true)
{
    FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST");
    const double start[7] = {0.016, 1.0, 0.15e-6, 0.01, 0.45, 0.03, 200.0};
    const int codes[7] = {1, 1, 2, 2, 1, 1, 2};
    const double lower[7] = {0.0155, 1.0, -kNone, -kNone, 0.3, -kNone, 100.0};
    const double upper[7] = {kNone, kNone, kNone, 0.017, 0.5, kNone, 1000.0};
    for (int i = 0; i < 7; ++i) {
        job.P[i] = start[i];
        job.NFREE[i] = codes[i];
        if (limits) {
            job.LOWER[i] = lower[i];
            job.UPPER[i] = upper[i];
        }
    }
    return job;
}

FitRun fit(const FitJob& job)
{
    PreparedJob prepared(job);
    JobProblem problem(prepared);
    return fitPreparedJob(prepared, problem, settingsFor(job));
}

std::string refusal(const FitJob& job)
{
    try {
        PreparedJob prepared(job);
    } catch (const exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

// Every form of the map: p of the variable of p gives p back inside the
// limits, p never leaves them whatever the variable, the derivative is that
// of the map, and a value on a limit gets a finite variable inside.
TEST(ParameterMap, StaysWithinItsLimitsAndInvertsInside)
{
    struct Case {
        bool positive;
        double lower, upper, start;
        double inside[3];
    };
    const Case cases[] = {
        // Values closer to a limit than ParameterMap::kInset are moved inside.
        {false, 0.5, 1.0, 0.7, {0.5006, 0.75, 0.9994}},
        {false, -kNone, 2.5e-7, 1e-7, {-3.0, 2.4e-7, 2.4984e-7}},
        {false, -1e-12, kNone, 1e-9, {4e-12, 1e-9, 1e3}},
        {true, 1e-9, 1e-3, 1e-6, {1.05e-9, 1e-6, 0.95e-3}},  // inset in ln p
        {true, 0.0, 0.017, 0.01, {1e-300, 1e-5, 0.01698}},
        {true, 0.0155, kNone, 0.016, {0.01552, 1.0, 1e300}},
        {true, -kNone, kNone, 1.0, {1e-300, 1.0, 1e300}},
        {false, -kNone, kNone, 1.0, {-1e300, 0.0, 1e300}},
    };
    for (const Case& c : cases) {
        const ParameterMap map(c.positive, c.lower, c.upper, c.start);
        for (double p : c.inside) {
            const double x = map.variable(p);
            EXPECT_REL_NEAR(map.param(x), p, 1e-9) << c.lower << ' ' << c.upper;
        }
        // The variable is p (ln p) near the start, so the map bends on the
        // scale of the start's distance from its nearer limit.
        const auto uOf = [&](double v) { return c.positive ? std::log(v) : v; };
        double scale = 1;
        for (double limit : {c.lower, c.upper})
            if (std::isfinite(limit) && !(c.positive && limit <= 0))
                scale = std::min(scale, std::abs(uOf(c.start) - uOf(limit)));
        std::vector<double> xs;
        for (double x = -800; x <= 800; x += 0.5)
            xs.push_back(x);
        for (double p : c.inside)
            for (double k = -3; k <= 3; k += 0.25)
                xs.push_back(map.variable(p) + k * scale);
        for (double x : xs) {
            const double p = map.param(x);
            ASSERT_TRUE(std::isfinite(p)) << x;
            EXPECT_GE(p, c.lower) << x;
            EXPECT_LE(p, c.upper) << x;
            EXPECT_LE(map.param(x - 0.01 * scale), p) << x;  // never decreasing
            if (std::abs(x) <= 20) {
                const double h = 1e-5 * scale * std::max(1.0, std::abs(x));
                const double difference = (map.param(x + h) - map.param(x - h)) / (2 * h);
                // The difference loses digits to the size of p (of ln p) itself.
                const double floor = 1e-9 * std::abs(map.param(x)) * (c.positive ? 50 : 1) / scale;
                EXPECT_NEAR(map.derivative(x), difference, 1e-6 * std::abs(difference) + floor) << x;
            }
        }
        for (double limit : {c.lower, c.upper}) {
            if (std::isinf(limit) || (c.positive && limit <= 0))
                continue;
            const double x = map.variable(limit);
            ASSERT_TRUE(std::isfinite(x));
            EXPECT_GT(map.derivative(x), 0.0);
            EXPECT_GT(map.param(x), c.lower);
            EXPECT_LT(map.param(x), c.upper);
        }
    }
}

// Limits far outside the values a fit visits change nothing: each parameter
// of any sign given limits from 1e3 to the largest double on both sides (or
// one side) fits as without them, whatever the width, and the fixed ones
// and the others stay finite. Also a limit at the largest double keeps the
// map finite (no difference of the limits overflows).
TEST(EngineLimits, LimitsFarAwayFitAsNoLimits)
{
    const FitRun free = fit(batteryJobWithLimits(false));
    const FitRecord& f = free.record;
    ASSERT_TRUE(std::isfinite(f.statistics.S));
    const double widths[] = {1e3, 1e12, 1e15, 1e300, std::numeric_limits<double>::max()};
    for (double width : widths) {
        for (int side = 0; side < 3; ++side) {  // both, lower only, upper only
            FitJob job = batteryJobWithLimits(false);
            for (int i : {2, 3, 6}) {  // the parameters of NFREE 2
                job.LOWER[i] = side == 2 ? -kNone : -width;
                job.UPPER[i] = side == 1 ? kNone : width;
            }
            const FitRun bounded = fit(job);
            const FitRecord& b = bounded.record;
            EXPECT_REL_NEAR(b.statistics.S, f.statistics.S, 1e-7) << width << " side " << side;
            for (int i = 0; i < 7; ++i)
                EXPECT_REL_NEAR(b.finalParams[i], f.finalParams[i], 1e-5) << width << " side " << side << " p" << i + 1;
            EXPECT_EQ(b.atLimit, std::vector<int>(7, 0));
        }
    }
}

// The fit of the battery job with limits against
// scipy.optimize.least_squares(method='trf') with the same bounds
// (tests/engine/reference/limits_trf.py, scipy 1.10.1):
//   p = 1.55e-02, 5.785068975131, 1.670426260066e-07, 1.7e-02, 0.5,
//       7.523013276425e-02, 3.758504465822e+02;  S = 5.655881869141e-05,
//   active bounds: p1 lower, p4 upper, p5 upper.
TEST(EngineLimits, FitHeldByLimitsAgreesWithBoundedTrustRegionReference)
{
    const FitRun unbounded = fit(batteryJobWithLimits(false));
    EXPECT_LT(unbounded.record.finalParams[0], 0.0155);
    EXPECT_GT(unbounded.record.finalParams[3], 0.017);
    EXPECT_GT(unbounded.record.finalParams[4], 0.5);

    const FitRun bounded = fit(batteryJobWithLimits());
    const double reference[7] = {1.55e-02, 5.785068975131, 1.670426260066e-07, 1.7e-02, 0.5, 7.523013276425e-02,
        3.758504465822e+02};
    for (int i = 0; i < 7; ++i)
        EXPECT_REL_NEAR(bounded.record.finalParams[i], reference[i], 2e-6) << "p" << i + 1;
    EXPECT_REL_NEAR(bounded.record.statistics.S, 5.655881869141e-05, 1e-9);
    const std::vector<int> held = {-1, 0, 0, 1, 1, 0, 0};
    EXPECT_EQ(bounded.record.atLimit, held);
    const FitStatisticsResult& s = bounded.record.statistics;
    for (int j = 0; j < 7; ++j) {
        EXPECT_EQ(s.resolved[j], held[j] == 0) << j;
        // A parameter held by its limit has no std dev (NaN, never 0).
        EXPECT_EQ(std::isnan(s.stdDev[j]), held[j] != 0) << j;
        EXPECT_EQ(s.status[j] == ParameterStatus::AtLimit, held[j] != 0) << j;
    }
    EXPECT_FALSE(s.singular);
    EXPECT_EQ(s.nu, 132 - 7);
}

// The others' statistics are those of the problem with the held parameters
// fixed at their limits: the same covariance but for the factor of XS, whose
// degrees of freedom count every free parameter.
TEST(EngineLimits, OthersStatisticsAreThoseOfTheProblemWithoutTheHeldOnes)
{
    const FitRun bounded = fit(batteryJobWithLimits());
    FitJob fixedJob = batteryJobWithLimits(false);
    for (int i = 0; i < 7; ++i)
        fixedJob.P[i] = bounded.record.finalParams[i];
    for (int i : {0, 3, 4})
        fixedJob.NFREE[i] = 0;
    const FitRun fixed = fit(fixedJob);
    const FitStatisticsResult& b = bounded.record.statistics;
    const FitStatisticsResult& f = fixed.record.statistics;
    ASSERT_EQ(f.F, 4);
    EXPECT_REL_NEAR(f.S, b.S, 1e-9);
    const double scale = std::sqrt(b.XS / f.XS);
    const int others[4] = {1, 2, 5, 6};
    for (int a = 0; a < 4; ++a) {
        EXPECT_REL_NEAR(fixed.record.finalParams[others[a]], bounded.record.finalParams[others[a]], 1e-5);
        EXPECT_REL_NEAR(b.stdDev[others[a]], f.stdDev[a] * scale, 1e-4) << others[a] + 1;
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(b.correlation[others[a] * 7 + others[c]], f.correlation[a * 4 + c], 1e-4);
    }
}

// Through the files: the report names the held parameters, OUTIN keeps the
// limits, and the engine runs its own OUTIN again although its held values
// lie on (or, rounded to eight digits, just beyond) their limits.
TEST(EngineLimits, ReportAndOutinOfAFitHeldByLimits)
{
    TempWorkDir dir;
    batteryJobWithLimits().save("INFL");
    EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("P5 ended at its upper limit 0.5"), std::string::npos) << r.out;
    const std::string report = readAll("PNTOUTL");
    EXPECT_NE(report.find(" THESE FREE PARAMETERS END AT A LIMIT"), std::string::npos);
    EXPECT_NE(report.find("   P1 AT ITS LOWER LIMIT 0.0155\r\n   P4 AT ITS UPPER LIMIT 0.017\r\n"
                          "   P5 AT ITS UPPER LIMIT 0.5\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("NFREE = 2   FREE   LIMITS 100 TO 1000"), std::string::npos);
    EXPECT_EQ(report.find("THE JACOBIAN IS SINGULAR"), std::string::npos);
    // The report says what its table shows for the held ones: NaN, as read back.
    EXPECT_NE(report.find("THEIR OWN STD DEVS ARE SHOWN AS NAN."), std::string::npos) << report;
    EXPECT_EQ(report.find("SHOWN AS 0"), std::string::npos) << report;
    FitStatistics statistics;
    readPntoutl(statistics, "PNTOUTL");
    int held = 0;
    for (const FreeParameter& p : statistics.freeParameters)
        if (p.number == 1 || p.number == 4 || p.number == 5) {
            EXPECT_TRUE(std::isnan(p.stdDev)) << p.number;
            ++held;
        }
    EXPECT_EQ(held, 3);

    FitJob out;
    out.load("OUTIN");
    EXPECT_EQ(out.LOWER[0], 0.0155);
    EXPECT_EQ(out.UPPER[4], 0.5);
    out.P[0] = 0.0155 * (1 - 4e-9);  // as rounding may write it
    out.save("INFL");
    r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    FitJob again;
    again.load("OUTIN");
    for (int i = 0; i < 7; ++i)
        EXPECT_REL_NEAR(again.P[i], out.P[i], 1e-5) << "p" << i + 1;
}

TEST(EngineLimits, LimitsThatContradictTheCodeOrTheStartAreRefused)
{
    struct Case {
        int code;
        double start, lower, upper;
        const char* message;  // "" where the job runs
    };
    const Case cases[] = {
        {2, 0.7, 1.0, 0.5, "P5: the lower limit 1 is not below the upper limit 0.5"},
        {2, 0.7, 0.7, 0.7, "P5: the lower limit 0.7 is not below the upper limit 0.7"},
        {1, 0.7, -1.0, kNone, "NFREE 1 keeps P5 positive: its lower limit -1 must be 0 or more"},
        {1, 0.7, -kNone, -0.5, "NFREE 1 keeps P5 positive: its upper limit -0.5 must be above 0"},
        {2, 0.2, 0.3, 0.5, "P5 = 0.2 lies below its lower limit 0.3"},
        {1, 0.6, 0.3, 0.5, "P5 = 0.6 lies above its upper limit 0.5"},
        {2, 0.0, 0.0, kNone, "P5 = 0 is on its limit 0: start it inside, at a value of its expected size"},
        {2, 0.7, std::nan(""), kNone, "P5: a limit is not a number"},
        {1, 0.5, 0.0, 0.5, ""},          // on the upper limit: moved inside
        {2, 0.3 * (1 - 3e-8), 0.3, 0.5, ""},  // within rounding of the limit
        {0, 0.9, 0.3, 0.5, ""},          // a fixed parameter's limits are not used
    };
    for (const Case& c : cases) {
        FitJob job = batteryJobWithLimits(false);
        job.NFREE[4] = c.code;
        job.P[4] = c.start;
        job.LOWER[4] = c.lower;
        job.UPPER[4] = c.upper;
        EXPECT_EQ(refusal(job), c.message) << c.code << ' ' << c.start;
    }
    // A simulation fits nothing, so limits ask nothing of it.
    FitJob simulation = batteryJobWithLimits(false);
    simulation.MAXFEV = 0;
    simulation.LOWER[4] = 1.0;
    simulation.UPPER[4] = 0.5;
    EXPECT_EQ(refusal(simulation), "");
}
