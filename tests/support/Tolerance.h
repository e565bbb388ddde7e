#pragma once

// One relative tolerance for every numeric test:
//   EXPECT_REL_NEAR(actual, expected, rel)   |actual - expected| <= rel * |expected|
//   EXPECT_REL_NEAR_FLOOR(actual, expected, rel, floor)
//                                            |actual - expected| <= rel * max(|expected|, floor)
// The floor form is for values that may pass through zero: below `floor` the
// bound stops shrinking. Values may be real or complex (|.| is then the
// modulus). A NaN or an infinity on either side always fails. The failure
// message gives both values, their difference, the bound and the relative
// error.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <sstream>
#include <string>

namespace nosk::test {

// The bound the macros use.
template <class E>
double relBound(const E& expected, double rel, double floor = 0.0)
{
    return rel * std::max(static_cast<double>(std::abs(expected)), floor);
}

// |actual - expected| / |expected|, the size of the difference where expected is 0.
template <class A, class E>
double relError(const A& actual, const E& expected)
{
    const double diff = std::abs(actual - expected);
    const double scale = std::abs(expected);
    return scale != 0 ? diff / scale : diff;
}

template <class A, class E>
bool relNear(const A& actual, const E& expected, double rel, double floor = 0.0)
{
    const double diff = std::abs(actual - expected);
    return std::isfinite(diff) && diff <= relBound(expected, rel, floor);
}

template <class A, class E>
::testing::AssertionResult assertRelNearFloor(const char* actualText, const char* expectedText, const char* relText,
                                              const char* floorText, const A& actual, const E& expected, double rel,
                                              double floor)
{
    if (relNear(actual, expected, rel, floor))
        return ::testing::AssertionSuccess();
    std::ostringstream rule;
    rule << relText << " * ";
    if (floorText)
        rule << "max(|" << expectedText << "|, " << floorText << ")";
    else
        rule << "|" << expectedText << "|";
    std::ostringstream numbers;
    numbers.precision(17);
    numbers << actual << " vs " << expected;
    numbers.precision(3);
    numbers << ": difference " << std::abs(actual - expected) << ", bound " << relBound(expected, rel, floor)
            << ", relative error " << relError(actual, expected);
    return ::testing::AssertionFailure() << actualText << " is not within " << rule.str() << " of " << expectedText
                                         << "\n  " << numbers.str();
}

template <class A, class E>
::testing::AssertionResult assertRelNear(const char* actualText, const char* expectedText, const char* relText,
                                         const A& actual, const E& expected, double rel)
{
    return assertRelNearFloor(actualText, expectedText, relText, nullptr, actual, expected, rel, 0.0);
}

} // namespace nosk::test

#define EXPECT_REL_NEAR(actual, expected, rel) \
    EXPECT_PRED_FORMAT3(::nosk::test::assertRelNear, actual, expected, rel)
#define ASSERT_REL_NEAR(actual, expected, rel) \
    ASSERT_PRED_FORMAT3(::nosk::test::assertRelNear, actual, expected, rel)
#define EXPECT_REL_NEAR_FLOOR(actual, expected, rel, floor) \
    EXPECT_PRED_FORMAT4(::nosk::test::assertRelNearFloor, actual, expected, rel, floor)
#define ASSERT_REL_NEAR_FLOOR(actual, expected, rel, floor) \
    ASSERT_PRED_FORMAT4(::nosk::test::assertRelNearFloor, actual, expected, rel, floor)
