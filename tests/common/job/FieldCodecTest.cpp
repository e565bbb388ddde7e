#include "core/Exception.h"
#include "job/FieldCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace nosk;

namespace {

// The message a read fails with, or "" when it succeeds.
template <class F>
std::string failure(F&& read)
{
    try {
        read();
    } catch (const exception& e) {
        return e.what();
    }
    return "";
}

// The D field as the engine's old writer made it through printf, step by step.
std::string referenceD(double value, int width, int digits)
{
    char format[32], text[128];
    std::snprintf(format, sizeof format, "%%+.%iE", digits - 1);
    std::snprintf(text, sizeof text, format, value);
    if (text[0] == '+')
        text[0] = ' ';
    char* e = std::strchr(text, 'E');
    *e = '\0';
    char* point = std::strchr(text, '.');
    std::swap(point[0], point[-1]);
    int exponent = std::atoi(e + 1);
    if (point[0] != '0')  // the digit now right after the point
        exponent += 1;
    char exponentText[16];
    std::snprintf(exponentText, sizeof exponentText, "%+.2i", exponent);
    std::snprintf(format, sizeof format, "%%%isD%%s", width - 4);
    char out[160];
    std::snprintf(out, sizeof out, format, text, exponentText);
    return out;
}

std::string D(double value, int width, int digits)
{
    std::string s;
    return writeD(s, value, width, digits);
}

std::string I(int value, int width)
{
    std::string s;
    return writeInt(s, value, width);
}

} // namespace

TEST(ReadField, IntegerFieldStopsAtItsWidth)
{
    int value = -1;
    std::string_view rest = readField("   12xyz", 'i', 5, &value, "IOPT");
    EXPECT_EQ(value, 12);
    EXPECT_EQ(rest, "xyz");
}

TEST(ReadField, IntegerWithInnerBlankFailsNamingTheField)
{
    int value = -1;
    EXPECT_EQ(failure([&] { readField("  1 2", 'i', 5, &value, "MAXFEV"); }),
              "MAXFEV. Wrong integer! '  1 2'");
    EXPECT_EQ(value, 1);  // the leading part is stored before the failure
    EXPECT_EQ(failure([&] { readField("x", 'i', 1, &value, FieldName("NFREE", 3)); }),
              "NFREE[3]. Wrong integer! 'x'");
    EXPECT_EQ(failure([&] { readField("  -", 'i', 5, &value, "N"); }), "N. Wrong integer! '  -'");
}

TEST(ReadField, IntegerSignsBlanksAndRange)
{
    const std::pair<const char*, int> good[] = {
        {"  -12", -12}, {"  +7 ", 7}, {"     ", 0}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
    };
    for (const auto& [text, expected] : good) {
        int value = -1;
        readField(text, 'i', static_cast<int>(std::strlen(text)), &value, "M");
        EXPECT_EQ(value, expected) << text;
    }
    // Beyond 32 bits is no number the engine could mean. Eleven digits and
    // more whose first ten read 2147483648 once came back as INT_MIN.
    for (const char* text : {"9999999999", "-21474836480", "-2147483648999", "2147483648"}) {
        int value = 0;
        EXPECT_EQ(failure([&] { readField(text, 'i', static_cast<int>(std::strlen(text)), &value, "IPAR"); }),
                  std::string("IPAR. Wrong integer! '") + text + "'");
    }
}

TEST(ReadField, DoubleWithDExponentAndBlankSign)
{
    const std::pair<const char*, double> cases[] = {
        {"1.5D 03", 1500.0}, {" .8854D-13", 0.8854e-13}, {"-.5000000000000D+00", -0.5},
        {"  2.5d2 ", 250.0}, {"+1.0E+01", 10.0},
    };
    for (const auto& [text, expected] : cases) {
        double value = 0;
        readField(text, 'd', static_cast<int>(std::strlen(text)), &value, "ROE");
        EXPECT_EQ(value, expected) << text;
    }
}

