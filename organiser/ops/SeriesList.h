#pragma once

#include "Spectrum.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nosk::serieslist {

// A covariate as its column header names it: "T/K" is the quantity T in
// K, "E/mV" a potential in mV, "soc" a plain number.
struct Quantity {
    std::string name, unit;
};

Quantity parseQuantity(std::string_view header);
// "T/K", or the name alone without a unit.
std::string quantityText(const Quantity& q);

// One spectrum of a series: its file and its covariate (NaN: not known yet).
struct Entry {
    std::string file;
    double value;
};

// Whether `path` is a list of a series rather than a spectrum: a .csv file
// whose first line's first field is "file".
bool isListFile(const std::string& path);

// The entries of a list file: a header "file,NAME/UNIT[,...]" and a line per
// spectrum. Files are taken relative to the list's folder. The covariate is
// the column whose header is `wanted` (or whose name is: "T" finds "T/K"),
// else the second column; `quantity` receives its header. Throws
// nosk::exception naming the list and its line: no such column, a line
// without a file or without a number for the covariate.
std::vector<Entry> readListFile(const std::string& path, const std::string& wanted, Quantity& quantity);

// The covariate in what a file says about its measurement: the entry of
// the quantity (T or temperature, E, U or potential, I or current, t or
// time), in the quantity's unit when the entry names one we convert (K and
// degC; V and mV; A, mA, uA; s, min, h). Nothing when there is no such
// entry or its unit cannot be converted.
std::optional<double> fromMetadata(const Metadata& metadata, const Quantity& quantity);

// A value of unit `unit` as an absolute temperature in K (from K or degC,
// also written C or °C); nothing for any other unit.
std::optional<double> kelvin(double value, const std::string& unit);

} // namespace nosk::serieslist
