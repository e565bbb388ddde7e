#pragma once

#include "analysis/drt/CircuitDrt.h"
#include "core/WorkFolderFiles.h"

#include <string>

namespace nosk {

class FitJob;
struct FitStatistics;

// The DRT of the circuit a run fitted (or simulated): the job's parameters
// with the fit's estimates in place of the free ones, the circuit of its FUN
// letter (the work folder's CIRCUITS where it redefines it) and the engine's
// model for what has no closed form, over the job's frequency range.
struct FittedCircuitDrt {
    bool available = false;
    std::string why;  // when not available: a line for the page
    drt::CircuitDrt drt;
};

FittedCircuitDrt fittedCircuitDrt(const FitJob& job, const FitStatistics* statistics,
                                  const std::string& circuitsFile = workfiles::kCircuits);

} // namespace nosk
