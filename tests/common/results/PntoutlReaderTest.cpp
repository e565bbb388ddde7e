#include "results/PntoutlReader.h"

#include "ReportBuilder.h"
#include "core/Exception.h"
#include "results/ReportText.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

using nosk::FitStatistics;
using nosk::test::ReportBuilder;

namespace {

FitStatistics readText(const std::string& text)
{
    std::istringstream in(text);
    FitStatistics s;
    nosk::readPntoutl(in, s);
    return s;
}

std::string failureOf(const std::string& text)
{
    try {
        readText(text);
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "no failure";
}

// Replaces the first line containing `marker` (and with it what the reader finds).
std::vector<std::string> withLine(std::vector<std::string> lines, const std::string& marker, const std::string& replacement)
{
    for (std::string& line : lines)
        if (line.find(marker) != std::string::npos) {
            line = replacement;
            break;
        }
    return lines;
}

// What the reader says of the report `lines` with one line replaced.
std::string failureWithLine(const std::vector<std::string>& lines, const std::string& marker,
                            const std::string& replacement)
{
    return failureOf(ReportBuilder::join(withLine(lines, marker, replacement)));
}

std::vector<std::string> upToLine(std::vector<std::string> lines, const std::string& marker, int extra)
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(marker) != std::string::npos) {
            lines.resize(i + 1 + extra);
            break;
        }
    return lines;
}

void expectEightParameterReport(const FitStatistics& s)
{
    EXPECT_DOUBLE_EQ(s.l2Norm, 0.123456);
    EXPECT_EQ(s.functionEvaluations, 37);
    EXPECT_EQ(s.jacobianEvaluations, 12);
    EXPECT_DOUBLE_EQ(s.sumOfSquares, 0.0152413);
    EXPECT_DOUBLE_EQ(s.sigmaSquared, 4.8e-4);
    EXPECT_DOUBLE_EQ(s.sigma, 0.0219089);
    EXPECT_DOUBLE_EQ(s.qualityFactor, 0.0125);
    EXPECT_EQ(s.degreesOfFreedom, 72);
    ASSERT_EQ(s.freeCount, 8);
    ASSERT_EQ(s.freeParameters.size(), 8u);
    for (int j = 0; j < 8; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(s.freeParameters[j].number, 2 * j + 1);
        EXPECT_DOUBLE_EQ(s.freeParameters[j].estimate, 1.5 * (j + 1));
        EXPECT_DOUBLE_EQ(s.freeParameters[j].stdDev, 0.01 * (j + 1));
        EXPECT_DOUBLE_EQ(s.freeParameters[j].relStdDev, 0.001 * (j + 1));
    }
    ASSERT_EQ(s.correlation.size(), 8u);
    for (int r = 0; r < 8; ++r) {
        ASSERT_EQ(s.correlation[r].size(), 8u);
        for (int i = 0; i <= r; ++i) {
            SCOPED_TRACE(testing::Message() << r << "," << i);
            EXPECT_DOUBLE_EQ(s.correlation[r][i], ReportBuilder::correlation(r, i));
            EXPECT_DOUBLE_EQ(s.correlation[i][r], ReportBuilder::correlation(r, i));
        }
    }
}

} // namespace

class PntoutlLineEnds : public testing::TestWithParam<const char*> {};

// Eight free parameters: two blocks (six and two) and matrix rows 6 and 7
// that go on in a second line.
TEST_P(PntoutlLineEnds, ReadsEightParameterReport)
{
    expectEightParameterReport(readText(ReportBuilder(8).text(GetParam())));
}

TEST_P(PntoutlLineEnds, ReadsReportWhoseLastLineHasNoTerminator)
{
    auto lines = ReportBuilder(8).lines();
    lines.resize(lines.size() - 3);  // ends with the last matrix row
    std::string text = ReportBuilder::join(lines, GetParam());
    text.resize(text.size() - std::string(GetParam()).size());
    expectEightParameterReport(readText(text));
}

INSTANTIATE_TEST_SUITE_P(CrLfAndLf, PntoutlLineEnds, testing::Values("\r\n", "\n"));

TEST(PntoutlReader, ReadsFileOfWorkFolder)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("PNTOUTL", ReportBuilder(8).text());
    FitStatistics s;
    nosk::readPntoutl(s);
    expectEightParameterReport(s);
}

