// Whole runs of the engine in a temporary work folder: refusals, recovery of
// known parameters in every fit representation, data type and weighting,
// the free codes, simulations and degenerate jobs.
#include "EngineTestSupport.h"

#include "model/CircuitEvaluator.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"

#include "core/Exception.h"
#include "results/PntoutlReader.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

using namespace nosk;
using namespace nosk::test;

namespace {

// R0 fixed, DE 1 and a CPE (DE 2) in series, four free parameters: every
// single component in every representation identifies them.
FitJob recoveryJob()
{
    return makeTestJob('A', 15,
        {{1, 20.0, 0}, {6, 500.0, 1}, {7, 2e-6, 1}, {10, 1, 0}, {12, 3e-4, 1}, {14, 0.7, 2}, {15, 2, 0}}, 30,
        1e-2, 1e5);
}

void expectRefused(const std::string& reason)
{
    const EngineResult r = runEngineHere();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    const std::vector<std::string> lines = fileLines("PNTOUTL");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), reason);
    EXPECT_FALSE(fileExists("AUXPNTL"));
}

} // namespace

TEST(EngineRun, RefusesWhatItCannotRun)
{
    TempWorkDir dir;
    struct Case {
        std::function<void(FitJob&)> change;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {[](FitJob& j) { j.FUN = 'Z'; }, "Model function 'Z' is not available in this engine"},
        {[](FitJob& j) { j.P[14] = 38; }, "DE 38 is not available in this engine"},
        {[](FitJob& j) { j.P[14] = 8; }, "DE 8 (P[14]): R = 0 must be positive"},
        {[](FitJob& j) { j.P[9] = 30; }, "DE 30 (P[9]): U = 0 is outside 0 ... 700 (0 excluded)"},
        {[](FitJob& j) { j.IRCH = 4; }, "IRCH 4 is not supported by this engine"},
        {[](FitJob& j) { j.IRCH = -1; }, "IRCH -1 is not supported by this engine"},
        {[](FitJob& j) { j.MAXFEV = -3; }, "MAXFEV -3 is negative"},
        {[](FitJob& j) { j.P[5] = -500; }, "P6 = -500 must be positive to be fitted with NFREE 1"},
        {[](FitJob& j) { j.NFREE[0] = 7; }, "NFREE of P1 is 7; this engine knows the codes 0 to 3"},
        {[](FitJob& j) { j.DFIT = 'Q'; }, "DFIT 'Q' is not an immittance level (Z, Y, M, E)"},
        {[](FitJob& j) { j.DFIT = 'M'; j.CELCAP = 0; }, "CELCAP is 0, but modulus or epsilon data need it"},
        {[](FitJob& j) { (*j.FREQ)[3] = 0; }, "Data row 3: the frequency 0 is not positive"},
        {[](FitJob& j) { j.P[11] = 0, j.NFREE[11] = 0; }, "The model is not finite at data row 0 with the start parameters"},
        {[](FitJob& j) {
             j.releaseData();
             j.allocateData(2, false);
             (*j.FREQ)[0] = 1;
             (*j.FREQ)[1] = 2;
         },
            "4 fitted values and 4 free parameters leave no degree of freedom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        FitJob job = recoveryJob();
        c.change(job);
        job.save("INFL");
        writeAll("AUXPNTL", "left from an earlier run\r\n");
        expectRefused(c.reason);
    }
}

TEST(EngineRun, RefusesAMissingOrBrokenInputFile)
{
    TempWorkDir dir;
    EngineResult r = runEngineHere();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(fileLines("PNTOUTL").back(), "Cannot open file 'INFL'!");
    writeAll("INFL", "a description\r\n   0  ZZRRF A\r\n");
    r = runEngineHere();
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fileExists("AUXPNTL"));
    EXPECT_FALSE(fileExists("OUTIN"));
}

// Noise-free data in every fit representation, data type and weighting:
// the fit from start values 30 % off finds every free parameter to 1e-6.
class Recovery : public ::testing::TestWithParam<std::tuple<std::string, char, int>> {};

