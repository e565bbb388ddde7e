#include "SeriesProblem.h"

#include "core/Exception.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace nosk::series {

SeriesProblem::SeriesProblem(std::vector<FitJob> jobs, std::vector<double> covariate, std::vector<std::string> labels,
    std::vector<Role> roles, const std::vector<double>& sharedStart, const model::CircuitLibrary* circuits)
    : m_jobs(std::move(jobs)), m_covariate(std::move(covariate)), m_labels(std::move(labels)),
      m_roles(std::move(roles)), m_circuits(circuits)
{
    if (m_jobs.empty())
        throw exception("The series holds no spectrum");
    m_labels.resize(m_jobs.size());
    // The jobs are held by value, so that the prepared jobs' references
    // stay valid: the vector is never resized after this point.
    for (std::size_t i = 0; i < m_jobs.size(); ++i) {
        try {
            m_prepared.push_back(std::make_unique<engine::PreparedJob>(m_jobs[i], circuits));
        } catch (const std::exception& e) {
            throw exception("%s: %s", m_labels[i].c_str(), e.what());
        }
        const engine::PreparedJob& p = *m_prepared.back();
        const engine::PreparedJob& first = *m_prepared.front();
        bool same = p.freeCount() == first.freeCount();
        for (int j = 0; same && j < p.freeCount(); ++j)
            same = p.freeParam(j) == first.freeParam(j);
        if (!same)
            throw exception("%s: its free parameters differ from those of %s", m_labels[i].c_str(),
                m_labels[0].c_str());
        m_problems.push_back(std::make_unique<engine::JobProblem>(p));
        m_valueCount += p.valueCount();
    }
    const int F = m_prepared.front()->freeCount();
    if (static_cast<int>(m_roles.size()) != F)
        throw exception("The series has %d roles for %d free parameters", static_cast<int>(m_roles.size()), F);
    double centre = 0;
    for (double x : m_covariate)
        centre += x;
    centre = m_covariate.empty() ? 0.0 : centre / static_cast<double>(m_covariate.size());
    m_localSlot.assign(F, -1);
    m_globalSlot.assign(F, -1);
    m_sharedMaps.resize(F);
    m_sharedStart.assign(F, 0.0);
    for (int j = 0; j < F; ++j) {
        m_functions.emplace_back(m_roles[j], centre);
        if (m_roles[j] == Role::Local) {
            m_localSlot[j] = static_cast<int>(m_local.size());
            m_local.push_back(j);
            continue;
        }
        m_globalSlot[j] = m_globalCount;
        m_globalCount += coefficientCount(m_roles[j]);
        if (m_roles[j] == Role::Shared) {
            const engine::ParameterMap& map = m_prepared.front()->parameterMap(j);
            const double start = j < static_cast<int>(sharedStart.size()) && std::isfinite(sharedStart[j])
                                     ? sharedStart[j]
                                     : m_prepared.front()->startParams()[m_prepared.front()->freeParam(j)];
            // The start moved inside a limit it lies on, as the single fit does.
            const double lower = map.lower(), upper = map.upper();
            double s = std::clamp(start, lower, upper);
            if (map.positive() && !(s > 0))
                s = std::max(std::abs(start), 1e-300);
            m_sharedMaps[j] = engine::ParameterMap(map.positive(), lower, upper, s);
            m_sharedStart[j] = s;
        }
    }
    std::size_t largest = 0;
    for (const auto& p : m_prepared)
        largest = std::max<std::size_t>(largest, static_cast<std::size_t>(p->valueCount()));
    std::size_t points = 0;
    for (const auto& p : m_prepared)
        points = std::max<std::size_t>(points, static_cast<std::size_t>(p->pointCount()));
    m_model0.resize(points);
    m_model1.resize(points);
    m_J.resize(largest * static_cast<std::size_t>(F));
}

std::vector<double> SeriesProblem::startVariables(const std::vector<std::vector<double>>& coefficients) const
{
    std::vector<double> x(static_cast<std::size_t>(variableCount()), 0.0);
    for (int i = 0; i < spectrumCount(); ++i) {
        const std::vector<double> own = m_prepared[i]->startVariables();
        for (int a = 0; a < localCount(); ++a)
            x[static_cast<std::size_t>(localOffset(i) + a)] = own[static_cast<std::size_t>(m_local[a])];
    }
    for (int j = 0; j < freeCount(); ++j) {
        if (m_roles[j] == Role::Local)
            continue;
        double* g = x.data() + globalOffset() + m_globalSlot[j];
        if (m_roles[j] == Role::Shared) {
            // The map is centred on the shared start: its variable is the start's.
            g[0] = m_sharedMaps[j].variable(m_sharedStart[j]);
            continue;
        }
        const std::vector<double>& c = coefficients[static_cast<std::size_t>(j)];
        for (int k = 0; k < coefficientCount(m_roles[j]); ++k)
            g[k] = k < static_cast<int>(c.size()) ? c[static_cast<std::size_t>(k)] : 0.0;
    }
    return x;
}

