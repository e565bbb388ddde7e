#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

// Small text helpers shared by the readers of the engine's report files.
// They read whole lines, so a long line never shifts the ones after it.
namespace nosk::report {

// The characters of columns [first, first + width) counted from 1, or what
// is left of the line when it is shorter (nothing past its end).
std::string_view columns(std::string_view line, std::size_t first, std::size_t width);

// Scans up to `wanted` numbers separated by white space from `text`, as the
// engine prints them: the first as an integer when `firstIsInteger`, the
// others as floating numbers (exponent letter E or e). Stops at the first
// token that is not such a number and returns how many were scanned; the
// values go to out[0 ...]. Independent of the process's locale.
int scanNumbers(std::string_view text, bool firstIsInteger, double* out, int wanted);

// The last line of a text (lines end as core/LineReader.h says) that holds
// more than blanks, without the blanks around it; empty when there is none.
// The engine's last word on its console or in a report.
std::string lastLine(std::string_view text);

} // namespace nosk::report