TEST_P(Recovery, FindsTheParametersOfNoiseFreeData)
{
    const auto [representation, dattyp, irch] = GetParam();
    TempWorkDir dir;
    FitJob job = recoveryJob();
    job.DINP = job.DFIT = representation[0];
    job.PINP = job.PFIT = representation[1];
    job.CELCAP = 1e-9;
    job.DATTYP = dattyp;
    job.IRCH = irch;
    const FitJob truth = job;
    nosk::test::fillSyntheticData(job, truth.P, nosk::test::logSpaced(1e-2, 1e5, 30), 0.0, 1);
    offsetStart(job);
    expectFitRecovers(job, truth, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(AllSchemes, Recovery,
    ::testing::Combine(::testing::Values("ZR", "YP", "ML"), ::testing::Values('C', 'R', 'I'),
        ::testing::Values(0, 1, 2, 3, -2)),
    [](const auto& info) {
        const int irch = std::get<2>(info.param);
        return std::get<0>(info.param) + "_" + std::string(1, std::get<1>(info.param)) + "_IRCH"
            + (irch < 0 ? "m" + std::to_string(-irch) : std::to_string(irch));
    });

TEST(EngineRun, FixedParametersStayBitIdenticalInOutin)
{
    TempWorkDir dir;
    FitJob job = recoveryJob();
    job.P[0] = 19.87654321;  // fixed
    job.P[2] = 1.2345678e-7; // fixed, unused by the model
    job.P[7] = -3.3333333;   // fixed U of DE 1
    offsetStart(job);
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitJob in, out;
    in.load("INFL");
    out.load("OUTIN");
    for (int i = 0; i < in.N; ++i) {
        if (in.NFREE[i] == 1 || in.NFREE[i] == 2)
            continue;
        EXPECT_EQ(std::memcmp(&in.P[i], &out.P[i], sizeof(double)), 0) << "P" << i + 1;
        EXPECT_EQ(in.NFREE[i], out.NFREE[i]);
    }
    // Everything but the free parameters is the job as read.
    EXPECT_EQ(out.description, in.description);
    EXPECT_EQ(out.M, in.M);
    EXPECT_EQ(*out.DATA2, *in.DATA2);
}

TEST(EngineRun, CodeOneKeepsAParameterPositive)
{
    TempWorkDir dir;
    // The data want a negative series resistance.
    FitJob job = makeTestJob('A', 10, {{1, -15.0, 2}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 25, 1e-1, 1e4);
    job.P[0] = 5.0;
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitJob free;
    free.load("OUTIN");
    EXPECT_REL_NEAR(free.P[0], -15.0, 1e-6) << free.P[0];

    job.NFREE[0] = 1;
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitJob positive;
    positive.load("OUTIN");
    EXPECT_GT(positive.P[0], 0.0);
}

TEST(EngineRun, CodeThreeSubtractsTheDe)
{
    FitJob job = makeTestJob('A', 15, {{1, 100.0, 0}, {12, 1e-3, 0}, {14, 0.5, 0}, {15, 2, 0}}, 5);
    const engine::PreparedJob added(job);
    job.NFREE[14] = 3;
    const engine::PreparedJob subtracted(job);
    engine::JobProblem a(added), s(subtracted);
    double a0[5], a1[5], s0[5], s1[5];
    a.modelAt(added.startParams(), a0, a1);
    s.modelAt(subtracted.startParams(), s0, s1);
    for (int i = 0; i < 5; ++i) {
        const model::Complex cpe = 1.0 / (1e-3 * std::pow(model::Complex(0, added.omega()[i]), 0.5));
        EXPECT_NEAR(a0[i], 100.0 + cpe.real(), 1e-9);
        EXPECT_NEAR(s0[i], 100.0 - cpe.real(), 1e-9);
        EXPECT_NEAR(a1[i], cpe.imag(), 1e-9);
        EXPECT_NEAR(s1[i], -cpe.imag(), 1e-9);
    }

    // A fit with the subtracted DE finds its parameters too.
    TempWorkDir dir;
    FitJob fit = makeTestJob('A', 15, {{1, 100.0, 1}, {12, 1e-3, 1}, {14, 0.5, 1}, {15, 2, 3}}, 20);
    offsetStart(fit, 0.2);
    fit.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitJob out;
    out.load("OUTIN");
    EXPECT_REL_NEAR(out.P[11], 1e-3, 1e-6);
    EXPECT_EQ(out.P[14], 2.0);
    EXPECT_EQ(out.NFREE[14], 3);
}

TEST(EngineRun, SelectorsAreNeverFitted)
{
    FitJob job = recoveryJob();
    job.NFREE[9] = 1;
    job.NFREE[14] = 2;
    const engine::PreparedJob prepared(job);
    EXPECT_EQ(prepared.freeCount(), 4);
    for (int j = 0; j < prepared.freeCount(); ++j)
        EXPECT_FALSE(prepared.model().isSelector(prepared.freeParam(j)));
}

TEST(EngineRun, SimulationWritesTheModel)
{
    for (int maxfev : {0, 1, 2}) {
        TempWorkDir dir;
        FitJob job = recoveryJob();
        job.MAXFEV = maxfev;
        job.DFIT = 'Y';  // the table is in the fit representation
        job.PFIT = 'D';
        job.save("INFL");
        job.load("INFL");  // the numbers as the engine reads them
        const std::string infl = readAll("INFL");
        const EngineResult r = runEngineHere();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readAll("OUTIN"), infl);  // the job unchanged

        const std::vector<std::string> aux = fileLines("AUXPNTL");
        std::size_t heading = 0;
        while (heading < aux.size() && aux[heading] != "MODEL DATA -- FREQUENCY, REAL, IMAGINARY")
            ++heading;
        ASSERT_LT(heading, aux.size());
        ASSERT_EQ(aux.size(), heading + 1 + job.M);
        const engine::PreparedJob prepared(job);
        for (int i = 0; i < job.M; ++i) {
            double f, m0, m1;
            ASSERT_EQ(std::sscanf(aux[heading + 1 + i].c_str(), "%lE%lE%lE", &f, &m0, &m1), 3);
            const model::Complex z = nosk::model::impedance(prepared.model(), prepared.startParams(), prepared.omega()[i]);
            double e0, e1;
            prepared.toFitRepresentation(z, prepared.omega()[i], e0, e1);
            EXPECT_REL_NEAR(f, (*job.FREQ)[i], 1e-14);
            EXPECT_REL_NEAR(m0, e0, 1e-14);
            EXPECT_REL_NEAR(m1, e1, 1e-14);
        }
        const std::string report = readAll("PNTOUTL");
        EXPECT_NE(report.find("WITHOUT A FIT"), std::string::npos);
        EXPECT_EQ(report.find("# OF FREE PARAMETERS ="), std::string::npos);
        EXPECT_EQ(report.find("FINAL L2 NORM"), std::string::npos);
    }
}

TEST(EngineRun, FilesUseCrLfAndTheirLineLimits)
{
    TempWorkDir dir;
    FitJob job = recoveryJob();
    job.description = std::string(80, 'x');
    job.NPRINT = 1;
    offsetStart(job);
    job.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("ITERATION"), std::string::npos);
    for (const char* name : {"PNTOUTL", "AUXPNTL"}) {
        const std::string text = readAll(name);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << name << " at " << i;
            }
        }
    }
    for (const std::string& line : fileLines("PNTOUTL"))
        EXPECT_LT(line.size(), 120u) << line;
    for (const std::string& line : fileLines("AUXPNTL"))
        EXPECT_LE(line.size(), 80u) << line;
}