TEST(ReadField, DoublesBeyondRangeSaturate)
{
    double value = 0;
    readField("-1.5D+999", 'd', 10, &value, "ROE");
    EXPECT_TRUE(std::isinf(value) && value < 0);
    readField(" .25d-999", 'd', 10, &value, "ROE");
    EXPECT_EQ(value, 0.0);
    readField("INF", 'd', 10, &value, "ROE");
    EXPECT_TRUE(std::isinf(value));
}

TEST(ReadField, BadDoubleShowsTheFieldAsChanged)
{
    double value = 0;
    EXPECT_EQ(failure([&] { readField("1.5D 0x", 'd', 7, &value, "ATEMP"); }),
              "ATEMP. Wrong double! '1.5D+0x'");
    EXPECT_EQ(value, 1.5e0);
    EXPECT_EQ(failure([&] { readField("abc", 'd', 10, &value, FieldName("P", 7)); }),
              "P[7]. Wrong double! 'abc'");
    EXPECT_EQ(failure([&] { readField("+-1", 'd', 10, &value, "ROE"); }), "ROE. Wrong double! '+-1'");
}

TEST(ReadField, FieldTextIsNeverAFormat)
{
    double value = 0;
    EXPECT_EQ(failure([&] { readField("%s%n", 'd', 10, &value, "ROE"); }), "ROE. Wrong double! '%s%n'");
}

TEST(ReadField, EndedLineGivesZeroAndLeavesTextUnchanged)
{
    int i = 5;
    double d = 5;
    char c = 'Q';
    std::string_view rest = readField("", 'i', 5, &i, "IFP");
    rest = readField(rest, 'd', 10, &d, "ROE");
    rest = readField(rest, 'a', 1, &c, "FUN");
    EXPECT_EQ(i, 0);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(c, 'Q');
    EXPECT_TRUE(rest.empty());
}

TEST(ReadField, TextAndSkipFieldsAndUnknownFormat)
{
    char codes[3] = {'-', '-', '-'};
    std::string_view rest = readField("  ZYx", 'x', 2, nullptr);
    rest = readField(rest, 'a', 2, codes, "DINP");
    EXPECT_EQ(std::string(codes, 3), "ZY-");
    EXPECT_EQ(rest, "x");
    int value = 0;
    EXPECT_EQ(failure([&] { readField("1", 'q', 1, &value, "IRE"); }), "IRE. Unknown format 'q'!");
}

TEST(ReadDoubleOr, BlankFieldGivesTheDefault)
{
    double value = 0;
    readDoubleOr("          ", 10, value, "CELCAP", 1.0);
    EXPECT_EQ(value, 1.0);
    readDoubleOr("         5", 10, value, "CELCAP", 1.0);
    EXPECT_EQ(value, 5.0);
    value = 0;
    readDoubleOr("", 10, value, "CELCAP", 1.0);
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(failure([&] { readDoubleOr("  1.0Q", 10, value, "CELCAP", 1.0); }),
              "CELCAP. Wrong double! '  1.0Q'");
}

TEST(ReadLine, CrLfLfAndMissingLastTerminator)
{
    LineFile file = LineFile::fromText("one\r\ntwo\nthree");
    EXPECT_EQ(*readLine(file, true), "one");
    EXPECT_EQ(*readLine(file, true), "two");
    EXPECT_FALSE(file.metEnd());
    EXPECT_EQ(*readLine(file, true), "three");
    EXPECT_TRUE(file.metEnd());
    EXPECT_FALSE(readLine(file, false).has_value());
    EXPECT_EQ(failure([&] { readLine(file, true); }),
        "Input file format error: the file ends after line 3 (line 4 expected)!");
}

TEST(ReadLine, EndAfterTerminatorIsMetOnlyByTheNextRead)
{
    LineFile file = LineFile::fromText("last\r\n");
    EXPECT_EQ(*readLine(file, true), "last");
    EXPECT_FALSE(file.metEnd());
    EXPECT_FALSE(readLine(file, false).has_value());
    EXPECT_TRUE(file.metEnd());
}

