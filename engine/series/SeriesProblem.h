#pragma once

#include "ParameterRoles.h"

#include "engine/JobProblem.h"
#include "engine/ParameterMap.h"
#include "engine/PreparedJob.h"
#include "job/FitJob.h"

#include <memory>
#include <string>
#include <vector>

namespace nosk::model {
class CircuitLibrary;
}

namespace nosk::series {

// The joint least-squares problem of a series: every spectrum's weighted
// residuals (each with its own weighting, as its single fit has them),
// stacked, as a function of one vector of variables laid out as
//   [local variables of spectrum 0] ... [of spectrum N-1] [global variables]
// where the global ones are the shared parameters and the functions'
// coefficients. A local or shared parameter is carried as its single fit
// carries it (ln p or p through the limit map of ParameterMap), so limits
// hold for every spectrum; a function's coefficients are free variables
// (RoleFunction). The Jacobian comes in blocks: per spectrum the columns of
// its local variables and those of the global ones; the columns of another
// spectrum's locals are zero and never formed.
class SeriesProblem {
public:
    // `jobs`: one per spectrum, all with the same model, codes and limits;
    // their parameters are the start values of their locals. `roles`: one
    // per free parameter of the jobs (PreparedJob::freeParam order).
    // `sharedStart`: per free parameter, the start value of a shared one
    // (ignored for the others). Throws nosk::exception naming the spectrum
    // (`labels`) whose job the engine cannot run or whose free parameters
    // differ from the first's.
    SeriesProblem(std::vector<FitJob> jobs, std::vector<double> covariate, std::vector<std::string> labels,
        std::vector<Role> roles, const std::vector<double>& sharedStart,
        const model::CircuitLibrary* circuits = nullptr);

    int spectrumCount() const { return static_cast<int>(m_jobs.size()); }
    int freeCount() const { return static_cast<int>(m_roles.size()); }
    int localCount() const { return static_cast<int>(m_local.size()); }
    int globalCount() const { return m_globalCount; }
    int variableCount() const { return spectrumCount() * localCount() + m_globalCount; }
    int valueCount() const { return m_valueCount; }
    int valueCount(int spectrum) const { return m_prepared[spectrum]->valueCount(); }

    const engine::PreparedJob& prepared(int spectrum) const { return *m_prepared[spectrum]; }
    engine::JobProblem& problem(int spectrum) { return *m_problems[spectrum]; }
    double covariate(int spectrum) const { return m_covariate[spectrum]; }
    const std::string& label(int spectrum) const { return m_labels[spectrum]; }
    Role role(int j) const { return m_roles[j]; }
    const std::vector<Role>& roles() const { return m_roles; }
    // Free parameters that are local, in their order in a spectrum's block.
    const std::vector<int>& localParams() const { return m_local; }
    // Position of free parameter j in the local block (-1: not local) or
    // of its first coefficient among the global variables (-1: local).
    int localSlot(int j) const { return m_localSlot[j]; }
    int globalSlot(int j) const { return m_globalSlot[j]; }
    const RoleFunction& function(int j) const { return m_functions[j]; }
    const engine::ParameterMap& sharedMap(int j) const { return m_sharedMaps[j]; }
    const engine::ParameterMap& localMap(int spectrum, int j) const
    {
        return m_prepared[spectrum]->parameterMap(j);
    }
    int localOffset(int spectrum) const { return spectrum * localCount(); }
    int globalOffset() const { return spectrumCount() * localCount(); }

    const FitJob& job(int spectrum) const { return m_jobs[static_cast<std::size_t>(spectrum)]; }

    // The same series with other roles, its jobs starting at the
    // parameters of x (within their limits) and the shared and function
    // parameters that stay so at their values in x; `start` receives the
    // variables of that point.
    std::unique_ptr<SeriesProblem> withRoles(const std::vector<double>& x, std::vector<Role> roles,
        std::vector<double>& start) const;

    // The variables of the jobs' own start values for the locals,
    // `sharedStart` for the shared and `coefficients` (per free parameter,
    // a function's own coefficients; empty for the others) for functions.
    std::vector<double> startVariables(const std::vector<std::vector<double>>& coefficients) const;

    // p1 ... p50 of spectrum `spectrum` at the variables x.
    void params(const double* x, int spectrum, double* p) const;
    // dp/d(variable) of free parameter j in spectrum `spectrum`: one entry
    // for a local or shared parameter, the function's gradient otherwise.
    void paramDerivative(const double* x, int spectrum, int j, double* d) const;
    // The weighted residuals of one spectrum (valueCount(spectrum) values);
    // false when any is not finite (a DE left its range, a pole).
    bool residuals(const double* x, int spectrum, double* r);
    // The Jacobian blocks of one spectrum at x, column-major with leading
    // dimension valueCount(spectrum): `local` (localCount() columns) and
    // `global` (globalCount() columns).
    void jacobian(const double* x, int spectrum, double* local, double* global);
    // The Jacobian of one spectrum's residuals with respect to its free
    // parameters themselves (freeCount() columns), and its residuals.
    void parameterJacobian(const double* x, int spectrum, double* J, double* r);

private:
    std::vector<FitJob> m_jobs;
    std::vector<double> m_covariate;
    std::vector<std::string> m_labels;
    std::vector<Role> m_roles;
    std::vector<std::unique_ptr<engine::PreparedJob>> m_prepared;
    std::vector<std::unique_ptr<engine::JobProblem>> m_problems;
    std::vector<int> m_local, m_localSlot, m_globalSlot;
    std::vector<RoleFunction> m_functions;
    std::vector<engine::ParameterMap> m_sharedMaps;
    std::vector<double> m_sharedStart;
    const model::CircuitLibrary* m_circuits = nullptr;
    int m_globalCount = 0;
    int m_valueCount = 0;
    std::vector<double> m_model0, m_model1, m_J;
};

} // namespace nosk::series
