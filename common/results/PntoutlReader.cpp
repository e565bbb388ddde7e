#include "results/PntoutlReader.h"

#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"
#include "core/RegularFile.h"
#include "core/WorkFolderFiles.h"
#include "job/FieldCodec.h"
#include "results/ReportText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace nosk {

namespace {

using namespace report;

// A job has at most 50 parameters, so no fit frees more.
constexpr int kMaxFreeParameters = 50;
// The name the number fields carry in messages.
constexpr const char* kFieldName = workfiles::kReport;

// The status line after the parameter table: " PARAMETER STATUS:" and a
// token "P<n>=<status>" per parameter the data do not determine.
constexpr std::string_view kStatusMarker = kParameterStatusMarker;
// The line after it when some parameter is at a bound or a limit: " STD
// DEVS GIVEN:" and a token "P<n>=<value>" per such parameter.
constexpr std::string_view kGivenMarker = kStdDevsGivenMarker;

class Report {
public:
    explicit Report(std::istream& in) : m_in(in) {}

    // The next line; a report that ends here is not one the engine wrote.
    const std::string& required()
    {
        if (!lines::nextLine(m_in, m_line))
            throw exception("Input file format error!");
        return m_line;
    }

    // Passes over lines up to the first one that contains the marker,
    // keeping a reason line met on the way.
    bool findLine(std::string_view marker)
    {
        while (lines::nextLine(m_in, m_line)) {
            if (m_line.find(marker) != std::string::npos)
                return true;
            if (auto r = parseReasonLine(m_line); r && !m_reason)
                m_reason = *r;
            if (m_line.find(kStatusMarker) != std::string::npos)
                m_status = m_line;
            if (m_line.find(kGivenMarker) != std::string::npos)
                m_given = m_line;
            if (startsWithTag(m_line, kIntervalTag) || startsWithTag(m_line, kProfileTag))
                m_extra.push_back(m_line);
        }
        return false;
    }

    // Takes the current line as the reason line unless one was met before.
    void keepReason()
    {
        if (auto r = parseReasonLine(m_line); r && !m_reason)
            m_reason = *r;
    }

    // The interval and profile lines met on the way.
    const std::vector<std::string>& extraLines() const { return m_extra; }

    // The parameter status line met on the way, if any.
    const std::string& statusLine() const { return m_status; }
    const std::string& givenLine() const { return m_given; }

    // The reason line met so far, or the first one in the rest of the report.
    Reason reason()
    {
        if (!m_reason)
            if (auto r = findReason(m_in))
                m_reason = *r;
        return m_reason;
    }

    const std::string& line() const { return m_line; }

    // A tagged line: one blank, then the tag.
    static bool startsWithTag(const std::string& line, std::string_view tag)
    {
        return line.size() > tag.size() && line[0] == ' ' && line.compare(1, tag.size(), tag) == 0;
    }

private:
    std::istream& m_in;
    std::string m_line;
    std::string m_status;
    std::string m_given;
    std::vector<std::string> m_extra;
    Reason m_reason;
};

// The search line: key=value tokens after the marker, unknown keys skipped.
void readSearchLine(const std::string& line, SearchSummary& s)
{
    std::istringstream tokens(line.substr(line.find(kSearchMarker) + std::string_view(kSearchMarker).size()));
    std::string token;
    while (tokens >> token) {
        const std::size_t eq = token.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = token.substr(0, eq), value = token.substr(eq + 1);
        if (key == "end") {
            if (auto e = searchEndFromName(value))
                s.end = *e;
            continue;
        }
        const std::string digits = key == "runaway" && !value.empty() && value[0] == 'P' ? value.substr(1) : value;
        std::int32_t n = 0;
        const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec != std::errc() || ptr != digits.data() + digits.size() || n < 0)
            continue;
        if (key == "runs")
            s.runs = n;
        else if (key == "reached")
            s.reached = n;
        else if (key == "needed")
            s.needed = n;
        else if (key == "budget")
            s.budget = n;
        else if (key == "degenerate")
            s.degenerate = n;
        else if (key == "best")
            s.best = n;
        else if (key == "runaway")
            s.runaway = n;
    }
}

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

