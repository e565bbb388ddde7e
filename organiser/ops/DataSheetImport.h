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
// by the sheet's block. On any failure the job is left as it was. Returns
// true when the job changed (the pages have then been refreshed).
bool importDataSheet(FitJob& job, Prompt& prompt, const RefreshPages& refresh);

// "Load weights from ASCII": fills WEIGHT1/WEIGHT2 from a file of one line per
// data row and sets IRCH to 0. On any failure the job is left as it was.
bool importWeights(FitJob& job, Prompt& prompt, const RefreshPages& refresh);

} // namespace nosk
