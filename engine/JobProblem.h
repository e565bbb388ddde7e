#pragma once

#include "Fitter.h"
#include "PreparedJob.h"

#include <vector>

namespace nosk::engine {

// The weighted residuals of a prepared job as a function of the fitter's
// variables. It owns every buffer it needs, so an evaluation allocates
// nothing. The Jacobian keeps the DE values of the slots at the base point
// and recomputes, per column, only the slot that the parameter belongs to.
class JobProblem : public LeastSquaresProblem {
public:
    explicit JobProblem(const PreparedJob& job);

    int valueCount() const override { return m_job.valueCount(); }
    int variableCount() const override { return m_job.freeCount(); }
    void residuals(const double* x, double* r) override;
    void jacobian(const double* x, const double* r0, double* J, int ld) override;
    double step(int j, double x) const override;

    // The model at every point in the fit representation, for the
    // parameters p (p1 ... p50); model[c] holds M values.
    void modelAt(const double* p, double* model0, double* model1);
    // Residual, sigma, observed and model value of fitted value k, from the
    // model arrays of modelAt.
    struct Value {
        double observed, model, sigma, residual;
    };
    Value value(int k, const double* model0, const double* model1) const;
    // The same for any point and component (left-out values give sigma 0).
    Value valueAt(int point, int component, const double* model0, const double* model1) const;

private:
    void computeSlots(const double* p);
    // The model from the cached slots, with slot `replaced` (or none, -1)
    // taken from `replacement`.
    void composeModel(const double* p, int replaced, const Complex* replacement);
    void residualsFromModel(double* r) const;

    const PreparedJob& m_job;
    int m_points;
    int m_slots;
    std::vector<Complex> m_slotZ;        // slot s at point i: [s * M + i]
    std::vector<Complex> m_replacement;  // one slot, M values
    std::vector<double> m_model[2];
    std::vector<double> m_plus, m_minus;
    double m_p[PreparedJob::kMaxParams];
};

} // namespace nosk::engine
