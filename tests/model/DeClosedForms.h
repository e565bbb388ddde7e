#pragma once

// The impedance of the engine's first DEs written out with the standard
// library's complex functions, independently of the DE table: the reference
// the DE table and the circuit tests compare against.

#include "model/DeTable.h"

#include <cmath>
#include <complex>

namespace nosk::test {

// Z of DE `de` with parameters R, T, U, PHI at angular frequency w; NaN for a
// DE written out nowhere here.
inline engine::Complex deClosedForm(int de, const engine::DeParams& p, double w)
{
    const engine::Complex I(0.0, 1.0);
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    const engine::Complex iw = I * w;
    switch (de) {
    case 0: return 0.0;
    case 1: return R / (1.0 + iw * R * T);
    case 2: return 1.0 / (T * std::pow(iw, PHI));
    case 3: return R / (1.0 + R * T * std::pow(iw, PHI));
    case 4: return R / (1.0 + std::pow(R, U) * T * std::pow(iw, PHI));
    case 5: return R / (1.0 + std::pow(iw * T, PHI));
    case 6: return R / std::pow(1.0 + std::pow(iw * T, U), PHI);
    case 7: return R / std::pow(1.0 + iw * T, PHI);
    case 9: {
        const engine::Complex x = std::pow(iw * T, PHI);
        return R * std::tanh(x) / x;
    }
    case 16: {
        const engine::Complex x = std::pow(iw * T, PHI);
        return R / (std::tanh(x) * x);
    }
    case 17: return 1.0 / (iw * T + 1.0 / R + 1.0 / (U + iw * PHI));
    }
    return std::nan("");
}

} // namespace nosk::test
