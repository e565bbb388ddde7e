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

} // namespace nosk::opsdetail
