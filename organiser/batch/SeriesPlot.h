#pragma once

#include "BatchRun.h"

#include <string>
#include <vector>

namespace nosk {

// Draws each fitted parameter of a batch against the series (the number in
// the file names, else the position): one small graph per parameter, the
// values joined by lines, error bars of one std dev. Spectra that failed are
// left out. Written as PNG (or any format Qt writes, by the name's suffix);
// needs a QGuiApplication. Returns an empty string, or why nothing was written.
std::string writeSeriesPlot(const std::vector<batch::Row>& rows, const std::vector<std::string>& names,
                            const std::string& path);

} // namespace nosk
