#include "results/AuxpntlReader.h"

#include "core/Exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using nosk::AuxpntlFitColumns;

namespace {

// One row as the engine prints it: %5d and five %15.7E numbers.
std::string row(int point, double a, double b, double c, double d, double e)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%5d%15.7E%15.7E%15.7E%15.7E%15.7E", point, a, b, c, d, e);
    return buffer;
}

struct Columns {
    explicit Columns(std::size_t n) : v(8, std::vector<double>(n, -99.0)) {}
    AuxpntlFitColumns all()
    {
        return {v[0].data(), v[1].data(), v[2].data(), v[3].data(), v[4].data(), v[5].data(), v[6].data(), v[7].data()};
    }
    std::vector<std::vector<double>> v;  // obs1 model1 extra1a extra1b obs2 model2 extra2a extra2b
};

std::string failureOf(const std::string& text, char dattyp, std::size_t count)
{
    Columns c(count);
    std::istringstream in(text);
    try {
        nosk::readAuxpntlFit(in, dattyp, count, c.all());
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "no failure";
}

// An earlier table (iteration 0) and the final one, complex data, three points.
std::string twoTables(const char* eol)
{
    std::string t;
    auto add = [&](const std::string& line) { t += line + eol; };
    add("  NOSKWIN point by point results");
    add("  OBSERVED VARIABLES AT START");
    add("   NO       OBSERVED          MODEL          SIGMA       RESIDUAL    REL. RESIDUAL");
    for (int k = 1; k <= 3; ++k) {
        add(row(k, 9, 9, 9, 9, 9));
        add(row(k, 9, 9, 9, 9, 9));
    }
    add("");
    add("  FINAL OBSERVED VARIABLES");
    add("   NO       OBSERVED          MODEL          SIGMA       RESIDUAL    REL. RESIDUAL");
    for (int k = 1; k <= 3; ++k) {
        add(row(k, 10.0 * k, 10.0 * k + 0.5, 1.0, -0.5, -0.05 * k));
        add(row(k, -2.0 * k, -2.0 * k - 0.25, 1.0, 0.25, 0.01 * k));
    }
    add("  END");
    return t;
}

} // namespace

class AuxpntlLineEnds : public testing::TestWithParam<const char*> {};

TEST_P(AuxpntlLineEnds, FitTakesTheLastOfTwoTables)
{
    Columns c(3);
    std::istringstream in(twoTables(GetParam()));
    nosk::readAuxpntlFit(in, 'C', 3, c.all());
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const int p = k + 1;
        EXPECT_DOUBLE_EQ(c.v[0][k], 10.0 * p);
        EXPECT_DOUBLE_EQ(c.v[1][k], 10.0 * p + 0.5);
        EXPECT_DOUBLE_EQ(c.v[2][k], -0.5);
        EXPECT_DOUBLE_EQ(c.v[3][k], -0.05 * p);
        EXPECT_DOUBLE_EQ(c.v[4][k], -2.0 * p);
        EXPECT_DOUBLE_EQ(c.v[5][k], -2.0 * p - 0.25);
        EXPECT_DOUBLE_EQ(c.v[6][k], 0.25);
        EXPECT_DOUBLE_EQ(c.v[7][k], 0.01 * p);
    }
}

TEST_P(AuxpntlLineEnds, ModelDataAfterExactHeading)
{
    std::string eol = GetParam();
    std::string text = "  simulation" + eol + "MODEL DATA -- FREQUENCY, REAL, IMAGINARY" + eol
        + "  1.0000000E+02  5.0000000E+01 -2.5000000E+01" + eol
        + "  1.0000000E+03  4.0000000E+01 -1.2500000E+01";  // last line unterminated
    std::vector<double> m1(2, 0), m2(2, 0);
    std::istringstream in(text);
    nosk::readAuxpntlModel(in, 2, m1.data(), m2.data());
    EXPECT_DOUBLE_EQ(m1[0], 50);
    EXPECT_DOUBLE_EQ(m2[0], -25);
    EXPECT_DOUBLE_EQ(m1[1], 40);
    EXPECT_DOUBLE_EQ(m2[1], -12.5);
}

INSTANTIATE_TEST_SUITE_P(CrLfAndLf, AuxpntlLineEnds, testing::Values("\r\n", "\n"));

