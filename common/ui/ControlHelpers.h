#pragma once

#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace nosk {

// Moving job fields into controls and back. The code lists are strings whose
// positions match the entries of a drop-down list ("ZYME", "PDLR", " F").

// Selects the entry at the code's position in codes; a code not in the list
// selects the first entry.
void showCode(QComboBox* box, std::string_view codes, char code);
// The code at the selected position; '\0' when nothing is selected or the
// selection lies beyond the list.
char takeCode(const QComboBox* box, std::string_view codes);

void showInt(QLineEdit* edit, int value);
// At most 31 characters of the box, trailing blanks removed, read as a
// decimal integer with optional sign. An empty text, any character left
// over, or a value beyond the integer range throws nosk::exception
// "Wrong number! %s" with the box text.
int takeInt(const QLineEdit* edit);

// "%.6E" (digits 6) or "%.7E" (digits 7) with a three-digit exponent,
// 8.854188E-014.
void showDouble(QLineEdit* edit, double value, int digits = 6);
// The box's text read as one decimal number by the edit-box rule (kEditBox,
// core/NumberText.h): blanks around it, sign, digits
// with an optional point, an optional exponent with E or e. A decimal comma
// counts as the point when it is the text's only comma and there is no
// point ("1,5e-12"). Anything else, also an empty box or a number beyond the
// double range, throws nosk::exception "Wrong number! %s" with the box text.
double takeDouble(const QLineEdit* edit);

// The same number rules on plain text, for controls of other kinds.
std::string doubleText(double value, int digits);
int parseIntText(const std::string& text);         // throws like takeInt
double parseDoubleText(const std::string& text);   // throws like takeDouble
// The leading decimal number of the first 31 characters; anything else,
// also an empty text, gives 0. Never fails.
double parseLeadingDouble(const std::string& text);

// Checked for 1, cleared otherwise.
void showCheck(QCheckBox* box, int value);
// 0 cleared, 1 checked, -1 the third state.
int takeCheck(const QCheckBox* box);

} // namespace nosk
