#pragma once

namespace nosk {

// The vacuum permittivity in F/cm: the default cell capacitance of a job and
// the reference of the derived dielectric quantities.
inline constexpr double kVacuumPermittivity = 8.8541878e-14;
// The same as the input file keeps it: four digits (.8854D-13). A job read
// from a file has this value where the default was saved.
inline constexpr double kVacuumPermittivityAsStored = 8.854e-14;

} // namespace nosk