TEST(ReadLine, LongLineDoesNotSpillIntoTheNext)
{
    std::string longLine(300000, 'x');
    LineFile file = LineFile::fromText(longLine + "\r\nnext\r\n");
    auto first = readLine(file, true);
    EXPECT_EQ(first->size(), LineFile::kMaxKept);
    EXPECT_EQ(*readLine(file, true), "next");
}

TEST(ReadLine, FileLinesAcrossBufferBoundaries)
{
    // Lines of every length around the reader's chunk size, read from a file.
    std::string text;
    std::vector<std::string> lines;
    for (int i = 0; i < 400; ++i) {
        lines.push_back(std::string(static_cast<std::size_t>(i * 331 % 4000), static_cast<char>('a' + i % 26)));
        text += lines.back() + (i % 2 ? "\r\n" : "\n");
    }
    char name[] = "/tmp/nosk-linefile-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    {
        LineFile file{std::string(name)};
        for (const auto& expected : lines)
            ASSERT_EQ(*readLine(file, true), expected);
        EXPECT_FALSE(readLine(file, false).has_value());
    }
    std::remove(name);
}

TEST(ReadLine, MissingFileOrFolder)
{
    EXPECT_EQ(failure([] { LineFile f("/nonexistent/INFL"); }), "Cannot open file '/nonexistent/INFL'!");
    EXPECT_EQ(failure([] { LineFile f("/"); }), "Cannot open file '/'!");
}

TEST(WriteInt, BlankSignAndWidth)
{
    EXPECT_EQ(I(3, 5), "    3");
    EXPECT_EQ(I(-12, 5), "  -12");
    EXPECT_EQ(I(12345, 5), " 12345");
    EXPECT_EQ(I(3, 1), "3");
    EXPECT_EQ(I(0, 1), "0");
    EXPECT_EQ(I(-3, 1), "-3");
    std::string line = "ab";
    EXPECT_EQ(writeInt(line, 7, 2), "ab 7");
}

TEST(WriteD, ExamplesOfTheEngineFormat)
{
    EXPECT_EQ(D(8.8541878e-14, 10, 4), " .8854D-13");
    EXPECT_EQ(D(0.0, 10, 4), " .0000D+00");
    EXPECT_EQ(D(-0.5, 20, 13), " -.5000000000000D+00");
    EXPECT_EQ(D(1000.0, 20, 13), "  .1000000000000D+04");
    EXPECT_EQ(D(9.99996, 10, 4), " .1000D+02");  // rounding carries into the exponent
    EXPECT_EQ(D(1e-100, 10, 4), " .1000D-99");
    EXPECT_EQ(D(1e100, 10, 4), " .1000D+101");  // three exponent digits widen the field
    std::string line = "x";
    EXPECT_EQ(writeD(line, 1.0, 15, 8), "x  .10000000D+01");
}

TEST(WriteD, NonFiniteValuesStayReadable)
{
    EXPECT_EQ(D(INFINITY, 10, 4), "       INF");
    EXPECT_EQ(D(-INFINITY, 10, 4), "      -INF");
    EXPECT_EQ(D(NAN, 20, 13), "                 NAN");
    double value = 0;
    readField(D(-INFINITY, 20, 13), 'd', 20, &value, "DATA1");
    EXPECT_TRUE(std::isinf(value) && value < 0);
}

TEST(WriteD, SameTextAsThePrintfRecipe)
{
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-320, 300);
    const int shapes[][2] = {{10, 4}, {15, 8}, {20, 13}};
    std::vector<double> values = {0.0, -0.0, 0.125, 0.00125, 2.5, 0.5, 1.0, 99999.5, 5e-324,
                                  2.2250738585072014e-308, 1.7976931348623157e308};
    for (int i = 0; i < 20000; ++i)
        values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
    for (int i = 0; i < 2000; ++i)  // exact decimal ties
        values.push_back(static_cast<double>(random() % 2000001) / 8.0);
    for (double v : values)
        for (auto [w, p] : shapes)
            ASSERT_EQ(D(v, w, p), referenceD(v, w, p)) << v << " " << w << "." << p;
}
