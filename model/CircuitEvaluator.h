#pragma once

#include "ModelFunction.h"

#include <vector>

namespace nosk::engine {

// Evaluates a model's circuit at all points of a job, node by node, and
// carries forward the derivatives of Z with respect to the `active`
// parameters (the free ones): each node keeps its values and the derivatives
// of the active parameters below it. Every buffer is sized once here; an
// evaluation allocates nothing.
class CircuitEvaluator {
public:
    // `active` holds 0-based parameter indices; derivative j belongs to active[j].
    CircuitEvaluator(const ModelFunction& model, int points, const std::vector<int>& active = {});

    // Z (and, when `derivatives`, dZ/dp of the active parameters) at the
    // parameters p. Returns false when a DE reports parameters outside its
    // valid range; failedSlot() then names it and nothing else is valid.
    bool evaluate(const double* p, const double* omega, const double* lnOmega, bool derivatives);

    const Complex* impedance() const { return m_root.data(); }
    // dZ/dp of active parameter j at every point, or nullptr when Z does not
    // depend on it.
    const Complex* derivative(int j) const;
    int failedSlot() const { return m_failedSlot; }
    int points() const { return m_points; }

private:
    struct NodeData {
        std::vector<Complex> value;      // M values: Z, or Y for a capacitive branch of a par(...)
        std::vector<int> deps;           // active indices below this node, ascending
        std::vector<Complex> der;        // deps.size() blocks of M
        std::vector<std::vector<int>> childPos;  // per child: its deps' positions in deps
        int refPos[5] = {-1, -1, -1, -1, -1};    // position in deps of each parameter, or -1
        std::vector<Complex> factor;     // par(...): dY/dZ of each child at each point
        std::vector<int> mode;           // par(...): how each point combines its branches
        std::vector<Complex> scratch;    // DE: its four derivatives
        bool admittance = false;         // value holds Y (C, E, Q directly inside a par)
        bool absent = false;             // left out at these parameters (a capacitor of 0)
    };

    void evaluateElement(int index, const double* p, const double* omega, const double* lnOmega, bool derivatives);
    bool evaluateDe(int index, const double* p, const double* omega, const double* lnOmega, bool derivatives);
    void evaluateSeries(int index, bool derivatives);
    void evaluateParallel(int index, bool derivatives);
    void evaluateTlm(int index, const double* p, bool derivatives);

    const ModelFunction& m_model;
    const Circuit& m_circuit;
    int m_points;
    int m_activeCount;
    std::vector<NodeData> m_nodes;
    std::vector<int> m_rootPos;     // active j -> position in the root's deps, or -1
    std::vector<Complex> m_root;    // Z at every point (the root node, or 0 when it is left out)
    std::vector<Complex> m_zero;
    int m_failedSlot = -1;
};

} // namespace nosk::engine
