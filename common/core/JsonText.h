#pragma once

// The two pieces of JSON our writers put together by hand: a string and a
// number. Standard library only.

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

namespace nosk::json {

// `s` as a JSON string: quotes, backslashes and control characters escaped;
// UTF-8 passes as it is.
inline std::string text(std::string_view s)
{
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char b[8];
                std::snprintf(b, sizeof b, "\\u%04x", c);
                out += b;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

// `v` with `digits` significant digits; null for NaN and the infinities,
// which JSON has no number for.
inline std::string number(double v, int digits = 17)
{
    if (!std::isfinite(v))
        return "null";
    char b[40];
    std::snprintf(b, sizeof b, "%.*g", digits, v);
    return b;
}

} // namespace nosk::json
