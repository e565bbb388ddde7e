#pragma once

#include "SeriesStatistics.h"

#include "job/FitJob.h"

#include <string>
#include <vector>

namespace nosk::series {

// A series to fit: the spectra's jobs (the template with each spectrum's
// data), the covariate of each and the role of each parameter.
struct SeriesSetup {
    std::vector<FitJob> jobs;
    std::vector<double> covariate;
    std::vector<std::string> labels;  // the spectra's files, for messages
    std::string unit;                 // the covariate's unit, for verdicts ("mV")
    // Per parameter (index from 0; P1 is 0): its role. Free parameters
    // beyond the vector, and those it leaves local, are local.
    std::vector<Role> roles;
    const model::CircuitLibrary* circuits = nullptr;
    int starts = 8;                  // the multi-start search of each spectrum alone
    bool testEachParameter = true;   // free each shared or function parameter alone
};

struct SeriesResult {
    // One spectrum: the single fit, reported as it is (no joint problem).
    bool single = false;
    std::vector<int> freeParams;  // per free parameter: its parameter (from 0)
    std::vector<Role> roles;      // per free parameter
    std::vector<IndependentFit> independent;
    JointFitOutcome fit;
    JointStatistics statistics;
    RolesTest tests;
    std::vector<std::string> notes;  // what the reader should know ("one spectrum: ...")
};

// Checks the setup (throws nosk::exception naming the parameter or the
// spectrum: a function on a fixed parameter, a temperature function over
// a covariate that is not an absolute temperature above 0, a covariate
// missing), fits each spectrum alone from `starts` starts, takes the
// shared values and the functions' coefficients from those fits (weighted
// by their std devs), fits the series jointly, and tests the roles.
SeriesResult fitSeries(const SeriesSetup& setup);

} // namespace nosk::series
