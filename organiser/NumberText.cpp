#include "NumberText.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nosk {

std::string formatExp(double value, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", decimals, value);
    std::string s = buf;
    // The C library writes at least two exponent digits; the boxes show three.
    auto e = s.find('E');
    if (e == std::string::npos || e + 2 > s.size())
        return s;
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3)
        digits.insert(digits.begin(), '0');
    return s.substr(0, e + 2) + digits;
}

double readLeadingReal(const std::string& text)
{
    std::string s = text.substr(0, 31);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        std::size_t expDigits = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            end = j;
    }
    double v = std::strtod(s.substr(start, end - start).c_str(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}

bool readWholeInt(const std::string& text, int& value)
{
    std::string s = text.substr(0, 31);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

int readDENumber(const std::string& text)
{
    double v = 0;
    if (std::sscanf(text.c_str(), "%lE", &v) != 1 || !std::isfinite(v))
        return 0;
    // Values far outside the catalogue still give "no DE", never an overflow.
    if (v > 1e6 || v < -1e6)
        return -1;
    return static_cast<int>(v);
}

} // namespace nosk
