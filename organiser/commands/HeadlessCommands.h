#pragma once

#include <string>

namespace nosk {

// The analyses of noskrun that need no window, no engine and no Qt: the
// program runs them without loading the window's libraries (main.cpp).
// Each prints to standard output and standard error and returns the
// program's exit status: 0 on success, 1 with the message on standard error.
// FILE is a job (.TST) or an instrument file; the importer's summary of an
// instrument file is printed first.

// --kk FILE: the Kramers-Kronig test; writes KKTEST in the work folder.
// A cutoff above 0 applies the classic rule with it.
int runKkCommand(const std::string& file, double cutoff = 0);

// --zhit FILE: the Z-HIT test; writes ZHITTEST in the work folder.
int runZhitCommand(const std::string& file);

// --drt FILE: the distribution of relaxation times; writes DRT in the work
// folder and prints the peak table. `band`: the credible band as well.
int runDrtCommand(const std::string& file, bool band);

} // namespace nosk
