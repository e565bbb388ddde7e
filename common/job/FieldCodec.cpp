#include "job/FieldCodec.h"

#include "core/Exception.h"
#include "core/NumberText.h"
#include "core/RegularFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>

namespace nosk {

std::string FieldName::text() const
{
    std::string s = m_name ? m_name : "";
    if (m_index >= 0) {
        // Appended piece by piece: "[" + to_string() draws a false -Wrestrict
        // from GCC 12 at -O3.
        s += '[';
        s += std::to_string(m_index);
        s += ']';
    }
    return s;
}

namespace {

// A field's text, examined apart from the line (it is changed while parsed).
class FieldText {
public:
    explicit FieldText(std::string_view field)
    {
        if (field.size() < sizeof m_small) {
            m_data = m_small;
        } else {
            m_big.resize(field.size() + 1);
            m_data = m_big.data();
        }
        if (!field.empty())
            std::memcpy(m_data, field.data(), field.size());
        m_size = field.size();
        m_data[m_size] = '\0';
    }
    FieldText(const FieldText&) = delete;
    FieldText& operator=(const FieldText&) = delete;

    void trimTrailingBlanks()
    {
        while (m_size > 0 && (m_data[m_size - 1] == ' ' || m_data[m_size - 1] == '\t'
                              || m_data[m_size - 1] == '\r'))
            --m_size;
        m_data[m_size] = '\0';
    }
    char* data() { return m_data; }
    std::size_t size() const { return m_size; }
    const char* c_str() const { return m_data; }
    bool blank() const { return m_size == 0; }  // after trimTrailingBlanks

private:
    char m_small[96];
    std::string m_big;
    char* m_data;
    std::size_t m_size = 0;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Parses a decimal integer after optional leading white space and sign.
// Returns the number of characters used (0 when nothing parsed); `overflow`
// tells a number outside 32 bits.
std::size_t parseInt(const char* text, std::size_t size, int& value, bool& overflow)
{
    overflow = false;
    std::size_t i = 0;
    while (i < size && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::size_t digitsStart = i;
    // Digits beyond 32 bits still count: a value that stopped growing at
    // 2147483648 would come back as INT_MIN with a minus in front.
    long long v = 0;
    bool tooMany = false;
    while (i < size && text[i] >= '0' && text[i] <= '9') {
        if (v <= std::numeric_limits<int>::max())
            v = v * 10 + (text[i] - '0');
        else
            tooMany = true;
        ++i;
    }
    if (i == digitsStart) {
        value = 0;
        return 0;
    }
    if (negative)
        v = -v;
    if (tooMany || v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) {
        overflow = true;
        value = 0;
        return i;
    }
    value = static_cast<int>(v);
    return i;
}

// Parses a floating number after optional leading white space and sign, by
// the job-field rule (core/NumberText.h). Returns the number of characters
// used; `value` is 0 when there is no number.
std::size_t parseDouble(const char* text, std::size_t size, double& value)
{
    value = 0;
    return scanNumber(std::string_view(text, size), kJobField, value);
}

// The D field rule: a blank right after the first upper-case D is a '+'.
void plusAfterD(FieldText& field)
{
    char* d = static_cast<char*>(std::memchr(field.data(), 'D', field.size()));
    if (d && d + 1 < field.data() + field.size() && d[1] == ' ')
        d[1] = '+';
}

void readDoubleField(FieldText& field, double* destination, const FieldName& name)
{
    plusAfterD(field);
    double v = 0;
    std::size_t used = parseDouble(field.data(), field.size(), v);
    *destination = v;
    if (used != field.size())
        throw exception("%s. Wrong double! '%s'", name.text().c_str(), field.c_str());
}

} // namespace

namespace {

// The next `width` characters of `line`, or what is left of it.
std::string_view fieldOf(std::string_view line, int width)
{
    return line.substr(0, width > 0 ? std::min<std::size_t>(static_cast<std::size_t>(width), line.size()) : 0);
}

} // namespace

std::string_view readInt(std::string_view line, int width, int& destination, FieldName name)
{
    std::string_view field = fieldOf(line, width);
    FieldText text(field);
    text.trimTrailingBlanks();
    bool overflow = false;
    int v = 0;
    std::size_t used = parseInt(text.data(), text.size(), v, overflow);
    destination = v;
    if (used != text.size() || overflow)
        throw exception("%s. Wrong integer! '%s'", name.text().c_str(), text.c_str());
    return line.substr(field.size());
}

std::string_view readDouble(std::string_view line, int width, double& destination, FieldName name)
{
    std::string_view field = fieldOf(line, width);
    FieldText text(field);
    text.trimTrailingBlanks();
    readDoubleField(text, &destination, name);
    return line.substr(field.size());
}

std::string_view readChars(std::string_view line, int width, char* destination)
{
    std::string_view field = fieldOf(line, width);
    if (!field.empty())
        std::memcpy(destination, field.data(), field.size());
    return line.substr(field.size());
}

std::string_view readChars(std::string_view line, int width, std::string& destination)
{
    std::string_view field = fieldOf(line, width);
    if (!field.empty())
        destination.assign(field);
    return line.substr(field.size());
}

std::string_view skipColumns(std::string_view line, int width)
{
    return line.substr(fieldOf(line, width).size());
}

std::string_view readField(std::string_view line, char format, int width,
                           FieldDestination destination, FieldName name)
{
    // A destination that does not fit the letter is a fault of the caller.
    auto wrongDestination = [] { return std::invalid_argument("readField: destination does not fit the format"); };
    switch (format) {
    case 'a':
        if (auto s = std::get_if<std::string*>(&destination))
            return readChars(line, width, **s);
        if (auto c = std::get_if<char*>(&destination))
            return readChars(line, width, *c);
        if (fieldOf(line, width).empty())
            return line;
        throw wrongDestination();
    case 'i':
        if (auto i = std::get_if<int*>(&destination))
            return readInt(line, width, **i, name);
        throw wrongDestination();
    case 'd':
        if (auto d = std::get_if<double*>(&destination))
            return readDouble(line, width, **d, name);
        throw wrongDestination();
    case 'x':
        return skipColumns(line, width);
    default:
        throw exception("%s. Unknown format '%c'!", name.text().c_str(), format);
    }
}

std::string_view readDoubleOr(std::string_view line, int width, double& destination,
                              FieldName name, double defaultValue)
{
    std::string_view field = fieldOf(line, width);
    if (field.find_first_not_of(" \t\r") == std::string_view::npos) {
        destination = defaultValue;
        return line.substr(field.size());
    }
    return readDouble(line, width, destination, name);
}

// --- LineFile ---

namespace {
constexpr std::size_t kChunk = 1 << 16;
}

LineFile::LineFile(const std::string& path)
{
    // A folder, a FIFO or a device holds no lines: refused at once, never
    // waited on or read without end.
    m_file = openRegularStream(path);
    if (!m_file)
        throw exception("Cannot open file '%s'!", path.c_str());
    // No larger than the file (and one byte to meet its end in the first
    // read): a short job needs no 64 KiB of zeroed pages, which cost a short
    // engine run more than reading the file.
    struct stat info {};
    std::size_t size = kChunk;
    if (::fstat(::fileno(m_file), &info) == 0 && info.st_size >= 0
        && static_cast<unsigned long long>(info.st_size) < kChunk)
        size = std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 512);
    m_buffer.resize(size);
}

LineFile LineFile::fromText(std::string text)
{
    LineFile f;
    f.m_buffer.assign(text.begin(), text.end());
    f.m_end = f.m_buffer.size();
    return f;
}

LineFile::LineFile(LineFile&& other) noexcept
    : m_file(other.m_file), m_buffer(std::move(other.m_buffer)), m_pos(other.m_pos),
      m_end(other.m_end), m_metEnd(other.m_metEnd), m_linesRead(other.m_linesRead), m_long(std::move(other.m_long))
{
    other.m_file = nullptr;
}

LineFile::~LineFile()
{
    if (m_file)
        std::fclose(m_file);
}

bool LineFile::refill()
{
    if (!m_file)
        return false;
    std::size_t got = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    m_pos = 0;
    m_end = got;
    return got > 0;
}

std::string_view LineFile::finish(std::string_view line, bool truncated)
{
    if (!truncated && !line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() > kMaxKept)
        line = line.substr(0, kMaxKept);
    return line;
}

std::optional<std::string_view> LineFile::next()
{
    // The kept part of a line spanning buffer fills: kMaxKept characters plus
    // one, so that a CR right at the limit can still be told apart.
    bool spanning = false;
    bool truncated = false;
    m_long.clear();
    auto keep = [&](const char* from, std::size_t count) {
        std::size_t room = kMaxKept + 1 - std::min(m_long.size(), kMaxKept + 1);
        if (count > room) {
            truncated = true;
            count = room;
        }
        m_long.append(from, count);
    };
    for (;;) {
        if (m_pos == m_end && !refill()) {
            m_metEnd = true;
            if (!spanning)
                return std::nullopt;
            ++m_linesRead;
            return finish(m_long, truncated);
        }
        const char* begin = m_buffer.data() + m_pos;
        const char* lf = static_cast<const char*>(std::memchr(begin, '\n', m_end - m_pos));
        if (lf) {
            std::size_t len = static_cast<std::size_t>(lf - begin);
            m_pos += len + 1;
            ++m_linesRead;
            if (!spanning)
                return finish(std::string_view(begin, len), false);
            keep(begin, len);
            return finish(m_long, truncated);
        }
        keep(begin, m_end - m_pos);
        m_pos = m_end;
        spanning = true;
    }
}

std::optional<std::string_view> readLine(LineFile& file, bool required)
{
    auto line = file.next();
    if (!line && required)
        throw exception("Input file format error: the file ends after line %d (line %d expected)!",
            file.linesRead(), file.linesRead() + 1);
    return line;
}

// --- writers ---

std::string& writeInt(std::string& line, int value, int width)
{
    char digits[16];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    std::size_t len = static_cast<std::size_t>(r.ptr - digits);
    if (width >= 2) {
        std::size_t total = len + (value >= 0 ? 1 : 0);
        if (total < static_cast<std::size_t>(width))
            line.append(static_cast<std::size_t>(width) - total, ' ');
        if (value >= 0)
            line.push_back(' ');
    }
    line.append(digits, len);
    return line;
}

std::string& writeD(std::string& line, double value, int width, int digits)
{
    int fieldWidth = width - 4;
    if (!std::isfinite(value)) {
        // The engine's Fortran reader and ours both take INF and NAN.
        const char* text = std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
        std::size_t len = std::strlen(text);
        if (len < static_cast<std::size_t>(std::max(width, 0)))
            line.append(static_cast<std::size_t>(width) - len, ' ');
        line.append(text);
        return line;
    }
    int precision = std::clamp(digits, 1, 300) - 1;
    // d.ddde+XX as printf "%+.<P-1>E" gives it, without the sign.
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, precision);
    const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
    // Mantissa: sign position, point, then all the digits.
    char mantissa[400];
    std::size_t m = 0;
    mantissa[m++] = std::signbit(value) ? '-' : ' ';
    mantissa[m++] = '.';
    for (const char* p = buf; p < e; ++p)
        if (*p != '.')
            mantissa[m++] = *p;
    int exponent = 0;
    std::from_chars(e[1] == '+' ? e + 2 : e + 1, r.ptr, exponent);
    if (buf[0] != '0')
        exponent += 1;
    if (static_cast<int>(m) < fieldWidth)
        line.append(static_cast<std::size_t>(fieldWidth) - m, ' ');
    line.append(mantissa, m);
    line.push_back('D');
    line.push_back(exponent < 0 ? '-' : '+');
    int absExp = exponent < 0 ? -exponent : exponent;
    if (absExp < 10)
        line.push_back('0');
    char expDigits[8];
    auto er = std::to_chars(expDigits, expDigits + sizeof expDigits, absExp);
    line.append(expDigits, er.ptr);
    return line;
}

std::string& writeChars(std::string& line, char character, int count)
{
    if (count > 0)
        line.append(static_cast<std::size_t>(count), character);
    return line;
}

} // namespace nosk
