// Whole engine runs with the distributed elements: a fit of one DE of each
// family finds the parameters its data were made from, the real-valued DEs
// check their jobs, and a fit that ends where DE 9 or 16 is not passive says so.
#include "EngineTestSupport.h"

#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace nosk;
using namespace nosk::test;

namespace {

// A job of circuit A with the DE alone in its first slot (p6-p9, selector p10):
// p1 to p4 are 0, so the model is the DE itself.
FitJob deJob(int de, double R, double T, double U, double PHI, std::vector<int> codes, int points = 40,
    double fromHz = 1e-3, double toHz = 1e6)
{
    std::vector<TestParam> params = {{6, R, codes[0]}, {7, T, codes[1]}, {8, U, codes[2]}, {9, PHI, codes[3]},
        {10, double(de), 0}};
    FitJob job = makeTestJob('A', 10, params, points, fromHz, toHz);
    return job;
}

void expectRecovered(FitJob job, double tolerance = 1e-6)
{
    TempWorkDir dir;
    const FitJob truth = job;
    offsetStart(job, 0.2);
    expectFitRecovers(job, truth, tolerance);
}

} // namespace

TEST(DeFit, EachFamilyFindsItsParameters)
{
    const std::vector<std::pair<std::string, FitJob>> jobs = {
        {"Havriliak-Negami, peak form", deJob(8, 1e3, 1e-3, 0.7, 0.6, {1, 1, 2, 2})},
        {"KWW", deJob(10, 1e3, 1e-3, 0, 0.6, {1, 1, 0, 2})},
        {"KWW, conductive form", deJob(10, 1e3, 1e-3, 1, 0.45, {1, 1, 0, 2})},
        {"Jonscher", deJob(11, 1e3, 1e-3, 1e-8, 0.7, {1, 1, 1, 2})},
        {"double-exponential DAE", deJob(13, 1e3, 1e-3, 0.4, 0.8, {1, 1, 1, 1})},
        {"log-normal DRT", deJob(14, 1e3, 1e-3, 0, 1.5, {1, 1, 0, 1})},
        {"general diffusion", deJob(15, 1e3, 1e-2, 300, 0.45, {1, 1, 1, 2})},
        {"Dissado-Hill", deJob(18, 1e3, 1e-3, 0.4, 0.6, {1, 1, 2, 2})},
        {"ladder", deJob(23, 1e3, 1e-4, 8, 0.8, {1, 1, 0, 2})},
        {"generalised Davidson-Cole", deJob(29, 1e3, 1e-3, -0.5, 0.7, {1, 1, 2, 2})},
        {"two-cutoff DAE", deJob(12, 1e3, 1e-2, 6, -0.5, {1, 1, 1, 2})},
    };
    for (const auto& [name, job] : jobs) {
        SCOPED_TRACE(name);
        expectRecovered(job);
    }
}

TEST(DeFit, DielectricLevelMixtureFindsItsParameters)
{
    FitJob job = deJob(25, 4.0, 1e-3, 0.25, 0.4, {1, 1, 2, 2});
    job.CELCAP = 1e-11;
    nosk::test::fillSyntheticData(job, job.P, nosk::test::logSpaced(1e-2, 1e6, 40), 0.0, 1);
    expectRecovered(job);
}

namespace {

// An Arrhenius data set: the first column is the temperature in K.
FitJob thermalJob()
{
    FitJob job = deJob(33, 2.5, 0, 0.42, 1.0, {1, 0, 2, 0}, 25, 250, 600);
    job.FREEQ = ' ';
    job.DATTYP = 'R';
    job.PFIT = 'L';
    nosk::test::fillSyntheticData(job, job.P, nosk::test::logSpaced(250, 600, 25), 0.0, 1);
    return job;
}

std::string refusalOf(const FitJob& job)
{
    TempWorkDir dir;
    job.save("INFL");
    const EngineResult r = runEngineHere();
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> lines = fileLines("PNTOUTL");
    return lines.empty() ? "" : lines.back();
}

} // namespace

TEST(DeFit, ThermalLawFitsAndRealDesCheckTheirJob)
{
    expectRecovered(thermalJob());
    struct Case {
        std::function<void(FitJob&)> change;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {[](FitJob& j) { j.P[0] = 5; }, "DE 33 gives a real function of the first column: it must be the only element"},
        {[](FitJob& j) { j.N = 15, j.P[14] = 1, j.P[10] = 1, j.P[11] = 1; },
            "DE 33 gives a real function of the first column: it must be the only element"},
        {[](FitJob& j) { j.FREEQ = 'F'; }, "DE 33 reads the first data column as given: FREEQ must be blank"},
        {[](FitJob& j) { j.DATTYP = 'C'; }, "DE 33 has no imaginary part: DATTYP must be R"},
        {[](FitJob& j) { j.DFIT = 'E'; }, "DE 33: DFIT must be Z or Y"},
        {[](FitJob& j) { j.P[6] = 300; }, "DE 33: data row 0: 250 K is not above T = 300 K"},
        {[](FitJob& j) { j.P[9] = 37, j.P[6] = 1, j.P[8] = 0.5, j.IRCH = -2; },
            "DE 37: function-proportional weighting (IRCH -2) is not possible here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        FitJob job = thermalJob();
        c.change(job);
        EXPECT_EQ(refusalOf(job), c.reason);
    }
}

TEST(DeFit, FitEndingWhereDiffusionIsNotPassiveSaysSo)
{
    TempWorkDir dir;
    FitJob job = deJob(16, 1e3, 1e-2, 0, 0.8, {1, 1, 0, 2});
    offsetStart(job, 0.1);
    job.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    bool flagged = false;
    for (const std::string& line : fileLines("PNTOUTL"))
        flagged = flagged || line.find("DE 16 (P[9]): PHI = 0.8 IS ABOVE 0.5") != std::string::npos;
    EXPECT_TRUE(flagged);
}
