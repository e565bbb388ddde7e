#pragma once

#include <string>

namespace nosk {

struct CommandLine;

// The headless analysis commands of noskrun. Both print to standard output
// and standard error and return the program's exit status.

// --kk FILE: the Kramers-Kronig test of FILE's data; writes KKTEST in the
// work folder. 0 on success, 1 with the message on standard error.
// A cutoff above 0 applies the classic rule with it.
int runKkCommand(const std::string& file, double cutoff = 0);

// --zhit FILE: the Z-HIT test of FILE's data; writes ZHITTEST in the work
// folder. 0 on success, 1 with the message on standard error.
int runZhitCommand(const std::string& file);

// --batch: fits every spectrum named, writes the table (and the plot when
// asked). 0 when every spectrum was fitted, 1 when any failed or nothing
// could be written, 130 after Ctrl+C (the spectra not started are listed
// as "interrupted").
int runBatchCommand(const CommandLine& commandLine);

} // namespace nosk
