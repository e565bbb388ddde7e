#include "job/FitJob.h"
#include "job/SideFile.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace nosk;

namespace {
class SideFile : public ::testing::Test {
protected:
    nosk::test::TempWorkDir dir;
};
} // namespace

TEST_F(SideFile, WithoutTheFileTheDataAreFrequencies)
{
    unsigned char first = 9, second = 9;
    readSideFile(first, second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST_F(SideFile, SaveWithSideFileWritesTheXVariableTwice)
{
    FitJob job;
    job.xVariable = 2;
    job.saveWithSideFile("INFL");
    EXPECT_EQ(nosk::test::readAll("ADD.BIN"), std::string("\x02\x02", 2));
    FitJob viewer;
    viewer.load("INFL");
    unsigned char second = 0;
    readSideFile(viewer.xVariable, second);
    EXPECT_EQ(viewer.xVariable, 2);
}

TEST_F(SideFile, ViewerSwitchAndRestore)
{
    writeSideFile(3, 3);
    unsigned char first = 0, second = 0;
    readSideFile(first, second);
    writeSideFile(4, second);
    EXPECT_EQ(nosk::test::readAll("ADD.BIN"), std::string("\x04\x03", 2));
    readSideFile(first, second);
    EXPECT_EQ(first, 4);
    writeSideFile(second, second);
    EXPECT_EQ(nosk::test::readAll("ADD.BIN"), std::string("\x03\x03", 2));
}

TEST_F(SideFile, DamagedFileGivesKnownCodes)
{
    unsigned char first = 0, second = 0;
    nosk::test::writeAll("ADD.BIN", std::string("\x02", 1));
    readSideFile(first, second);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
    nosk::test::writeAll("ADD.BIN", std::string("\xff\x04", 2));
    readSideFile(first, second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_STREQ(xVariableName(first), "Frequency");
    EXPECT_STREQ(xVariableName(4), "Inv. Temperature");
}

TEST_F(SideFile, UnwritableFileIsPassedOverInSilence)
{
    EXPECT_NO_THROW(writeSideFile(2, 2, "no/such/folder/ADD.BIN"));
}
