#pragma once

// The fixed-column codec of the engine's text files: numbers are right-aligned
// in fixed columns and doubles carry a D exponent (.8854D-13). The readers
// throw nosk::exception with the field's name first in the message.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nosk {

// A field's name in messages: the engine's field name ("MAXFEV") or an array
// element ("P", 3 gives "P[3]"). Cheap to pass; the text is built only when a
// message needs it.
class FieldName {
public:
    FieldName(const char* name = nullptr) : m_name(name) {}  // NOLINT: implicit on purpose
    FieldName(const char* array, int index) : m_name(array), m_index(index) {}

    std::string text() const;

private:
    const char* m_name;
    int m_index = -1;
};

// Where readField stores a field: nothing ('x'), an int ('i'), a double ('d'),
// or characters ('a': into a char buffer of at least `width` characters, no
// terminator added, or into a std::string).
using FieldDestination = std::variant<std::nullptr_t, int*, double*, char*, std::string*>;

// Reads the next `width` characters of `line` (or what is left of it) with the
// format letter 'a', 'i', 'd' or 'x' and returns the rest of the line. An empty
// or blank number field gives 0; an 'a' field past the end of the line leaves
// the destination as it was. A number field with characters left over after
// the number fails with "<name>. Wrong integer! '<field>'" or "<name>. Wrong
// double! '<field>'"; the number read from the field's leading part is stored
// before that.
std::string_view readField(std::string_view line, char format, int width,
                           FieldDestination destination, FieldName name = {});

// A 'd' field where a blank field (or the end of the line) means `defaultValue`.
std::string_view readDoubleOr(std::string_view line, int width, double& destination,
                              FieldName name, double defaultValue);

// The typed readers behind readField, one for each kind of field, so that a
// destination that does not fit its field is a compile error rather than a
// failure at run time. Each reads the next `width` characters of `line` (or
// what is left of it) and returns the rest; the rules are readField's.
std::string_view readInt(std::string_view line, int width, int& destination, FieldName name = {});
std::string_view readDouble(std::string_view line, int width, double& destination, FieldName name = {});
std::string_view readChars(std::string_view line, int width, char* destination);
std::string_view readChars(std::string_view line, int width, std::string& destination);
std::string_view skipColumns(std::string_view line, int width);

// A text file read line by line. Lines end with CR LF or LF; the last line may
// lack its terminator. Whole lines are read; characters beyond kMaxKept are
// dropped (no field of the engine's files lies that far right), so a long line
// never spills into the next one and memory stays bounded.
class LineFile {
public:
    static constexpr std::size_t kMaxKept = 4096;

    // Opens `path`; failure: "Cannot open file '<path>'!".
    explicit LineFile(const std::string& path);
    // Reads from text held in memory instead of a file.
    static LineFile fromText(std::string text);
    ~LineFile();
    LineFile(LineFile&& other) noexcept;
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    LineFile& operator=(LineFile&&) = delete;

    // The next line without its terminator (valid until the next call), or
    // nothing at the end of the file.
    std::optional<std::string_view> next();
    // True once a read has met the end of the file: the last line had no
    // terminator, or no line was left.
    bool metEnd() const { return m_metEnd; }
    // How many lines next() has returned.
    int linesRead() const { return m_linesRead; }

private:
    LineFile() = default;
    bool refill();
    std::string_view finish(std::string_view line, bool truncated);

    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_metEnd = false;
    int m_linesRead = 0;
    std::string m_long;  // a line that spans two buffer fills
};

// The next line of `file`; at the end of the file "Input file format error:
// the file ends after line N (line N+1 expected)!" when `required`,
// otherwise nothing.
std::optional<std::string_view> readLine(LineFile& file, bool required);

// Writers: each appends a field to `line` and returns it.
// writeInt: width >= 2 right-aligns in `width` columns with a blank for the
// sign of a non-negative value (printf "% <width>i"); width <= 1 writes only
// the digits.
std::string& writeInt(std::string& line, int value, int width);
// writeD: a D field of `width` columns with `digits` significant digits and
// the mantissa below one: 8.8541878e-14 with (10, 4) gives " .8854D-13".
// Non-finite values are written as INF, -INF or NAN, right-aligned.
std::string& writeD(std::string& line, double value, int width, int digits);
// writeChars: `count` copies of `character`.
std::string& writeChars(std::string& line, char character, int count);

} // namespace nosk
