#pragma once

#include "results/FitStatistics.h"
#include "results/ResultSet.h"

#include <istream>

namespace nosk {

// The results of a fit (MAXFEV 3 or more): the last table of AUXPNTL and the
// statistics of PNTOUTL.
class FitResultSet : public ResultSet {
public:
    explicit FitResultSet(ResultHolder& holder);

    // AUXPNTL ("File AUXPNTL not found!", then the table reader's messages),
    // then PNTOUTL into `statistics`.
    void read() override;
    // The AUXPNTL part alone, from an open file.
    void readTable(std::istream& in);

    FitStatistics statistics;
    bool residualsBySigma;  // the job's IPAR is above 0: extra b is (obs - model) / sigma
    bool ireBelowMinus9;    // the job's IRE is below -9
    bool iprintNegative;    // the job's IPRINT is below 0

    // The fifth and sixth numbers of each AUXPNTL row: the residual and the
    // relative residual, for the second ('a' and 'b' of 1) and third column (of 2).
    FitJob::Column extra1a, extra1b, extra2a, extra2b;
};

} // namespace nosk
