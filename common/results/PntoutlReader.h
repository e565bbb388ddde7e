#pragma once

#include "results/FitStatistics.h"

#include <istream>

namespace nosk {

// Reads the fit statistics, the free parameters and their correlation matrix
// out of the engine's report PNTOUTL in the work folder (the current folder).
// Throws nosk::exception; fields read before a failure keep their values.
void readPntoutl(FitStatistics& statistics);

// The same from an open report (CR LF or LF line ends).
void readPntoutl(std::istream& in, FitStatistics& statistics);

} // namespace nosk
