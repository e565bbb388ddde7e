// The engine's E-form numbers against the C library's printf, which wrote
// them before: the same bytes for values of every size and kind (ties that
// round to even, subnormals, signed zeros, the largest doubles) at every
// width and number of digits the files use and beyond.
#include "engine/TextFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using nosk::engine::eFormat;

TEST(TextFile, EFormatIsPrintfsEForm)
{
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.5, 2.5, 1.25, 0.125, 9.5, 9.95, 0.05, 1e-5,
        99999.5, 1.0 / 3, -2.0 / 3, 1e300, -1e-300, std::numeric_limits<double>::max(),
        std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(), 4.9406564584124654e-324,
        1.7976931348623157e308, 123456789012345678.0, 0.1, 0.2, 0.3};
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> exponent(-320, 308), mantissa(-1, 1);
    for (int i = 0; i < 4000; ++i)
        values.push_back(mantissa(rng) * std::pow(10.0, exponent(rng)));
    // Exact midpoints between kept digits (binary fractions with few digits),
    // and values a few ulps beside them and beside rounding carries (9.5, 99.95).
    std::uniform_int_distribution<int> whole(1, 1 << 20), shift(1, 30);
    for (int i = 0; i < 3000; ++i) {
        const double tie = std::ldexp(2.0 * whole(rng) + 1, -shift(rng));
        values.insert(values.end(), {tie, -tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)});
    }
    for (double nines : {9.5, 99.95, 9.9999995, 0.99999999999995, 999999.5})
        values.insert(values.end(), {nines, std::nextafter(nines, 0.0), std::nextafter(nines, 1e300)});
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 2000; ++i) {
        const std::uint64_t b = bits(rng);
        double v;
        std::memcpy(&v, &b, sizeof v);
        if (std::isfinite(v))
            values.push_back(v);
    }
    int compared = 0;
    for (double v : values)
        for (int width : {0, 10, 12, 14, 15, 20, 24})
            for (int digits : {0, 1, 2, 4, 5, 7, 8, 12, 13, 14, 15, 17, 20}) {
                char expected[96];
                std::snprintf(expected, sizeof expected, "%*.*E", width, digits, v);
                ASSERT_EQ(eFormat(v, width, digits), expected) << v << " width " << width << " digits " << digits;
                ++compared;
            }
    EXPECT_GT(compared, 1000000);
}
