#pragma once

// Small text helpers shared by the data operations (not part of their API).

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

namespace nosk::opsdetail {

// Appends printf-formatted text; the format is always a literal of ours.
void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Fields of a line split at runs of blanks, tabs, CRs and LFs.
std::vector<std::string_view> splitFields(std::string_view line);

// Writes the bytes to a sibling temporary file and renames it over path, so
// that a failed write never destroys the old file. False when it failed; no
// temporary file is left then.
bool writeFileReplacing(const std::string& path, const std::string& bytes);

} // namespace nosk::opsdetail