// The tokens "P<n>=<text>" after the marker, each handed to `take` with n
// and the text; other tokens are passed over.
template <typename Take>
void readTokens(const std::string& line, std::string_view marker, Take take)
{
    std::istringstream tokens(line.substr(line.find(marker) + marker.size()));
    std::string token;
    while (tokens >> token) {
        const std::size_t eq = token.find('=');
        if (token.size() < 3 || token[0] != 'P' || eq == std::string::npos)
            continue;
        int number = 0;
        auto [end, ec] = std::from_chars(token.data() + 1, token.data() + eq, number);
        if (ec != std::errc() || end != token.data() + eq)
            continue;
        take(number, token.substr(eq + 1));
    }
}

void readStatusLine(const std::string& line, FitStatistics& s)
{
    readTokens(line, kStatusMarker, [&s](int number, const std::string& name) {
        for (FreeParameter& p : s.freeParameters)
            if (p.number == number)
                p.status = parameterStatusFromName(name);
    });
}

void readGivenLine(const std::string& line, FitStatistics& s)
{
    readTokens(line, kGivenMarker, [&s](int number, const std::string& text) {
        if (const std::optional<double> value = readNumber(text, kReportColumn))
            s.given.push_back({number, *value});
    });
}

// "P<n>" after a tag; 0 when the token is not one.
int parameterNumber(const std::string& token)
{
    int number = 0;
    if (token.size() < 2 || token[0] != 'P')
        return 0;
    auto [end, ec] = std::from_chars(token.data() + 1, token.data() + token.size(), number);
    return ec == std::errc() && end == token.data() + token.size() && number > 0 ? number : 0;
}

// An end of an interval: "none" is no bound on that side (sign: which side).
std::optional<double> intervalEnd(const std::string& text, double none)
{
    if (text == "none")
        return none;
    if (text == "nan")
        return std::numeric_limits<double>::quiet_NaN();
    return readNumber(text, kReportColumn);
}

// " @INTERVAL P3 low=... high=... method=... level=...", and
// " @PROFILE P3 <value> <S>"; a line that does not read is passed over.
void readExtraLines(const std::vector<std::string>& lines, FitStatistics& s)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    s.intervals.clear();
    s.profiles.clear();
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string tag, name;
        words >> tag >> name;
        const int number = parameterNumber(name);
        if (number == 0)
            continue;
        if (tag + ' ' == kIntervalTag) {
            ReportedInterval iv;
            iv.number = number;
            bool low = false, high = false;
            for (std::string word; words >> word;) {
                const std::size_t eq = word.find('=');
                if (eq == std::string::npos)
                    continue;
                const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
                if (key == "low") {
                    const std::optional<double> v = intervalEnd(value, -inf);
                    low = v.has_value();
                    iv.low = v.value_or(0);
                } else if (key == "high") {
                    const std::optional<double> v = intervalEnd(value, inf);
                    high = v.has_value();
                    iv.high = v.value_or(0);
                } else if (key == "method") {
                    iv.method = value;
                } else if (key == "level") {
                    iv.level = readNumber(value, kReportColumn).value_or(0);
                }
            }
            if (low && high)
                s.intervals.push_back(iv);
        } else if (tag + ' ' == kProfileTag) {
            std::string a, b;
            words >> a >> b;
            const std::optional<double> value = readNumber(a, kReportColumn), S = readNumber(b, kReportColumn);
            if (!value || !S)
                continue;
            if (s.profiles.empty() || s.profiles.back().number != number)
                s.profiles.push_back({number, {}, {}});
            s.profiles.back().value.push_back(*value);
            s.profiles.back().S.push_back(*S);
        }
    }
}

} // namespace

const char* parameterStatusName(ParameterStatus status)
{
    switch (status) {
    case ParameterStatus::Determined: return "determined";
    case ParameterStatus::Undetermined: return "undetermined";
    case ParameterStatus::AtLogBound: return "ln-bound";
    case ParameterStatus::AtLimit: return "limit";
    }
    return "undetermined";
}

