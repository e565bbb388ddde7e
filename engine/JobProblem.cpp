#include "JobProblem.h"

#include "core/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace nosk::engine {

using model::Complex;
using model::DeParams;
using model::ModelFunction;
using model::deHasAnalyticDerivatives;
using model::deValidate;

namespace {

const double kCubeRootEps = std::cbrt(std::numeric_limits<double>::epsilon());

std::vector<int> freeParameters(const PreparedJob& job)
{
    std::vector<int> active(job.freeCount());
    for (int j = 0; j < job.freeCount(); ++j)
        active[j] = job.freeParam(j);
    return active;
}

Reason rangeReason(int de, int index, double value)
{
    char text[160];
    std::snprintf(text, sizeof text, "parameter P[%i] of DE %i left its valid range (%g)", index + 1, de, value);
    Reason r;
    r.kind = Reason::Kind::DeRange;
    r.de = de;
    r.param = index + 1;
    r.text = text;
    return r;
}

} // namespace

JobProblem::JobProblem(const PreparedJob& job)
    : m_job(job), m_points(job.pointCount()), m_evaluator(job.model(), job.pointCount(), freeParameters(job)),
      m_chain(job.freeCount()), m_drdm(job.valueCount())
{
    for (int c = 0; c < 2; ++c) {
        m_model[c].resize(m_points);
        m_coef[c].resize(m_points);
    }
    m_eagerDerivatives = true;
    const ModelFunction& model = job.model();
    for (int slot = 0; slot < model.slotCount(); ++slot)
        if (!deHasAnalyticDerivatives(model.slotDe(slot)))
            m_eagerDerivatives = false;
    m_lastX.resize(job.freeCount());
    m_plainImpedance = job.job().DFIT == 'Z' && job.job().PFIT == 'R';
    if (m_plainImpedance) {
        // The coefficients of the rectangular Z representation never change.
        std::fill(m_coef[0].begin(), m_coef[0].end(), Complex(1.0, 0.0));
        std::fill(m_coef[1].begin(), m_coef[1].end(), Complex(0.0, -1.0));
    }
}

Reason JobProblem::rangeStop(int slot, const double* p) const
{
    // Find the parameter that left the range: the first one that, moved
    // alone from its (valid) start value, makes the DE refuse.
    const ModelFunction& model = m_job.model();
    const int de = model.slotDe(slot);
    int codes[4];
    double start[4];
    for (int k = 0; k < 4; ++k) {
        codes[k] = 0;
        start[k] = m_job.startParams()[model.slotParam(slot, k)];
    }
    for (int k = 0; k < 4; ++k) {
        const int index = model.slotParam(slot, k);
        double v[4] = {start[0], start[1], start[2], start[3]};
        v[k] = p[index];
        try {
            deValidate(de, DeParams{v[0], v[1], v[2], v[3]}, codes, model.slotSelector(slot), model.deContext());
        } catch (const exception&) {
            return rangeReason(de, index, p[index]);
        }
    }
    return rangeReason(de, model.slotParam(slot, 0), p[model.slotParam(slot, 0)]);
}

