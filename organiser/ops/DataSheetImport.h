#pragma once

#include "ops/OpsCallbacks.h"

#include <istream>
#include <vector>

namespace nosk {

class FitJob;
class Prompt;

// The rows of a data sheet's first block of numeric lines.
struct SheetRows {
    std::vector<double> freq, data1, data2;
};

// The two weight columns of a weights file.
struct WeightRows {
    std::vector<double> weight1, weight2;
};

// Reads the first block of a data sheet: empty lines, then consecutive lines
// of at least three numbers up to a blank line or the end. Throws
// nosk::exception with the user's message when the sheet is not usable.
SheetRows readDataSheet(std::istream& in);

// Reads a weights file that must hold exactly `rows` lines of at least two
// numbers. Throws nosk::exception.
WeightRows readWeights(std::istream& in, int rows);

// "Load data from ASCII": asks for the file and replaces the job's data rows
// by the sheet's block. Returns true when the job changed (the pages have
// then been refreshed), false when the user cancelled. Throws
// nosk::exception when the sheet cannot be read; the job is left as it was.
bool importDataSheet(FitJob& job, Prompt& prompt, const RefreshPages& refresh);

// "Load weights from ASCII": fills WEIGHT1/WEIGHT2 from a file of one line per
// data row and sets IRCH to 0. As importDataSheet: false when the user
// declined or cancelled, nosk::exception when the file cannot be read.
bool importWeights(FitJob& job, Prompt& prompt, const RefreshPages& refresh);

} // namespace nosk
