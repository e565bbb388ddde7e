#include "TextUtil.h"

#include "core/FormatText.h"

#include <cstdio>

namespace nosk::opsdetail {

void appendf(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    appendFormatV(out, format, args);
    va_end(args);
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

} // namespace nosk::opsdetail
