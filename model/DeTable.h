#pragma once

#include "de/DeTypes.h"

#include <string>

namespace nosk::engine {

namespace de {
struct FirstEdition;
}

// The distributed elements (DEs) this engine knows, numbered 0 to 37. A DE
// takes the four parameters in front of its selector, in the order R, T, U,
// PHI. Each DE is one row of the table in DeTable.cpp: its title, the level
// of its value, the functions that compute it, the valid range of each
// parameter and what must stay fixed. The engine's evaluation and checks and
// the organiser's DE catalogue read the rows.

constexpr int kDeCount = 38;

// The valid values of one parameter of a DE.
struct DeRange {
    enum class Kind : unsigned char {
        Any,          // every value, even a non-finite one (the first-edition DEs)
        Positive,     // finite and > 0
        NonNegative,  // finite and >= 0
        Finite,       // any finite value
        Form,         // 0 or 1, picking the response form
        Within,       // lo ... hi; an open end excludes its bound
        Sections,     // a whole number from lo to hi
    };
    Kind kind = Kind::Any;
    double lo = 0, hi = 0;
    bool loOpen = false, hiOpen = false;
    const char* hint = nullptr;  // added to the refusal after "; "
};

struct DeRow {
    const char* title;  // as the DE catalogue lists it after "N: "
    de::Level level;
    unsigned used;      // bits 0-3: R, T, U, PHI take part
    bool analytic;      // every derivative analytic (else a central difference of the DE alone)
    // The first-edition DEs compute all points at once; every other DE has a
    // point function.
    const de::FirstEdition* firstEdition = nullptr;
    de::PointFunction point = nullptr;
    DeRange range[4] = {};  // R, T, U, PHI
    // A condition checked before the ranges, refused with its own message.
    bool (*precondition)(const DeParams&) = nullptr;
    const char* preconditionRefusal = nullptr;
    // A condition on several parameters (or a value inside a range), checked
    // after the ranges: false, and the reason in *why when why is not null,
    // when p breaks it.
    bool (*joint)(const DeParams& p, std::string* why) = nullptr;
    // The slot that must not be fitted (it selects the form, counts sections
    // or is a reference value), or -1.
    int fixedOnly = -1;
    // U = 1 selects a real function of the first data column (level Real).
    bool realAtUOne = false;
};

// The row of DE `de`, 0 <= de < kDeCount.
const DeRow& deRow(int de);

// "R", "T", "U" or "PHI" for slot 0 to 3.
const char* deSlotName(int slot);

// The first parameter of p outside its row's range: false, and when `why`
// is not null the reason, such as "PHI = 1.2 is outside 0.1 ... 1". The
// precondition and CELCAP are not part of it (deValidate checks them).
bool deWithinRanges(const DeRow& row, const DeParams& p, std::string* why);

// True for the DE numbers the engine can evaluate: 0 to 37.
bool deAvailable(int de);

// The impedance of a first-edition DE `de` at the points omega[0 .. count-1],
// multiplied by `sign` (+1, or -1 for a subtracted DE), written to out[].
// lnOmega[i] is ln(omega[i]), precomputed once per job because every power
// (i w T)^PHI comes from it. Pure: no allocation, no state; any other DE
// number gives zeros.
void deImpedances(int de, const DeParams& p, const double* omega, const double* lnOmega, int count,
    double sign, Complex* out) noexcept;

// The same at one point (tests and the fuzz target use it).
Complex deImpedance(int de, const DeParams& p, double omega) noexcept;

// The DE's (signed) values and, where wanted, their derivatives with respect
// to R, T, U and PHI at count points: z[i], and d[k][i] for k = 0 (R), 1 (T),
// 2 (U), 3 (PHI). d may be nullptr (values only), and any d[k] may be nullptr
// (that derivative not wanted). Returns false, writing nothing, when p lies
// outside the DE's valid range (a trial point of the fit); the caller then
// stops the fit with the last accepted parameters.
bool deEvaluate(int de, const DeParams& p, const DeContext& ctx, const double* omega,
    const double* lnOmega, int count, double sign, Complex* z, Complex* const* d);

// True where deEvaluate gives every derivative analytically (closed forms);
// false where it falls back to a central difference of the DE alone.
bool deHasAnalyticDerivatives(int de);

// Checks a DE before the first evaluation, on the start values: its number,
// the valid ranges of R, T, U, PHI, the codes of fixed-only parameters and
// the context it needs. nfree holds the NFREE codes of R, T, U, PHI;
// selectorIndex is the 0-based job index of the selector (messages name
// P[selectorIndex]). Throws nosk::exception with the reason.
void deValidate(int de, const DeParams& p, const int* nfree, int selectorIndex, const DeContext& ctx);

} // namespace nosk::engine
