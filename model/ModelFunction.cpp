#include "ModelFunction.h"

#include "CircuitEvaluator.h"

#include "EngineError.h"
#include "core/Exception.h"

#include <cmath>
#include <limits>

namespace nosk::engine {

namespace {

// The DE number a selector holds. A value that is no whole number cannot
// name a DE; the user sees which parameter is wrong.
int deNumber(double value, int index)
{
    if (!std::isfinite(value) || value != std::floor(value))
        throw EngineError(Reason::Kind::Parameter, Place().withParam(index + 1),
            "DE selector P%i holds %g, which is not a DE number", index + 1, value);
    if (std::abs(value) > 1e9)
        throw EngineError(Reason::Kind::De, Place().withParam(index + 1),
            "DE %.0f is not available in this engine", value);
    return static_cast<int>(value);
}

const Circuit& builtInCircuit(char fun)
{
    const CircuitLibrary::Definition* d = CircuitLibrary::builtIn().find(fun);
    if (!d)
        throw EngineError(Reason::Kind::Field, Place().withField("FUN"),
            "Model function '%c' is not available in this engine", fun);
    return d->circuit;
}

} // namespace

ModelFunction::ModelFunction(char fun, const double* p, const int* nfree, const DeContext& context)
    : ModelFunction(fun, builtInCircuit(fun), p, nfree, context)
{
}

ModelFunction::ModelFunction(char fun, const Circuit& definition, const double* p, const int* nfree,
    const DeContext& context)
    : m_letter(fun), m_circuit(definition), m_context(context)
{
    if (m_circuit.nodes().empty())
        throw EngineError(Reason::Kind::Field, Place().withField("FUN"),
            "Model function '%c' is not available in this engine", fun);
    resolveSlots(p, nfree);
}

void ModelFunction::resolveSlots(const double* p, const int* nfree)
{
    for (int node : m_circuit.deNodes()) {
        const int index = m_circuit.node(node).ref[0];
        const int de = deNumber(p[index], index);
        if (!deAvailable(de))
            throw EngineError(Reason::Kind::De, Place().withParam(index + 1).withDe(de),
                "DE %i is not available in this engine", de);
        m_slots.push_back({node, de, nfree[index] == 3 ? -1.0 : 1.0});
    }
}

int ModelFunction::slotSelector(int slot) const
{
    return m_circuit.node(m_slots[slot].node).ref[0];
}

int ModelFunction::slotParam(int slot, int k) const
{
    return m_circuit.node(m_slots[slot].node).ref[k + 1];
}

int ModelFunction::slotOfNode(int node) const
{
    for (int s = 0; s < slotCount(); ++s)
        if (m_slots[s].node == node)
            return s;
    return -1;
}

bool ModelFunction::isSelector(int index) const
{
    for (int s = 0; s < slotCount(); ++s)
        if (slotSelector(s) == index)
            return true;
    return false;
}

int ModelFunction::slotOfParam(int index) const
{
    for (int s = 0; s < slotCount(); ++s)
        for (int k = 0; k < 4; ++k)
            if (slotParam(s, k) == index)
                return s;
    return -1;
}

void ModelFunction::impedances(const double* p, const double* omega, const double* lnOmega, int count,
    Complex* out) const
{
    CircuitEvaluator evaluator(*this, count);
    if (!evaluator.evaluate(p, omega, lnOmega, false)) {
        for (int i = 0; i < count; ++i)
            out[i] = Complex(std::numeric_limits<double>::quiet_NaN(), 0.0);
        return;
    }
    for (int i = 0; i < count; ++i)
        out[i] = evaluator.impedance()[i];
}

Complex ModelFunction::impedance(const double* p, double omega) const
{
    const double lnOmega = std::log(omega);
    Complex z;
    impedances(p, &omega, &lnOmega, 1, &z);
    return z;
}

} // namespace nosk::engine
