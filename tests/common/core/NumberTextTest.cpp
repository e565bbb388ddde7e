#include "core/NumberText.h"

#include <gtest/gtest.h>

using nosk::formatNumber;

TEST(NumberText, ExponentHasThreeDigits)
{
    EXPECT_EQ(formatNumber("%e", 1.5), "1.500000e+000");
    EXPECT_EQ(formatNumber("%e", -1.23456), "-1.234560e+000");
    EXPECT_EQ(formatNumber("%.6E", 8.8541878e-14), "8.854188E-014");
    EXPECT_EQ(formatNumber("%.7E", 1.0), "1.0000000E+000");
    EXPECT_EQ(formatNumber("%e", 1e100), "1.000000e+100");
    EXPECT_EQ(formatNumber("%e", 0.0), "0.000000e+000");
}

TEST(NumberText, OtherConversionsUnchanged)
{
    EXPECT_EQ(formatNumber("%.4f", 0.12345), "0.1235");
    EXPECT_EQ(formatNumber("%.4f", -1.0), "-1.0000");
    EXPECT_EQ(formatNumber("%g", 1e-5), "1e-005");
    EXPECT_EQ(formatNumber("%g", 25.0), "25");
    EXPECT_EQ(formatNumber("%12.3e", 1.0), "  1.000e+000");
    EXPECT_EQ(formatNumber("%-12.3e|", 1.0), "1.000e+000  |");
    EXPECT_EQ(formatNumber("%5.1e", 1.0), "1.0e+000");
    EXPECT_EQ(formatNumber("x=%e%%", 2.0), "x=2.000000e+000%");
}
