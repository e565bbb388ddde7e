#pragma once

#include <functional>
#include <string>
#include <vector>

namespace nosk::engine {

// A weighted least-squares problem in the fitter's variables x: K residuals
// of F variables. Residuals that cannot be computed (overflow, a pole) must
// be reported as non-finite; the fitter then rejects the step.
class LeastSquaresProblem {
public:
    virtual ~LeastSquaresProblem() = default;
    virtual int valueCount() const = 0;
    virtual int variableCount() const = 0;
    virtual void residuals(const double* x, double* r) = 0;
    // Non-empty after residuals() when the point x cannot be evaluated at
    // all (a DE left its valid range): the fit then ends at the last
    // accepted point with this reason.
    virtual std::string stopReason() const { return {}; }

    // The K x F Jacobian (column-major, leading dimension ld) at x, where the
    // residuals are r0. The default takes central differences of residuals();
    // a problem may override it with a cheaper way to the same numbers.
    virtual void jacobian(const double* x, const double* r0, double* J, int ld);

    // The difference step of variable j at the value x.
    virtual double step(int j, double x) const;

protected:
    // The column from r(x + h) and r(x - h); where one side is not finite the
    // one-sided difference against r0 is taken, and 0 where neither is.
    static void differenceColumn(int K, const double* rPlus, const double* rMinus, const double* r0, double h,
        double* column);

private:
    std::vector<double> m_plus, m_minus, m_x;
};

// No variable's automatic scale is below this fraction of the largest.
inline constexpr double kScaleFloor = 1e-3;

struct FitSettings {
    int maxFunctionEvaluations = 100;
    bool unitScaling = false;   // MODE 2; otherwise automatic scaling with a floor (kScaleFloor)
    int printEvery = 0;         // progress every n iterations when > 0
    double ftol = 1e-12;
    double xtol = 1e-12;
    double gtol = 0.0;
    // The floor of the automatic scaling as a fraction of the largest scale
    // (0: lmder's own mode 1).
    double scaleFloor = kScaleFloor;
    // Called every printEvery iterations: iteration, function evaluations, S.
    std::function<void(int, int, double)> progress;
};

struct FitOutcome {
    int info = 0;           // MINPACK's exit code 1-8 (0: bad input)
    int functionEvaluations = 0;
    int jacobianEvaluations = 0;
    std::vector<double> x;  // the best point found
    std::string stopReason; // why the problem ended the fit (info < 0)
};

// Levenberg-Marquardt by MINPACK's lmder (cminpack) with the problem's
// Jacobian. F must be at least 1 and K at least F.
FitOutcome fitLevenbergMarquardt(LeastSquaresProblem& problem, const std::vector<double>& x0,
    const FitSettings& settings);

// What an exit code means, in the report's words.
const char* exitReason(int info);
// The same for an outcome, with the problem's own reason where it ended the fit.
std::string exitReason(const FitOutcome& outcome);

} // namespace nosk::engine