std::unique_ptr<SeriesProblem> SeriesProblem::withRoles(const std::vector<double>& x, std::vector<Role> roles,
    std::vector<double>& start) const
{
    std::vector<FitJob> jobs = m_jobs;
    std::vector<double> sharedStart(static_cast<std::size_t>(freeCount()), 0.0);
    std::vector<std::vector<double>> coefficients(static_cast<std::size_t>(freeCount()));
    double p[engine::PreparedJob::kMaxParams];
    for (int i = 0; i < spectrumCount(); ++i) {
        params(x.data(), i, p);
        for (int j = 0; j < freeCount(); ++j) {
            const engine::ParameterMap& map = m_prepared[i]->parameterMap(j);
            const double v = std::clamp(p[m_prepared[i]->freeParam(j)], map.lower(), map.upper());
            jobs[static_cast<std::size_t>(i)].P[m_prepared[i]->freeParam(j)] = v;
            if (i == 0)
                sharedStart[static_cast<std::size_t>(j)] = v;
        }
    }
    for (int j = 0; j < freeCount(); ++j)
        if (isFunction(m_roles[j]) && roles[j] == m_roles[j])
            coefficients[static_cast<std::size_t>(j)].assign(x.begin() + globalOffset() + m_globalSlot[j],
                x.begin() + globalOffset() + m_globalSlot[j] + coefficientCount(m_roles[j]));
    auto next = std::make_unique<SeriesProblem>(std::move(jobs), m_covariate, m_labels, std::move(roles),
        sharedStart, m_circuits);
    start = next->startVariables(coefficients);
    return next;
}

void SeriesProblem::params(const double* x, int spectrum, double* p) const
{
    const engine::PreparedJob& job = *m_prepared[spectrum];
    std::copy(job.startParams(), job.startParams() + engine::PreparedJob::kMaxParams, p);
    const double* local = x + localOffset(spectrum);
    const double* global = x + globalOffset();
    for (int j = 0; j < freeCount(); ++j) {
        double& v = p[job.freeParam(j)];
        switch (m_roles[j]) {
        case Role::Local:
            v = job.parameterMap(j).param(local[m_localSlot[j]]);
            break;
        case Role::Shared:
            v = m_sharedMaps[j].param(global[m_globalSlot[j]]);
            break;
        default:
            v = m_functions[j].value(global + m_globalSlot[j], m_covariate[spectrum]);
            break;
        }
    }
}

void SeriesProblem::paramDerivative(const double* x, int spectrum, int j, double* d) const
{
    const double* global = x + globalOffset();
    switch (m_roles[j]) {
    case Role::Local:
        d[0] = m_prepared[spectrum]->parameterMap(j).derivative(x[localOffset(spectrum) + m_localSlot[j]]);
        break;
    case Role::Shared:
        d[0] = m_sharedMaps[j].derivative(global[m_globalSlot[j]]);
        break;
    default:
        m_functions[j].value(global + m_globalSlot[j], m_covariate[spectrum], d);
        break;
    }
}

bool SeriesProblem::residuals(const double* x, int spectrum, double* r)
{
    double p[engine::PreparedJob::kMaxParams];
    params(x, spectrum, p);
    engine::JobProblem& problem = *m_problems[spectrum];
    problem.modelAt(p, m_model0.data(), m_model1.data());
    const int K = valueCount(spectrum);
    bool finite = true;
    for (int k = 0; k < K; ++k) {
        const engine::JobProblem::Value v = problem.value(k, m_model0.data(), m_model1.data());
        // As in the single fit: with function weighting a model value of 0
        // has no sigma and adds nothing.
        r[k] = v.sigma != 0 ? v.residual / v.sigma : 0.0;
        finite = finite && std::isfinite(r[k]);
    }
    return finite;
}

void SeriesProblem::parameterJacobian(const double* x, int spectrum, double* J, double* r)
{
    double p[engine::PreparedJob::kMaxParams];
    params(x, spectrum, p);
    residuals(x, spectrum, r);
    m_problems[spectrum]->parameterJacobian(p, J, valueCount(spectrum));
}

void SeriesProblem::jacobian(const double* x, int spectrum, double* local, double* global)
{
    const int K = valueCount(spectrum);
    const std::size_t ld = static_cast<std::size_t>(K);
    double p[engine::PreparedJob::kMaxParams];
    params(x, spectrum, p);
    m_problems[spectrum]->parameterJacobian(p, m_J.data(), K);
    std::fill(global, global + ld * static_cast<std::size_t>(m_globalCount), 0.0);
    double d[8];
    for (int j = 0; j < freeCount(); ++j) {
        const double* column = m_J.data() + ld * static_cast<std::size_t>(j);
        paramDerivative(x, spectrum, j, d);
        if (m_roles[j] == Role::Local) {
            double* out = local + ld * static_cast<std::size_t>(m_localSlot[j]);
            for (int k = 0; k < K; ++k)
                out[k] = column[k] * d[0];
            continue;
        }
        for (int c = 0; c < coefficientCount(m_roles[j]); ++c) {
            double* out = global + ld * static_cast<std::size_t>(m_globalSlot[j] + c);
            for (int k = 0; k < K; ++k)
                out[k] = column[k] * d[c];
        }
    }
}

} // namespace nosk::series
