#pragma once

// The DE families. Each function gives a DE's natural value at one point:
// an impedance, a dielectric constant eps, a modulus M or a real function of
// the first data column (the DE's row in model/DeTable.cpp says which). When
// d is not null it also writes the derivatives with respect to R, T, U and
// PHI to d[0 .. 3]; functions whose row has no analytic derivatives ignore d.
// Parameters are in their valid range (the row's ranges are checked first).

#include "DeTypes.h"

namespace nosk::engine::de {

// The first-edition DEs (Classic.cpp), which work on all points at once.
struct FirstEdition {
    BatchValues values;
    BatchWithDerivatives onePass;  // nullptr: values and derivatives in two passes
    PointDerivatives derivatives;
};

extern const FirstEdition kEmptySlot;        // 0
extern const FirstEdition kParallelRc;       // 1
extern const FirstEdition kCpe;              // 2
extern const FirstEdition kCpeParallelR;     // 3
extern const FirstEdition kColeCole;         // 4
extern const FirstEdition kZarc;             // 5
extern const FirstEdition kHavriliakNegami;  // 6
extern const FirstEdition kColeDavidson;     // 7
extern const FirstEdition kTransmissive;     // 9
extern const FirstEdition kReflecting;       // 16
extern const FirstEdition kFourElements;     // 17

// Closed forms with analytic derivatives.
Complex havriliakNegamiPeak(const DeParams& p, double omega, double lnOmega, Complex* d);   // 8
Complex jonscher(const DeParams& p, double omega, double lnOmega, Complex* d);             // 11
Complex diffusionBoundary(const DeParams& p, double omega, double lnOmega, Complex* d);    // 15
Complex powerLawZ(const DeParams& p, double omega, double lnOmega, Complex* d);            // 20
Complex powerLawEps(const DeParams& p, double omega, double lnOmega, Complex* d);          // 21 (eps)
Complex powerLawModulus(const DeParams& p, double omega, double lnOmega, Complex* d);      // 22 (M)
Complex ladderOpen(const DeParams& p, double omega, double lnOmega, Complex* d);           // 23
Complex ladderShorted(const DeParams& p, double omega, double lnOmega, Complex* d);        // 24
Complex bruggeman(const DeParams& p, double omega, double lnOmega, Complex* d);            // 25 (eps)
Complex seriesCpe(const DeParams& p, double omega, double lnOmega, Complex* d);            // 26
Complex parallelCpeEps(const DeParams& p, double omega, double lnOmega, Complex* d);       // 27 (eps)
Complex edaeExact(const DeParams& p, double omega, double lnOmega, Complex* d);            // 30
Complex hanaiBruggeman(const DeParams& p, double omega, double lnOmega, Complex* d);       // 31 (eps)
Complex thermalLaw(const DeParams& p, double omega, double lnOmega, Complex* d);           // 33 (real)

// Activation-energy and power-law distributions through 2F1.
Complex edaeTwoCutoffs(const DeParams& p, double omega, double lnOmega, Complex* d);       // 12
Complex edaeDoubleExponential(const DeParams& p, double omega, double lnOmega, Complex* d); // 13
Complex dissadoHill(const DeParams& p, double omega, double lnOmega, Complex* d);          // 18, 19
Complex edaeTwoCutoffsEps(const DeParams& p, double omega, double lnOmega, Complex* d);    // 28 (eps)
Complex davidsonColeGeneral(const DeParams& p, double omega, double lnOmega, Complex* d);  // 29
Complex edaeOneCutoff(const DeParams& p, double omega, double lnOmega, Complex* d);        // 34

// Log-normal DRT (value and derivatives from one sum).
Complex gaussianDae(const DeParams& p, double omega, double lnOmega, Complex* d);          // 14

// The stretched-exponential family.
Complex kww(const DeParams& p, double omega, double lnOmega, Complex* d);                  // 10
Complex kwwHalf(const DeParams& p, double omega, double lnOmega, Complex* d);              // 32
Complex kwwThird(const DeParams& p, double omega, double lnOmega, Complex* d);             // 35
Complex kwwThroughDrt(const DeParams& p, double omega, double lnOmega, Complex* d);        // 36
Complex kwwDrtValue(const DeParams& p, double omega, double lnOmega, Complex* d);          // 37 (real)

// The KWW distribution of relaxation times G(y), y = ln(tau/T), and the
// normalised responses N (conductive false) and Q (true) at x = w T.
double kwwDrt(double beta, double y);
Complex kwwNormalised(double beta, double x, bool conductive);

} // namespace nosk::engine::de
