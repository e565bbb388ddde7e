#pragma once

#include "core/Utf8Text.h"

#include <string>
#include <string_view>

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

// A CSV field of text that comes from outside (a file name, a reason): a
// text that a spreadsheet would take for a formula (it begins with '=',
// '+', '-', '@', a tab or a carriage return) gets a leading apostrophe, so
// it is shown as the text it is and never computed; bytes that are no UTF-8
// (a header's "µ" in Latin-1) are converted (validUtf8), so that the table
// is UTF-8 throughout.
inline std::string csvTextCell(const std::string& text)
{
    const std::string s = validUtf8(text);
    if (!s.empty() && std::string_view("=+-@\t\r").find(s.front()) != std::string_view::npos)
        return csvText("'" + s);
    return csvText(s);
}

} // namespace nosk
