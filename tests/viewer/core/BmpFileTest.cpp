#include "BmpFile.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;

namespace {
std::uint32_t le32(const std::string& s, int off)
{
    return std::uint32_t((unsigned char)s[off]) | std::uint32_t((unsigned char)s[off + 1]) << 8
           | std::uint32_t((unsigned char)s[off + 2]) << 16 | std::uint32_t((unsigned char)s[off + 3]) << 24;
}
int le16(const std::string& s, int off) { return (unsigned char)s[off] | ((unsigned char)s[off + 1] << 8); }
} // namespace

TEST(BmpFile, ThirtyTwoBitFileHasNoColourTable)
{
    test::TempWorkDir dir;
    // 3 x 2 image: top row red, green, blue; bottom row white.
    std::vector<std::uint32_t> px = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    WriteBmpFile("a.bmp", 3, 2, px.data(), 3);
    std::string f = test::readAll("a.bmp");
    ASSERT_EQ(f.size(), 54u + 24u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(le32(f, 2), 78u);       // total size
    EXPECT_EQ(le32(f, 6), 0u);        // reserved
    EXPECT_EQ(le32(f, 10), 54u);      // bits at byte 54
    EXPECT_EQ(le32(f, 14), 40u);      // information header size
    EXPECT_EQ(le32(f, 18), 3u);
    EXPECT_EQ(le32(f, 22), 2u);
    EXPECT_EQ(le16(f, 26), 1);        // planes
    EXPECT_EQ(le16(f, 28), 32);       // bit count
    EXPECT_EQ(le32(f, 30), 0u);       // no compression
    EXPECT_EQ(le32(f, 34), 24u);      // image size
    EXPECT_EQ(le32(f, 46), 0u);       // colours used
    EXPECT_EQ(le32(f, 50), 0u);       // important colours
    // bottom-up: the first stored row is the white one; then red as B,G,R,0
    EXPECT_EQ((unsigned char)f[54], 0xFF);
    EXPECT_EQ((unsigned char)f[54 + 12 + 0], 0x00);
    EXPECT_EQ((unsigned char)f[54 + 12 + 2], 0xFF);
    EXPECT_EQ((unsigned char)f[54 + 12 + 3], 0x00);
}

TEST(BmpFile, DepthRoundingAndPaddedRows)
{
    EXPECT_EQ(bmpColorDepth(1, 1), 1);
    EXPECT_EQ(bmpColorDepth(1, 2), 4);
    EXPECT_EQ(bmpColorDepth(3, 5), 16);
    EXPECT_EQ(bmpColorDepth(1, 24), 24);
    EXPECT_EQ(bmpColorDepth(1, 30), 32);
    EXPECT_EQ(bmpImageSize(3, 2, 24), 24u);  // 9 bytes padded to 12 per row
    EXPECT_EQ(bmpImageSize(5, 1, 1), 4u);
    auto h = bmpHeaders(2, 2, 8);
    std::string s(h.begin(), h.end());
    EXPECT_EQ(le32(s, 10), 14u + 40u + 1024u);  // colour table of 256 entries
    EXPECT_EQ(le32(s, 46), 256u);
}

TEST(BmpFile, FailureIsNamedAndLeavesNoFile)
{
    test::TempWorkDir dir;
    std::uint32_t px = 0;
    try {
        WriteBmpFile("no/such/folder/a.bmp", 1, 1, &px, 1);
        FAIL() << "no error";
    } catch (const BmpError& err) {
        EXPECT_EQ(err.step(), "CreateFile");
        EXPECT_EQ(std::string(err.what()), "Error of CreateFile.\nError code " + std::to_string(err.code()) + ".");
    }
    EXPECT_FALSE(std::filesystem::exists("no/such/folder/a.bmp"));
}
