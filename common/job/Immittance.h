#pragma once

// Conversions between the immittance levels (Z impedance, Y admittance,
// M modulus, E epsilon), the complex formats (P polar in radians, D polar in
// degrees, L log polar, R rectangular) and angular/ordinary frequency. All
// work in place and never fail: zero pairs, zero magnitudes and zero omega*C
// give non-finite values, which callers show as they come.

namespace nosk {

// The engine's value of pi; results must match it, not the full double.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kOneOver180 = 0.005555555555555556;

// (a, b) in `format` becomes rectangular (x, y). Unknown formats: unchanged.
void ToRectangular(char format, double& a, double& b);
// Rectangular (x, y) becomes `format`; angles lie in (-pi, pi] (or degrees).
void FromRectangular(char format, double& x, double& y);
// A rectangular pair from one level to another at angular frequency omega and
// cell capacitance C. Unknown levels: unchanged.
void ChangeLevel(char fromLevel, char toLevel, double& x, double& y, double omega, double C);

// Two parallel value arrays of `count` points from one level and format to
// another, with the angular frequencies in `x`. A missing value array (null;
// real-only or imaginary-only data) counts as zeros and stays missing. Nothing
// happens when levels and formats are equal, when both arrays are missing, or
// when the level changes and `x` is missing.
void TransformArrays(const double* x, double* first, double* second, int count,
                     char fromLevel, char fromFormat, char toLevel, char toFormat, double C);

// Frequencies in place: Hz to rad/s and back. A count of 0 or less does nothing.
void ToAngular(double* values, int count);
void ToOrdinary(double* values, int count);
// Calls the one needed, or nothing when both flags are equal.
void ConvertFrequencies(bool fromAngular, bool toAngular, double* values, int count);

// Copies `first`/`second` into `firstOut`/`secondOut` and converts each copied
// pair from `format` to rectangular. A missing input array counts as zeros; a
// missing output array receives nothing.
void ConvertArrays(char format, const double* first, const double* second,
                   double* firstOut, double* secondOut, int count);

} // namespace nosk
