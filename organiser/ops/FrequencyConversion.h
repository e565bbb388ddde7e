#pragma once

#include "ops/OpsCallbacks.h"

namespace nosk {

class FitJob;

// "Convert frequency to angular" / "Convert frequency to ordinary": rewrite
// the first data column and FREEQ together, store the job as INFL in the work
// folder and load INFL back, so that the pages show exactly what the engine
// will read. `refresh` runs after the reload (the organiser treats it as its
// Load INFL command: pages, title "INFL"). Throws nosk::exception when the
// data are of that type already or there are none (nothing changed), or when
// the save or the reload fails (after `refresh`: the converted job stays).
void convertToAngular(FitJob& job, const RefreshPages& refresh);
void convertToOrdinary(FitJob& job, const RefreshPages& refresh);

} // namespace nosk
