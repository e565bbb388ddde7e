#pragma once

#include "job/FitJob.h"

#include <string>
#include <vector>

namespace nosk {

class ResultHolder;

// What one run of the engine left in the work folder, point by point: the
// first data column, the observed values and the model values. Which value
// arrays exist follows DATTYP: 'C' all four, 'R' obs1 and model1, 'I' obs2
// and model2 (absent arrays are empty optionals).
class ResultSet {
public:
    explicit ResultSet(ResultHolder& holder);
    virtual ~ResultSet();
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    // Fills the set from the engine's files in the work folder.
    // Throws nosk::exception; the holder then drops the set.
    virtual void read() = 0;
    // Writes the model curve as a Solartron file: rectangular impedance
    // against frequency in Hz. The set itself is left unchanged.
    virtual void writeSolartron(const std::string& path) const;

    ResultHolder& holder() const { return *m_holder; }
    const FitJob& job() const;

    // --- taken from the job when the set is made ---
    char FUN;
    int angular;         // 1 when the job's FREEQ is not 'F'
    int blankFrequency;  // 1 when the job's FREEQ is a blank
    char DATTYP;
    int printLevel;      // the job's IPRINT, or 1 when that is negative
    int count;           // |M|

    // --- the values ---
    std::vector<double> xValues;  // count values, the first data column
    FitJob::Column obs1, obs2;    // observed second and third column
    FitJob::Column model1, model2;

protected:
    static double* data(FitJob::Column& column) { return column ? column->data() : nullptr; }
    static const double* data(const FitJob::Column& column) { return column ? column->data() : nullptr; }
    // count values: as many of `source` as it has, zeros after them.
    std::vector<double> copyOf(const FitJob::Column& source) const;

private:
    ResultHolder* m_holder;
};

} // namespace nosk
