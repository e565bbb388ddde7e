#pragma once

// The header fields of a fit job, each described once: its name, kind and
// columns in the input file, its member of FitJob, its code list, the label
// of its control on the organiser's settings page and its line in the run
// report. The input-file reader and writer, the run report and the settings
// page all walk this table, so a field is added or changed here alone.

#include "job/FitJob.h"

#include <span>
#include <string_view>

namespace nosk {

// The letters a code field takes, in the order of its drop-down entries.
struct CodeList {
    std::string_view codes;
    std::span<const char* const> entries;      // the drop-down list, one entry a code
    std::span<const char* const> reportTexts;  // the run report's text of each code; empty: the letter
};

// The entries of the level and format lists.
inline constexpr const char* kLevelTexts[] = {"Z, Impedance", "Y, Admittance", "M, Modulus", "E, Epsilon"};
inline constexpr const char* kFormatTexts[] = {"P, polar (radian)", "D, polar (degree)", "L, log polar",
                                               "R, rectangular"};
inline constexpr const char* kFrequencyTexts[] = {"Angular, rad/s", "F, Ordinary, Hz"};
inline constexpr const char* kFrequencyReportTexts[] = {"A, Angular", "SPACE, Ordinary"};
inline constexpr const char* kSignTexts[] = {"No action taken", "N, multiply by -1"};
inline constexpr const char* kSignReportTexts[] = {"SPACE, No action taken", "N, multiply by -1"};
inline constexpr const char* kDataTypeTexts[] = {"C, Complex", "R, Real (2nd col)", "I, Real (3rd col)"};
inline constexpr const char* kCircuitTexts[] = {"A", "B", "C", "D", "E", "F", "G", "H",
                                                "I", "J", "K", "O", "R", "S", "T"};

// What the levels are called in headings ("Impedance vs. ...").
inline constexpr const char* kLevelNames[] = {"Impedance", "Admittance", "Modulus", "Epsilon"};

inline constexpr CodeList kLevels{"ZYME", kLevelTexts, kLevelTexts};       // Z Y M E immittance
inline constexpr CodeList kFormats{"PDLR", kFormatTexts, kFormatTexts};    // complex formats
inline constexpr CodeList kFrequencies{" F", kFrequencyTexts, kFrequencyReportTexts};  // blank: rad/s
inline constexpr CodeList kSigns{" N", kSignTexts, kSignReportTexts};
inline constexpr CodeList kDataTypes{"CRI", kDataTypeTexts, kDataTypeTexts};
inline constexpr CodeList kCircuits{"ABCDEFGHIJKORST", kCircuitTexts, {}};

enum class FieldKind : unsigned char { Int, Double, Code };

struct JobField {
    const char* name;           // the engine's name, the key of the field's control
    FieldKind kind;
    int line;                   // line 2 or 3 of the input file
    int gap = 0;                // blank columns before the field
    int width = 1;              // columns of the field
    int digits = 4;             // significant digits of a double
    int FitJob::*intMember = nullptr;
    double FitJob::*doubleMember = nullptr;
    char FitJob::*codeMember = nullptr;
    const CodeList* codes = nullptr;
    const char* label = nullptr;   // the settings page's label; none: not on the page
    const char* report = nullptr;  // the run report's label
    const char* fileName = nullptr;  // the input file's messages name it so when set
    double blankValue = 0.0;       // what a blank double field reads as
    bool optional = false;         // a trailing field: written only when its line's optional
                                   // fields are not all 0, and a bad value is ignored on reading

