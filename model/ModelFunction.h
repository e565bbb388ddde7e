#pragma once

#include "Circuit.h"
#include "DeTable.h"

#include <vector>

namespace nosk::engine {

// A job's model: the circuit of its FUN letter (built in, or from the work
// folder's CIRCUITS) with the DE numbers its selectors hold. Parameters are
// the job's p1 ... p50 as a 0-based array of 50 values; the caller keeps
// entries at or beyond N at 0.
//
//   A (series):  Z = 1 / (i w p4 + 1/Zs),
//                Zs = p1 + i w p3 + 1/(i w p2) + DE(p6-p9) + DE(p11-p14) + DE(p16-p19)
//   B (Randles): Z = p1 + i w p3 + 1 / (i w p2 + 1/(p4 + DE(p6-p9) + DE(p11-p14)))
//                  + DE(p16-p19) + DE(p21-p24)
// and the thirteen others as model/circuits.txt writes them.
class ModelFunction {
public:
    static constexpr int kMaxParams = 50;

    // The built-in circuit of `fun`. Throws nosk::exception for a letter
    // without a circuit and for a DE the engine lacks. A selector whose
    // NFREE code is 3 subtracts its DE.
    ModelFunction(char fun, const double* p, const int* nfree, const DeContext& context = {});
    // The circuit `definition` under the letter `fun`.
    ModelFunction(char fun, const Circuit& definition, const double* p, const int* nfree,
        const DeContext& context = {});

    char circuit() const { return m_letter; }
    const Circuit& definition() const { return m_circuit; }
    const DeContext& deContext() const { return m_context; }

    // The DE elements ("slots") in the order of the definition's text.
    int slotCount() const { return static_cast<int>(m_slots.size()); }
    int slotNode(int slot) const { return m_slots[slot].node; }
    int slotDe(int slot) const { return m_slots[slot].de; }
    double slotSign(int slot) const { return m_slots[slot].sign; }
    // 0-based index of the selector of a slot, and of its R, T, U, PHI.
    int slotSelector(int slot) const;
    int slotParam(int slot, int k) const;
    // The slot of the DE whose node is `node`, or -1.
    int slotOfNode(int node) const;
    bool isSelector(int index) const;
    // The first slot whose DE parameters include `index`, or -1.
    int slotOfParam(int index) const;

    // Z at `count` points (no derivatives). Points where a DE leaves its
    // valid range give NaN.
    void impedances(const double* p, const double* omega, const double* lnOmega, int count, Complex* out) const;
    // Z at one point, everything computed (tests and the fuzz target).
    Complex impedance(const double* p, double omega) const;

private:
    struct Slot {
        int node;
        int de;
        double sign;
    };
    void resolveSlots(const double* p, const int* nfree);

    char m_letter;
    Circuit m_circuit;
    DeContext m_context;
    std::vector<Slot> m_slots;
};

} // namespace nosk::engine
