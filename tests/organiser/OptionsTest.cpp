#include "RunOptions.h"
#include "DECatalogue.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace nosk;

TEST(RunOptions, DefaultsAndTwentyEightByteFile)
{
    test::TempWorkDir dir;
    RunOptions o;
    o.read();  // no file: defaults stay
    EXPECT_EQ(o.closeEngineWindow, 0);
    EXPECT_EQ(o.notifyViewer, 1);
    EXPECT_EQ(o.loadOutinAfterRun, 1);
    EXPECT_EQ(o.promptStoreOutin, 0);
    EXPECT_EQ(o.starts, 64);
    ASSERT_TRUE(o.write());
    EXPECT_EQ(test::readAll("NOSKRUN.OPT"),
        std::string("\0\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0\x40\0\0\0\0\0\0\0\xb6\x03\0\0", 28));
}

// The intervals come after the 20 bytes the last version wrote and reads:
// its file keeps none, a new file gives it the same 20 bytes, and a method
// or level out of range keeps the current value.
TEST(RunOptions, IntervalsAfterTheTwentyBytesOfTheLastVersion)
{
    test::TempWorkDir dir;
    test::writeAll("NOSKRUN.OPT", std::string("\0\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0\x05\0\0\0", 20));
    RunOptions o;
    o.read();
    EXPECT_EQ(o.starts, 5);
    EXPECT_EQ(o.intervals, 0);
    EXPECT_EQ(o.intervalLevel, 950);
    o.intervals = 1;
    o.intervalLevel = 900;
    ASSERT_TRUE(o.write());
    EXPECT_EQ(test::readAll("NOSKRUN.OPT").substr(0, 20),
        std::string("\0\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0\x05\0\0\0", 20));
    RunOptions back;
    back.read();
    EXPECT_EQ(back.intervals, 1);
    EXPECT_EQ(back.intervalLevel, 900);
    test::writeAll("NOSKRUN.OPT", test::readAll("NOSKRUN.OPT").substr(0, 20) + std::string("\x03\0\0\0\x10\x27\0\0", 8));
    RunOptions damaged;
    damaged.read();
    EXPECT_EQ(damaged.intervals, 0);
    EXPECT_EQ(damaged.intervalLevel, 950);
}

TEST(RunOptions, SixteenByteFileOfEarlierVersionsAndADamagedStartsValue)
{
    test::TempWorkDir dir;
    // An earlier version's file: the four values, starts at its default.
    test::writeAll("NOSKRUN.OPT", std::string("\1\0\0\0\0\0\0\0\0\0\0\0\1\0\0\0", 16));
    RunOptions o;
    o.starts = 3;
    o.read();
    EXPECT_EQ(o.closeEngineWindow, 1);
    EXPECT_EQ(o.promptStoreOutin, 1);
    EXPECT_EQ(o.starts, 3);
    // The first 16 bytes of a new file are what an earlier version reads.
    o.starts = 16;
    ASSERT_TRUE(o.write());
    EXPECT_EQ(test::readAll("NOSKRUN.OPT").substr(0, 16), std::string("\1\0\0\0\0\0\0\0\0\0\0\0\1\0\0\0", 16));
    RunOptions back;
    back.read();
    EXPECT_EQ(back.starts, 16);
    // 0 or a huge count is no number of starts: the current value stays.
    for (const char* bad : {"\0\0\0\0", "\xff\xff\xff\x7f"}) {
        test::writeAll("NOSKRUN.OPT", std::string(16, '\0') + std::string(bad, 4));
        RunOptions r;
        r.read();
        EXPECT_EQ(r.starts, RunOptions::kDefaultStarts);
    }
}

TEST(RunOptions, ShortFileKeepsDefaultsOfMissingValues)
{
    test::TempWorkDir dir;
    test::writeAll("NOSKRUN.OPT", std::string("\1\0\0\0\0\0\0\0\0\0", 10));
    RunOptions o;
    o.read();
    EXPECT_EQ(o.closeEngineWindow, 1);
    EXPECT_EQ(o.notifyViewer, 0);
    EXPECT_EQ(o.loadOutinAfterRun, 1);  // the file ends inside the third value
    EXPECT_EQ(o.promptStoreOutin, 0);
}

TEST(DECatalogue, NumberOfASelectorValue)
{
    EXPECT_EQ(de::numberFromText("5.0000000E+000"), 5);
    EXPECT_EQ(de::numberFromText("3.9"), 3);
    EXPECT_EQ(de::numberFromText("x"), 0);
    EXPECT_EQ(de::numberFromText("4.0E+040"), -1);
}

TEST(DECatalogue, TitlesTopicsAndExamples)
{
    EXPECT_EQ(de::title(0), "0: Short circuit");
    EXPECT_EQ(de::title(5), "5: ZC #2");
    EXPECT_EQ(de::title(37), "37: Calculates KWW DRT, arb. BETA");
    EXPECT_EQ(de::description(1), "1: R and C in parallel\r\n   Z = R / (1 + i*OMEGA*R*T)");
    EXPECT_EQ(de::description(26), "26: Series CPE: SCPE\r\n   Z = R * (1 + (i*OMEGA*T)**(-PHI)), 0 <= PHI <= 1");
    EXPECT_EQ(de::title(40), "");
    EXPECT_EQ(de::tooltip(-1), "");
    EXPECT_EQ(de::helpTopic(3), 10206);
    EXPECT_EQ(de::helpTopic(29), 10218);
    EXPECT_EQ(de::helpTopic(37), 10226);
    for (int i = 0; i < de::kCount; ++i) {
        EXPECT_EQ(de::title(i).rfind(std::to_string(i) + ": ", 0), 0u) << i;
        EXPECT_LE(de::tooltip(i).size(), 79u);
        const std::string& list = de::exampleList(i);
        EXPECT_FALSE(list.empty());
        EXPECT_EQ(de::examples(i).empty(), list == "*");
    }
}