TEST(EngineRun, MarkerTextsOnlyOnTheirLines)
{
    TempWorkDir dir;
    FitJob job = recoveryJob();
    job.description = "FINAL L2 NORM OF THE RESIDUALS and # OF FREE PARAMETERS = 99";
    offsetStart(job);
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    for (const char* marker : {"# OF FREE PARAMETERS =", "FINAL L2 NORM OF THE RESIDUALS",
             "ORIGINAL PARAMETER NUMBERS", "ESTIMATED PARAMETER CORRELATION MATRIX"}) {
        int count = 0;
        for (const std::string& line : fileLines("PNTOUTL"))
            count += line.find(marker) != std::string::npos;
        EXPECT_EQ(count, 1) << marker;
    }
}

TEST(EngineRun, DegenerateJobsEndCleanly)
{
    TempWorkDir dir;
    // All-zero data: a completed fit of nothing, or a refusal; never a crash.
    for (char level : {'Z', 'Y'}) {
        FitJob job = recoveryJob();
        job.DINP = 'Z';
        job.DFIT = level;
        std::fill(job.DATA1->begin(), job.DATA1->end(), 0.0);
        std::fill(job.DATA2->begin(), job.DATA2->end(), 0.0);
        job.save("INFL");
        const int status = runEngineHere().status;
        EXPECT_TRUE(status == 0 || status == 1);
        EXPECT_EQ(fileExists("AUXPNTL"), status == 0);
    }
    // Proportional weighting of all-zero data leaves nothing to fit.
    FitJob zero = recoveryJob();
    zero.IRCH = 2;
    std::fill(zero.DATA1->begin(), zero.DATA1->end(), 0.0);
    std::fill(zero.DATA2->begin(), zero.DATA2->end(), 0.0);
    zero.save("INFL");
    expectRefused("0 fitted values and 4 free parameters leave no degree of freedom");

    // NaN in the data is refused by the preparation.
    FitJob nan = recoveryJob();
    (*nan.DATA1)[2] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(engine::PreparedJob{nan}, nosk::exception);

    // A free parameter the model does not use (p5, R of a CPE): the Jacobian
    // is singular, the run completes and says so; p5 and p11 have no std dev
    // (NaN, not 0), and the readers take them as undetermined.
    FitJob singular = recoveryJob();
    singular.P[4] = 3.0;
    singular.NFREE[4] = 1;
    singular.P[10] = 7.0;
    singular.NFREE[10] = 2;
    offsetStart(singular);
    singular.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string report = readAll("PNTOUTL");
    EXPECT_NE(report.find("THE DATA DO NOT DETERMINE THESE FREE PARAMETERS"), std::string::npos);
    EXPECT_NE(report.find("P5 P11"), std::string::npos);
    EXPECT_NE(report.find(" PARAMETER STATUS: P5=undetermined P11=undetermined\r\n"), std::string::npos);
    FitStatistics statistics;
    readPntoutl(statistics);
    ASSERT_EQ(statistics.freeCount, 6);
    EXPECT_EQ(statistics.freeParameters[0].number, 5);
    EXPECT_TRUE(std::isnan(statistics.freeParameters[0].stdDev));
    EXPECT_EQ(statistics.freeParameters[0].status, ParameterStatus::Undetermined);
    EXPECT_EQ(statistics.freeParameters[1].status, ParameterStatus::Determined);
    EXPECT_TRUE(std::isfinite(statistics.freeParameters[1].stdDev));
    EXPECT_TRUE(std::isnan(statistics.correlation[0][0]));
    EXPECT_EQ(statistics.correlation[1][1], 1.0);
    FitJob in, out;
    in.load("INFL");
    out.load("OUTIN");
    EXPECT_REL_NEAR(out.P[4], in.P[4], 1e-12);  // untouched by the fit
}

