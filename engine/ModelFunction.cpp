#include "ModelFunction.h"

#include "core/Exception.h"

#include <algorithm>
#include <cmath>

namespace nosk::engine {

namespace {

inline Complex inverse(Complex z)
{
    const double a = z.real(), b = z.imag();
    const double big = std::max(std::abs(a), std::abs(b));
    if (big > 1e-150 && big < 1e150) {
        const double s = a * a + b * b;
        return {a / s, -b / s};
    }
    return 1.0 / z;
}

// The DE number a selector holds. A value that is no whole number cannot
// name a DE; the user sees which parameter is wrong.
int deNumber(double value, int index)
{
    if (!std::isfinite(value) || value != std::floor(value))
        throw exception("DE selector P%i holds %g, which is not a DE number", index + 1, value);
    if (std::abs(value) > 1e9)
        throw exception("DE %.0f is not available in this engine", value);
    return static_cast<int>(value);
}

} // namespace

ModelFunction::ModelFunction(char fun, const double* p, const int* nfree, double celcap) : m_circuit(fun)
{
    if (fun == 'A')
        m_slotCount = 3;
    else if (fun == 'B')
        m_slotCount = 4;
    else
        throw exception("Model function '%c' is not available in this engine", fun);
    for (int s = 0; s < m_slotCount; ++s) {
        const int index = selectorIndex(s);
        const int de = deNumber(p[index], index);
        m_context.celcap = celcap;
        const int first = firstParamIndex(s);
        deValidate(de, DeParams{p[first], p[first + 1], p[first + 2], p[first + 3]}, nfree + first, index, m_context);
        m_de[s] = de;
        m_sign[s] = nfree[index] == 3 ? -1.0 : 1.0;
    }
}

bool ModelFunction::isSelector(int index) const
{
    for (int s = 0; s < m_slotCount; ++s)
        if (index == selectorIndex(s))
            return true;
    return false;
}

int ModelFunction::slotOfParam(int index) const
{
    for (int s = 0; s < m_slotCount; ++s)
        if (index >= firstParamIndex(s) && index < selectorIndex(s))
            return s;
    return -1;
}

void ModelFunction::slotImpedances(int slot, const double* p, const double* omega, const double* lnOmega,
    int count, Complex* out) const noexcept
{
    const double* q = p + firstParamIndex(slot);
    if (!deEvaluate(m_de[slot], DeParams{q[0], q[1], q[2], q[3]}, m_context, omega, lnOmega, count, m_sign[slot], out,
            nullptr))
        std::fill(out, out + count, Complex(std::nan(""), std::nan("")));
}

Complex ModelFunction::compose(const double* p, double omega, const Complex* slotZ) const noexcept
{
    if (m_circuit == 'A') {
        Complex zs(p[0], omega * p[2]);
        if (p[1] != 0)
            zs += Complex(0.0, -1.0 / (omega * p[1]));
        zs += slotZ[0] + slotZ[1] + slotZ[2];
        if (p[3] == 0)
            return zs;
        return inverse(Complex(0.0, omega * p[3]) + inverse(zs));
    }
    Complex inner = p[3] + slotZ[0] + slotZ[1];
    if (p[1] != 0)
        inner = inverse(Complex(0.0, omega * p[1]) + inverse(inner));
    return Complex(p[0], omega * p[2]) + inner + slotZ[2] + slotZ[3];
}

Complex ModelFunction::impedance(const double* p, double omega) const noexcept
{
    const double lnOmega = std::log(omega);
    Complex slotZ[kMaxSlots];
    for (int s = 0; s < m_slotCount; ++s)
        slotImpedances(s, p, &omega, &lnOmega, 1, &slotZ[s]);
    return compose(p, omega, slotZ);
}

} // namespace nosk::engine
