#pragma once

#include "model/ModelFunction.h"
#include "ParameterMap.h"

#include "job/FitJob.h"

#include <vector>

namespace nosk::engine {

// A job as the engine fits it: checked, with angular frequencies, the data
// in the fit representation (DFIT, PFIT), the sigma of every value, the list
// of the values that take part in the fit and the free parameters. Built
// once; read-only afterwards. The constructor throws nosk::exception with
// the reason when the engine cannot run the job.
class PreparedJob {
public:
    static constexpr int kMaxParams = FitJob::kMaxParams;

    // The circuit of job.FUN comes from `circuits` (the built-in set when null).
    explicit PreparedJob(const FitJob& job, const model::CircuitLibrary* circuits = nullptr);

    const FitJob& job() const { return m_job; }
    const model::ModelFunction& model() const { return m_model; }
    bool isSimulation() const { return m_job.MAXFEV <= 2; }
    bool functionWeighting() const { return m_job.IRCH == -2; }

    // --- the data, point by point (M points) ---
    int pointCount() const { return m_points; }
    const double* omega() const { return m_omega.data(); }
    const double* lnOmega() const { return m_lnOmega.data(); }
    // Observed values in the fit representation; component 0 or 1.
    double observed(int point, int component) const { return m_obs[component][point]; }
    // The fixed sigma of a value (weight lines, unit, proportional); 0 leaves
    // the value out. Function weighting (IRCH -2) has no fixed sigma.
    double fixedSigma(int point, int component) const { return m_sigma[component][point]; }
    // Whether the component takes part in the fit (DATTYP).
    bool componentFitted(int component) const { return m_fitted[component]; }
    // The second component is an angle (polar formats): residuals wrap.
    bool angleComponent() const { return m_angle; }
    double fullTurn() const { return m_fullTurn; }

    // --- the fitted values: value k is (point, component) ---
    int valueCount() const { return static_cast<int>(m_valuePoint.size()); }
    int valuePoint(int k) const { return m_valuePoint[k]; }
    int valueComponent(int k) const { return m_valueComponent[k]; }

    // --- parameters ---
    // p1 ... p50 at the start, 0 at and beyond N.
    const double* startParams() const { return m_start; }
    int freeCount() const { return static_cast<int>(m_free.size()); }
    int freeParam(int j) const { return m_free[j]; }        // 0-based parameter index
    bool freePositive(int j) const { return m_maps[j].positive(); } // fitted as ln p
    // How the fitter's variable j carries free parameter j, with its limits.
    const ParameterMap& parameterMap(int j) const { return m_maps[j]; }
    // Free parameter j is an exponent without limits of the user's: the
    // engine keeps it within (0, 1] (its map's limits are 0 and 1).
    bool exponentRange(int j) const { return m_exponentRange[j]; }
    std::vector<double> startVariables() const;
    // p from the fitter's variables x (the start values elsewhere).
    void variablesToParams(const double* x, double* p) const;
    // The variables of the parameters p (a p on a limit is taken a little
    // inside it, see ParameterMap::variable).
    std::vector<double> paramsToVariables(const double* p) const;

    // The model Z brought to the fit representation at one point. With a0
    // and a1, also the coefficients that turn a change dZ into the changes
    // of the two components: d first = Re(a0 dZ), d second = Re(a1 dZ).
    void toFitRepresentation(model::Complex z, double omega, double& first, double& second, model::Complex* a0 = nullptr,
        model::Complex* a1 = nullptr) const;
    // ln p of a parameter fitted as ln p stays within these bounds, so that
    // exp(ln p) is a normal double: never 0, never infinite.
    static constexpr double kMinLogParam = ParameterMap::kMinLog;
    static constexpr double kMaxLogParam = ParameterMap::kMaxLog;

private:
    void checkCodes() const;
    void prepareParameters();
    ParameterMap mapOf(int i, bool positive, bool exponent) const;
    void prepareData();
    void prepareWeights();
    void checkDes() const;
    void checkRealOutputDes() const;
    void checkStartModel() const;

    const FitJob& m_job;
    double m_start[kMaxParams] = {};
    int m_nfree[kMaxParams] = {};
    model::ModelFunction m_model;
    int m_points = 0;
    std::vector<double> m_omega, m_lnOmega;
    std::vector<double> m_obs[2];
    std::vector<double> m_sigma[2];
    bool m_fitted[2] = {false, false};
    bool m_angle = false;
    double m_fullTurn = 0;
    std::vector<int> m_valuePoint, m_valueComponent;
    std::vector<int> m_free;
    std::vector<ParameterMap> m_maps;
    std::vector<bool> m_exponentRange;
};

} // namespace nosk::engine
