#include "NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <limits>
#include <system_error>
#include <string_view>

namespace nosk {

std::string widenExponent(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        char c = text[i];
        if ((c == 'e' || c == 'E') && i > 0 && std::isdigit(static_cast<unsigned char>(text[i - 1]))
            && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) {
            std::size_t d = i + 2;
            std::size_t n = 0;
            while (d + n < text.size() && std::isdigit(static_cast<unsigned char>(text[d + n])))
                ++n;
            out += text[i + 1];
            for (std::size_t k = n; k < 3; ++k)
                out += '0';
            out.append(text, d, n);
            i = d + n - 1;
        }
    }
    return out;
}

std::string formatNumber(const char* printfFormat, double value)
{
    // Split the format into the text before the conversion, the conversion
    // and the text after it, so that a field width is kept when the exponent
    // grows by a digit.
    std::string format(printfFormat);
    std::size_t pct = 0;
    while ((pct = format.find('%', pct)) != std::string::npos && pct + 1 < format.size()
           && format[pct + 1] == '%')
        pct += 2;
    if (pct == std::string::npos)
        return format;
    std::size_t i = pct + 1;
    bool left = false, zero = false;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) {
        left = left || format[i] == '-';
        zero = zero || format[i] == '0';
        ++i;
    }
    std::size_t width = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
        width = width * 10 + static_cast<std::size_t>(format[i++] - '0');
    while (i < format.size() && !std::isalpha(static_cast<unsigned char>(format[i])))
        ++i;
    while (i < format.size() && (format[i] == 'l' || format[i] == 'L'))
        ++i;
    std::size_t end = i < format.size() ? i + 1 : i;
    std::string spec = format.substr(pct, end - pct);

    char buffer[512];
    // The conversion comes from the caller's literal format, cut out above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
#pragma GCC diagnostic pop
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer)
        return {};
    std::string number = widenExponent(std::string(buffer, static_cast<std::size_t>(n)));
    while (width > 0 && number.size() > width) {
        if (left && number.back() == ' ') {
            number.pop_back();
        } else if (!left && number.front() == ' ') {
            number.erase(0, 1);
        } else if (zero && !left) {
            std::size_t z = (number.front() == '-' || number.front() == '+' || number.front() == ' ') ? 1 : 0;
            if (z < number.size() && number[z] == '0' && z + 1 < number.size()
                && std::isdigit(static_cast<unsigned char>(number[z + 1])))
                number.erase(z, 1);
            else
                break;
        } else {
            break;
        }
    }
    std::string before = format.substr(0, pct);
    std::string after = format.substr(end);
    // "%%" in the surrounding text stands for one percent sign.
    auto unescape = [](std::string t) {
        for (std::size_t k = t.find("%%"); k != std::string::npos; k = t.find("%%", k + 1))
            t.erase(k, 1);
        return t;
    };
    return unescape(before) + number + unescape(after);
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text at i starts with the lower-case word, in any case.
bool startsWithWord(std::string_view text, std::size_t i, std::string_view word)
{
    if (text.size() - i < word.size())
        return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (lower(text[i + k]) != word[k])
            return false;
    return true;
}

// inf, infinity, nan or nan(...) at i: the characters it takes, 0 for none.
std::size_t nonFiniteWord(std::string_view text, std::size_t i, bool& isNan)
{
    if (startsWithWord(text, i, "infinity")) {
        isNan = false;
        return 8;
    }
    if (startsWithWord(text, i, "inf")) {
        isNan = false;
        return 3;
    }
    if (!startsWithWord(text, i, "nan"))
        return 0;
    isNan = true;
    std::size_t j = i + 3;
    if (j < text.size() && text[j] == '(') {
        std::size_t k = j + 1;
        while (k < text.size() && (isDigit(text[k]) || text[k] == '_' || (lower(text[k]) >= 'a' && lower(text[k]) <= 'z')))
            ++k;
        if (k < text.size() && text[k] == ')')
            j = k + 1;
    }
    return j - i;
}

} // namespace

std::size_t scanNumber(std::string_view text, const NumberRule& rule, double& value)
{
    std::size_t i = 0;
    if (rule.blanksBefore)
        while (i < text.size() && isBlank(text[i]))
            ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    if (rule.nonFinite) {
        bool isNan = false;
        if (std::size_t n = nonFiniteWord(text, i, isNan)) {
            const double v = isNan ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
            value = negative ? -v : v;
            return i + n;
        }
    }

    // The extent of the number by the grammar; the conversion comes after.
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    std::size_t end = i;
    std::size_t exponentAt = std::string_view::npos;
    if (i < text.size()) {
        const char e = text[i];
        if (e == 'E' || e == 'e' || (rule.dExponent && (e == 'D' || e == 'd'))) {
            std::size_t j = i + 1;
            if (j < text.size() && (text[j] == '+' || text[j] == '-'))
                ++j;
            if (j < text.size() && isDigit(text[j])) {
                while (j < text.size() && isDigit(text[j]))
                    ++j;
                exponentAt = i - start;
                end = j;
            }
        }
    }

    // A copy with the exponent letter as E: from_chars knows no other.
    char small[96];
    std::string big;
    const std::size_t n = end - start;
    char* buf = small;
    if (n >= sizeof small) {
        big.resize(n + 1);
        buf = big.data();
    }
    std::memcpy(buf, text.data() + start, n);
    buf[n] = '\0';
    if (exponentAt != std::string_view::npos)
        buf[exponentAt] = 'e';
    double v = 0;
    auto r = std::from_chars(buf, buf + n, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the doubles: the C reader (in the C locale, whatever the
        // desktop's decimal separator) tells an overflow (HUGE_VAL) from a
        // value nearer zero than the smallest subnormal (zero).
        static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
        v = ::strtod_l(buf, nullptr, cLocale);
        if (std::isinf(v) && !rule.overflowToInfinity)
            return 0;
    } else if (r.ec != std::errc() || r.ptr != buf + n) {
        return 0;
    }
    value = negative ? -v : v;
    return end;
}

std::optional<double> readNumber(std::string_view text, const NumberRule& rule)
{
    std::string withPoint;
    if (rule.decimalComma) {
        const std::size_t comma = text.find(',');
        if (comma != std::string_view::npos && text.find(',', comma + 1) == std::string_view::npos
            && text.find('.') == std::string_view::npos) {
            withPoint.assign(text);
            withPoint[comma] = '.';
            text = withPoint;
        }
    }
    double value = 0;
    const std::size_t used = scanNumber(text, rule, value);
    if (used == 0)
        return std::nullopt;
    if (!rule.textAfter) {
        std::size_t end = used;
        if (rule.blanksAfter)
            while (end < text.size() && isBlank(text[end]))
                ++end;
        if (end != text.size())
            return std::nullopt;
    }
    return value;
}

} // namespace nosk
