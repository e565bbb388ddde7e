#include "JobProblem.h"

#include <cmath>
#include <limits>

namespace nosk::engine {

namespace {

const double kCubeRootEps = std::cbrt(std::numeric_limits<double>::epsilon());

} // namespace

JobProblem::JobProblem(const PreparedJob& job)
    : m_job(job), m_points(job.pointCount()), m_slots(job.model().slotCount()),
      m_slotZ(static_cast<std::size_t>(m_slots) * m_points), m_replacement(m_points),
      m_plus(job.valueCount()), m_minus(job.valueCount())
{
    m_model[0].resize(m_points);
    m_model[1].resize(m_points);
}

void JobProblem::computeSlots(const double* p)
{
    const ModelFunction& model = m_job.model();
    for (int s = 0; s < m_slots; ++s)
        model.slotImpedances(s, p, m_job.omega(), m_job.lnOmega(), m_points, &m_slotZ[s * m_points]);
}

void JobProblem::composeModel(const double* p, int replaced, const Complex* replacement)
{
    const ModelFunction& model = m_job.model();
    const double* omega = m_job.omega();
    Complex z[ModelFunction::kMaxSlots];
    for (int i = 0; i < m_points; ++i) {
        for (int s = 0; s < m_slots; ++s)
            z[s] = s == replaced ? replacement[i] : m_slotZ[s * m_points + i];
        m_job.toFitRepresentation(model.compose(p, omega[i], z), omega[i], m_model[0][i], m_model[1][i]);
    }
}

JobProblem::Value JobProblem::valueAt(int point, int component, const double* model0, const double* model1) const
{
    Value v;
    v.observed = m_job.observed(point, component);
    v.model = component == 0 ? model0[point] : model1[point];
    double d = v.observed - v.model;
    // Angles are compared on the circle: a fit that lands near +-pi is not
    // punished for the branch the phase happens to take.
    if (component == 1 && m_job.angleComponent() && std::isfinite(d) && std::abs(d) > 0.5 * m_job.fullTurn())
        d -= m_job.fullTurn() * std::round(d / m_job.fullTurn());
    if (m_job.functionWeighting())
        v.sigma = m_job.componentFitted(component) ? std::abs(v.model) : 0.0;
    else
        v.sigma = m_job.fixedSigma(point, component);
    v.residual = d;
    return v;
}

JobProblem::Value JobProblem::value(int k, const double* model0, const double* model1) const
{
    return valueAt(m_job.valuePoint(k), m_job.valueComponent(k), model0, model1);
}

void JobProblem::residualsFromModel(double* r) const
{
    const int K = m_job.valueCount();
    for (int k = 0; k < K; ++k) {
        const Value v = value(k, m_model[0].data(), m_model[1].data());
        // With function weighting a model value of 0 has no sigma; the value
        // then adds nothing rather than an infinity.
        r[k] = v.sigma != 0 ? v.residual / v.sigma : 0.0;
    }
}

void JobProblem::residuals(const double* x, double* r)
{
    m_job.variablesToParams(x, m_p);
    computeSlots(m_p);
    composeModel(m_p, -1, nullptr);
    residualsFromModel(r);
}

double JobProblem::step(int j, double x) const
{
    // ln p moves on its natural scale of 1; a parameter of any sign moves
    // relative to its own size (capacitances of 1e-9 F are common).
    if (m_job.freePositive(j))
        return kCubeRootEps * std::max(std::abs(x), 1.0);
    return x != 0 ? kCubeRootEps * std::abs(x) : kCubeRootEps;
}

void JobProblem::jacobian(const double* x, const double* r0, double* J, int ld)
{
    const ModelFunction& model = m_job.model();
    const int K = m_job.valueCount(), F = m_job.freeCount();
    double base[PreparedJob::kMaxParams];
    m_job.variablesToParams(x, base);
    computeSlots(base);
    std::copy(base, base + PreparedJob::kMaxParams, m_p);
    for (int j = 0; j < F; ++j) {
        const int index = m_job.freeParam(j);
        const int slot = model.slotOfParam(index);
        const double h = step(j, x[j]);
        for (int side = 0; side < 2; ++side) {
            const double xj = side == 0 ? x[j] + h : x[j] - h;
            m_p[index] = m_job.freePositive(j) ? std::exp(xj) : xj;
            if (slot >= 0)
                model.slotImpedances(slot, m_p, m_job.omega(), m_job.lnOmega(), m_points, m_replacement.data());
            composeModel(m_p, slot, m_replacement.data());
            residualsFromModel(side == 0 ? m_plus.data() : m_minus.data());
        }
        m_p[index] = base[index];
        differenceColumn(K, m_plus.data(), m_minus.data(), r0, h, J + static_cast<std::size_t>(j) * ld);
    }
}

void JobProblem::modelAt(const double* p, double* model0, double* model1)
{
    computeSlots(p);
    composeModel(p, -1, nullptr);
    std::copy(m_model[0].begin(), m_model[0].end(), model0);
    std::copy(m_model[1].begin(), m_model[1].end(), model1);
}

} // namespace nosk::engine
