#include "NumberText.h"
#include "RunOptions.h"
#include "DECatalogue.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace nosk;

TEST(RunOptions, DefaultsAndSixteenByteFile)
{
    test::TempWorkDir dir;
    RunOptions o;
    o.read();  // no file: defaults stay
    EXPECT_EQ(o.closeEngineWindow, 0);
    EXPECT_EQ(o.notifyViewer, 1);
    EXPECT_EQ(o.loadOutinAfterRun, 1);
    EXPECT_EQ(o.promptStoreOutin, 0);
    ASSERT_TRUE(o.write());
    EXPECT_EQ(test::readAll("NOSKRUN.OPT"), std::string("\0\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0", 16));
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

TEST(NumberText, ExponentFormAndReading)
{
    EXPECT_EQ(formatExp(1.0, 7), "1.0000000E+000");
    EXPECT_EQ(formatExp(8.8541878e-14, 6), "8.854188E-014");
    EXPECT_EQ(formatExp(-2.5e123, 2), "-2.50E+123");
    EXPECT_DOUBLE_EQ(readLeadingReal("1.5E+003xyz  "), 1500.0);
    EXPECT_DOUBLE_EQ(readLeadingReal("-.25e"), -0.25);
    EXPECT_DOUBLE_EQ(readLeadingReal("abc"), 0.0);
    EXPECT_DOUBLE_EQ(readLeadingReal(""), 0.0);
    int v = 7;
    EXPECT_TRUE(readWholeInt("-12  ", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(readWholeInt("12a", v));
    EXPECT_FALSE(readWholeInt("-", v));
    EXPECT_FALSE(readWholeInt("", v));
    EXPECT_FALSE(readWholeInt("99999999999", v));
    EXPECT_EQ(v, -12);
    EXPECT_EQ(readDENumber("5.0000000E+000"), 5);
    EXPECT_EQ(readDENumber("3.9"), 3);
    EXPECT_EQ(readDENumber("x"), 0);
}

TEST(DECatalogue, TitlesTopicsAndExamples)
{
    EXPECT_EQ(de::title(0), "0: Short circuit");
    EXPECT_EQ(de::title(5), "5: ZC #2");
    EXPECT_EQ(de::title(37), "37: Calculates KWW DRT, arb. BETA");
    EXPECT_EQ(de::description(1), "1: R and C in parallel\r\n   Z = R / (1 + i*OMEGA*R*T)");
    EXPECT_EQ(de::description(10), "10: Accurate KWW responses; no cutoff\r\n");
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
