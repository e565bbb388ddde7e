#include "ops/DataExport.h"
#include "ops/FrequencyConversion.h"

#include "core/RunCommand.h"
#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::readAll;

namespace {

struct Conversion : ::testing::Test {
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    int refreshed = 0;
    RefreshPages refresh = [this] { ++refreshed; };
    FitJob job;

    void SetUp() override
    {
        job.description = "conversion";
        job.FREEQ = 'F';
        job.N = 1;
        job.P[0] = 1.5;
        job.NFREE[0] = 1;
        job.IRCH = 1;
        job.allocateData(3, false);
        *job.FREQ = {1, 10, 100};
        *job.DATA1 = {5, 6, 7};
        *job.DATA2 = {-1, -2, -3};
    }
};

} // namespace

TEST_F(Conversion, ToAngularAndBackThroughInfl)
{
    job.xVariable = 3;
    ASSERT_TRUE(runCommand(prompt, [&] { convertToAngular(job, refresh); }));
    EXPECT_EQ(job.xVariable, 3);  // INFL does not carry it
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(job.FREEQ, ' ');
    ASSERT_EQ(job.M, 3);
    // INFL carries 13 significant digits of the products.
    EXPECT_REL_NEAR((*job.FREQ)[0], 6.28318530717958, 1e-12);
    EXPECT_REL_NEAR((*job.FREQ)[1], 62.8318530717958, 1e-12);
    EXPECT_REL_NEAR((*job.FREQ)[2], 628.318530717958, 1e-12);
    EXPECT_EQ((*job.DATA1)[2], 7);

    FitJob fromFile;
    fromFile.load("INFL");
    EXPECT_EQ(fromFile.FREEQ, ' ');
    EXPECT_EQ(*fromFile.FREQ, *job.FREQ);
    EXPECT_FALSE(std::filesystem::exists("ADD.BIN"));

    ASSERT_TRUE(runCommand(prompt, [&] { convertToOrdinary(job, refresh); }));
    EXPECT_EQ(job.FREEQ, 'F');
    EXPECT_REL_NEAR((*job.FREQ)[0], 1, 1e-12);
    EXPECT_REL_NEAR((*job.FREQ)[2], 100, 1e-12);
    EXPECT_EQ(refreshed, 2);
}

TEST_F(Conversion, SameTypeTwiceIsRefused)
{
    ASSERT_TRUE(runCommand(prompt, [&] { convertToAngular(job, refresh); }));
    std::vector<double> before = *job.FREQ;
    EXPECT_FALSE(runCommand(prompt, [&] { convertToAngular(job, refresh); }));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.lastMessage().text,
              "The source and destination type of frequncy\nin input data is the same.\nNo convertion performed!");
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(*job.FREQ, before);
    EXPECT_EQ(job.FREEQ, ' ');

    FitJob ordinary;
    ordinary.FREEQ = 'F';
    EXPECT_FALSE(runCommand(prompt, [&] { convertToOrdinary(ordinary, refresh); }));
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(ordinary.FREEQ, 'F');
}

TEST_F(Conversion, WithoutDataPointsNothingIsWritten)
{
    FitJob empty;
    empty.FREEQ = 'F';
    EXPECT_FALSE(runCommand(prompt, [&] { convertToAngular(empty, refresh); }));
    EXPECT_EQ(prompt.lastMessage().text, "Number of data points [M] is zero.\nConvertion is impossible!");
    EXPECT_EQ(empty.FREEQ, 'F');
    EXPECT_FALSE(std::filesystem::exists("INFL"));
    EXPECT_EQ(refreshed, 0);
}

TEST_F(Conversion, IreRules)
{
    job.IRE = -12;
    ASSERT_TRUE(runCommand(prompt, [&] { convertToAngular(job, refresh); }));
    EXPECT_EQ(job.IRE, -10);
    job.IRE = -12;
    ASSERT_TRUE(runCommand(prompt, [&] { convertToOrdinary(job, refresh); }));
    EXPECT_EQ(job.IRE, -11);
    job.IRE = -9;
    ASSERT_TRUE(runCommand(prompt, [&] { convertToAngular(job, refresh); }));
    EXPECT_EQ(job.IRE, -9);
    job.IRE = 3;
    ASSERT_TRUE(runCommand(prompt, [&] { convertToOrdinary(job, refresh); }));
    EXPECT_EQ(job.IRE, 3);
}

TEST_F(Conversion, InflThatCannotBeWrittenIsReported)
{
    std::filesystem::create_directory("INFL");
    EXPECT_FALSE(runCommand(prompt, [&] { convertToAngular(job, refresh); }));
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file 'INFL'!");
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
    // The converted rows stay in the job.
    EXPECT_EQ(job.M, 3);
    EXPECT_EQ(job.FREEQ, ' ');
}

TEST(Export, ThreeRowsInExponentForm)
{
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    FitJob job;
    job.allocateData(3, false);
    *job.FREQ = {1, 10, 1e5};
    *job.DATA1 = {0.125, -2, 3};
    *job.DATA2 = {-1, 0, 1.5e-7};
    prompt.files = {std::string("out.txt")};
    ASSERT_TRUE(exportData(job, prompt));
    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    EXPECT_TRUE(prompt.fileDialogs[0].save);
    ASSERT_EQ(prompt.fileDialogs[0].request.filters.size(), 1u);
    EXPECT_EQ(prompt.fileDialogs[0].request.filters[0].description, "All files (*.*)");
    EXPECT_EQ(readAll("out.txt"),
              "1.000000000000000E+00\t1.250000000000000E-01\t-1.000000000000000E+00\n"
              "1.000000000000000E+01\t-2.000000000000000E+00\t0.000000000000000E+00\n"
              "1.000000000000000E+05\t3.000000000000000E+00\t1.500000000000000E-07\n");

    // An absent column is written as zeros.
    job.DATA2.reset();
    EXPECT_EQ(formatDataExport(job).substr(0, 66),
              "1.000000000000000E+00\t1.250000000000000E-01\t0.000000000000000E+00\n");
}

TEST(Export, NothingToExportOrNowhereToWrite)
{
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    FitJob job;
    EXPECT_FALSE(exportData(job, prompt));
    EXPECT_TRUE(prompt.fileDialogs.empty());

    job.allocateData(1, false);
    job.DATA1.reset();
    job.DATA2.reset();
    EXPECT_FALSE(exportData(job, prompt));
    EXPECT_TRUE(prompt.fileDialogs.empty());

    job.releaseData();
    job.allocateData(1, false);
    prompt.files = {std::string("no/such/folder/out.txt")};
    EXPECT_FALSE(runCommand(prompt, [&] { exportData(job, prompt); }));
    EXPECT_EQ(prompt.lastMessage().text, "Couldn't open file!");
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");

    // Cancel: nothing written, nothing said.
    size_t shown = prompt.messages.size();
    EXPECT_FALSE(exportData(job, prompt));
    EXPECT_EQ(prompt.messages.size(), shown);
}
