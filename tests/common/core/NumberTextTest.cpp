#include "core/NumberText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using nosk::formatNumber;

TEST(NumberText, ExponentHasThreeDigits)
{
    EXPECT_EQ(formatNumber("%e", 1.5), "1.500000e+000");
    EXPECT_EQ(formatNumber("%e", -1.23456), "-1.234560e+000");
    EXPECT_EQ(formatNumber("%.6E", 8.8541878e-14), "8.854188E-014");
    EXPECT_EQ(formatNumber("%.7E", 1.0), "1.0000000E+000");
    EXPECT_EQ(formatNumber("%e", 1e100), "1.000000e+100");
    EXPECT_EQ(formatNumber("%e", 0.0), "0.000000e+000");
}

TEST(NumberText, OtherConversionsUnchanged)
{
    EXPECT_EQ(formatNumber("%.4f", 0.12345), "0.1235");
    EXPECT_EQ(formatNumber("%.4f", -1.0), "-1.0000");
    EXPECT_EQ(formatNumber("%g", 1e-5), "1e-005");
    EXPECT_EQ(formatNumber("%g", 25.0), "25");
    EXPECT_EQ(formatNumber("%12.3e", 1.0), "  1.000e+000");
    EXPECT_EQ(formatNumber("%-12.3e|", 1.0), "1.000e+000  |");
    EXPECT_EQ(formatNumber("%5.1e", 1.0), "1.0e+000");
    EXPECT_EQ(formatNumber("x=%e%%", 2.0), "x=2.000000e+000%");
}

// Every rule on every input: the value it reads, or "no" where it refuses.
// The columns are kJobField, kSheetField, kInstrumentColumn, kEditBox,
// kTypedNumber and kReportColumn.
namespace {

using nosk::NumberRule;

struct Outcome {
    bool read;
    double value;
};
constexpr Outcome no{false, 0};
constexpr Outcome is(double v) { return {true, v}; }

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

struct Row {
    const char* text;
    Outcome job, sheet, instrument, editBox, typed, report;
};

const Row kRows[] = {
    //  text              job            sheet         instrument     edit box       typed         report
    {"1.5",              is(1.5),        is(1.5),      is(1.5),       is(1.5),       is(1.5),      is(1.5)},
    {"+.5",              is(0.5),        is(0.5),      is(0.5),       is(0.5),       is(0.5),      is(0.5)},
    {"5.",               is(5),          is(5),        is(5),         is(5),         is(5),        is(5)},
    {" \t1.5",           is(1.5),        no,           no,            is(1.5),       is(1.5),      no},
    {"1.5 ",             no,             no,           no,            is(1.5),       is(1.5),      is(1.5)},
    {"\t-3E2\r\n",       no,             no,           no,            is(-300),      is(-300),     no},
    {"1D3",              is(1000),       is(1000),     is(1000),      no,            is(1),        is(1)},
    {"-2.5d-1",          is(-0.25),      is(-0.25),    is(-0.25),     no,            is(-2.5),     is(-2.5)},
    {"1,5",              no,             no,           no,            is(1.5),       is(1),        is(1)},
    {"1,5,0",            no,             no,           no,            no,            is(1),        is(1)},
    {"1.5,0",            no,             no,           no,            no,            is(1.5),      is(1.5)},
    {"nan",              is(kNan),       no,           is(kNan),      no,            no,           is(kNan)},
    {"NaN(payload_1)",   is(kNan),       no,           is(kNan),      no,            no,           is(kNan)},
    {"-inf",             is(-kInf),      no,           is(-kInf),     no,            no,           is(-kInf)},
    {"Infinity",         is(kInf),       no,           is(kInf),      no,            no,           is(kInf)},
    {"infinite",         no,             no,           no,            no,            no,           is(kInf)},
    {"1e999",            is(kInf),       no,           no,            no,            no,           no},
    {"-1D+999",          is(-kInf),      no,           no,            no,            is(-1),       is(-1)},
    {"1e-400",           is(0),          is(0),        is(0),         is(0),         is(0),        is(0)},
    {"4.9e-324",         is(4.9406564584124654e-324), is(4.9406564584124654e-324), is(4.9406564584124654e-324),
                         is(4.9406564584124654e-324), is(4.9406564584124654e-324), is(4.9406564584124654e-324)},
    {"2.5e-310",         is(2.5e-310),   is(2.5e-310), is(2.5e-310),  is(2.5e-310),  is(2.5e-310), is(2.5e-310)},
    {"",                 no,             no,           no,            no,            no,           no},
    {"   ",              no,             no,           no,            no,            no,           no},
    {".",                no,             no,           no,            no,            no,           no},
    {"+-1",              no,             no,           no,            no,            no,           no},
    {"- 1",              no,             no,           no,            no,            no,           no},
    {"1e",               no,             no,           no,            no,            is(1),        is(1)},
    {"1e+",              no,             no,           no,            no,            is(1),        is(1)},
    {"0x10",             no,             no,           no,            no,            is(0),        is(0)},
    {"1.5abc",           no,             no,           no,            no,            is(1.5),      is(1.5)},
    {"1 2",              no,             no,           no,            no,            is(1),        is(1)},
};

void expectOutcome(const char* text, const NumberRule& rule, const char* ruleName, Outcome want)
{
    const auto got = nosk::readNumber(text, rule);
    SCOPED_TRACE(std::string(ruleName) + " on \"" + text + "\"");
    ASSERT_EQ(got.has_value(), want.read);
    if (!want.read)
        return;
    if (std::isnan(want.value)) {
        EXPECT_TRUE(std::isnan(*got));
        return;
    }
    // Exact: a correctly rounded reader gives the nearest double.
    EXPECT_EQ(*got, want.value);
    EXPECT_EQ(std::signbit(*got), std::signbit(want.value));
}

} // namespace

