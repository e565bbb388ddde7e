#include "TextFile.h"

#include "core/Exception.h"
#include "core/FormatText.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

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
    appendFormatV(m_contents, format, args);
    va_end(args);
    m_contents += "\r\n";
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

std::string eFormat(double value, int width, int digits)
{
    // std::to_chars rounds the exact binary value correctly, as printf does,
    // and writes the same digits and the same exponent (sign and at least two
    // digits); printf's letter is upper case.
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits);
    if (ec != std::errc()) {
        char buffer[80];
        std::snprintf(buffer, sizeof buffer, "%*.*E", width, digits, value);
        return buffer;
    }
    for (char* c = text; c < end; ++c)
        if (*c == 'e')
            *c = 'E';
    const std::size_t length = static_cast<std::size_t>(end - text);
    std::string s(length < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - length : 0, ' ');
    s.append(text, length);
    return s;
}

std::string eField(double value, int width, int digits, bool separate)
{
    if (!std::isfinite(value))
        value = 0.0;
    std::string s;
    for (int d = digits; d >= 0; --d) {
        s = eFormat(value, width, d);
        const int length = static_cast<int>(s.size());
        if (length < width || (length == width && (!separate || s[0] == ' ')))
            return s;
    }
    return s;
}

} // namespace nosk::engine
