#include "TextUtil.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"
#include "results/ReportText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nosk::opsdetail {

void appendf(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, static_cast<size_t>(n));
    } else {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), format, copy);
        big.resize(static_cast<size_t>(n));
        out += big;
    }
    va_end(copy);
}

std::optional<std::string> nextLine(std::istream& in)
{
    std::string line;
    if (!report::nextLine(in, line))
        return std::nullopt;
    return line;
}

static bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSeparator(line[i]))
            ++i;
        size_t start = i;
        while (i < line.size() && !isSeparator(line[i]))
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

static bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<double> parseNumber(std::string_view field)
{
    // Checked by hand first: the C library would also take "nan", "inf" and
    // hexadecimal numbers, which no data sheet means.
    size_t i = 0;
    const size_t n = field.size();
    if (i < n && (field[i] == '+' || field[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < n && isDigit(field[i])) {
        ++i;
        ++digits;
    }
    if (i < n && field[i] == '.') {
        ++i;
        while (i < n && isDigit(field[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (field[i] == 'E' || field[i] == 'e' || field[i] == 'D' || field[i] == 'd')) {
        ++i;
        if (i < n && (field[i] == '+' || field[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < n && isDigit(field[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;

    std::string text(field);
    for (char& c : text)
        if (c == 'D' || c == 'd')
            c = 'E';
    // 1e999 overflows to infinity: as "inf", no number a sheet means.
    const double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

bool writeFileReplacing(const std::string& path, const std::string& bytes)
{
    try {
        AtomicFileWriter writer(path);
        writer.buffer() = bytes;
        writer.commit();
        return true;
    } catch (const exception&) {
        return false;
    }
}

} // namespace nosk::opsdetail
