#pragma once

#include <string>

namespace nosk {

class FitJob;
class Prompt;

// The export table: one line "%.15E\t%.15E\t%.15E\n" per data row (FREQ,
// DATA1, DATA2; an absent column gives 0).
std::string formatDataExport(const FitJob& job);

// "Export data...": asks for a file name and writes the table. Does nothing
// for a job without data rows. Returns true when a file was written, false
// when there was nothing to write or the user cancelled; throws
// nosk::exception ("Couldn't open file!") when the file cannot be written.
bool exportData(const FitJob& job, Prompt& prompt);

} // namespace nosk
