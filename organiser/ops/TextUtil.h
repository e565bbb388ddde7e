#pragma once

// Small text helpers shared by the data operations (not part of their API).

#include <cstdarg>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nosk::opsdetail {

// Appends printf-formatted text; the format is always a literal of ours.
void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// One whole line without its terminator (LF, or CR LF); nothing at the end.
std::optional<std::string> nextLine(std::istream& in);

// Fields of a line split at runs of blanks, tabs, CRs and LFs.
std::vector<std::string_view> splitFields(std::string_view line);

// A field that is wholly a decimal floating number, exponent letter E, e, D
// or d; nothing when it is anything else (also "inf", "nan" or hex forms).
std::optional<double> parseNumber(std::string_view field);

// Writes the bytes to a sibling temporary file and renames it over path, so
// that a failed write never destroys the old file. False when it failed; no
// temporary file is left then.
bool writeFileReplacing(const std::string& path, const std::string& bytes);

} // namespace nosk::opsdetail
