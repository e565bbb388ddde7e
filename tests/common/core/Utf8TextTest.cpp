#include "core/CsvText.h"
#include "core/Utf8Text.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>
#include <random>
#include <string>

using namespace nosk;

namespace {

// The C library's converter as the reference: `text` from `from` to UTF-8;
// nothing when it refuses a byte.
std::optional<std::string> iconvToUtf8(const std::string& text, const char* from)
{
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == iconv_t(-1))
        return std::nullopt;
    std::string in = text, out(text.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == std::size_t(-1))
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

// Text in Windows-1252 (a header's "µ" or "°" in one byte) comes out as the
// C library converts it; text that is UTF-8 already stays byte for byte;
// any bytes at all come out as UTF-8 that the C library accepts.
TEST(Utf8Text, ConvertsWindows1252AndKeepsUtf8AsTheCLibraryDoes)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> anyByte(1, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string cp1252;
        for (int i = 0; i < 12; ++i) {
            const int b = anyByte(rng);
            if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
                continue;  // no character in Windows-1252
            // Runs that happen to be UTF-8 are kept as UTF-8, not converted:
            // only single high bytes between ASCII ones are compared.
            cp1252 += char(b);
            cp1252 += 'a';
        }
        const auto reference = iconvToUtf8(cp1252, "CP1252");
        ASSERT_TRUE(reference);
        EXPECT_EQ(validUtf8(cp1252), *reference) << round;
        // Already UTF-8: unchanged.
        EXPECT_EQ(validUtf8(*reference), *reference);

        std::string bytes;
        for (int i = 0; i < 16; ++i)
            bytes += char(anyByte(rng));
        const std::string converted = validUtf8(bytes);
        EXPECT_TRUE(iconvToUtf8(converted, "UTF-8")) << round;
    }
    // Forms UTF-8 does not allow: overlong, a surrogate, beyond U+10FFFF, cut short.
    for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
        EXPECT_TRUE(iconvToUtf8(validUtf8(bad), "UTF-8")) << bad;
    EXPECT_EQ(validUtf8("Z'/\xB5Ohm, T/\xB0""C"), "Z'/\xC2\xB5Ohm, T/\xC2\xB0""C");
    EXPECT_EQ(validUtf8("\x81"), "\xEF\xBF\xBD");
    // The CSV tables' text cells.
    EXPECT_EQ(csvTextCell("-\xB5m, 2"), "\"'-\xC2\xB5m, 2\"");
}