TEST(EngineRun, NoFreeParametersStillReports)
{
    TempWorkDir dir;
    FitJob job = recoveryJob();
    for (int i = 0; i < job.N; ++i)
        job.NFREE[i] = 0;
    job.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string report = readAll("PNTOUTL");
    EXPECT_NE(report.find("# OF FREE PARAMETERS = 0"), std::string::npos);
    EXPECT_NE(report.find("NO FREE PARAMETERS"), std::string::npos);
    FitStatistics statistics;
    readPntoutl(statistics);
    EXPECT_EQ(statistics.freeCount, 0);
    EXPECT_EQ(statistics.degreesOfFreedom, 2 * job.M);
    EXPECT_TRUE(fileExists("AUXPNTL"));
}

namespace {

std::string batteryT()
{
    return std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST";
}

const FreeParameter& freeParameter(const FitStatistics& s, int number)
{
    for (const FreeParameter& p : s.freeParameters)
        if (p.number == number)
            return p;
    static FreeParameter none;
    ADD_FAILURE() << "P" << number << " is not free";
    return none;
}

} // namespace

// A work folder's CIRCUITS that drops p3 (the inductance) from letter T
// while p3 stays free: p3 is reported as undetermined, with no number, and
// every other std dev is that of the same fit with p3 fixed, scaled only by
// the degrees of freedom (XS = S / nu counts p3 as free).
TEST(EngineRun, AFreeParameterTheCircuitDoesNotUseIsUndeterminedAndTheRestIsTheReducedFit)
{
    TempWorkDir dir;
    writeAll("CIRCUITS", "T = R(p1)-par(Q(p2,p5), R(p4)-Ws(p6,p7))\n");
    FitJob job;
    job.load(batteryT());
    ASSERT_EQ(job.NFREE[2], 1);
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitStatistics free;
    readPntoutl(free);
    EXPECT_NE(readAll("PNTOUTL").find(" PARAMETER STATUS: P3=undetermined\r\n"), std::string::npos);

    job.NFREE[2] = 0;
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitStatistics fixed;
    readPntoutl(fixed);

    const FreeParameter& p3 = freeParameter(free, 3);
    EXPECT_EQ(p3.status, ParameterStatus::Undetermined);
    EXPECT_TRUE(std::isnan(p3.stdDev));
    EXPECT_TRUE(std::isnan(p3.relStdDev));
    ASSERT_EQ(free.degreesOfFreedom + 1, fixed.degreesOfFreedom);
    const double nuRatio = std::sqrt(double(fixed.degreesOfFreedom) / free.degreesOfFreedom);
    EXPECT_REL_NEAR(free.sumOfSquares, fixed.sumOfSquares, 1e-6);
    for (const FreeParameter& p : fixed.freeParameters) {
        SCOPED_TRACE(p.number);
        const FreeParameter& q = freeParameter(free, p.number);
        EXPECT_EQ(q.status, ParameterStatus::Determined);
        EXPECT_REL_NEAR(q.estimate, p.estimate, 1e-4);
        // Five digits in the report.
        EXPECT_REL_NEAR(q.stdDev, p.stdDev * nuRatio, 2e-4);
    }
    EXPECT_TRUE(fixed.end.normalEnd());
}

