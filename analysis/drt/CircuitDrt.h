#pragma once

// The distribution of relaxation times of a fitted circuit: each element (or
// small group of elements) in series whose DRT is known in closed form is
// one part (an RC, R || Q as a ZARC, the Havriliak-Negami, Davidson-Cole,
// log-normal and KWW (beta = 1/2) DEs, the finite Warburgs as lines); the
// series R, L and C are kept apart; whatever remains (a Randles branch, a
// series CPE, a transmission line, a DE without a closed-form DRT) is given
// the numerical DRT of its own impedance, the model minus the parts above.
// A circuit with no such part gets the numerical DRT of its whole curve.
//
// Standard library, the circuit language and the DRT of drt::compute.

#include "Drt.h"
#include "model/Circuit.h"

#include <complex>
#include <functional>
#include <string>
#include <vector>

namespace nosk::drt {

// One part of the circuit with a DRT in closed form.
struct CircuitPart {
    // Lines: Debye lines (an RC is one); the Warburgs are lines with an
    // impedance in closed form, R tanh(sqrt(i w T)) / sqrt(i w T) and its coth sibling.
    enum class Shape { Lines, FiniteWarburg, FiniteSpaceWarburg, Zarc, HavriliakNegami, DavidsonCole, KwwHalf,
                       LogNormal };
    Shape shape = Shape::Lines;
    std::string label;         // "p4, p5, p6: R || Q (ZARC)"
    double r = 0;              // total resistance, ohm
    double tau0 = 0;           // s
    double a = 1, b = 1;       // phi, or alpha and beta, or the log-normal's sigma in a
    std::vector<Line> lines;   // the Debye lines of Lines and the Warburgs

    // gamma in ohm per unit of ln tau. A line, a delta in gamma, is drawn as a
    // Gaussian of its area and the given full width at half maximum in ln tau.
    double gamma(double tau, double lineWidth) const;
    // The part's impedance at angular frequency omega (without its series C).
    std::complex<double> impedance(double omega) const;
};

struct CircuitDrt {
    std::vector<CircuitPart> parts;
    double seriesResistance = 0;   // ohm
    double seriesInductance = 0;   // H
    double seriesCapacitance = 0;  // F: the series C's (and reflecting Warburgs') total; 0 for none
    // The elements without a closed-form DRT ("p10, p11: Q"), in the order of
    // the text; empty when the parts describe the whole circuit.
    std::vector<std::string> numericalElements;
    // The numerical DRT of the model minus the parts and series terms above
    // (computed when numericalElements is not empty and the model was given).
    bool hasNumerical = false;
    Result numerical;

    // The circuit's whole gamma at tau: the parts plus the numerical DRT.
    double gamma(double tau, double lineWidth) const;
};

// Resolves the circuit's series terms at the parameters p (p1 at p[0], 50
// values; nfree the NFREE codes, where 3 on a DE selector subtracts the DE),
// with celcap for E elements. model(omega) is the model's Z at angular
// frequency omega (the engine's evaluation); when given and something has no
// closed form, the rest of the model gets the numerical DRT on pointsPerDecade
// points per decade of the frequency range fMinHz ... fMaxHz. Options are
// those of the numerical DRT.
CircuitDrt circuitDrt(const engine::Circuit& circuit, const double* p, const int* nfree, double celcap,
                      const std::function<std::complex<double>(double)>& model, double fMinHz, double fMaxHz,
                      const Options& options = {}, int pointsPerDecade = 10);

// The full width at half maximum in ln tau of the peak a Debye line is drawn
// as: a third of a decade, about what the data's DRT resolves.
inline constexpr double kLineWidth = 0.7675283643313485;  // ln(10) / 3

} // namespace nosk::drt
