#pragma once

#include "ops/OpsCallbacks.h"

namespace nosk {

class FitJob;
class Prompt;

// "Convert frequency to angular" / "Convert frequency to ordinary": rewrite
// the first data column and FREEQ together, store the job as INFL in the work
// folder and load INFL back, so that the pages show exactly what the engine
// will read. `refresh` runs after the reload (the organiser treats it as its
// Load INFL command: pages, title "INFL"). Errors of the save or the reload
// are shown with caption "ERROR". Returns true when INFL was reloaded.
bool convertToAngular(FitJob& job, Prompt& prompt, const RefreshPages& refresh);
bool convertToOrdinary(FitJob& job, Prompt& prompt, const RefreshPages& refresh);

} // namespace nosk
