#pragma once

#include "ops/OpsCallbacks.h"

namespace nosk {

class FitJob;
class Prompt;

// "Convert frequency to angular" / "Convert frequency to ordinary": rewrite
// the first data column and FREEQ together, store the job as INFL in the work
// folder and load INFL back, so that the pages show exactly what the engine
// will read. Returns true when the conversion was done and INFL reloaded.
bool convertToAngular(FitJob& job, Prompt& prompt, const RefreshPages& refresh);
bool convertToOrdinary(FitJob& job, Prompt& prompt, const RefreshPages& refresh);

} // namespace nosk
