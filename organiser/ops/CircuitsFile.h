#pragma once

#include "job/FitJob.h"

#include <string>
#include <vector>

namespace nosk::circuitsfile {

// The work folder's CIRCUITS as text, one definition a line ("K = R(p1)-..."),
// '#' starting a comment. These functions look at the lines the way the
// circuit parser reads them (a letter, blanks, '='), without parsing the
// definitions, so a file with a broken line elsewhere is still edited line
// by line and the broken line kept for the user to mend.

// The text of the file at `path`, empty when there is none. Throws
// nosk::exception when it cannot be read (or is larger than a definitions
// file can be).
std::string readText(const std::string& path);

// The definition of `letter` as written (the right-hand side without its
// comment, trimmed); empty when the text does not define the letter.
std::string definitionOf(const std::string& text, char letter);

// The first letter of the job's circuit list ("ABCDEFGHIJKORST") that `text`
// does not define and that is not `except`; 0 when every one is taken.
char freeLetter(const std::string& text, char except);

// `text` with `letter` defined as `definition` (followed by "  # comment"
// when a comment is given): the line that defined the letter is replaced
// where it stands, else the line is added at the end. Every other line,
// comment, blank line and the byte-order mark stay as they were.
std::string withDefinition(const std::string& text, char letter, const std::string& definition,
                           const std::string& comment);

// Reads `path` with readText, puts the definition in
// with withDefinition and writes the file anew beside it and renamed over
// it. Throws nosk::exception when the file cannot be read or written.
void writeDefinition(const std::string& path, char letter, const std::string& definition,
                     const std::string& comment);

// Makes `job` fit circuit `letter` with `values` as the start values of
// p1 ... pn, all free (code 1, or 2 for
// a value that is not positive); the parameters beyond them are emptied (0, fixed) and
// no parameter keeps a limit of the circuit it had before.
void setCircuit(FitJob& job, char letter, const std::vector<double>& values);

} // namespace nosk::circuitsfile
