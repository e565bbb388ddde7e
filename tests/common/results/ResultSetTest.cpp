#include "results/FitResultSet.h"
#include "results/ModelResultSet.h"
#include "results/ResultHolder.h"
#include "results/SolartronFile.h"

#include "ReportBuilder.h"
#include "core/Exception.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

using nosk::FitJob;
using nosk::ResultHolder;

namespace {

constexpr double kPi = 3.14159265358979;

FitJob makeJob(int maxfev, char dattyp, int m)
{
    FitJob job;
    job.MAXFEV = maxfev;
    job.DATTYP = dattyp;
    job.allocateData(m, true);
    for (int k = 0; k < m; ++k) {
        (*job.FREQ)[k] = 10.0 * (k + 1);
        (*job.DATA1)[k] = k + 1.0;
        (*job.DATA2)[k] = -(k + 1.0);
    }
    return job;
}

std::string row(int point, double a, double b, double c, double d, double e)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%5d%15.7E%15.7E%15.7E%15.7E%15.7E\r\n", point, a, b, c, d, e);
    return buffer;
}

// An earlier table full of 9s, then the final one.
std::string fitAuxpntl(int points, int rowsPerPoint)
{
    std::string t = "  OBSERVED VARIABLES, FIRST ITERATION\r\nheading\r\n";
    for (int k = 1; k <= points * rowsPerPoint; ++k)
        t += row(k, 9, 9, 9, 9, 9);
    t += "\r\n  FINAL OBSERVED VARIABLES\r\n   NO   OBSERVED   MODEL   SIGMA   RESIDUAL   REL. RESIDUAL\r\n";
    for (int k = 1; k <= points; ++k) {
        t += row(k, k, k + 0.5, 1, -0.5, -0.25);
        if (rowsPerPoint == 2)
            t += row(k, -k, -k - 0.5, 1, 0.5, 0.125);
    }
    return t;
}

