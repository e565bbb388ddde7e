#pragma once

#include <cstddef>
#include <istream>

namespace nosk {

// Where the rows of a fit's AUXPNTL table go: arrays of `count` values each,
// or nullptr for a column the result set does not keep. A row carries the
// observed value, the model value, sigma (not kept), and two further numbers
// (extra a, extra b).
struct AuxpntlFitColumns {
    double* obs1 = nullptr;
    double* model1 = nullptr;
    double* extra1a = nullptr;
    double* extra1b = nullptr;
    double* obs2 = nullptr;
    double* model2 = nullptr;
    double* extra2a = nullptr;
    double* extra2b = nullptr;
};

// Reads the last "OBSERVED VARIABLES" table of a fit's AUXPNTL: after its
// heading line, per point two rows for DATTYP 'C' (first, then second
// component), one row for 'R' (first component) or 'I' (second component).
// A row that scans fewer numbers leaves the missing values as they are.
// Throws "File AUXPNTL has an error! Can't find results." without a table.
void readAuxpntlFit(std::istream& in, char dattyp, std::size_t count, const AuxpntlFitColumns& columns);

// Reads a simulation's AUXPNTL: after the line that is exactly
// "MODEL DATA -- FREQUENCY, REAL, IMAGINARY", `count` lines of frequency,
// first and second model component; model1 and model2 hold `count` values.
// Throws "File AUXPNTL error! Can't find results!" without that heading.
void readAuxpntlModel(std::istream& in, std::size_t count, double* model1, double* model2);

} // namespace nosk
