#pragma once

#include "BatchRun.h"
#include "analysis/drt/Drt.h"

#include <string>
#include <vector>

namespace nosk {

// The DRT of each spectrum of a batch, from its data lines.
struct BatchDrt {
    bool ok = false;
    std::string reason;
    drt::Result result;
};
std::vector<BatchDrt> batchDrts(const std::vector<batch::Row>& rows, const std::string& templateFile);

// The batch table with the peaks appended to each row: the number of peaks,
// then tau, frequency and area of each (the header names them).
std::string appendDrtColumns(const std::string& table, const std::vector<BatchDrt>& drts);

// Draws the DRTs of a batch over one log tau axis, coloured from blue to red
// along the series. Needs a QGuiApplication; returns why nothing was
// written, else an empty string.
std::string writeDrtSeriesPlot(const std::vector<batch::Row>& rows, const std::vector<BatchDrt>& drts,
                               const std::string& path);

// Where --batch --drt draws: the --plot name with "-drt" before its suffix, else drt.png.
std::string drtPlotName(const std::string& plotFile);

} // namespace nosk
