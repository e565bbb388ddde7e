#pragma once

#include <string>

namespace nosk {

// printf-style formatting of one double with the exponent written in at least
// three digits, as the programs have always shown numbers ("%.6E" of the
// vacuum permittivity gives 8.854188E-014, "%e" of -1.23456 gives
// -1.234560e+000). Only the conversions e, E, g, G, f and F are meaningful;
// the format holds exactly one of them.
std::string formatNumber(const char* printfFormat, double value);

// Widens every two-digit exponent ("e+05", "E-14") of a formatted number to
// three digits; other text is kept.
std::string widenExponent(const std::string& text);

// Reads the leading decimal number of text as a C scanf "%lE" would take it
// (blanks first, sign, digits with an optional point, an optional exponent),
// without infinities, NaN or hexadecimal forms and without a value that
// overflows. False, and value untouched, when the text does not start with
// such a number. What follows the number is not looked at.
bool scanLeadingDouble(const std::string& text, double& value);

} // namespace nosk