// A CPE whose Q starts at the smallest value ln p reaches: the element
// vanishes from the circuit, Q is at the ln p bound and its exponent does
// not move the model. Neither is shown with a std dev, nor are the two
// resistors the vanished element leaves in series.
TEST(EngineRun, AVanishingCpeIsUndeterminedNotExact)
{
    TempWorkDir dir;
    FitJob job;
    job.load(batteryT());
    job.P[1] = std::exp(engine::PreparedJob::kMinLogParam);
    job.NFREE[4] = 2;
    job.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    FitStatistics s;
    readPntoutl(s);
    const FreeParameter& q = freeParameter(s, 2);
    const FreeParameter& alpha = freeParameter(s, 5);
    EXPECT_EQ(q.status, ParameterStatus::AtLogBound);
    EXPECT_EQ(alpha.status, ParameterStatus::Undetermined);
    for (const FreeParameter* p : {&q, &alpha}) {
        EXPECT_TRUE(std::isnan(p->stdDev));
        EXPECT_TRUE(std::isnan(p->relStdDev));
    }
    // Without the CPE, R1 and R4 stand in series: only their sum is
    // determined, so neither has a std dev; L and the Warburg element keep
    // theirs.
    EXPECT_EQ(freeParameter(s, 1).status, ParameterStatus::Undetermined);
    EXPECT_EQ(freeParameter(s, 4).status, ParameterStatus::Undetermined);
    for (int n : {3, 6, 7}) {
        EXPECT_EQ(freeParameter(s, n).status, ParameterStatus::Determined) << n;
        EXPECT_TRUE(std::isfinite(freeParameter(s, n).stdDev)) << n;
    }
}