ParameterStatus parameterStatusFromName(const std::string& name)
{
    for (ParameterStatus s : {ParameterStatus::Determined, ParameterStatus::AtLogBound, ParameterStatus::AtLimit})
        if (name == parameterStatusName(s))
            return s;
    return ParameterStatus::Undetermined;
}

const char* parameterStatusLabel(ParameterStatus status)
{
    switch (status) {
    case ParameterStatus::Determined: return "determined";
    case ParameterStatus::Undetermined: return "undetermined";
    case ParameterStatus::AtLogBound:
    case ParameterStatus::AtLimit: return "at bound";
    }
    return "undetermined";
}

const char* searchEndName(SearchSummary::End end)
{
    switch (end) {
    case SearchSummary::End::Agreed: return "agreed";
    case SearchSummary::End::Budget: return "budget";
    case SearchSummary::End::Time: return "time";
    case SearchSummary::End::Complete: return "complete";
    }
    return "complete";
}

std::optional<SearchSummary::End> searchEndFromName(std::string_view name)
{
    for (SearchSummary::End e : {SearchSummary::End::Agreed, SearchSummary::End::Budget, SearchSummary::End::Time,
             SearchSummary::End::Complete})
        if (name == searchEndName(e))
            return e;
    return std::nullopt;
}

std::string searchNote(const SearchSummary& search)
{
    if (search.runs <= 0)
        return {};
    const std::string reached = std::to_string(search.reached) + " of " + std::to_string(search.runs)
        + " runs reached the lowest S";
    std::string note;
    switch (search.end) {
    case SearchSummary::End::Agreed: note = "the search agreed: " + reached; break;
    case SearchSummary::End::Complete: note = reached; break;
    case SearchSummary::End::Budget:
    case SearchSummary::End::Time:
        note = std::string("the search ran out of ") + (search.end == SearchSummary::End::Time ? "time" : "starts")
            + " before it agreed: " + reached + " (" + std::to_string(search.needed)
            + " needed); a lower S may exist: try more "
            + (search.end == SearchSummary::End::Time ? "time, more starts" : "starts")
            + " or limits on the parameters";
        break;
    }
    if (search.degenerate > 0)
        note += "; " + std::to_string(search.degenerate) + (search.degenerate == 1 ? " run" : " runs")
            + " ran away and " + (search.degenerate == 1 ? "was" : "were") + " replaced";
    if (search.runaway != 0)
        note += "; the best point is degenerate (P" + std::to_string(search.runaway)
            + " ran away: the model no longer depends on it) and no other run came as low";
    return note;
}

std::string givenText(const FitStatistics& statistics)
{
    std::string text;
    for (const FitStatistics::Given& g : statistics.given) {
        char value[32];
        std::snprintf(value, sizeof value, "%.6g", g.value);
        text += (text.empty() ? "given P" : ", P") + std::to_string(g.number) + " = " + value;
    }
    return text;
}

std::string parameterNote(const FitStatistics& statistics)
{
    std::string note;
    for (const FreeParameter& p : statistics.freeParameters) {
        const char* what = p.status == ParameterStatus::AtLogBound ? " at bound (ln p)"
            : p.status == ParameterStatus::AtLimit                 ? " at bound (limit)"
            : p.status == ParameterStatus::Undetermined            ? " undetermined"
                                                                   : nullptr;
        if (what)
            note += (note.empty() ? "P" : ", P") + std::to_string(p.number) + what;
    }
    const std::string given = givenText(statistics);
    if (!given.empty())
        note += "; the others' std devs hold only " + given;
    return note;
}

const char* parameterStatusText(ParameterStatus status)
{
    switch (status) {
    case ParameterStatus::Determined: return "determined by the data";
    case ParameterStatus::Undetermined:
        return "undetermined: the data do not fix it (it does not move the model, or only together with others)";
    case ParameterStatus::AtLogBound:
        return "at bound: it ran to the bound of ln p (near 1e-308 or 1e308), where the model no longer depends on "
               "it; the fit holds it there, not the data";
    case ParameterStatus::AtLimit:
        return "at bound: it ended at its limit (or an exponent's range (0, 1]), which holds it there, not the data";
    }
    return "";
}

