#pragma once

#include <string>

namespace nosk {

struct CommandLine;

// --batch: fits every spectrum named, writes the table (and the plot when
// asked). 0 when every spectrum was fitted, 1 when any failed or nothing
// could be written, 130 after Ctrl+C (the spectra not started are listed
// as "interrupted").
// `defaultStarts`: the engine's starts when the command line names none.
int runBatchCommand(const CommandLine& commandLine, int defaultStarts = 1);

} // namespace nosk
