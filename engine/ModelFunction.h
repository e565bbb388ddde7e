#pragma once

#include "DeTable.h"

namespace nosk::engine {

// One of the engine's model circuits with its DE slots. Parameters are the
// job's p1 ... p50 as a 0-based array of 50 values; the caller keeps entries
// at or beyond N at 0.
//
//   A (series):  Z = 1 / (i w p4 + 1/Zs),
//                Zs = p1 + i w p3 + 1/(i w p2) + DE(p6-p9) + DE(p11-p14) + DE(p16-p19)
//   B (Randles): Z = p1 + i w p3 + 1 / (i w p2 + 1/(p4 + DE(p6-p9) + DE(p11-p14)))
//                  + DE(p16-p19) + DE(p21-p24)
// p2 = 0 drops the capacitor, p4 = 0 in A the parallel one; p5 is unused.
class ModelFunction {
public:
    static constexpr int kMaxParams = 50;
    static constexpr int kMaxSlots = 4;

    // Throws nosk::exception for a circuit or a DE this engine lacks, or a
    // DE whose start values lie outside its valid range. A selector whose
    // NFREE code is 3 subtracts its DE. celcap (CELCAP in F) reaches the
    // dielectric-level DEs.
    ModelFunction(char fun, const double* p, const int* nfree, double celcap = 0);

    char circuit() const { return m_circuit; }
    int slotCount() const { return m_slotCount; }
    int slotDe(int slot) const { return m_de[slot]; }
    double slotSign(int slot) const { return m_sign[slot]; }
    // 0-based index of the selector of a slot, and of its first parameter (R).
    static int selectorIndex(int slot) { return 5 * slot + 9; }
    static int firstParamIndex(int slot) { return 5 * slot + 5; }
    bool isSelector(int index) const;
    // The slot whose DE parameters include `index`, or -1 (circuit elements).
    int slotOfParam(int index) const;

    // The DE values of one slot at every point (already signed). Parameters
    // outside the DE's valid range (a trial point of the fit) give NaN.
    void slotImpedances(int slot, const double* p, const double* omega, const double* lnOmega, int count,
        Complex* out) const noexcept;
    // The circuit from its elements p1-p4 and the slot values at one point;
    // slotZ holds slotCount() values.
    Complex compose(const double* p, double omega, const Complex* slotZ) const noexcept;

    // Z at one point, everything computed (tests and the fuzz target).
    Complex impedance(const double* p, double omega) const noexcept;

private:
    char m_circuit;
    int m_slotCount;
    int m_de[kMaxSlots] = {};
    double m_sign[kMaxSlots] = {};
    DeContext m_context;
};

} // namespace nosk::engine
