// Parameters at a bound and exponents out of range, through whole runs: a
// parameter the fit drives to the bound of ln p is "at bound", and the
// others' std devs are those of the fit with it fixed there (the report says
// they hold only given its value); an exponent stays within (0, 1] in a fit
// and in the start-value search unless the job sets limits of its own.
#include "EngineTestSupport.h"

#include "model/Circuit.h"
#include "model/ParameterNames.h"
#include "engine/PreparedJob.h"
#include "engine/StartGuess.h"

#include "results/PntoutlReader.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <cmath>

using namespace nosk;
using namespace nosk::test;

namespace {

const FreeParameter& freeParameter(const FitStatistics& s, int number)
{
    for (const FreeParameter& p : s.freeParameters)
        if (p.number == number)
            return p;
    throw std::runtime_error("no free parameter " + std::to_string(number));
}

FitStatistics runAndRead(const FitJob& job, EngineResult* result = nullptr)
{
    job.save("INFL");
    const EngineResult r = runEngineHere();
    EXPECT_EQ(r.status, 0) << r.err;
    if (result)
        *result = r;
    FitStatistics s;
    readPntoutl(s);
    return s;
}

// Circuit R, R(p1)-L(p3)-par(C(p2), R(p4)-W(p5)), from data with 1 % noise
// whose high frequencies bend below the series resistance as a negative
// inductance would: L, kept positive by code 1, runs towards 0, the bound of
// ln p.
FitJob inductanceFreeJob()
{
    FitJob job = makeTestJob('R', 5, {{1, 10.0, 1}, {2, 2e-5, 1}, {3, -2e-6, 0}, {4, 100.0, 1}, {5, 50.0, 1}}, 40,
        1e-2, 1e5);
    fillSyntheticData(job, job.P, logSpaced(1e-2, 1e5, 40), 0.01, 7);
    job.P[2] = 1e-8;
    job.NFREE[2] = 1;
    return job;
}

// Circuit S's CPE tail Q(p10, p11) from data made with an exponent of 1.3:
// a fit without a range ends there, beyond what a CPE can be.
FitJob steepTailJob(double alphaStart)
{
    FitJob job = makeTestJob('S', 11,
        {{1, 0.02, 1}, {3, 1e-7, 0}, {4, 0.01, 1}, {5, 2.0, 1}, {6, 0.8, 1}, {7, 0.02, 1}, {8, 20.0, 1},
            {9, 0.7, 1}, {10, 500.0, 1}, {11, 1.3, 1}},
        40, 1e-2, 1e5);
    job.P[10] = alphaStart;
    return job;
}

} // namespace

// L at the bound: status "at bound", its own std dev unknown, the report's
// line takes it as 0, and every other std dev is the one of the fit with L
// fixed at 0, but for the factor of XS (one degree of freedom more there).
TEST(EngineBounds, AParameterAtItsBoundIsAtBoundAndTheOthersAreConditionalOnIt)
{
    TempWorkDir dir;
    const FitJob job = inductanceFreeJob();
    EngineResult r;
    const FitStatistics bound = runAndRead(job, &r);
    const FreeParameter& l = freeParameter(bound, 3);
    EXPECT_EQ(l.status, ParameterStatus::AtLogBound);
    EXPECT_STREQ(parameterStatusLabel(l.status), "at bound");
    EXPECT_TRUE(std::isnan(l.stdDev));
    ASSERT_EQ(bound.given.size(), 1u);
    EXPECT_EQ(bound.given[0].number, 3);
    EXPECT_EQ(bound.given[0].value, 0.0);
    EXPECT_EQ(givenText(bound), "given P3 = 0");
    EXPECT_EQ(parameterNote(bound), "P3 at bound (ln p); the others' std devs hold only given P3 = 0");
    EXPECT_LT(l.estimate, 1e-9);
    // The line is one that readers before it pass over: between the table
    // and the correlation matrix, after the status line.
    const std::string report = readAll("PNTOUTL");
    const std::size_t status = report.find(" PARAMETER STATUS: P3=ln-bound\r\n");
    const std::size_t given = report.find(" STD DEVS GIVEN: P3=0\r\n");
    ASSERT_NE(status, std::string::npos) << report;
    EXPECT_LT(status, given);
    EXPECT_LT(given, report.find("ESTIMATED PARAMETER CORRELATION MATRIX"));

    FitJob fixed = job;
    fixed.P[2] = 0;
    fixed.NFREE[2] = 0;
    const FitStatistics reference = runAndRead(fixed);
    EXPECT_TRUE(reference.given.empty());
    const double scale = std::sqrt(bound.sigmaSquared / reference.sigmaSquared);
    for (int n : {1, 2, 4, 5}) {
        SCOPED_TRACE(n);
        const FreeParameter& p = freeParameter(bound, n);
        EXPECT_EQ(p.status, ParameterStatus::Determined);
        EXPECT_REL_NEAR(p.estimate, freeParameter(reference, n).estimate, 1e-4);
        EXPECT_REL_NEAR(p.stdDev, freeParameter(reference, n).stdDev * scale, 1e-3);
    }
}

