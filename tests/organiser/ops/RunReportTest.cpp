#include "ops/RunReport.h"

#include "core/RunCommand.h"
#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "PinnedDate.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::pinnedDate;
using nosk::test::readAll;

namespace {

FitJob reportJob()
{
    FitJob job;
    job.description = "Battery cell";
    job.IRE = -12;
    job.MAXFEV = 100;
    job.N = 3;
    job.P[0] = 1.5;
    job.P[1] = -2.25e-5;
    job.P[2] = 1000;
    job.NFREE[0] = 1;
    job.NFREE[1] = 0;
    job.NFREE[2] = 2;
    job.allocateData(2, true);
    *job.FREQ = {1, 1e4};
    *job.DATA1 = {2, 0.5};
    *job.DATA2 = {-3, -0.25};
    *job.WEIGHT1 = {0.1, 0.3};
    *job.WEIGHT2 = {0.2, 0.4};
    return job;
}

const char kExpectedReport[] =
    "*******************************************\n"
    "** REPORT *********************************\n"
    "*******************************************\n"
    "\n"
    "2026 Dec 07, Mon, 04:05:09\n"
    "\n"
    "DESCRIPTION OF RUN:\n"
    "Battery cell\n"
    "\n"
    "DATA AND FIT TYPES:\n"
    "Optimization iterations (IOPT)               0\n"
    "Input data system (DINP)                     Z, Impedance\n"
    "Fitting system (DFIT)                        Z, Impedance\n"
    "Complex input format (PINP)                  R, rectangular\n"
    "Fit input format (PFIT)                      R, rectangular\n"
    "Input frequency format (FREEQ)               SPACE, Ordinary\n"
    "Selects sign (NEG)                           SPACE, No action taken\n"
    "Selects function (FUN)                       A\n"
    "Capacitance of measuring cell (CAPCEL)       8.85418780e-14\n"
    "Type of data fit desired (DATTYP)            C, Complex\n"
    "IPAR                                         0\n"
    "ROE                                          0.00000000e+00\n"
    "IFP                                          0\n"
    "IRE                                          -12\n"
    "ECINF                                        0.00000000e+00\n"
    "EC0                                          0.00000000e+00\n"
    "\n"
    "DATA, WEIGHTING, AND FITTING SPECIFICATIONS\n"
    "Number of data points (frequencies) (M)      2\n"
    "Total number of model parameters (N)         3\n"
    "Evaluations (MAXFEV)                         100\n"
    "NPRINT                                       0\n"
    "Data weighting (IRCH)                        0\n"
    "MODE                                         0\n"
    "ICP                                          0\n"
    "Output level(IPRINT)                         0\n"
    "IGACC                                        0\n"
    "ATEMP                                        0.00000000e+00\n"
    "SDWC                                         0.00000000e+00\n"
    "SDRC                                         0.00000000e+00\n"
    "\n"
    "MODEL PARAMETERS\n"
    "\tParameter\tType\t\tParameter\tType\n"
    "P(01)  1.50000000e+00 1\tP(02) -2.25000000e-05 0\n"
    "P(03)  1.00000000e+03 2\n"
    "\n"
    "DATA LINES\n"
    "\n"
    "Impedance vs. Ordinary frequency (Hz)\n"
    "\n"
    "Ordinary frequency (Hz)\tReal\tImag\n"
    "1.00000000e+00\t2.00000000e+00\t-3.00000000e+00\n"
    "1.00000000e+04\t5.00000000e-01\t-2.50000000e-01\n"
    "\n"
    "\n"
    "DATA WEIGHTS\n"
    "Ordinary frequency (Hz)\tReal weights\tImag weights\n"
    "1.00000000e+00\t1.00000000e-01\t2.00000000e-01\n"
    "1.00000000e+04\t3.00000000e-01\t4.00000000e-01\n";

} // namespace

TEST(RunReport, ThreeParametersByteForByte)
{
    EXPECT_EQ(formatRunReport(reportJob(), pinnedDate()), kExpectedReport);
}

TEST(RunReport, CodesNamesAndSectionsFollowTheJob)
{
    FitJob job = reportJob();
    job.IRCH = 2;
    job.releaseWeights();
    job.M = -2;  // possible in memory only; reported as its absolute value
    job.DINP = 'E';
    job.PINP = 'D';
    job.FREEQ = ' ';
    job.NEG = 'N';
    job.DATTYP = 'X';
    job.FUN = 'O';
    std::string text = formatRunReport(job, pinnedDate());
    EXPECT_EQ(text.find("DATA WEIGHTS"), std::string::npos);
    EXPECT_NE(text.find("Number of data points (frequencies) (M)      2\n"), std::string::npos);
    EXPECT_NE(text.find("Input data system (DINP)                     E, Epsilon\n"), std::string::npos);
    EXPECT_NE(text.find("Input frequency format (FREEQ)               A, Angular\n"), std::string::npos);
    EXPECT_NE(text.find("Selects sign (NEG)                           N, multiply by -1\n"), std::string::npos);
    EXPECT_NE(text.find("Type of data fit desired (DATTYP)            \n"), std::string::npos);
    EXPECT_NE(text.find("Selects function (FUN)                       O\n"), std::string::npos);
    EXPECT_NE(text.find("\nEpsilon vs. Angular frequency (rad/s)\n\n"
                        "Angular frequency (rad/s)\tMagnitude\tDegrees\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("1.00000000e+04\t5.00000000e-01\t-2.50000000e-01\n"));

    // No parameters: the heading stands alone.
    job.N = 0;
    text = formatRunReport(job, pinnedDate());
    EXPECT_NE(text.find("\tParameter\tType\t\tParameter\tType\n\nDATA LINES\n"), std::string::npos);
}

TEST(RunReport, SavedWhereTheUserSays)
{
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    prompt.files = {std::string("r.txt")};
    ASSERT_TRUE(writeRunReport(reportJob(), prompt, pinnedDate));
    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    const auto& request = prompt.fileDialogs[0].request;
    EXPECT_TRUE(prompt.fileDialogs[0].save);
    EXPECT_EQ(request.title, "Save report file");
    EXPECT_EQ(request.initialName, "Report.txt");
    ASSERT_EQ(request.filters.size(), 1u);
    EXPECT_EQ(request.filters[0].description, "All files (*.*)");
    EXPECT_EQ(readAll("r.txt"), kExpectedReport);
    EXPECT_TRUE(prompt.messages.empty());

    // Cancel writes nothing.
    EXPECT_FALSE(writeRunReport(reportJob(), prompt, pinnedDate));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), 1);
}

TEST(RunReport, FileThatCannotBeCreated)
{
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    prompt.files = {std::string("missing/dir/Report.txt")};
    EXPECT_FALSE(runCommand(prompt, [&] { writeRunReport(reportJob(), prompt, pinnedDate); }));
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file 'missing/dir/Report.txt'!");
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
    EXPECT_TRUE(std::filesystem::is_empty("."));
}
