#include "NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    int n = std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
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

bool scanLeadingDouble(const std::string& t, double& value)
{
    std::size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i])))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    std::size_t start = i;
    std::size_t mantissa = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        ++i;
        ++mantissa;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            ++i;
            ++mantissa;
        }
    }
    if (mantissa == 0)
        return false;
    std::size_t end = i;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-'))
            ++j;
        if (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) {
            while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j])))
                ++j;
            end = j;
        }
    }
    double v = 0.0;
    auto r = std::from_chars(t.data() + start, t.data() + end, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is no number we could store.
        v = 0.0;
        for (std::size_t k = start; k < end && (t[k] != 'e' && t[k] != 'E'); ++k)
            if (t[k] >= '1' && t[k] <= '9') {
                if (std::strtod(t.substr(start, end - start).c_str(), nullptr) != 0.0)
                    return false;
                break;
            }
    } else if (r.ec != std::errc()) {
        return false;
    }
    if (!std::isfinite(v))
        return false;
    value = negative ? -v : v;
    return true;
}

} // namespace nosk
