#include "ReportText.h"

#include "core/LineReader.h"
#include "core/NumberText.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace nosk::report {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Parses a floating number at the start of [first, last) by the report
// column rule (core/NumberText.h). Returns the end of the number, or nullptr
// when there is none.
const char* parseDouble(const char* first, const char* last, double& value)
{
    const std::size_t used = scanNumber(std::string_view(first, static_cast<std::size_t>(last - first)), kReportColumn, value);
    return used ? first + used : nullptr;
}

// An integer as scanf's %i reads it: sign, then 0x hexadecimal, 0 octal or
// decimal digits. Out-of-range values saturate; only the extent matters here.
const char* parseScanInt(const char* first, const char* last, double& value)
{
    const char* p = first;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    int base = 10;
    if (p != last && *p == '0') {
        if (last - p > 2 && (p[1] == 'x' || p[1] == 'X')
            && std::isxdigit(static_cast<unsigned char>(p[2]))) {
            base = 16;
            p += 2;
        } else {
            base = 8;
        }
    }
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(p, last, v, base);
    if (end == p)
        return nullptr;
    if (ec == std::errc::result_out_of_range)
        v = std::numeric_limits<std::int64_t>::max();
    value = static_cast<double>(negative ? -v : v);
    return end;
}

} // namespace

std::string_view columns(std::string_view line, std::size_t first, std::size_t width)
{
    std::size_t start = first > 0 ? first - 1 : 0;
    // Past the end: an empty field that still points at characters, since
    // the codec copies fields with memcpy.
    if (start >= line.size())
        return std::string_view("", 0);
    return line.substr(start, width);
}

std::string lastLine(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    lines::LineSplitter lines(text);
    std::string_view last;
    while (auto line = lines.next()) {
        const std::size_t first = line->find_first_not_of(kBlanks);
        if (first != std::string_view::npos)
            last = line->substr(first, line->find_last_not_of(kBlanks) - first + 1);
    }
    return std::string(last);
}

int scanNumbers(std::string_view text, bool firstIsInteger, double* out, int wanted)
{
    const char* p = text.data();
    const char* last = text.data() + text.size();
    int scanned = 0;
    while (scanned < wanted) {
        while (p != last && isBlank(*p))
            ++p;
        double value = 0;
        const char* end = (scanned == 0 && firstIsInteger) ? parseScanInt(p, last, value)
                                                            : parseDouble(p, last, value);
        if (!end)
            break;
        out[scanned++] = value;
        p = end;
    }
    return scanned;
}

} // namespace nosk::report