bool JobProblem::evaluate(const double* p, bool derivatives)
{
    m_stop = Reason{};
    if (!m_evaluator.evaluate(p, m_job.omega(), m_job.lnOmega(), derivatives)) {
        m_stop = rangeStop(m_evaluator.failedSlot(), p);
        return false;
    }
    const double* omega = m_job.omega();
    const Complex* z = m_evaluator.impedance();
    if (m_plainImpedance) {
        // Z in rectangular form: the model is Z itself, d(Re, Im) = (Re, Im) of (1, -i) dZ.
        for (int i = 0; i < m_points; ++i) {
            m_model[0][i] = z[i].real();
            m_model[1][i] = z[i].imag();
        }
        return true;
    }
    for (int i = 0; i < m_points; ++i)
        m_job.toFitRepresentation(z[i], omega[i], m_model[0][i], m_model[1][i],
            derivatives ? &m_coef[0][i] : nullptr, derivatives ? &m_coef[1][i] : nullptr);
    return true;
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
    const bool derivatives = m_eagerDerivatives && m_lastWasUsed;
    std::copy(x, x + m_job.freeCount(), m_lastX.begin());
    m_lastWasUsed = false;
    m_haveDerivatives = false;
    if (!evaluate(m_p, derivatives)) {
        for (int k = 0; k < m_job.valueCount(); ++k)
            r[k] = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    m_haveDerivatives = derivatives;
    residualsFromModel(r);
}

double JobProblem::step(int j, double x) const
{
    // ln p moves on its natural scale of 1; a parameter of any sign (whose
    // variable is p itself near its start, limits or not) moves relative to
    // its own size (capacitances of 1e-9 F are common).
    if (m_job.freePositive(j))
        return kCubeRootEps * std::max(std::abs(x), 1.0);
    return x != 0 ? kCubeRootEps * std::abs(x) : kCubeRootEps;
}

void JobProblem::fillJacobian(const double* chain, double* J, int ld)
{
    const int K = m_job.valueCount(), F = m_job.freeCount();
    for (int k = 0; k < K; ++k) {
        const Value v = value(k, m_model[0].data(), m_model[1].data());
        // r = (obs - m) / sigma; with sigma = |m| (function weighting)
        // dr/dm = -(1 + r sign(m)) / |m|.
        double drdm = 0.0;
        if (v.sigma != 0) {
            drdm = -1.0 / v.sigma;
            if (m_job.functionWeighting())
                drdm *= 1.0 + (v.residual / v.sigma) * (v.model < 0 ? -1.0 : 1.0);
        }
        m_drdm[k] = drdm;
    }
    for (int j = 0; j < F; ++j) {
        double* column = J + static_cast<std::size_t>(j) * ld;
        const Complex* dz = m_evaluator.derivative(j);
        if (!dz) {
            std::fill(column, column + K, 0.0);
            continue;
        }
        const double cj = chain[j];
        for (int k = 0; k < K; ++k) {
            const int i = m_job.valuePoint(k);
            // Re(a dz), the change of the component
            const Complex a = m_coef[m_job.valueComponent(k)][i];
            column[k] = m_drdm[k] * (a.real() * dz[i].real() - a.imag() * dz[i].imag()) * cj;
        }
    }
}

void JobProblem::jacobian(const double* x, const double* r0, double* J, int ld)
{
    (void)r0;
    const int F = m_job.freeCount();
    const bool atLast = std::equal(x, x + F, m_lastX.begin());
    m_lastWasUsed = m_lastWasUsed || atLast;
    m_job.variablesToParams(x, m_p);
    if (!(atLast && m_haveDerivatives)) {
        const bool ok = evaluate(m_p, true);
        m_haveDerivatives = ok && atLast;
        if (!ok) {
            // The fitter only asks at accepted points; should one fail, the
            // columns are those of central differences.
            LeastSquaresProblem::jacobian(x, r0, J, ld);
            return;
        }
    }
    // d p / d x through the parameter's map (d p / d ln p = p); a clamped
    // ln p no longer moves p.
    for (int j = 0; j < m_job.freeCount(); ++j)
        m_chain[j] = m_job.parameterMap(j).derivative(x[j]);
    fillJacobian(m_chain.data(), J, ld);
}

void JobProblem::parameterJacobian(const double* p, double* J, int ld)
{
    m_haveDerivatives = false;
    std::copy(p, p + PreparedJob::kMaxParams, m_p);
    if (!evaluate(m_p, true)) {
        for (int j = 0; j < m_job.freeCount(); ++j)
            for (int k = 0; k < m_job.valueCount(); ++k)
                J[static_cast<std::size_t>(j) * ld + k] = 0.0;
        return;
    }
    std::fill(m_chain.begin(), m_chain.end(), 1.0);
    fillJacobian(m_chain.data(), J, ld);
}

void JobProblem::modelAt(const double* p, double* model0, double* model1)
{
    m_haveDerivatives = false;
    std::copy(p, p + PreparedJob::kMaxParams, m_p);
    if (!evaluate(m_p, false)) {
        std::fill(m_model[0].begin(), m_model[0].end(), std::numeric_limits<double>::quiet_NaN());
        std::fill(m_model[1].begin(), m_model[1].end(), std::numeric_limits<double>::quiet_NaN());
    }
    std::copy(m_model[0].begin(), m_model[0].end(), model0);
    std::copy(m_model[1].begin(), m_model[1].end(), model1);
}

} // namespace nosk::engine
