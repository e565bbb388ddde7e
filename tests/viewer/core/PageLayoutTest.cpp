#include "GraphPageLayout.h"
#include "ImageLayout.h"

#include <gtest/gtest.h>

using namespace nosk;

namespace {
std::optional<LayoutRect> sz(int w, int h) { return LayoutRect{0, 0, w, h}; }
using S = std::array<std::optional<LayoutRect>, 4>;
constexpr std::nullopt_t no = std::nullopt;
}

TEST(PrinterLayout, SingleGraphEnlargedIntoBottomRightCorner)
{
    auto r = printerLayout(S{sz(400, 300), no, no, no}, 4800, 6600);
    ASSERT_TRUE(r[0]);
    EXPECT_EQ(*r[0], (LayoutRect{0, 6600 - 3600, 4800, 6600}));  // 12 times
    EXPECT_FALSE(r[1]);
}

TEST(PrinterLayout, PageSmallerThanGraphGivesEmptyRect)
{
    auto r = printerLayout(S{sz(400, 300), no, no, no}, 300, 300);
    ASSERT_TRUE(r[0]);
    EXPECT_EQ(r[0]->width(), 0);
    EXPECT_EQ(r[0]->height(), 0);
}

TEST(PrinterLayout, TwoThreeAndFourGraphs)
{
    // two graphs: each fits W x H/2 = 4800 x 3300: factor 11 -> 4400 x 3300
    auto two = printerLayout(S{sz(400, 300), sz(400, 300), no, no}, 4800, 6600);
    const int m = 3300 / 12;
    EXPECT_EQ(*two[0], (LayoutRect{200, m, 4600, m + 3300}));
    EXPECT_EQ(*two[1], (LayoutRect{200, 2 * m + 3300, 4600, 2 * m + 6600}));

    // four graphs: each fits 2400 x 3300: factor 6 -> 2400 x 1800
    auto four = printerLayout(S{sz(400, 300), sz(400, 300), sz(400, 300), sz(400, 300)}, 4800, 6600);
    const int m4 = 1800 / 12;
    EXPECT_EQ(*four[0], (LayoutRect{0, m4, 2400, m4 + 1800}));
    EXPECT_EQ(*four[1], (LayoutRect{0, 2 * m4 + 1800, 2400, 2 * m4 + 3600}));
    EXPECT_EQ(*four[2], (LayoutRect{2400, m4, 4800, m4 + 1800}));
    EXPECT_EQ(*four[3], (LayoutRect{2400, 2 * m4 + 1800, 4800, 2 * m4 + 3600}));

    // three graphs: the first in the left half at the top, 3 top right, 4 below on its bottom
    // (the left graph is twice as high as the right ones, as on a three-graph page)
    auto three = printerLayout(S{no, sz(400, 600), sz(400, 300), sz(400, 300)}, 4800, 6600);
    EXPECT_EQ(*three[1], (LayoutRect{0, 0, 2400, 3600}));
    EXPECT_EQ(*three[2], (LayoutRect{2400, 0, 4800, 1800}));
    EXPECT_EQ(*three[3], (LayoutRect{2400, 1800, 4800, 3600}));
}

TEST(ImageLayout, SizesOfTheSavedImage)
{
    auto one = imageLayout(S{sz(300, 300), no, no, no});
    EXPECT_EQ(one.width, 600);
    EXPECT_EQ(one.height, 600);
    EXPECT_EQ(*one.rects[0], (LayoutRect{0, 0, 600, 600}));

    auto four = imageLayout(S{sz(400, 300), sz(400, 300), sz(400, 300), sz(400, 300)});
    EXPECT_EQ(four.width, 816);
    EXPECT_EQ(four.height, 648);
    EXPECT_EQ(*four.rects[3], (LayoutRect{416, 348, 816, 648}));

    auto two = imageLayout(S{sz(400, 300), sz(400, 300), no, no});
    EXPECT_EQ(two.width, 400);
    EXPECT_EQ(two.height, 648);

    auto three = imageLayout(S{sz(400, 600), no, sz(400, 300), sz(400, 300)});
    EXPECT_EQ(*three.rects[2], (LayoutRect{416, 24, 816, 324}));
    EXPECT_EQ(*three.rects[3], (LayoutRect{416, 324, 816, 624}));
    EXPECT_EQ(three.width, 816);
    EXPECT_EQ(three.height, 624);

    EXPECT_EQ(imageLayout(S{}).width, 0);
}

TEST(GraphPageLayout, VariantsAndMargins)
{
    const LayoutRect client{0, 0, 800, 600};
    auto four = graphPageGroups({true, true, true, true}, client);
    EXPECT_EQ(*four[0], (LayoutRect{3, 3, 398, 298}));
    EXPECT_EQ(*four[1], (LayoutRect{3, 302, 398, 596}));
    EXPECT_EQ(*four[2], (LayoutRect{402, 3, 797, 298}));
    EXPECT_EQ(*four[3], (LayoutRect{402, 302, 797, 596}));

    auto three = graphPageGroups({false, true, true, true}, client);
    EXPECT_FALSE(three[0]);
    EXPECT_EQ(*three[1], (LayoutRect{3, 3, 398, 596}));

    auto two = graphPageGroups({true, true, false, false}, client);
    EXPECT_EQ(*two[0], (LayoutRect{200, 3, 600, 298}));

    auto one = graphPageGroups({true, false, false, false}, client);
    EXPECT_EQ(*one[0], (LayoutRect{50, 3, 750, 596}));

    EXPECT_EQ(graphNormalRect(LayoutRect{3, 3, 398, 298}, 16), (LayoutRect{9, 20, 392, 292}));
    EXPECT_EQ(groupAroundGraph(LayoutRect{9, 20, 392, 292}, 16), (LayoutRect{3, 3, 398, 298}));
    EXPECT_EQ(graphEnlargedRect(client, 16), (LayoutRect{9, 19, 791, 590}));
}
