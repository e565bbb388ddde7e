#pragma once

#include "RunOptions.h"

#include <string>

namespace nosk {

// The program: reads NOSKRUN.OPT, runs the main window (with the file given
// on the command line loaded), writes NOSKRUN.OPT when the window closes.
// "noskrun --run FILE" runs a job without a window; "--help" says how.
class COrganiserApp {
public:
    int run(int argc, char** argv);

    RunOptions options;
};

// SAVE AND RUN without a window, in the current folder: the same checks,
// INFL and ADD.BIN, the engine in the foreground with its output on the
// terminal, the results read, solartron.fra written, OUTIN reloaded by the
// same rule and the viewer notified. Returns the exit status: 0 on success,
// 1 with the message on standard error otherwise, 128 + the signal when
// interrupted (the signal is passed on to the engine, which is waited for).
// A second run in the folder waits for the first. `engine` is the program
// to run; empty: the bundled one (or the work folder's NOSKWIN.EXE when the
// user chose it in the window). The engine searches from `starts` starts.
int runHeadless(const std::string& file, const RunOptions& options, const std::string& engine = {},
    int starts = 1);

// noskrun --guess FILE: new start values of FILE's free parameters from its
// data (run::guessIntoJob), FILE written back. Exit status 0, or 1 with the
// reason on standard error.
int guessHeadless(const std::string& file, int starts);

// --import: the spectrum (from 1; 0 the first) of an instrument file becomes
// the data of `target`, which is loaded first when it exists so that its
// model stays. Prints the summary; 0 on success, 1 with the reason on
// standard error.
// `targetNamed`: the user named the target (--to); a default name is ours,
// and a link under it is replaced rather than followed.
int importHeadless(const std::string& file, const std::string& target, int spectrum, bool targetNamed = true);

} // namespace nosk