std::string failureOf(ResultHolder& holder)
{
    try {
        holder.read();
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace

TEST(ResultHolder, MaxfevChoosesTheKindOfSet)
{
    nosk::test::TempWorkDir dir;
    for (int maxfev : {3, 200}) {
        FitJob job = makeJob(maxfev, 'C', 2);
        ResultHolder holder(job);
        EXPECT_NE(holder.fitResults(), nullptr);
        EXPECT_EQ(holder.modelResults(), nullptr);
    }
    FitJob model = makeJob(0, 'C', 2);
    EXPECT_NE(ResultHolder(model).modelResults(), nullptr);
    for (int maxfev : {1, 2, -1}) {
        FitJob job = makeJob(maxfev, 'C', 2);
        ResultHolder holder(job);
        EXPECT_EQ(holder.resultSet(), nullptr);
        // Without a set nothing is read (no AUXPNTL here) and nothing written.
        EXPECT_NO_THROW(holder.read());
        EXPECT_NO_THROW(holder.writeSolartron("solartron.fra"));
        EXPECT_FALSE(std::filesystem::exists("solartron.fra"));
    }
}

TEST(ResultSet, TakesTheJobsSettings)
{
    FitJob job = makeJob(5, 'C', 4);
    job.FUN = 'B';
    job.FREEQ = ' ';
    job.IPRINT = -3;
    job.IPAR = 1;
    job.IRE = -10;
    ResultHolder holder(job);
    const nosk::FitResultSet& s = *holder.fitResults();
    EXPECT_EQ(&s.job(), &job);
    EXPECT_EQ(s.FUN, 'B');
    EXPECT_EQ(s.angular, 1);
    EXPECT_EQ(s.blankFrequency, 1);
    EXPECT_EQ(s.printLevel, 1);
    EXPECT_EQ(s.count, 4);
    EXPECT_TRUE(s.residualsBySigma);
    EXPECT_TRUE(s.ireBelowMinus9);
    EXPECT_TRUE(s.iprintNegative);
    EXPECT_EQ(s.statistics.freeCount, 0);

    job.FREEQ = 'F';
    job.IPRINT = 2;
    job.IRE = -9;
    ResultHolder ordinary(job);
    EXPECT_EQ(ordinary.resultSet()->angular, 0);
    EXPECT_EQ(ordinary.resultSet()->blankFrequency, 0);
    EXPECT_EQ(ordinary.resultSet()->printLevel, 2);
    EXPECT_FALSE(ordinary.fitResults()->ireBelowMinus9);
}

TEST(FitResultSet, ArraysFollowDattyp)
{
    FitJob c = makeJob(3, 'C', 2), r = makeJob(3, 'R', 2), i = makeJob(3, 'I', 2);
    ResultHolder hc(c), hr(r), hi(i);
    const nosk::FitResultSet& sc = *hc.fitResults();
    EXPECT_TRUE(sc.obs1 && sc.obs2 && sc.model1 && sc.model2 && sc.extra1a && sc.extra1b && sc.extra2a && sc.extra2b);
    EXPECT_EQ(sc.extra2b->size(), 2u);
    const nosk::FitResultSet& sr = *hr.fitResults();
    EXPECT_TRUE(sr.obs1 && sr.model1 && sr.extra1a && sr.extra1b);
    EXPECT_FALSE(sr.obs2 || sr.model2 || sr.extra2a || sr.extra2b);
    const nosk::FitResultSet& si = *hi.fitResults();
    EXPECT_TRUE(si.obs2 && si.model2 && si.extra2a && si.extra2b);
    EXPECT_FALSE(si.obs1 || si.model1 || si.extra1a || si.extra1b);
}

TEST(FitResultSet, ReadsFinalTableAndStatistics)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("AUXPNTL", fitAuxpntl(3, 2));
    nosk::test::writeAll("PNTOUTL", nosk::test::ReportBuilder(8).text());
    FitJob job = makeJob(100, 'C', 3);
    ResultHolder holder(job);
    holder.read();
    const nosk::FitResultSet& s = *holder.fitResults();
    EXPECT_EQ(s.xValues, (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(*s.obs1, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(*s.model1, (std::vector<double>{1.5, 2.5, 3.5}));
    EXPECT_EQ(*s.obs2, (std::vector<double>{-1, -2, -3}));
    EXPECT_EQ(*s.model2, (std::vector<double>{-1.5, -2.5, -3.5}));
    EXPECT_EQ((*s.extra1a)[2], -0.5);
    EXPECT_EQ((*s.extra1b)[2], -0.25);
    EXPECT_EQ((*s.extra2a)[2], 0.5);
    EXPECT_EQ((*s.extra2b)[2], 0.125);
    EXPECT_EQ(s.statistics.freeCount, 8);
    EXPECT_EQ(s.statistics.correlation[7][6], nosk::test::ReportBuilder::correlation(7, 6));
}

TEST(FitResultSet, ReadsOneRowPerPointForRealData)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("AUXPNTL", fitAuxpntl(2, 1));
    nosk::test::writeAll("PNTOUTL", nosk::test::ReportBuilder(1).text("\n"));
    FitJob job = makeJob(3, 'R', 2);
    ResultHolder holder(job);
    holder.read();
    EXPECT_EQ(*holder.fitResults()->model1, (std::vector<double>{1.5, 2.5}));
}

TEST(FitResultSet, FailuresDropTheSet)
{
    nosk::test::TempWorkDir dir;
    FitJob job = makeJob(3, 'C', 3);
    {
        ResultHolder holder(job);
        EXPECT_EQ(failureOf(holder), "File AUXPNTL not found!");
        EXPECT_EQ(holder.resultSet(), nullptr);
        EXPECT_NO_THROW(holder.writeSolartron("solartron.fra"));
    }
    nosk::test::writeAll("AUXPNTL", "nothing\r\n");
    {
        ResultHolder holder(job);
        EXPECT_EQ(failureOf(holder), "File AUXPNTL has an error! Can't find results.");
    }
    nosk::test::writeAll("AUXPNTL", fitAuxpntl(3, 2));
    {
        ResultHolder holder(job);
        EXPECT_EQ(failureOf(holder), "Cannot open file 'PNTOUTL'!");
        EXPECT_EQ(holder.resultSet(), nullptr);
    }
}

TEST(ModelResultSet, CopiesTheJobsDataAndCodes)
{
    FitJob job = makeJob(0, 'R', 3);
    job.DINP = 'Z';
    job.DFIT = 'Y';
    job.PINP = 'D';
    job.PFIT = 'R';
    ResultHolder holder(job);
    const nosk::ModelResultSet& s = *holder.modelResults();
    EXPECT_EQ(s.levelCodes, "ZY");
    EXPECT_EQ(s.formatCodes, "DR");
    EXPECT_EQ(s.xValues, (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(*s.obs1, (std::vector<double>{1, 2, 3}));
    EXPECT_FALSE(s.obs2);
    EXPECT_TRUE(s.model1);
    EXPECT_FALSE(s.model2);

    FitJob imaginary = makeJob(0, 'I', 3);
    ResultHolder hi(imaginary);
    EXPECT_EQ(*hi.modelResults()->obs2, (std::vector<double>{-1, -2, -3}));
    EXPECT_FALSE(hi.modelResults()->obs1);
}

TEST(ModelResultSet, ReadsModelAndBringsDataToTheFitSystem)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("AUXPNTL",
                         "MODEL DATA -- FREQUENCY, REAL, IMAGINARY\r\n"
                         " 1.0E+01  1.0E+00  2.0E+00\r\n 2.0E+01  3.0E+00  4.0E+00\r\n");
    // Z = (1, 0) at 1 Hz with C = 1 is M = (0, 2 pi); at 1 rad/s M = (0, 1).
    FitJob job = makeJob(0, 'C', 2);
    job.DINP = 'Z';
    job.DFIT = 'M';
    job.CELCAP = 1.0;
    (*job.FREQ) = {1.0, 1.0};
    (*job.DATA1) = {1.0, 1.0};
    (*job.DATA2) = {0.0, 0.0};
    {
        ResultHolder holder(job);
        holder.read();
        const nosk::ModelResultSet& s = *holder.modelResults();
        EXPECT_EQ(*s.model1, (std::vector<double>{1, 3}));
        EXPECT_EQ(*s.model2, (std::vector<double>{2, 4}));
        EXPECT_NEAR((*s.obs1)[0], 0.0, 1e-12);
        EXPECT_NEAR((*s.obs2)[0], 2 * kPi, 1e-12);
        EXPECT_EQ(s.xValues, (std::vector<double>{1.0, 1.0}));  // still Hz
    }
    job.FREEQ = ' ';
    {
        ResultHolder holder(job);
        holder.read();
        EXPECT_NEAR((*holder.modelResults()->obs2)[0], 1.0, 1e-12);
    }
    job.xVariable = 2;  // time: the data stay in the input system
    {
        ResultHolder holder(job);
        holder.read();
        EXPECT_EQ(*holder.modelResults()->obs1, (std::vector<double>{1, 1}));
        EXPECT_EQ(*holder.modelResults()->obs2, (std::vector<double>{0, 0}));
    }
}

TEST(ModelResultSet, RealDataGetsBothModelArrays)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("AUXPNTL", "x\nMODEL DATA -- FREQUENCY, REAL, IMAGINARY\n1 2 3\n");
    FitJob job = makeJob(0, 'R', 1);
    ResultHolder holder(job);
    holder.read();
    EXPECT_EQ(*holder.modelResults()->model1, (std::vector<double>{2}));
    EXPECT_EQ(*holder.modelResults()->model2, (std::vector<double>{3}));
    nosk::test::writeAll("AUXPNTL", "MODEL DATA -- FREQUENCY, REAL, IMAGINARY  \n1 2 3\n");
    ResultHolder trailing(job);
    EXPECT_EQ(failureOf(trailing), "File AUXPNTL error! Can't find results!");
}

TEST(ResultSet, WritesModelAsRectangularImpedanceInHz)
{
    nosk::test::TempWorkDir dir;
    // A simulation fitted as admittance: the model (0.5, 0) is Z = (2, 0).
    nosk::test::writeAll("AUXPNTL", "MODEL DATA -- FREQUENCY, REAL, IMAGINARY\r\n"
                                    "1 0.5 0\r\n1 0.25 0\r\n1 0.1 0\r\n1 0.2 0\r\n1 1 0\r\n");
    FitJob job = makeJob(0, 'C', 5);
    job.DFIT = 'Y';
    job.FREEQ = ' ';  // angular: the file gets omega / (2 pi)
    ResultHolder holder(job);
    holder.read();
    holder.writeSolartron("solartron.fra");
    const std::string first = nosk::test::readAll("solartron.fra");
    ASSERT_EQ(first.size(), 1120u);
    const nosk::SolartronFile file = nosk::SolartronFile::read("solartron.fra");
    ASSERT_EQ(file.blocks.size(), 1u);
    ASSERT_EQ(file.blocks[0].pointCount(), 5);
    const double expectedRe[5] = {2, 4, 10, 5, 1};
    for (int i = 0; i < 5; ++i) {
        const nosk::SolartronPoint& p = file.blocks[0].points[i];
        EXPECT_NEAR(p.frequency, 10.0 * (i + 1) / (2 * kPi), 1e-12);
        EXPECT_NEAR(p.impedanceRe, expectedRe[i], 1e-12);
        EXPECT_EQ(p.impedanceIm, 0.0);
    }
    // The set is unchanged, so writing it again gives the same points.
    EXPECT_EQ((*holder.resultSet()->model1)[0], 0.5);
    EXPECT_EQ(holder.resultSet()->xValues[0], 10.0);
    holder.writeSolartron("again.fra");
    const nosk::SolartronFile again = nosk::SolartronFile::read("again.fra");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(again.blocks[0].points[i].frequency, file.blocks[0].points[i].frequency);
        EXPECT_EQ(again.blocks[0].points[i].impedanceRe, file.blocks[0].points[i].impedanceRe);
    }
}

TEST(ResultSet, WritesFitOfRealDataWithZeroImaginaryPart)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("AUXPNTL", fitAuxpntl(2, 1));
    nosk::test::writeAll("PNTOUTL", nosk::test::ReportBuilder(1).text());
    FitJob job = makeJob(3, 'R', 2);  // FREEQ 'F': Hz in, Hz out
    ResultHolder holder(job);
    holder.read();
    holder.writeSolartron("solartron.fra");
    const nosk::SolartronFile file = nosk::SolartronFile::read("solartron.fra");
    ASSERT_EQ(file.blocks[0].pointCount(), 2);
    EXPECT_NEAR(file.blocks[0].points[1].frequency, 20.0, 1e-12);
    EXPECT_EQ(file.blocks[0].points[1].impedanceRe, 2.5);
    EXPECT_EQ(file.blocks[0].points[1].impedanceIm, 0.0);
    EXPECT_EQ(file.blocks[0].points[1].magnitude, 2.5);
}
