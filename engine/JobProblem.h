#pragma once

#include "core/Reason.h"

#include "model/CircuitEvaluator.h"
#include "Fitter.h"
#include "PreparedJob.h"

#include <string>
#include <vector>

namespace nosk::engine {

// The weighted residuals of a prepared job as a function of the fitter's
// variables, and their exact Jacobian: the circuit carries dZ/dp forward
// node by node, and the chain rule takes it through the level and format of
// the fit representation, the weighting and ln p. It owns every buffer it
// needs, so an evaluation allocates nothing.
class JobProblem : public LeastSquaresProblem {
public:
    explicit JobProblem(const PreparedJob& job);

    int valueCount() const override { return m_job.valueCount(); }
    int variableCount() const override { return m_job.freeCount(); }
    void residuals(const double* x, double* r) override;
    void jacobian(const double* x, const double* r0, double* J, int ld) override;
    double step(int j, double x) const override;
    std::string stopReason() const override { return m_stop.text; }
    // The last stop with its kind and place (kind None while none): the DE
    // and the parameter that left its valid range.
    const Reason& stop() const { return m_stop; }

    // The model at every point in the fit representation, for the
    // parameters p (p1 ... p50); model[c] holds M values.
    void modelAt(const double* p, double* model0, double* model1);
    // The Jacobian of the weighted residuals with respect to the free
    // parameters themselves (not ln p) at the parameters p, K x F column-major.
    void parameterJacobian(const double* p, double* J, int ld);
    // Residual, sigma, observed and model value of fitted value k, from the
    // model arrays of modelAt.
    struct Value {
        double observed, model, sigma, residual;
    };
    Value value(int k, const double* model0, const double* model1) const;
    // The same for any point and component (left-out values give sigma 0).
    Value valueAt(int point, int component, const double* model0, const double* model1) const;

private:
    // Evaluates the circuit at p; false (with the stop reason set) when a DE
    // left its valid range.
    bool evaluate(const double* p, bool derivatives);
    void residualsFromModel(double* r) const;
    // Columns d r / d p (times `chain[j]`) from the evaluated derivatives.
    void fillJacobian(const double* chain, double* J, int ld);
    Reason rangeStop(int slot, const double* p) const;

    const PreparedJob& m_job;
    int m_points;
    CircuitEvaluator m_evaluator;
    std::vector<double> m_model[2];
    std::vector<Complex> m_coef[2];  // per point: d component = Re(coef dZ)
    std::vector<double> m_chain;
    std::vector<double> m_drdm;      // per fitted value: d r / d model
    Reason m_stop;
    double m_p[PreparedJob::kMaxParams];
    // The fitter asks for the Jacobian at the point of its last accepted
    // residuals. While its steps are being accepted, a residual evaluation
    // carries the derivatives along (the values are the same to the bit) and
    // the Jacobian at that point reuses them instead of evaluating again.
    // Only where every derivative is analytic: a DE by differences costs
    // several evaluations per derivative.
    bool m_eagerDerivatives = false;
    bool m_lastWasUsed = true;    // the last residual point was asked for its Jacobian
    bool m_haveDerivatives = false;  // the evaluator holds derivatives at m_lastX
    std::vector<double> m_lastX;
    bool m_plainImpedance = false;  // fitted as Z, rectangular: no conversion
};

} // namespace nosk::engine
