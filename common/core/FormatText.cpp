#include "FormatText.h"

#include <cstdio>

namespace nosk {

void appendFormatV(std::string& out, const char* format, va_list args)
{
    // One pass into a small buffer covers nearly every message; a longer one
    // is formatted again at its size.
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n <= 0)
        return;
    const auto size = static_cast<std::size_t>(n);
    if (size < sizeof small) {
        out.append(small, size);
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + size + 1);
    std::vsnprintf(out.data() + start, size + 1, format, args);
    out.resize(start + size);
}

std::string formatTextV(const char* format, va_list args)
{
    std::string text;
    appendFormatV(text, format, args);
    return text;
}

std::string formatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = formatTextV(format, args);
    va_end(args);
    return text;
}

} // namespace nosk
