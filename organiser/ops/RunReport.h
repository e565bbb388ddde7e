#pragma once

#include "ops/OpsCallbacks.h"

#include <ctime>
#include <string>

namespace nosk {

class FitJob;
class Prompt;

// The text of the run report: the job's settings in words, its parameters,
// data lines and (with IRCH 0) weights, dated `when`.
std::string formatRunReport(const FitJob& job, const std::tm& when);

// "Generate report...": asks for the file ("Save report file", "Report.txt")
// and writes the report. When the file cannot be created the user is told
// and an existing file is left untouched. Returns true when written.
bool writeRunReport(const FitJob& job, Prompt& prompt, const LocalClock& clock = localNow);

} // namespace nosk