TEST(PntoutlReader, MissingFileFails)
{
    nosk::test::TempWorkDir dir;
    FitStatistics s;
    try {
        nosk::readPntoutl(s);
        FAIL();
    } catch (const nosk::exception& e) {
        EXPECT_STREQ(e.what(), "Cannot open file 'PNTOUTL'!");
    }
}

TEST(PntoutlReader, SingleAndSixAndThirteenParameters)
{
    for (int n : {1, 6, 7, 13}) {
        SCOPED_TRACE(n);
        FitStatistics s = readText(ReportBuilder(n).text());
        ASSERT_EQ(s.freeCount, n);
        EXPECT_EQ(s.freeParameters.back().number, 2 * n - 1);
        EXPECT_DOUBLE_EQ(s.freeParameters.back().relStdDev, 0.001 * n);
        EXPECT_DOUBLE_EQ(s.correlation[n - 1][0], ReportBuilder::correlation(n - 1, 0));
        EXPECT_DOUBLE_EQ(s.correlation[n - 1][n - 1], 1.0);
        EXPECT_DOUBLE_EQ(s.correlation[0][n - 1], s.correlation[n - 1][0]);
    }
}

TEST(PntoutlReader, NoFreeParametersGivesEmptyTables)
{
    FitStatistics s = readText(ReportBuilder(0).text());
    EXPECT_EQ(s.freeCount, 0);
    EXPECT_TRUE(s.freeParameters.empty());
    EXPECT_TRUE(s.correlation.empty());
    EXPECT_DOUBLE_EQ(s.l2Norm, 0.123456);
    EXPECT_EQ(s.degreesOfFreedom, 72);
}

TEST(PntoutlReader, BlankStatisticsFieldReadsZero)
{
    auto lines = ReportBuilder(8).lines();
    lines = withLine(lines, "FIT QUALITY FACTOR", "  FIT QUALITY FACTOR");
    lines = withLine(lines, "JACOBIAN EVALUATIONS", std::string(50, ' ') + "        " + "   ");
    FitStatistics s = readText(ReportBuilder::join(lines));
    EXPECT_EQ(s.qualityFactor, 0.0);
    EXPECT_EQ(s.jacobianEvaluations, 0);
    EXPECT_EQ(s.degreesOfFreedom, 72);
}

TEST(PntoutlReader, OtherLinesArePassedOverAndFirstMarkerCounts)
{
    auto lines = ReportBuilder(8).lines();
    // A long line between the markers must not shift the lines after it.
    lines.insert(lines.begin() + 14, std::string(300, '*'));
    lines.insert(lines.begin() + 14, "   NOTE: CONVERGENCE CHECK");
    std::string text = ReportBuilder::join(lines);
    // A later repetition of the count marker is not taken.
    text += "        # OF FREE PARAMETERS =    3\r\n";
    expectEightParameterReport(readText(text));
}

TEST(PntoutlReader, MissingMarkersFailWithTheirMessages)
{
    const auto lines = ReportBuilder(8).lines();
    EXPECT_EQ(failureWithLine(lines, "# OF FREE", "  nothing"),
              "Cannot find number of free parameters in PNTOUTL file!");
    EXPECT_EQ(failureWithLine(lines, "FINAL L2", "  nothing"),
              "Cannot find FINAL L2 NORM OF THE RESIDUALS in PNTOUTL file!");
    EXPECT_EQ(failureWithLine(lines, "ORIGINAL PARAMETER", "  nothing"),
              "Cannot find ORIGINAL PARAMETER NUMBERS in PNTOUTL file!");
    EXPECT_EQ(failureWithLine(lines, "CORRELATION MATRIX", "  nothing"),
              "Cannot find ESTIMATED PARAMETER CORRELATION MATRIX in PNTOUTL file!");
    EXPECT_EQ(failureOf(""), "Cannot find number of free parameters in PNTOUTL file!");
}

TEST(PntoutlReader, TruncatedReportFailsWithFormatError)
{
    const auto lines = ReportBuilder(8).lines();
    // Inside the statistics lines: the L2 norm line and four after it.
    EXPECT_EQ(failureOf(ReportBuilder::join(upToLine(lines, "FINAL L2", 4))), "Input file format error!");
    EXPECT_EQ(failureOf(ReportBuilder::join(upToLine(lines, "FINAL L2", 0))), "Input file format error!");
    // Inside the explanation lines and inside the second parameter block.
    EXPECT_EQ(failureOf(ReportBuilder::join(upToLine(lines, "ORIGINAL PARAMETER", 2))), "Input file format error!");
    EXPECT_EQ(failureOf(ReportBuilder::join(upToLine(lines, "FREE PARAMETERS 7 TO 8", 3))), "Input file format error!");
    // Inside the matrix: row 7 lacks its continuation line.
    EXPECT_EQ(failureOf(ReportBuilder::join(upToLine(lines, "CORRELATION MATRIX", 9))), "Input file format error!");
}

