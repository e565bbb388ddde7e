#pragma once

#include <string>

namespace nosk {

// One CSV field: as it stands, or quoted (with doubled quotes) when it holds
// a comma, a quote or a line end, so spreadsheets read the tables the
// programs write back as they were.
inline std::string csvText(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace nosk
