#include "results/PntoutlReader.h"

#include "core/Exception.h"
#include "job/RegularFile.h"
#include "job/FieldCodec.h"
#include "results/ReportText.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>

namespace nosk {

namespace {

constexpr const char* kFileName = "PNTOUTL";
// A job has at most 50 parameters, so no fit frees more.
constexpr int kMaxFreeParameters = 50;
// The name the number fields carry in messages.
constexpr const char* kFieldName = "PNTOUTL";

class Report {
public:
    explicit Report(std::istream& in) : m_in(in) {}

    // The next line; a report that ends here is not one the engine wrote.
    const std::string& required()
    {
        if (!report::nextLine(m_in, m_line))
            throw exception("Input file format error!");
        return m_line;
    }

    // Passes over lines up to the first one that contains the marker,
    // keeping a reason line met on the way.
    bool findLine(std::string_view marker)
    {
        while (report::nextLine(m_in, m_line)) {
            if (m_line.find(marker) != std::string::npos)
                return true;
            if (auto r = parseReasonLine(m_line); r && !m_reason)
                m_reason = *r;
        }
        return false;
    }

    // The reason line met so far, or the first one in the rest of the report.
    Reason reason()
    {
        if (!m_reason)
            if (auto r = findReason(m_in))
                m_reason = *r;
        return m_reason;
    }

    const std::string& line() const { return m_line; }

private:
    std::istream& m_in;
    std::string m_line;
    Reason m_reason;
};

// Columns [first, first + width) of a line, counted from 1; a blank field is 0.
double doubleAt(const std::string& line, std::size_t first, std::size_t width)
{
    double value = 0;
    readDoubleOr(report::columns(line, first, width), static_cast<int>(width), value, kFieldName, 0.0);
    return value;
}

int intAt(const std::string& line, std::size_t first, std::size_t width)
{
    int value = 0;
    readInt(report::columns(line, first, width), static_cast<int>(width), value, kFieldName);
    return value;
}

// The count after the marker: blanks, then the digits up to the first other
// character (none reads as 0).
int countAfter(const std::string& line, std::string_view marker)
{
    std::size_t p = line.find(marker) + marker.size();
    while (p < line.size() && line[p] == ' ')
        ++p;
    long long count = 0;
    for (; p < line.size() && line[p] >= '0' && line[p] <= '9'; ++p) {
        count = count * 10 + (line[p] - '0');
        if (count > kMaxFreeParameters)
            throw exception("Wrong number of free parameters in PNTOUTL file!");
    }
    return static_cast<int>(count);
}

} // namespace

void readPntoutl(FitStatistics& statistics)
{
    auto bytes = readRegularFile(kFileName, kMaxResultFile);
    if (!bytes)
        throw exception("Cannot open file '%s'!", kFileName);
    std::istringstream in(std::move(*bytes));
    readPntoutl(in, statistics);
}

void readPntoutl(std::istream& in, FitStatistics& s)
{
    Report report(in);

    constexpr std::string_view kFreeMarker = "# OF FREE PARAMETERS =";
    if (!report.findLine(kFreeMarker)) {
        // A refused job's report holds its reason instead of results.
        const Reason why = report.reason();
        if (why.refused())
            throw exception("The engine did not run the job: %s", why.text.c_str());
        throw exception("Cannot find number of free parameters in PNTOUTL file!");
    }
    s.freeCount = countAfter(report.line(), kFreeMarker);

    if (!report.findLine("FINAL L2 NORM OF THE RESIDUALS"))
        throw exception("Cannot find FINAL L2 NORM OF THE RESIDUALS in PNTOUTL file!");
    s.l2Norm = doubleAt(report.line(), 50, 14);
    s.functionEvaluations = intAt(report.required(), 51, 8);
    s.jacobianEvaluations = intAt(report.required(), 51, 8);
    report.required();  // the exit reason
    s.sumOfSquares = doubleAt(report.required(), 43, 20);
    s.sigmaSquared = doubleAt(report.required(), 43, 20);
    s.sigma = doubleAt(report.required(), 43, 20);
    s.qualityFactor = doubleAt(report.required(), 48, 10);
    s.degreesOfFreedom = intAt(report.required(), 43, 12);

    if (!report.findLine("ORIGINAL PARAMETER NUMBERS"))
        throw exception("Cannot find ORIGINAL PARAMETER NUMBERS in PNTOUTL file!");
    for (int i = 0; i < 3; ++i)
        report.required();

    // Blocks of up to six parameters: a blank line, a heading, then the
    // numbers, estimates, std devs and relative std devs, 12 columns each
    // after two blanks.
    const int n = s.freeCount;
    s.freeParameters.assign(n, FreeParameter{});
    for (int blockStart = 0; blockStart < n; blockStart += 6) {
        const int inBlock = std::min(6, n - blockStart);
        report.required();
        report.required();
        auto column = [](int j) { return static_cast<std::size_t>(3 + 12 * j); };
        const std::string& numbers = report.required();
        for (int j = 0; j < inBlock; ++j)
            s.freeParameters[blockStart + j].number = intAt(numbers, column(j), 12);
        const std::string& estimates = report.required();
        for (int j = 0; j < inBlock; ++j)
            s.freeParameters[blockStart + j].estimate = doubleAt(estimates, column(j), 12);
        const std::string& stdDevs = report.required();
        for (int j = 0; j < inBlock; ++j)
            s.freeParameters[blockStart + j].stdDev = doubleAt(stdDevs, column(j), 12);
        const std::string& relStdDevs = report.required();
        for (int j = 0; j < inBlock; ++j)
            s.freeParameters[blockStart + j].relStdDev = doubleAt(relStdDevs, column(j), 12);
    }

    if (!report.findLine("ESTIMATED PARAMETER CORRELATION MATRIX"))
        throw exception("Cannot find ESTIMATED PARAMETER CORRELATION MATRIX in PNTOUTL file!");

    // The lower triangle, row r with columns 0 ... r: two blanks, then per
    // value a blank and 11 characters; six values a line, a longer row goes
    // on in the next line after two blanks again.
    s.correlation.assign(n, std::vector<double>(n, 0.0));
    for (int r = 0; r < n; ++r) {
        for (int i = 0; i <= r; ++i) {
            if (i % 6 == 0)
                report.required();
            const std::size_t first = static_cast<std::size_t>(2 + 12 * (i % 6) + 2);
            const double v = doubleAt(report.line(), first, 11);
            s.correlation[r][i] = v;
            s.correlation[i][r] = v;
        }
    }
    s.end = report.reason();
}

} // namespace nosk
