#include "GraphSettings.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace nosk;

TEST(GraphSettings, DefaultsAndByteLayout)
{
    GraphSettings s;
    auto b = s.toBytes();
    ASSERT_EQ(b.size(), 320u);
    auto i32 = [&](int off) {
        return std::int32_t(b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) | (b[off + 3] << 24));
    };
    auto f64 = [&](int off) {
        std::uint64_t u = 0;
        for (int k = 0; k < 8; ++k)
            u |= std::uint64_t(b[off + k]) << (8 * k);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    };
    // graph 1: red dots, blue line
    EXPECT_EQ(i32(0), 255);
    EXPECT_EQ(i32(4), 2);
    EXPECT_EQ(i32(8), 16711680);
    EXPECT_EQ(i32(12), 1);
    // graphs 3 and 4: line+dot both
    EXPECT_EQ(i32(32 + 4), 3);
    EXPECT_EQ(i32(48 + 12), 3);
    // graph 1 horizontal: auto, log, 0.01 .. 1000
    EXPECT_EQ(i32(80), 1);
    EXPECT_EQ(i32(84), 1);
    EXPECT_DOUBLE_EQ(f64(88), 0.01);
    EXPECT_DOUBLE_EQ(f64(96), 1000.0);
    // graph 1 vertical: auto, linear, 0 .. 1000
    EXPECT_EQ(i32(104), 1);
    EXPECT_EQ(i32(108), 0);
    EXPECT_DOUBLE_EQ(f64(112), 0.0);
    // graph 5 horizontal is linear
    EXPECT_EQ(i32(80 + 4 * 48 + 4), 0);
    EXPECT_DOUBLE_EQ(f64(80 + 4 * 48 + 8), 0.0);
}

TEST(GraphSettings, FileRoundTripAndShortFile)
{
    test::TempWorkDir dir;
    GraphSettings s;
    s.traces[2].color2 = 0x123456;
    s.axes[4].vertical = {0, 1, -3.5, 7.25};
    ASSERT_TRUE(s.save());
    EXPECT_EQ(test::readAll("NOSKVIEW.OPT").size(), 320u);

    GraphSettings r;
    ASSERT_TRUE(r.load());
    EXPECT_EQ(r.toBytes(), s.toBytes());

    // A short file overwrites only what it holds.
    std::string bytes = test::readAll("NOSKVIEW.OPT").substr(0, 4);
    bytes[0] = 7;
    test::writeAll("NOSKVIEW.OPT", bytes);
    GraphSettings t;
    ASSERT_TRUE(t.load());
    EXPECT_EQ(t.traces[0].color1, 7);
    EXPECT_EQ(t.traces[0].style1, 2);

    GraphSettings missing;
    EXPECT_FALSE(missing.load("nothing.opt"));
    EXPECT_EQ(missing.toBytes(), GraphSettings().toBytes());
}

TEST(GraphSettings, ColourConversion)
{
    EXPECT_EQ(storedColorToRgb(255), 0xFF0000u);
    EXPECT_EQ(storedColorToRgb(16711680), 0x0000FFu);
    EXPECT_EQ(rgbToStoredColor(0x112233), 0x332211);
}
