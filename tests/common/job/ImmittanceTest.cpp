#include "job/Immittance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

using namespace nosk;

TEST(Immittance, PiIsTheFifteenDigitValue)
{
    EXPECT_EQ(kPi, 3.14159265358979);
    EXPECT_NE(kPi, M_PI);
    double f[] = {1.0, 0.0};
    ToAngular(f, 2);
    EXPECT_EQ(f[0], 6.28318530717958);
    EXPECT_EQ(f[1], 0.0);
    ToOrdinary(f, 1);
    EXPECT_EQ(f[0], 6.28318530717958 / (kPi + kPi));
}

TEST(Immittance, RectangularToEachFormat)
{
    double x = 3, y = 4;
    FromRectangular('P', x, y);
    EXPECT_EQ(x, 5.0);
    EXPECT_EQ(y, std::atan2(4.0, 3.0));
    x = 3, y = 4;
    FromRectangular('D', x, y);
    EXPECT_NEAR(y, 53.13010235415598, 1e-12);
    EXPECT_EQ(y, std::atan2(4.0, 3.0) * (180.0 / 3.14159265358979));
    x = 3, y = 4;
    FromRectangular('L', x, y);
    EXPECT_EQ(x, std::log(5.0));
    EXPECT_NEAR(y, 0.9272952180016122, 1e-15);
    x = 3, y = 4;
    FromRectangular('R', x, y);
    FromRectangular('Q', x, y);
    EXPECT_EQ(x, 3.0);
    EXPECT_EQ(y, 4.0);
}

TEST(Immittance, EachFormatToRectangular)
{
    double a = 5, b = std::atan2(4.0, 3.0);
    ToRectangular('P', a, b);
    EXPECT_NEAR(a, 3, 1e-14);
    EXPECT_NEAR(b, 4, 1e-14);
    a = 2, b = 90;
    ToRectangular('D', a, b);
    EXPECT_EQ(b, 2 * std::sin((3.14159265358979 * 90.0) * 0.005555555555555556));
    EXPECT_NEAR(a, 0, 1e-13);
    a = std::log(2.0), b = 0;
    ToRectangular('L', a, b);
    EXPECT_NEAR(a, 2, 1e-15);
    EXPECT_EQ(b, 0);
}

TEST(Immittance, DegreesBeyondHalfTurnComeBackWrapped)
{
    // Every conversion passes through rectangular form.
    double a = 1, b = 270;
    ToRectangular('D', a, b);
    FromRectangular('P', a, b);
    EXPECT_NEAR(b, -3.14159265358979 / 2, 1e-14);
    EXPECT_NEAR(a, 1, 1e-15);
}

TEST(Immittance, ImpedanceToModulusAndEpsilon)
{
    double x = 1, y = 0;
    ChangeLevel('Z', 'M', x, y, 2.0, 1.0);
    EXPECT_EQ(x, -0.0);
    EXPECT_EQ(y, 2.0);
    x = 1, y = 0;
    ChangeLevel('Z', 'E', x, y, 1.0, 2.0);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, -0.5);
}

TEST(Immittance, EveryLevelPairRoundTrips)
{
    const char levels[] = "ZYME";
    for (char from : std::string(levels))
        for (char to : std::string(levels)) {
            double x = 3, y = -4;
            ChangeLevel(from, to, x, y, 12.5, 1e-3);
            ChangeLevel(to, from, x, y, 12.5, 1e-3);
            EXPECT_NEAR(x, 3, 1e-12) << from << to;
            EXPECT_NEAR(y, -4, 1e-12) << from << to;
        }
    double x = 3, y = 4;
    ChangeLevel('Z', 'Q', x, y, 1, 1);
    ChangeLevel('?', 'Y', x, y, 1, 1);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
}

TEST(Immittance, LevelChainsAgreeWithComplexArithmetic)
{
    // Y = 1/Z, M = jwC Z, E = 1/M.
    const double w = 7.0, c = 0.3;
    auto check = [&](char to, std::complex<double> expected) {
        double x = 2, y = -5;
        ChangeLevel('Z', to, x, y, w, c);
        EXPECT_NEAR(x, expected.real(), 1e-12) << to;
        EXPECT_NEAR(y, expected.imag(), 1e-12) << to;
    };
    const std::complex<double> z(2, -5), jwc(0, w * c);
    check('Y', 1.0 / z);
    check('M', jwc * z);
    check('E', 1.0 / (jwc * z));
    double x = 2, y = -5;
    ChangeLevel('Y', 'E', x, y, w, c);
    std::complex<double> e = 1.0 / (jwc / z);
    EXPECT_NEAR(x, e.real(), 1e-12);
    EXPECT_NEAR(y, e.imag(), 1e-12);
}

