#pragma once

#include <string>

namespace nosk {

// Numbers as the organiser's boxes show them: exponent form with upper-case
// E and a three-digit exponent, e.g. formatExp(1.0, 7) == "1.0000000E+000".
std::string formatExp(double value, int decimals);

// A box read as a real: trailing blanks removed, the leading decimal number
// taken (sign, digits with an optional point, optional exponent with E or
// e); 0 when the text does not start with a number.
double readLeadingReal(const std::string& text);

// A box read as an integer: at most 31 characters, trailing blanks removed,
// the whole rest a base-10 integer with an optional sign. False otherwise.
bool readWholeInt(const std::string& text, int& value);

// The "%lE" reading of a DE link's value box, truncated to an integer; 0
// when the text does not read as a number.
int readDENumber(const std::string& text);

} // namespace nosk