    int& intIn(FitJob& job) const { return job.*intMember; }
    int intIn(const FitJob& job) const { return job.*intMember; }
    double& doubleIn(FitJob& job) const { return job.*doubleMember; }
    double doubleIn(const FitJob& job) const { return job.*doubleMember; }
    char& codeIn(FitJob& job) const { return job.*codeMember; }
    char codeIn(const FitJob& job) const { return job.*codeMember; }
    const char* messageName() const { return fileName ? fileName : name; }
};

inline constexpr JobField kJobFields[] = {
    // Line 2: the data and fit types.
    {.name = "IOPT", .kind = FieldKind::Int, .line = 2, .width = 4, .intMember = &FitJob::IOPT,
     .label = "CNLS optimization\noperation ( IOPT )", .report = "Optimization iterations (IOPT)"},
    {.name = "DINP", .kind = FieldKind::Code, .line = 2, .gap = 2, .codeMember = &FitJob::DINP,
     .codes = &kLevels, .label = "Input data system\n( DINP )", .report = "Input data system (DINP)"},
    {.name = "DFIT", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::DFIT, .codes = &kLevels,
     .label = "Fitting system\n( DFIT )", .report = "Fitting system (DFIT)"},
    {.name = "PINP", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::PINP, .codes = &kFormats,
     .label = "Complex input\nformat ( PINP )", .report = "Complex input format (PINP)"},
    {.name = "PFIT", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::PFIT, .codes = &kFormats,
     .label = "Complex fit format\n( PFIT )", .report = "Fit input format (PFIT)"},
    {.name = "FREEQ", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::FREEQ,
     .codes = &kFrequencies, .label = "Input frequency\nformat ( FREEQ )",
     .report = "Input frequency format (FREEQ)"},
    {.name = "NEG", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::NEG, .codes = &kSigns,
     .label = "Sign change of\n2nd col ( NEG )", .report = "Selects sign (NEG)"},
    {.name = "FUN", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::FUN, .codes = &kCircuits,
     .label = "Model fitting\nfunction ( FUN )", .report = "Selects function (FUN)"},
    {.name = "CELCAP", .kind = FieldKind::Double, .line = 2, .width = 10, .doubleMember = &FitJob::CELCAP,
     .label = "Capacitance of\ncell ( CELCAP )", .report = "Capacitance of measuring cell (CAPCEL)",
     .blankValue = 1.0},
    {.name = "DATTYP", .kind = FieldKind::Code, .line = 2, .codeMember = &FitJob::DATTYP,
     .codes = &kDataTypes, .label = "Type of data fit \n( DATTYP )",
     .report = "Type of data fit desired (DATTYP)"},
    {.name = "IPAR", .kind = FieldKind::Int, .line = 2, .width = 10, .intMember = &FitJob::IPAR,
     .label = "Residuals output\ntype ( IPAR )", .report = "IPAR"},
    {.name = "ROE", .kind = FieldKind::Double, .line = 2, .width = 10, .doubleMember = &FitJob::ROE,
     .label = "Robust regression\n( ROE ) or -A/L", .report = "ROE"},
    {.name = "IFP", .kind = FieldKind::Int, .line = 2, .width = 6, .intMember = &FitJob::IFP,
     .label = "Function weighting\n( IFP )", .report = "IFP"},
    {.name = "IRE", .kind = FieldKind::Int, .line = 2, .width = 6, .intMember = &FitJob::IRE,
     .label = "Residual weighting\n( IRE )", .report = "IRE"},
    {.name = "ECINF", .kind = FieldKind::Double, .line = 2, .gap = 1, .width = 10,
     .doubleMember = &FitJob::ECINF, .report = "ECINF", .optional = true},
    {.name = "EC0", .kind = FieldKind::Double, .line = 2, .gap = 2, .width = 10, .doubleMember = &FitJob::EC0,
     .report = "EC0", .optional = true},

    // Line 3: the data, weighting and fitting specifications. M is written
    // negative for a vacuum cell capacitance (mNegative).
    {.name = "M", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::M,
     .label = "# Data points", .report = "Number of data points (frequencies) (M)"},
    {.name = "N", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::N,
     .label = "Number of model parameters ( N )", .report = "Total number of model parameters (N)"},
    {.name = "MAXFEV", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::MAXFEV,
     .label = "Evaluations\n( MAXFEV )", .report = "Evaluations (MAXFEV)"},
    {.name = "NPRINT", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::NPRINT,
     .label = "NPRINT", .report = "NPRINT"},
    {.name = "IRCH", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::IRCH,
     .label = "Data weighting\n( IRCH )", .report = "Data weighting (IRCH)"},
    {.name = "MODE", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::MODE,
     .label = "MODE", .report = "MODE"},
    {.name = "ICP", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::ICP,
     .label = "ICP", .report = "ICP"},
    {.name = "IPRINT", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::IPRINT,
     .label = "Output level\n( IPRINT )", .report = "Output level(IPRINT)"},
    {.name = "IGACC", .kind = FieldKind::Int, .line = 3, .width = 5, .intMember = &FitJob::IGACC,
     .label = "IGACC", .report = "IGACC", .fileName = "GACC"},
    {.name = "ATEMP", .kind = FieldKind::Double, .line = 3, .width = 10, .doubleMember = &FitJob::ATEMP,
     .label = "ATEMP", .report = "ATEMP"},
    {.name = "SDWC", .kind = FieldKind::Double, .line = 3, .gap = 2, .width = 10,
     .doubleMember = &FitJob::SDWC, .label = "SD WC", .report = "SDWC", .optional = true},
    {.name = "SDRC", .kind = FieldKind::Double, .line = 3, .gap = 2, .width = 10,
     .doubleMember = &FitJob::SDRC, .label = "SD RC", .report = "SDRC", .optional = true},
};

// The field of that name, or null.
constexpr const JobField* findJobField(std::string_view name)
{
    for (const JobField& f : kJobFields)
        if (name == f.name)
            return &f;
    return nullptr;
}

// The text at the code's place in `texts`, one text a code of the list; a
// code not in the list gives "".
constexpr const char* textOf(const CodeList& list, std::span<const char* const> texts, char code)
{
    const auto at = code == '\0' ? std::string_view::npos : list.codes.find(code);
    return at < texts.size() ? texts[at] : "";
}

// The run report's text of a code ("Z, Impedance").
constexpr const char* codeReportText(const CodeList& list, char code)
{
    return textOf(list, list.reportTexts, code);
}

} // namespace nosk
