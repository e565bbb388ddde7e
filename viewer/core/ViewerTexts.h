#pragma once

#include <optional>
#include <string>

namespace nosk {

// Titles and questions of the viewer that follow from the run's codes alone.

// X-axis types (the first byte of ADD.BIN; 4 exists only in the viewer).
enum XAxisType { kXFrequency = 1, kXTime = 2, kXTemperature = 3, kXInverseTemperature = 4 };

// "Frequency", "Time", "Temperature", "Inv. Temperature".
std::string xAxisTypeName(int type);
// "Impedance", "Admittance", "Modulus", "Epsilon" for DFIT Z, Y, M, E.
std::string levelName(char dfit);
// "magnitude" (P, D), "log magnitude" (L), "real" (R).
std::string firstComponentName(char pfit);
// "angle, radii" (P, L), "angle, degree" (D), "imag" (R).
std::string secondComponentName(char pfit);
// The horizontal axis title of graphs 1 to 4.
std::string xAxisTitle(int xType, bool angular);

struct GraphTitles {
    std::string horizontal;
    std::string vertical;
    std::string group;  // the text of the graph's group box
};
// Graph 1 to 5 of the viewer's pages.
GraphTitles graphTitles(int graph, char dfit, char pfit, int xType, bool angular,
                        bool imagNegated, int ipar);
// Graph 4 of the "Graphics" page for complex data without uncertainties: each
// component's residual in percent of the model's modulus, which does not
// spike where a component of the model passes through zero.
GraphTitles modulusResidualTitles(int xType, bool angular);

// The warning shown before "Data transformation..." (Yes/No), or nothing.
std::optional<std::string> transformationWarning(int xType, char dattyp);

// The question before changing the X-axis type from current to chosen, or
// nothing when the change needs no question (temperature <-> inverse temperature).
std::optional<std::string> xAxisChangeQuestion(int current, int chosen);

// The frequency representation at load: true for angular. mode 0 takes the
// one chosen in "Data transformation" from IRE (-10 angular, -11 and less
// ordinary); any other IRE (the engine's weighting) chooses none, and the
// data are shown as the job holds them (`freeq`: blank angular, else
// ordinary, so that data imported in Hz are shown in Hz). 1 forces angular,
// 2 ordinary.
bool angularForLoad(int mode, int ire, char freeq);

} // namespace nosk
