#include "grid/CZuGridModel.h"

#include <gtest/gtest.h>

using namespace nosk;

TEST(GridModel, RowPointersAndDefaultFormat)
{
    double r0[] = {1.5, -2.0};
    double r1[] = {0.0, 8.8541878e-14};
    double* rows[] = {r0, r1};
    CZuGridModel model;
    model.SetSource(rows);
    EXPECT_STREQ(model.format(), "%e");
    EXPECT_EQ(model.GetText(0, 0), "1.500000e+000");
    EXPECT_EQ(model.GetText(1, 1), "8.854188e-014");
    model.SetText(1, 0, "2.5xyz");  // column 1, row 0
    EXPECT_DOUBLE_EQ(r0[1], 2.5);
    model.SetFormat("%.4f");
    EXPECT_EQ(model.GetText(0, 0), "1.5000");
    model.SetFormat("%12.10e");  // at most six characters are kept
    EXPECT_STREQ(model.format(), "%12.10");
}

TEST(GridModel, ValidateTakesTheLeadingNumberOnly)
{
    CZuGridModel model;
    for (const char* good : {"2.5xyz", " 3", "-.5e-2", "1e5", "7.", "+4", "1e"})
        EXPECT_TRUE(model.Validate(good)) << good;
    for (const char* bad : {"", "   ", "abc", "xyz2.5", "inf", "nan", "-", ".", "1e999", "e5"})
        EXPECT_FALSE(model.Validate(bad)) << bad;
}

TEST(GridModel, ColumnPointers)
{
    double freq[] = {1.0, 10.0, 100.0};
    double data1[] = {5.0, 6.0, 7.0};
    CZuColumnModel model({freq, data1});
    EXPECT_DOUBLE_EQ(model.GetValue(2, 0), 100.0);
    EXPECT_DOUBLE_EQ(model.GetValue(1, 1), 6.0);
    model.SetText(1, 2, "-3.25");  // column 1, row 2
    EXPECT_DOUBLE_EQ(data1[2], -3.25);
    EXPECT_EQ(model.GetText(0, 1), "1.000000e+001");
    model.SetText(0, 0, "letters");  // refused text stores nothing
    EXPECT_DOUBLE_EQ(freq[0], 1.0);
}
