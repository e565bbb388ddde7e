#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Numbers read from text, every reader of the programs in one place. The
// grammar is the same for all: an optional sign (one '+' or '-'), digits
// with an optional decimal point (at least one digit), then an optional
// exponent: a letter and an optionally signed run of digits (a letter
// without digits is not part of the number). Never a hexadecimal form,
// never digit groups, a decimal comma only where a rule says so;
// independent of the process's locale. A value too small for a double reads as the nearest one (a
// subnormal or zero). Where readers must differ, a NumberRule names how:
//
// | rule               | blanks around | text after | D exponent | decimal comma | inf, nan | overflow  |
// |--------------------|---------------|------------|------------|---------------|----------|-----------|
// | kJobField          | before        | refused    | yes        | no            | read     | ±infinity |
// | kSheetField        | no            | refused    | yes        | no            | refused  | refused   |
// | kInstrumentColumn  | no            | refused    | yes        | no            | read     | refused   |
// | kEditBox           | both          | refused    | no         | one, no point | refused  | refused   |
// | kTypedNumber       | before        | ignored    | no         | no            | refused  | refused   |
// | kReportColumn      | no            | ignored    | no         | no            | read     | refused   |
// | kDialogNumber      | both          | refused    | no         | no            | refused  | refused   |
// | kOptionValue       | no            | refused    | no         | no            | refused  | refused   |
//
// Who reads with which rule:
//
// | rule               | callers |
// |--------------------|---------|
// | kJobField          | the fixed-column fields of the engine's files (`job/FieldCodec.cpp` `readDouble`: the job's header, rows and limits; it trims a field's trailing blanks itself) |
// | kSheetField        | data and weight sheets (`ops/DataSheetImport.cpp`), the organiser's "this looks like a data sheet" test (`COrganiserDlg.cpp` `isNumberRow`) |
// | kInstrumentColumn  | instrument exports (`ops/InstrumentImport.cpp`; it turns the commas of a file written with decimal commas into points itself) |
// | kEditBox           | a number the user confirms in an edit box (`ControlHelpers` `parseDoubleText`: "Wrong number!" otherwise) |
// | kReportColumn      | the numbers of the engine's report files after a label, apart by blanks (`results/ReportText.h` `scanNumbers`, which skips the blanks) |
// | kDialogNumber      | a number typed into a dialog of the viewer that takes points only (the axis limits of `CZuAxisDlg`, the cell constant of `CTransformDlg`: "Please enter a number." otherwise) |
// | kOptionValue       | a number given on the command line or in the environment (`--kk-cutoff`, `NOSK_SYNC_AFTER_SECONDS`) |
// | kTypedNumber       | text typed where a number is taken as far as it goes: grid cells (`CZuGridModel`), `ControlHelpers` `parseLeadingDouble`, the DE number of the organiser (`DECatalogue::numberFromText`), the series number in a file name (`BatchRun` `seriesNumber`) |
//
// "blanks" are space, tab, CR, LF, VT and FF. "text after": refused means
// the number must end the text (after blanks where they are allowed after
// it); ignored means readNumber takes the leading number and does not look
// at the rest. "decimal comma": a comma is the decimal point when the text
// holds exactly one comma and no point. "D exponent": D and d are exponent
// letters besides E and e. "inf, nan": inf, infinity, nan and
// nan(letters, digits, _) in any case, after the optional sign.

namespace nosk {

struct NumberRule {
    bool blanksBefore = false;
    bool blanksAfter = false;
    bool textAfter = false;
    bool dExponent = false;
    bool decimalComma = false;
    bool nonFinite = false;
    bool overflowToInfinity = false;
};

inline constexpr NumberRule kJobField{.blanksBefore = true, .dExponent = true, .nonFinite = true, .overflowToInfinity = true};
inline constexpr NumberRule kSheetField{.dExponent = true};
inline constexpr NumberRule kInstrumentColumn{.dExponent = true, .nonFinite = true};
inline constexpr NumberRule kEditBox{.blanksBefore = true, .blanksAfter = true, .decimalComma = true};
inline constexpr NumberRule kTypedNumber{.blanksBefore = true, .textAfter = true};
inline constexpr NumberRule kReportColumn{.textAfter = true, .nonFinite = true};
inline constexpr NumberRule kDialogNumber{.blanksBefore = true, .blanksAfter = true};
inline constexpr NumberRule kOptionValue{};

// The number at the start of text under `rule` (its blanks before, exponent
// letters, inf and nan, overflow), whatever follows it. Returns how many
// characters it took (blanks before it included), 0 when the text does not
// start with a number or the rule refuses it; `value` is set only when the
// result is above 0. What concerns the whole text (blanks and text after,
// the decimal comma) is readNumber's.
std::size_t scanNumber(std::string_view text, const NumberRule& rule, double& value);

// The number of text under `rule` (the whole text, unless the rule ignores
// text after the number); nothing when there is none.
std::optional<double> readNumber(std::string_view text, const NumberRule& rule);

// printf-style formatting of one double with the exponent written in at least
// three digits, as the programs have always shown numbers ("%.6E" of the
// vacuum permittivity gives 8.854188E-014, "%e" of -1.23456 gives
// -1.234560e+000). Only the conversions e, E, g, G, f and F are meaningful;
// the format holds exactly one of them.
std::string formatNumber(const char* printfFormat, double value);

// Widens every two-digit exponent ("e+05", "E-14") of a formatted number to
// three digits; other text is kept.
std::string widenExponent(const std::string& text);

} // namespace nosk
