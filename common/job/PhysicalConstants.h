#pragma once

namespace nosk {

// The vacuum permittivity in F/cm: the default cell capacitance of a job and
// the reference of the derived dielectric quantities.
inline constexpr double kVacuumPermittivity = 8.8541878e-14;

} // namespace nosk
