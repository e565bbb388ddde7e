#include "TextFile.h"

#include "core/Exception.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string_view>
#include <vector>

namespace nosk::engine {

namespace {

AtomicFileWriter::Durability g_durability = AtomicFileWriter::Durability::Sync;

} // namespace

AtomicFileWriter::Durability outputDurability()
{
    return g_durability;
}

void setOutputDurability(AtomicFileWriter::Durability durability)
{
    g_durability = durability;
}

void TextFile::line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string s;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        s.assign(buffer.data(), static_cast<std::size_t>(n));
    }
    va_end(args);
    text(s);
}

void TextFile::text(const std::string& line)
{
    m_contents += line;
    m_contents += "\r\n";
}

void TextFile::save(const std::string& path) const
{
    // Made fresh and renamed into place: a link planted under the name is
    // replaced, never written through, and a reader never sees half a file.
    replaceFile(path, m_contents, AtomicFileWriter::Links::Replace, g_durability);
}

std::string eField(double value, int width, int digits, bool separate)
{
    if (!std::isfinite(value))
        value = 0.0;
    char buffer[64];
    for (int d = digits; d >= 0; --d) {
        std::snprintf(buffer, sizeof buffer, "%*.*E", width, d, value);
        const int length = static_cast<int>(std::string_view(buffer).size());
        if (length < width || (length == width && (!separate || buffer[0] == ' ')))
            return buffer;
    }
    return buffer;
}

} // namespace nosk::engine
