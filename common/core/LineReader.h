#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

// Text split into lines, by one rule for every reader of the programs (the
// engine's reports, data and weight sheets, instrument exports):
//
//   a line ends at LF, at CR LF, at CR CR LF (what an exporter writes when
//   its CR LF passes a text-mode layer once more), or at a CR followed by
//   anything else (old spreadsheet and Mac files: "a\r\rb" is three lines,
//   the middle one empty).
//
// The line end is not part of the line. A last line without a line end is a
// line; nothing follows the last line end. Every other byte, NUL included,
// belongs to its line. The job file's fixed-column reader (LineFile in
// job/FieldCodec.h) is apart: it reads a file in bounded pieces for the
// engine and ends lines at LF and CR LF only.
namespace nosk::lines {

// The next line of the stream without its line end; false (and line empty)
// when the stream holds no more. As std::getline, it sets eofbit when it met
// the end and failbit when no line was left.
bool nextLine(std::istream& in, std::string& line);
std::optional<std::string> nextLine(std::istream& in);

// Lines of text held in memory, as views into it (no copies).
class LineSplitter {
public:
    explicit LineSplitter(std::string_view text) : m_text(text) {}

    // The next line without its line end, or nothing after the last one.
    std::optional<std::string_view> next();

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace nosk::lines
