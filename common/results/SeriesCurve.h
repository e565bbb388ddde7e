#pragma once

// What a picture of one parameter of a series shows, computed from the
// series result: the values per spectrum (the joint fit's and each
// spectrum's own fit) with error bars of one std dev, and for a parameter
// that follows a function of the covariate the function over the
// covariate's range with its 95 % band (the delta method on the
// coefficients' covariance); a shared parameter a level with its band.
// An Arrhenius or VFT parameter is drawn as ln p against 1000/T (T in K).
// Standard library only: the organiser's --plot and the viewer's page
// draw the same numbers.

#include "results/SeriesResultReader.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nosk {

// Boltzmann's constant in eV/K.
inline constexpr double kSeriesBoltzmannEv = 8.617333262e-5;

// A function's value at x (x in K for "arrhenius" and "vft") from its
// published coefficients c (in seriesCoefficientNames' order); with grad,
// dp/dc as well. NaN for a role that is no function or x outside its domain.
double seriesFunctionValue(std::string_view role, const std::vector<double>& c, double x,
    std::vector<double>* grad = nullptr);
// Whether the function's covariate is an absolute temperature.
bool seriesTemperatureRole(std::string_view role);
// A covariate in K from K or degrees Celsius; nothing for another unit.
std::optional<double> seriesKelvin(double x, std::string_view unit);
// Student's t of the result's 95 % intervals, read back from a determined
// coefficient's interval (1.96 when none has one).
double seriesTFactor(const SeriesResultFile& result);
// The covariance of a parameter's coefficients (row-major, n x n) from
// their std devs and correlations; empty when one is not determined.
std::vector<double> seriesCoefficientCovariance(const SeriesResultFile& result, std::string_view parameter);

struct SeriesPlotData {
    std::string title;           // "P4 (arrhenius)"
    std::string xTitle, yTitle;  // "1000/T (1/K)", "ln P4"
    bool arrhenius = false;      // ln p against 1000/T
    // Per spectrum, on the plot's axes; NaN where there is nothing.
    std::vector<double> x, joint, jointErr, independent, independentErr;
    // The function (or the shared level) over the range, with its band.
    std::vector<double> curveX, curve, bandLow, bandHigh;
    std::string note;  // why there is no band, when there is none
};

// The picture's numbers of one parameter ("P4"); `samples` points on the
// curve. Throws nosk::exception for a parameter the result does not have,
// or temperature axes over a covariate that is no temperature.
SeriesPlotData seriesPlotData(const SeriesResultFile& result, std::string_view parameter, int samples = 121);

} // namespace nosk