TEST(AuxpntlReader, RealOrImaginaryDataHaveOneRowPerPoint)
{
    std::string text = "OBSERVED VARIABLES\nheading\n" + row(1, 1, 2, 3, 4, 5) + "\n" + row(2, 6, 7, 8, 9, 10) + "\n";
    {
        std::vector<double> obs1(2), model1(2), a(2), b(2);
        AuxpntlFitColumns c;
        c.obs1 = obs1.data();
        c.model1 = model1.data();
        c.extra1a = a.data();
        c.extra1b = b.data();
        std::istringstream in(text);
        nosk::readAuxpntlFit(in, 'R', 2, c);
        EXPECT_EQ(obs1, (std::vector<double>{1, 6}));
        EXPECT_EQ(model1, (std::vector<double>{2, 7}));
        EXPECT_EQ(a, (std::vector<double>{4, 9}));
        EXPECT_EQ(b, (std::vector<double>{5, 10}));
    }
    {
        std::vector<double> obs2(2), model2(2), a(2), b(2);
        AuxpntlFitColumns c;
        c.obs2 = obs2.data();
        c.model2 = model2.data();
        c.extra2a = a.data();
        c.extra2b = b.data();
        std::istringstream in(text);
        nosk::readAuxpntlFit(in, 'I', 2, c);
        EXPECT_EQ(obs2, (std::vector<double>{1, 6}));
        EXPECT_EQ(b, (std::vector<double>{5, 10}));
    }
}

TEST(AuxpntlReader, ShortRowLeavesMissingValuesAsTheyWere)
{
    Columns c(1);
    std::istringstream in("OBSERVED VARIABLES\nheading\n    1  1.5E+00  2.5E+00  x\n    1  3.0E+00\n");
    nosk::readAuxpntlFit(in, 'C', 1, c.all());
    EXPECT_EQ(c.v[0][0], 1.5);
    EXPECT_EQ(c.v[1][0], 2.5);
    EXPECT_EQ(c.v[2][0], -99.0);
    EXPECT_EQ(c.v[3][0], -99.0);
    EXPECT_EQ(c.v[4][0], 3.0);
    EXPECT_EQ(c.v[5][0], -99.0);
}

TEST(AuxpntlReader, FitFailures)
{
    EXPECT_EQ(failureOf("no table here\r\n", 'C', 1), "File AUXPNTL has an error! Can't find results.");
    EXPECT_EQ(failureOf("", 'C', 1), "File AUXPNTL has an error! Can't find results.");
    // A table that ends early: three points need six rows after the heading.
    std::string text = "OBSERVED VARIABLES\nheading\n";
    for (int i = 0; i < 5; ++i)
        text += row(1, 1, 2, 3, 4, 5) + "\n";
    EXPECT_EQ(failureOf(text, 'C', 3), "File AUXPNTL has an error! Too few result rows.");
    EXPECT_EQ(failureOf(text + row(3, 1, 2, 3, 4, 5), 'C', 3), "no failure");
}

TEST(AuxpntlReader, ModelHeadingMustBeTheWholeLine)
{
    std::vector<double> m1(1), m2(1);
    auto failure = [&](const std::string& text) -> std::string {
        std::istringstream in(text);
        try {
            nosk::readAuxpntlModel(in, 1, m1.data(), m2.data());
        } catch (const nosk::exception& e) {
            return e.what();
        }
        return "no failure";
    };
    EXPECT_EQ(failure("MODEL DATA -- FREQUENCY, REAL, IMAGINARY \n1 2 3\n"), "File AUXPNTL error! Can't find results!");
    EXPECT_EQ(failure(" MODEL DATA -- FREQUENCY, REAL, IMAGINARY\n1 2 3\n"), "File AUXPNTL error! Can't find results!");
    EXPECT_EQ(failure("MODEL DATA -- FREQUENCY, REAL, IMAGINARY\n"), "File AUXPNTL error! Too few model data lines!");
    EXPECT_EQ(failure("MODEL DATA -- FREQUENCY, REAL, IMAGINARY\r\n1E2 2E1 -3e-1\r\n"), "no failure");
    EXPECT_EQ(m1[0], 20);
    EXPECT_EQ(m2[0], -0.3);
}
