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
// and writes the report. False when the user cancelled; throws
// nosk::exception when the file cannot be written, leaving an existing one
// untouched.
bool writeRunReport(const FitJob& job, Prompt& prompt, const LocalClock& clock = localNow);

} // namespace nosk
