#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

// Small text helpers shared by the readers of the engine's report files.
// They read whole lines (so a long line never shifts the ones after it) and
// cut fixed columns out of them with the same number rules as the input file.
namespace nosk::report {

// Reads the next line without its terminator: a line feed, with a carriage
// return in front of it, or nothing for a last line without one.
bool nextLine(std::istream& in, std::string& line);

// The characters of columns [first, first + width) counted from 1, or what
// is left of the line when it is shorter (nothing past its end).
std::string_view columns(std::string_view line, std::size_t first, std::size_t width);

// A floating field: blank reads as 0; exponent letter E, e, D or d, and a
// blank right after the first D taken as '+'. Anything else left over throws
// "%s. Wrong double! '%s'" with the name and the field text.
double fieldDouble(std::string_view field, const char* name);

// A decimal integer field: blank reads as 0; anything left over (or a value
// beyond 32 bits) throws "%s. Wrong integer! '%s'".
int fieldInt(std::string_view field, const char* name);

// Scans up to `wanted` numbers separated by white space from `text`, as the
// engine prints them: the first as an integer when `firstIsInteger`, the
// others as floating numbers (exponent letter E or e). Stops at the first
// token that is not such a number and returns how many were scanned; the
// values go to out[0 ...]. Independent of the process's locale.
int scanNumbers(std::string_view text, bool firstIsInteger, double* out, int wanted);

} // namespace nosk::report
