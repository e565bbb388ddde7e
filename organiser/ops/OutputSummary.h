#pragma once

#include "core/WorkFolderFiles.h"
#include "ops/OpsCallbacks.h"
#include "ops/TextFileHandler.h"

#include <string>

namespace nosk {

class FitJob;

// ln Γ(x) by the six-term Lanczos series the engine's users have always had
// their derived dielectric quantities from (about ten significant digits for
// x > 0).
double lnGamma(double x);

// The dielectric quantities derived from the parameters of model O with
// P10 = 35 (printed at the end of the summary).
struct DerivedQuantities {
    double ETAU, ECINF, EINF, E0, DELTAE;
};
DerivedQuantities deriveQuantities(const FitJob& job);

// Names of the two temporary files of the summary in the work folder.
inline constexpr const char* kRawSummaryFile = workfiles::kRawSummary;
inline constexpr const char* kTidySummaryFile = workfiles::kTidySummary;

// "Print report" (print true) and "View report..." (print false): builds a
// short summary of PNTOUTL for the job in the work folder and hands it to
// the handler's print or view. testFileName is the test file the job was
// last loaded from (empty when none). Both temporary files are gone again
// when this returns, whatever happened. Throws nosk::exception when there is
// nothing to summarise or PNTOUTL cannot be read or has the wrong format.
void writeOutputSummary(const FitJob& job, const std::string& testFileName, bool print, TextFileHandler& handler,
                        const LocalClock& clock = localNow);

} // namespace nosk
