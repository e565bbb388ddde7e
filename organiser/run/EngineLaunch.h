#pragma once

#include "core/WorkFolderFiles.h"
#include "platform/Process.h"

#include <string>

namespace nosk {

class FitJob;

// The pieces a run is built from, each on its own and holding nothing:
// whether a job has data to fit, its input files, the engine's command line
// and console, looking a program up, and start values guessed from the data.
// run::startRun (RunSequence.h) puts them in order.
namespace run {

constexpr const char* kLogFile = workfiles::kEngineLog;

// M not 0, N above 0 and the data columns there.
bool runnable(const FitJob& job);
// "Can not run this TEST configuration: " and what is missing; empty when
// the job is runnable.
std::string notRunnableReason(const FitJob& job);

// Deletes the last run's output files, then writes INFL and ADD.BIN.
// Throws nosk::exception when INFL cannot be written.
void writeInput(const FitJob& job);

// The engine's arguments: "S" (stay open) unless the window is to close,
// and "--starts N" for a search from N > 1 starts.
std::vector<std::string> engineArguments(bool closeEngineWindow, int starts = 1);
// "--starts N" when N > 1, else nothing.
std::vector<std::string> startsArguments(int starts);
// "--intervals profile|bootstrap --level 0.95" for the options' intervals
// (RunOptions: 1 profile, 2 bootstrap, the level in thousandths), else nothing.
std::vector<std::string> intervalArguments(int method, int levelThousandths);

// A terminal emulator to give the engine a console of its own: empty when
// there is no display or none is installed.
std::string terminalProgram();

// What to start for a run of the engine (a path) from the window. Its
// console output is appended to NOSKWIN.LOG, where the window reads the
// progress lines; with a terminal the engine also shows it there, without
// one its input is /dev/null.
// `extra`: further arguments of the engine (intervalArguments).
ProcessSpec engineSpec(const std::string& engine, bool closeEngineWindow, const std::string& terminal,
    int starts = 1, const std::vector<std::string>& extra = {});

// Looks a program up as a start would: a path is checked as it stands, a
// bare name along PATH. Returns the path to run, or empty with error set.
std::string resolveProgram(const std::string& program, int& error);

// The starts of the search of "Guess start values" and --guess.
constexpr int kGuessStarts = 64;

// Sets the start values of the job's free parameters from its data and a
// wide search from `starts` starts (engine/StartGuess.h), with the circuits
// of the work folder. Returns the summary for the user ("Start values of 7
// free parameters from the data: S = ..., 60 of 64 starts reached it").
// Throws nosk::exception when the engine could not run the job.
std::string guessIntoJob(FitJob& job, int starts = kGuessStarts);

} // namespace run
} // namespace nosk