TEST(Immittance, ZeroValuesGiveNonFiniteResultsWithoutFailing)
{
    double x = 0, y = 0;
    ChangeLevel('Z', 'Y', x, y, 1, 1);
    EXPECT_FALSE(std::isfinite(x));
    x = 1, y = 1;
    ChangeLevel('M', 'Z', x, y, 0, 1);
    EXPECT_FALSE(std::isfinite(x) && std::isfinite(y));
    x = 0, y = 0;
    FromRectangular('L', x, y);
    EXPECT_TRUE(std::isinf(x));
}

TEST(Immittance, TransformArraysPointByPoint)
{
    std::vector<double> w = {1, 2}, a = {3, 1}, b = {4, 0};
    TransformArrays(w.data(), a.data(), b.data(), 2, 'Z', 'R', 'Y', 'P', 1e-6);
    double x = 3, y = 4;
    ChangeLevel('Z', 'Y', x, y, 1, 1e-6);
    FromRectangular('P', x, y);
    EXPECT_EQ(a[0], x);
    EXPECT_EQ(b[0], y);
    EXPECT_EQ(a[1], 1.0);
    EXPECT_EQ(b[1], 0.0);
}

TEST(Immittance, RealOnlyDataTakeTheMissingPartAsZero)
{
    std::vector<double> w = {1, 1, 1}, real = {2, 4, -0.5};
    TransformArrays(w.data(), real.data(), nullptr, 3, 'Z', 'R', 'Y', 'R', 1);
    EXPECT_EQ(real, (std::vector<double>{0.5, 0.25, -2}));
    std::vector<double> imag = {2};
    TransformArrays(w.data(), nullptr, imag.data(), 1, 'Z', 'R', 'Y', 'R', 1);
    EXPECT_EQ(imag[0], -0.5);
}

TEST(Immittance, TransformArraysDoesNothingWhenSameOrEmpty)
{
    std::vector<double> w = {1}, a = {3}, b = {4};
    TransformArrays(w.data(), a.data(), b.data(), 1, 'Z', 'R', 'Z', 'R', 1);
    TransformArrays(w.data(), nullptr, nullptr, 1, 'Z', 'R', 'Y', 'P', 1);
    EXPECT_EQ(a[0], 3);
    // A format change alone needs no frequencies.
    TransformArrays(nullptr, a.data(), b.data(), 1, 'Z', 'R', 'Z', 'P', 1);
    EXPECT_EQ(a[0], 5);
}

TEST(Immittance, FrequencyConversionsChooseTheDirection)
{
    std::vector<double> f = {1, 2};
    ConvertFrequencies(false, false, f.data(), 2);
    EXPECT_EQ(f[0], 1);
    ConvertFrequencies(false, true, f.data(), 2);
    EXPECT_EQ(f[1], (kPi * 2) * 2);
    ConvertFrequencies(true, false, f.data(), 2);
    EXPECT_NEAR(f[1], 2, 1e-15);
    ToAngular(f.data(), 0);
    ToAngular(f.data(), -3);
    EXPECT_NEAR(f[0], 1, 1e-15);
}

TEST(Immittance, ConvertArraysCopiesAsRectangular)
{
    std::vector<double> mag = {2, 1}, deg = {90, 180}, x(2), y(2);
    ConvertArrays('D', mag.data(), deg.data(), x.data(), y.data(), 2);
    EXPECT_NEAR(x[0], 0, 1e-13);
    EXPECT_NEAR(y[0], 2, 1e-13);
    EXPECT_NEAR(x[1], -1, 1e-13);
    EXPECT_EQ(deg[0], 90);  // the input stays
    ConvertArrays('R', mag.data(), nullptr, x.data(), y.data(), 2);
    EXPECT_EQ(y, (std::vector<double>{0, 0}));
    EXPECT_EQ(x, mag);
}
