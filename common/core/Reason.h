#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace nosk {

// Why a run of the engine ended the way it did, in a form programs read: a
// kind, the place it is about and the text for the user. The engine writes
// it on a line of its own ("the reason line") into PNTOUTL and on its
// console; the organiser, the viewer and the batch run read it back instead
// of parsing the prose.
//
// The line:
//
//   @REASON kind=<kind>[ <key>=<value>]... text=<the message to the end of the line>
//
// One blank in front (as every line of the report), keys in the order below,
// only those that apply; a value never holds a blank. text= comes last and
// runs to the end of the line. Keys:
//   field=<NAME>   a field of the job (IRCH, MAXFEV, DFIT, FUN, N, ...)
//   param=<n>      parameter p<n> (counted from 1, as the parameter list)
//   row=<n>        a data or weight line, by the label of its row on the
//                  "Data lines" page (counted from 0)
//   de=<n>         a distributed element
//   line=<n>       a line of the file the reason is about (CIRCUITS, the
//                  input file), counted from 1
//   column=<n>     its column, counted from 1
//   test=<name>    for kind=converged: ftol, xtol, ftol+xtol or gtol
// A reader takes the first such line and ignores keys it does not know.
struct Reason {
    enum class Kind {
        None,  // no reason line

        // The engine refused the job (exit status 1, no results).
        Input,      // the input file cannot be read (line=)
        Field,      // a field of the job (field=)
        Parameter,  // a parameter's value or code (param=)
        DataRow,    // a data line (row=)
        WeightRow,  // a weight line (row=)
        De,         // a distributed element (de=, param= of its selector)
        Circuit,    // the work folder's CIRCUITS file (line=, column=)
        Freedom,    // no degree of freedom left
        StartModel, // the model is not finite at the start parameters (row=)
        Memory,     // the job needs more memory than there is
        File,       // a file cannot be read or written
        Internal,   // anything else

        // How a fit ended (exit status 0, results written).
        Converged,      // test= names the test that was met
        MaxFev,         // MAXFEV function evaluations reached
        NoProgress,     // no further reduction of S or change of the parameters possible
        DeRange,        // a DE parameter left its valid range (de=, param=)
        ParameterRange, // a parameter left its range (param=)
        Stopped,        // stopped by the user (the engine does not write it)
        NotFitted,      // no free parameters or MAXFEV below 3: the model was only computed
        Improper,       // the fitter refused its input
    };

    Kind kind = Kind::None;
    std::string field;
    int param = 0;   // 0: none
    int row = -1;    // -1: none
    int de = 0;      // 0: none
    int line = 0;    // 0: none
    int column = 0;  // 0: none
    std::string test;
    std::string text;

    explicit operator bool() const { return kind != Kind::None; }
    // A refusal: the engine did not run the job.
    bool refused() const;
    // A fit that ended by one of its convergence tests, or a run without a
    // fit; everything else is an early end.
    bool normalEnd() const { return kind == Kind::Converged || kind == Kind::NotFitted; }
};

// The name of a kind on the reason line ("field", "data-row", "maxfev", ...).
const char* reasonKindName(Reason::Kind kind);
// The kind of a name; Internal for a name this version does not know.
Reason::Kind reasonKindFromName(std::string_view name);

// The reason line without its line end. Characters that are not printable
// become '?', so the line stays one line.
std::string reasonLine(const Reason& reason);
// The reason of a line written by reasonLine; nothing when the line is not one.
std::optional<Reason> parseReasonLine(std::string_view line);
// The first reason line of a text (CR LF or LF line ends).
std::optional<Reason> findReason(std::istream& in);
// The first reason line of a file; nothing when it cannot be read or holds none.
std::optional<Reason> readReasonFile(const std::string& path);

// A short name of the way a fit ended, for tables and status lines:
// "converged (FTOL)", "stopped at MAXFEV", "stopped by the user", "DE 29 left
// its range", "no progress possible", ...
std::string reasonSummary(const Reason& reason);

} // namespace nosk
