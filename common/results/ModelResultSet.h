#pragma once

#include "results/ResultSet.h"

#include <istream>
#include <string>

namespace nosk {

// The model evaluated at the start parameters (MAXFEV 0): the model values of
// AUXPNTL and the job's data brought to the fit representation to compare.
class ModelResultSet : public ResultSet {
public:
    explicit ModelResultSet(ResultHolder& holder);

    // AUXPNTL ("File AUXPNTL not found!", then the model reader's messages);
    // then, for frequency data, the observed values converted from the input
    // representation (DINP, PINP) to the fit one (DFIT, PFIT).
    void read() override;
    // The same from an open file.
    void readModel(std::istream& in);

    std::string levelCodes;   // DINP, DFIT
    std::string formatCodes;  // PINP, PFIT
};

} // namespace nosk
