#pragma once

#include <string>

namespace nosk {

namespace analyses {
struct Analysis;
struct Settings;
}

// The analyses of noskrun that need no window, no engine and no Qt: the
// program runs them without loading the window's libraries (main.cpp).
// FILE is a job (.TST) or an instrument file; the importer's summary of an
// instrument file is printed first, then what the analysis found, and its
// output file is written in the work folder. Returns the program's exit
// status: 0 on success, 1 with the message on standard error.
int runAnalysisCommand(const analyses::Analysis& analysis, const std::string& file,
                       const analyses::Settings& settings);

} // namespace nosk
