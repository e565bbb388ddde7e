#pragma once

#include <cstdarg>
#include <string>

namespace nosk {

// printf-style text of any length; the format is always a literal of ours,
// file contents and user text go in only as %s arguments. The one place the
// programs' messages are formatted (the error object, the engine's reasons,
// the organiser's reports).
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatTextV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
// Appends to out; a format error appends nothing.
void appendFormatV(std::string& out, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

} // namespace nosk
