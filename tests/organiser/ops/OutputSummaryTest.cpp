#include "ops/OutputSummary.h"

#include "core/RunCommand.h"
#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "PinnedDate.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace nosk;
using nosk::test::pinnedDate;
using nosk::test::readAll;
using nosk::test::writeAll;

namespace {

// Takes a copy of what it is handed, as the organiser's temporary copy does.
struct RecordingHandler : TextFileHandler {
    void print(const std::string& path) override { calls.push_back("print " + path + "\n" + readAll(path)); }
    void view(const std::string& path) override { calls.push_back("view " + path + "\n" + readAll(path)); }
    std::vector<std::string> calls;
};

// A report of the engine in its layout, with CR LF line ends.
std::string pntoutl(bool withL2 = true)
{
    std::string lines[] = {
        "NOSKWIN banner 1", "banner 2", "banner 3", "banner 4", "banner 5",
        "RUN: test cell", "TYPES Z Z R R F", "M = 2", "N = 3", "MAXFEV = 100",
        "", "START PARAMETERS", "P1 = 1", "P2 = 2", "P3 = 3", "",
        "# OF FREE PARAMETERS =  2",
        "            ** before the statistics, skipped anyway",
        withL2 ? "FINAL L2 NORM OF THE RESIDUALS                   1.2345E-02" : "NORM MISSING",
        "NUMBER OF FUNCTION EVALUATIONS                        12",
        "            ** CONVERGED",
        "ORIGINAL PARAMETER NUMBERS",
        "ESTIMATED PARAMETER CORRELATION MATRIX",
        "   1.0000000",
        "   0.5000000   1.0000000",
        "",
        "FINAL PARAMETERS",
        "", "", "",
        "RUN TIME 0.1 S",
    };
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

FitJob summaryJob()
{
    FitJob job;
    job.FUN = 'R';
    job.N = 3;
    job.MAXFEV = 100;
    job.allocateData(2, true);
    *job.FREQ = {1, 10};
    *job.DATA1 = {2.5, 3};
    *job.DATA2 = {-0.125, 4};
    return job;
}

const char kTail[] =
    "    First data line:\n"
    "    1.000000000000000E+00 2.500000000000000E+00 -1.250000000000000E-01\n"
    "\n"
    "FINAL PARAMETERS\n"
    "\n"
    "RUN TIME 0.1 S\n";

struct Summary : ::testing::Test {
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    RecordingHandler handler;

    void expectNoTemporaryFiles()
    {
        EXPECT_FALSE(std::filesystem::exists(kRawSummaryFile));
        EXPECT_FALSE(std::filesystem::exists(kTidySummaryFile));
    }
};

} // namespace

TEST(LnGamma, LanczosSeries)
{
    EXPECT_NEAR(lnGamma(1), 0, 1e-9);
    EXPECT_NEAR(lnGamma(2), 0, 1e-9);
    for (double x : {0.25, 0.5, 1.5, 3.0, 7.5, 20.0})
        EXPECT_NEAR(lnGamma(x), std::lgamma(x), 2e-9) << x;
}

TEST(DerivedQuantities, ModeZeroAndMinusOne)
{
    FitJob job;
    job.CELCAP = 1e-12;
    job.P[1] = 3;
    job.P[4] = 2;
    job.P[5] = 4e-12;
    DerivedQuantities q = deriveQuantities(job);
    EXPECT_DOUBLE_EQ(q.ETAU, 2);
    EXPECT_EQ(q.ECINF, 0);
    EXPECT_EQ(q.EINF, 3);
    EXPECT_DOUBLE_EQ(q.E0, 15);
    EXPECT_DOUBLE_EQ(q.DELTAE, 12);

    // The rounded vacuum permittivity counts as the full one.
    job.CELCAP = 8.854e-14;
    EXPECT_DOUBLE_EQ(deriveQuantities(job).ETAU, 4e-12 / (8.8541878e-14 * 2));

    job.MODE = -1;
    job.P[8] = 0.7;
    q = deriveQuantities(job);
    const double t = 4e-12 / (8.8541878e-14 * 2);
    EXPECT_DOUBLE_EQ(q.ECINF, 6 * t);
    EXPECT_DOUBLE_EQ(q.EINF, 6 * t + 3);
    const double e0 = 6 * t * 0.7 * std::tgamma(2 / 0.7) / std::pow(std::tgamma(1 / 0.7), 2) + 3;
    EXPECT_REL_NEAR(q.E0, e0, 1e-8);
    EXPECT_DOUBLE_EQ(q.DELTAE, q.E0 - q.EINF);

    job.P[0] = 1;
    EXPECT_DOUBLE_EQ(deriveQuantities(job).ECINF, 6 * 4e-12 * 2 / (9 * 8.8541878e-14));
}

TEST_F(Summary, ModelRWithoutP10LineOrDerivedQuantities)
{
    writeAll("PNTOUTL", pntoutl());
    FitJob job = summaryJob();
    ASSERT_TRUE(runCommand(prompt, [&] { writeOutputSummary(job, "cell.tst", true, handler, pinnedDate); }));
    EXPECT_TRUE(prompt.messages.empty());
    ASSERT_EQ(handler.calls.size(), 1u);
    EXPECT_EQ(handler.calls[0],
              std::string("print __TMP_8_.TXT\n"
                          "cell.tst 2026/12/07 04:05:09\n"
                          "RUN: test cell\nTYPES Z Z R R F\nM = 2\nN = 3\nMAXFEV = 100\n"
                          "\n"
                          "\tMODE=0 IGACC=0 ATEMP=0\n"
                          "\tFREEQ=F(ORD) DFIT=Z PFIT=R IRE=0\n"
                          "\tM=2 IRCH=0 CELCAP=8.854188E-14\n"
                          "P1 = 1\n"
                          "\n"
                          "P2 = 2\n"
                          "P3 = 3FINAL L2 NORM OF THE RESIDUALS                   1.2345E-02\n"
                          "NUMBER OF FUNCTION EVALUATIONS                        12\n"
                          "ORIGINAL PARAMETER NUMBERS\n") +
                  kTail);
    EXPECT_EQ(job.FUN, 'R');
    expectNoTemporaryFiles();
}

TEST_F(Summary, ModelOWithDerivedQuantitiesViewed)
{
    writeAll("PNTOUTL", pntoutl());
    FitJob job = summaryJob();
    job.FUN = 'O';
    job.FREEQ = ' ';
    job.CELCAP = 1e-12;
    job.P[1] = 3;
    job.P[4] = 2;
    job.P[5] = 4e-12;
    job.P[9] = 35;
    job.P[19] = 2.7;
    job.P[24] = -3.9;
    ASSERT_TRUE(runCommand(prompt, [&] { writeOutputSummary(job, "", false, handler, pinnedDate); }));
    ASSERT_EQ(handler.calls.size(), 1u);
    const std::string& text = handler.calls[0];
    EXPECT_TRUE(text.starts_with("view __TMP_8_.TXT\n 2026/12/07 04:05:09\nRUN: test cell\n")) << text;
    EXPECT_NE(text.find("\tFREEQ=_(ANG) DFIT=Z PFIT=R IRE=0\n\tM=2 IRCH=0 CELCAP=1.000000E-12\n"), std::string::npos);
    EXPECT_NE(text.find("P3 = 3 P10=35 P20=2 P25=-3\nFINAL L2 NORM"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(std::string(kTail) + "\tETAU=2\n\tECINF=0\n\tEINF=3\n\tE0=15\n\tDELTAE=12\n")) << text;
    expectNoTemporaryFiles();

    // P10 other than 35: the P10 line stays, the derived quantities go.
    job.P[9] = 34;
    handler.calls.clear();
    ASSERT_TRUE(runCommand(prompt, [&] { writeOutputSummary(job, "", false, handler, pinnedDate); }));
    EXPECT_NE(handler.calls[0].find(" P10=34 P20=2 P25=-3\n"), std::string::npos);
    EXPECT_TRUE(handler.calls[0].ends_with(kTail));
}

TEST_F(Summary, BrokenReportsLeaveNoTemporaryFile)
{
    static const char junk[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xff";
    const std::pair<std::string, const char*> cases[] = {
        {pntoutl(false), "Wrong format of PNTOUTL file!"},
        {"", "Wrong format of PNTOUTL file!"},
        {pntoutl().substr(0, 200), "Wrong format of PNTOUTL file!"},
        {pntoutl().substr(0, pntoutl().find("   1.0000000")), "Wrong format of PNTOUTL file!"},
        {std::string(junk, sizeof junk - 1), "Wrong format of PNTOUTL file!"},
    };
    for (const auto& [content, text] : cases) {
        writeAll("PNTOUTL", content);
        EXPECT_FALSE(runCommand(prompt, [&] { writeOutputSummary(summaryJob(), "x.tst", true, handler, pinnedDate); }));
        EXPECT_EQ(prompt.lastMessage().text, text);
        EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
        expectNoTemporaryFiles();
    }
    EXPECT_TRUE(handler.calls.empty());
}

TEST_F(Summary, NothingToSummarise)
{
    FitJob job = summaryJob();
    job.N = 0;
    EXPECT_FALSE(runCommand(prompt, [&] { writeOutputSummary(job, "", true, handler, pinnedDate); }));
    EXPECT_EQ(prompt.lastMessage().text, "The user should load an input file\n and then run fitting!");
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");

    EXPECT_FALSE(runCommand(prompt, [&] { writeOutputSummary(summaryJob(), "", true, handler, pinnedDate); }));
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file 'PNTOUTL'!");

    writeAll("PNTOUTL", pntoutl());
    std::filesystem::create_directory(kRawSummaryFile);
    EXPECT_FALSE(runCommand(prompt, [&] { writeOutputSummary(summaryJob(), "", true, handler, pinnedDate); }));
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file '__TMP_9_.TXT'!");
    EXPECT_TRUE(std::filesystem::is_directory(kRawSummaryFile));
    EXPECT_TRUE(handler.calls.empty());
}