TEST(NumberText, EachRuleReadsOrRefusesEachForm)
{
    for (const Row& r : kRows) {
        expectOutcome(r.text, nosk::kJobField, "job field", r.job);
        expectOutcome(r.text, nosk::kSheetField, "sheet field", r.sheet);
        expectOutcome(r.text, nosk::kInstrumentColumn, "instrument column", r.instrument);
        expectOutcome(r.text, nosk::kEditBox, "edit box", r.editBox);
        expectOutcome(r.text, nosk::kTypedNumber, "typed number", r.typed);
        expectOutcome(r.text, nosk::kReportColumn, "report column", r.report);
    }
    // A value below the smallest subnormal keeps its sign.
    EXPECT_TRUE(std::signbit(*nosk::readNumber("-1e-400", nosk::kJobField)));
}

TEST(NumberText, DialogsAndOptionsTakeOnlyPlainNumbers)
{
    // A dialog's box allows blanks around the number, an option nothing;
    // neither a comma, a D exponent, hexadecimal or a non-finite value.
    const struct {
        const char* text;
        Outcome dialog, option;
    } rows[] = {
        {"0.85", is(0.85), is(0.85)}, {"-3E2", is(-300), is(-300)}, {" 1.5\t", is(1.5), no},
        {"1,5", no, no},              {"1D3", no, no},              {"0x10", no, no},
        {"nan", no, no},              {"-inf", no, no},             {"1e999", no, no},
        {"", no, no},                 {"1.5 s", no, no},
    };
    for (const auto& r : rows) {
        expectOutcome(r.text, nosk::kDialogNumber, "dialog number", r.dialog);
        expectOutcome(r.text, nosk::kOptionValue, "option value", r.option);
    }
}

TEST(NumberText, ScanTellsHowFarTheNumberWent)
{
    // The fixed-column codec stores the leading number before it refuses a
    // field with text after it, so the extent matters as much as the value.
    double v = -1;
    EXPECT_EQ(nosk::scanNumber("  .8854D-13x", nosk::kJobField, v), 11u);
    EXPECT_EQ(v, 0.8854e-13);
    EXPECT_EQ(nosk::scanNumber("1.5e+", nosk::kJobField, v), 3u);
    v = -1;
    EXPECT_EQ(nosk::scanNumber("x1", nosk::kJobField, v), 0u);
    EXPECT_EQ(v, -1);  // untouched
}

TEST(NumberText, EveryDoubleReadsBackExactlyInEachForm)
{
    // Round trip against the C library's shortest-exact printing: 17
    // significant digits name one double, in E, e or D form, with any
    // number of digits in front of the exponent.
    std::mt19937_64 random(34);
    for (int k = 0; k < 20000; ++k) {
        double x;
        const std::uint64_t bits = random();
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x))
            continue;
        char text[64];
        std::snprintf(text, sizeof text, "%.17E", x);
        ASSERT_EQ(nosk::readNumber(text, nosk::kSheetField), x) << text;
        ASSERT_EQ(nosk::readNumber(text, nosk::kEditBox), x) << text;
        for (char* p = text; *p; ++p)
            if (*p == 'E')
                *p = 'D';
        ASSERT_EQ(nosk::readNumber(text, nosk::kJobField), x) << text;
        char fixed[800];  // every digit of the value, far past the point
        std::snprintf(fixed, sizeof fixed, "%.400f", x);
        ASSERT_EQ(nosk::readNumber(fixed, nosk::kInstrumentColumn), x) << fixed;
    }
}

TEST(NumberText, TheDesktopsDecimalSeparatorChangesNothing)
{
    // The windows run in the user's locale; a German desktop writes "1,5".
    // Without such a locale installed one is built for the test.
    nosk::test::TempWorkDir dir;
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    auto commaLocale = [] {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
            if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',')
                return true;
        return false;
    };
    bool switched = commaLocale();
    if (!switched && std::system(("localedef -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") + "' >/dev/null 2>&1").c_str()) == 0) {
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        switched = commaLocale();
        ::unsetenv("LOCPATH");
    }
    if (!switched) {
        std::setlocale(LC_NUMERIC, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma";
    }
    EXPECT_EQ(nosk::readNumber("1.5", nosk::kSheetField), 1.5);
    EXPECT_EQ(nosk::readNumber("1.5", nosk::kInstrumentColumn), 1.5);
    EXPECT_EQ(nosk::readNumber("1e-400", nosk::kTypedNumber), 0.0);
    EXPECT_EQ(nosk::readNumber("1.5e999", nosk::kJobField), std::numeric_limits<double>::infinity());
    EXPECT_EQ(nosk::readNumber(".25e-320", nosk::kJobField), 0.25e-320);
    EXPECT_EQ(nosk::readNumber("2,5", nosk::kEditBox), 2.5);
    EXPECT_FALSE(nosk::readNumber("2,5", nosk::kSheetField));
    std::setlocale(LC_NUMERIC, saved.c_str());
}