// The exponent of circuit S's CPE tail: kept within (0, 1] by the fit (it
// ends at 1, at bound, with the others conditional on it), also from a start
// outside the range; a limit of the user's own lets it go to 1.3; and the
// start-value search never leaves the range either.
TEST(EngineBounds, AnExponentStaysWithinZeroToOneUnlessTheUserLimitsIt)
{
    TempWorkDir dir;
    for (double start : {0.8, 1.27}) {
        SCOPED_TRACE(start);
        const FitStatistics s = runAndRead(steepTailJob(start));
        const FreeParameter& alpha = freeParameter(s, 11);
        EXPECT_EQ(alpha.status, ParameterStatus::AtLimit);
        EXPECT_GT(alpha.estimate, 0.99);
        EXPECT_LE(alpha.estimate, 1.0);
        // The other arcs' exponents may end at 1 too: none goes beyond.
        bool given = false;
        for (const FitStatistics::Given& g : s.given)
            given = given || (g.number == 11 && g.value == 1.0);
        EXPECT_TRUE(given) << givenText(s);
        for (int n : {6, 9})
            EXPECT_LE(freeParameter(s, n).estimate, 1.0);
        const std::string report = readAll("PNTOUTL");
        EXPECT_NE(report.find("P(11)  =  " + std::string(start == 0.8 ? "8.00000000E-01" : "1.27000000E+00")
                      + "   NFREE = 1   FREE, POSITIVE   EXPONENT, WITHIN (0, 1]"),
            std::string::npos)
            << report;
        EXPECT_NE(report.find("   P11 AT ITS UPPER LIMIT 1 (AN EXPONENT'S RANGE (0, 1])"), std::string::npos);
        EXPECT_EQ(report.find("ITS START 1.27 LIES OUTSIDE (0, 1]") != std::string::npos, start > 1) << report;
    }

    FitJob own = steepTailJob(0.8);
    own.LOWER[10] = 0.1;
    own.UPPER[10] = 2.0;
    const FitStatistics free = runAndRead(own);
    EXPECT_EQ(freeParameter(free, 11).status, ParameterStatus::Determined);
    EXPECT_REL_NEAR(freeParameter(free, 11).estimate, 1.3, 1e-3);
    EXPECT_TRUE(free.given.empty());

    const engine::GuessOutcome guess = engine::guessStartValues(steepTailJob(1.27), nullptr, 16);
    const std::vector<model::ParameterKind> kinds =
        model::parameterKinds(model::CircuitLibrary::builtIn().find('S')->circuit, guess.job.P, guess.job.N);
    int exponents = 0;
    for (int i = 0; i < guess.job.N; ++i) {
        if (kinds[i] != model::ParameterKind::Exponent)
            continue;
        ++exponents;
        EXPECT_GT(guess.job.P[i], 0.0) << "P" << i + 1;
        EXPECT_LE(guess.job.P[i], 1.0) << "P" << i + 1;
    }
    EXPECT_EQ(exponents, 3);
}
