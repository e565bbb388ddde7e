#include "support/Tolerance.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>

namespace {

using nosk::test::relNear;

TEST(Tolerance, FailsJustOutsideTheBoundWithBothValuesInTheMessage)
{
    EXPECT_REL_NEAR(1.0 + 0.9e-9, 1.0, 1e-9);
    EXPECT_REL_NEAR(-2.0 - 1.8e-9, -2.0, 1e-9);  // the bound scales with |expected|
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR(1.0 + 1.1e-9, 1.0, 1e-9), "1.0000000011000001 vs 1");
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR(-2.0 - 2.2e-9, -2.0, 1e-9), "is not within 1e-9 * |-2.0| of -2.0");
    EXPECT_FATAL_FAILURE(ASSERT_REL_NEAR(3.0, 4.0, 0.2), "relative error 0.25");
    // Zero expected leaves no room; the floor gives some.
    EXPECT_REL_NEAR(0.0, 0.0, 1e-12);
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR(1e-300, 0.0, 1e-12), "bound 0");
    EXPECT_REL_NEAR_FLOOR(0.9e-12, 0.0, 1e-12, 1.0);
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR_FLOOR(1.1e-12, 0.0, 1e-12, 1.0), "max(|0.0|, 1.0)");
    EXPECT_REL_NEAR_FLOOR(5.0 + 4e-12, 5.0, 1e-12, 1.0);  // above the floor the bound is relative again
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR_FLOOR(5.0 + 6e-12, 5.0, 1e-12, 1.0), "bound 5e-12");
}

TEST(Tolerance, NanAndInfinityNeverPass)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(relNear(nan, 1.0, 1.0));
    EXPECT_FALSE(relNear(1.0, nan, 1.0));
    EXPECT_FALSE(relNear(nan, nan, 1.0));
    EXPECT_FALSE(relNear(inf, inf, 1.0));  // inf - inf is NaN
    EXPECT_FALSE(relNear(1.0, inf, 1.0));
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR(nan, 1.0, 1.0), "nan vs 1");
}

TEST(Tolerance, ComplexValuesUseTheModulus)
{
    const std::complex<double> z(3, -4);  // |z| = 5
    EXPECT_REL_NEAR(z + std::complex<double>(0, 4.9e-9), z, 1e-9);
    EXPECT_NONFATAL_FAILURE(EXPECT_REL_NEAR(z + std::complex<double>(3e-9, 4e-9), z, 0.99e-9), "(3,-4)");
    EXPECT_DOUBLE_EQ(nosk::test::relError(std::complex<double>(3, 4), std::complex<double>(0, 5)),
                     std::sqrt(10.0) / 5);
}

// The forms the tests used before all accept whatever this one accepts:
// rel * |b|, rel * max(|a|, |b|), |a / b - 1| <= rel and rel * max(1, |b|) for
// the floor form. Random values at and around the bound, over many scales.
TEST(Tolerance, NeverLooserThanTheFormsItReplaced)
{
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(-1, 1);
    int accepted = 0;
    for (int n = 0; n < 200000; ++n) {
        const double b = unit(random) * std::pow(10.0, 40 * unit(random));
        const double rel = std::pow(10.0, -1 - 14 * std::abs(unit(random)));
        const double a = b + b * rel * (1 + 0.01 * unit(random)) * (unit(random) < 0 ? -1 : 1);
        if (relNear(a, b, rel)) {
            ++accepted;
            ASSERT_LE(std::abs(a - b), rel * std::abs(b)) << a << " " << b << " " << rel;
            ASSERT_LE(std::abs(a - b), rel * std::max(std::abs(a), std::abs(b))) << a << " " << b << " " << rel;
            // up to the rounding of the quotient
            ASSERT_LE(std::abs(a / b - 1), rel + 2 * std::numeric_limits<double>::epsilon()) << a << " " << b;
        }
        if (relNear(a, b, rel, 1.0)) {
            ASSERT_LE(std::abs(a - b), rel * std::max(1.0, std::abs(b))) << a << " " << b << " " << rel;
        }
    }
    // Both sides of the bound were reached.
    EXPECT_GT(accepted, 20000);
    EXPECT_LT(accepted, 180000);
}

} // namespace