void readPntoutl(FitStatistics& statistics, const std::string& path)
{
    auto bytes = readRegularFile(path, kMaxResultFile);
    if (!bytes)
        throw exception("Cannot open file '%s'!", workfiles::kReport);
    std::istringstream in(std::move(*bytes));
    readPntoutl(in, statistics);
}

void readPntoutl(std::istream& in, FitStatistics& s)
{
    Report report(in);

    constexpr std::string_view kFreeMarker = kFreeCountMarker;
    if (!report.findLine(kFreeMarker)) {
        // A refused job's report holds its reason instead of results.
        const Reason why = report.reason();
        if (why.refused())
            throw exception("The engine did not run the job: %s", why.text.c_str());
        throw exception("Cannot find number of free parameters in PNTOUTL file!");
    }
    s.freeCount = countAfter(report.line(), kFreeMarker);

    if (!report.findLine(kFinalNormMarker))
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

    if (!report.findLine(kParameterTableMarker))
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

    if (!report.findLine(kCorrelationMarker))
        throw exception("Cannot find ESTIMATED PARAMETER CORRELATION MATRIX in PNTOUTL file!");
    // Between the table and the matrix: the status of the parameters the data
    // do not determine (reports of older engines have none).
    if (!report.statusLine().empty())
        readStatusLine(report.statusLine(), s);
    s.given.clear();
    if (!report.givenLine().empty())
        readGivenLine(report.givenLine(), s);

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
    s.search = SearchSummary{};
    if (report.findLine(kSearchMarker))
        readSearchLine(report.line(), s.search);
    // The profiles' points follow the matrix, up to the reason line.
    if (report.findLine(kReasonTag))
        report.keepReason();
    readExtraLines(report.extraLines(), s);
    s.end = report.reason();
}

namespace {

// Takes the next line into `line`; false at the end of the report.
bool take(std::istream& in, std::string& line)
{
    return lines::nextLine(in, line);
}

bool has(const std::string& line, std::string_view text)
{
    return line.find(text) != std::string::npos;
}

} // namespace

std::optional<ReportSections> splitReport(std::istream& in)
{
    ReportSections parts;
    std::string line;
    for (int i = 0; i < 5; ++i)
        if (!take(in, line))
            return std::nullopt;
    for (int i = 0; i < 5; ++i) {
        if (!take(in, line))
            return std::nullopt;
        parts.heading.push_back(line);
    }
    for (int i = 0; i < 2; ++i)
        if (!take(in, line))
            return std::nullopt;
    for (;;) {
        if (!take(in, line))
            return std::nullopt;
        if (line.empty())
            break;
        parts.startParameters.push_back(line);
    }
    do {
        if (!take(in, line))
            return std::nullopt;
    } while (!has(line, kFinalNormMarker));
    do {
        parts.results.push_back(line);
        if (!take(in, line))
            return std::nullopt;
    } while (!has(line, kCorrelationMarker));
    // The matrix ends at the first empty line.
    do {
        if (!take(in, line))
            return std::nullopt;
    } while (!line.empty());
    // The profiles' points are for the viewer's plot, not for the summary
    // (their blank line after them goes with them).
    bool profile = false;
    while (take(in, line)) {
        const bool point = line.size() > 1 && line.compare(1, std::strlen(kProfileTag), kProfileTag) == 0;
        if (point || (profile && line.empty())) {
            profile = point;
            continue;
        }
        profile = false;
        parts.tail.push_back(line);
    }
    return parts;
}

EngineAccount readEngineAccount(const std::string& reportPath, std::string_view console)
{
    EngineAccount account;
    if (auto bytes = readRegularFile(reportPath, kMaxResultFile)) {
        std::istringstream in(*bytes);
        account.reason = findReason(in);
        account.reportLastLine = report::lastLine(*bytes);
    }
    if (!account.reason) {
        std::istringstream in{std::string(console)};
        account.reason = findReason(in);
    }
    account.consoleLastLine = report::lastLine(console);
    return account;
}

} // namespace nosk