TEST(PntoutlReader, BadNumbersFailWithCodecMessages)
{
    const auto lines = ReportBuilder(8).lines();
    std::string badInt = std::string(50, ' ') + "     1x2";
    EXPECT_EQ(failureWithLine(lines, "FUNCTION EVALUATIONS", badInt),
              "PNTOUTL. Wrong integer! '     1x2'");
    std::string badDouble = std::string(42, ' ') + "        1.5E-0.2";
    EXPECT_EQ(failureWithLine(lines, "SIGMAF ESTIMATE", badDouble),
              "PNTOUTL. Wrong double! '        1.5E-0.2'");
}

TEST(PntoutlReader, ReadsFortranExponentsInFields)
{
    auto lines = ReportBuilder(1).lines();
    lines = withLine(lines, "WEIGHTED SUM", std::string(42, ' ') + "         0.15241D-01");
    lines = withLine(lines, "SIGMAF ESTIMATE", std::string(42, ' ') + "          0.2191D 00");
    FitStatistics s = readText(ReportBuilder::join(lines));
    EXPECT_DOUBLE_EQ(s.sumOfSquares, 0.015241);
    EXPECT_DOUBLE_EQ(s.sigma, 0.2191);
}

TEST(PntoutlReader, ImpossibleFreeCountIsRefusedBeforeAnyAllocation)
{
    const auto lines = ReportBuilder(8).lines();
    EXPECT_EQ(failureWithLine(lines, "# OF FREE", "  # OF FREE PARAMETERS = 2000000000"),
              "Wrong number of free parameters in PNTOUTL file!");
    EXPECT_EQ(failureWithLine(lines, "# OF FREE", "  # OF FREE PARAMETERS =   51"),
              "Wrong number of free parameters in PNTOUTL file!");
    // Digits end at the first other character; none read as 0.
    FitStatistics s = readText(ReportBuilder::join(withLine(ReportBuilder(0).lines(), "# OF FREE", "  # OF FREE PARAMETERS = -8")));
    EXPECT_EQ(s.freeCount, 0);
}

// The engine's last word, as the end of a run and the batch take it from a
// report or a console: the last line with more than blanks, whatever ends
// the lines.
TEST(ReportText, LastLineIsTheLastOneWithText)
{
    using nosk::report::lastLine;
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {" \t\r\n\r\n", ""},
        {"first\nlast\n", "last"},
        {"first\r\n  last words \t\r\n\r\n   \r\n", "last words"},
        {"no line end", "no line end"},
        // A console line rewritten with CR: the last state counts.
        {"Iteration 1\rIteration 2\r", "Iteration 2"},
        {"a\r\r\nb\r\r\n", "b"},
        {"\v\fform feed\f\n", "form feed"},
    };
    for (const auto& [text, last] : cases)
        EXPECT_EQ(lastLine(text), last) << testing::PrintToString(text);
}

// A report the engine did not write leaves the reason to its console; one
// that is there wins over it.
TEST(PntoutlReader, EngineAccountTakesTheReportsReasonElseTheConsoles)
{
    nosk::test::TempWorkDir dir;
    const std::string console = "Cannot open file 'INFL'!\n @REASON kind=input text=INFL is missing\n\n";
    nosk::EngineAccount none = nosk::readEngineAccount("PNTOUTL", console);
    ASSERT_TRUE(none.reason);
    EXPECT_EQ(none.reason->kind, nosk::Reason::Kind::Input);
    EXPECT_EQ(none.reportLastLine, "");
    EXPECT_EQ(none.consoleLastLine, "@REASON kind=input text=INFL is missing");

    nosk::test::writeAll("PNTOUTL", " THE ENGINE CANNOT RUN THIS JOB:\r\n @REASON kind=field field=IRCH text=IRCH 7\r\n"
                                    " IRCH 7\r\n");
    nosk::EngineAccount report = nosk::readEngineAccount("PNTOUTL", console);
    ASSERT_TRUE(report.reason);
    EXPECT_EQ(report.reason->kind, nosk::Reason::Kind::Field);
    EXPECT_EQ(report.reason->field, "IRCH");
    EXPECT_EQ(report.reportLastLine, "IRCH 7");
}
