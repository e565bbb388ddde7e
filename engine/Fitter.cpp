#include "Fitter.h"

#include <cminpack.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace nosk::engine {

namespace {

// A residual that cannot be computed counts as this large value, so that
// MINPACK sees a huge sum of squares and refuses the step instead of
// carrying NaN into its QR factorisation.
constexpr double kBadResidual = 1e100;

const double kCubeRootEps = std::cbrt(std::numeric_limits<double>::epsilon());


struct Context {
    LeastSquaresProblem* problem;
    const FitSettings* settings;
    int iterations = 0;
    int evaluations = 0;
    std::string stopReason;
    // Automatic scaling, kept here instead of inside lmder (which then runs
    // with its fixed-scale mode and reads these values every iteration).
    double* diag = nullptr;
    bool scaled = false;   // automatic scaling with the floor
    bool firstJacobian = true;
};

// The automatic scaling of lmder's mode 1: each variable's scale is the
// largest norm its Jacobian column has had (1 for a zero first column). A
// column that is tiny but not zero would get a scale so small that the
// trust region lets that variable run off by hundreds of units at once:
// every trial step is then refused until the region has shrunk below XTOL,
// and the fit stops after one Jacobian far from the minimum. So no scale is
// smaller than FitSettings::scaleFloor times the largest; where the floor is not reached
// the numbers are those of lmder's own mode 1 to the bit.
void updateScaling(Context& c, int m, int n, const double* fjac, int ldfjac)
{
    double largest = 0;
    for (int j = 0; j < n; ++j) {
        const double norm = enorm(m, fjac + static_cast<std::ptrdiff_t>(j) * ldfjac);
        if (c.firstJacobian)
            c.diag[j] = norm == 0.0 ? 1.0 : norm;
        else
            c.diag[j] = std::max(c.diag[j], norm);
        largest = std::max(largest, c.diag[j]);
    }
    c.firstJacobian = false;
    const double floor = c.settings->scaleFloor * largest;
    for (int j = 0; j < n; ++j)
        c.diag[j] = std::max(c.diag[j], floor);
}

void sanitise(int K, double* r)
{
    for (int i = 0; i < K; ++i)
        if (!std::isfinite(r[i]))
            r[i] = kBadResidual;
}

int callback(void* p, int m, int n, const double* x, double* fvec, double* fjac, int ldfjac, int iflag)
{
    auto* c = static_cast<Context*>(p);
    if (iflag == 0) {
        if (c->settings->progress) {
            double s = 0;
            for (int i = 0; i < m; ++i)
                s += fvec[i] * fvec[i];
            c->settings->progress(c->iterations, c->evaluations, s);
        }
        return 0;
    }
    if (iflag == 1) {
        ++c->evaluations;
        c->problem->residuals(x, fvec);
        sanitise(m, fvec);
        if (c->stopReason.empty())
            c->stopReason = c->problem->stopReason();
        return c->stopReason.empty() ? 0 : -1;
    }
    ++c->iterations;
    c->problem->jacobian(x, fvec, fjac, ldfjac);
    // A subnormal entry counts as 0, like a non-finite one. A column of
    // subnormal size (the column of ln p of a resistance near the bottom of
    // the doubles: dr/d ln p = p dr/dp) makes every trial step of lmder NaN:
    // each is refused and the fit spends all of MAXFEV where it started.
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            double& v = fjac[i + j * ldfjac];
            if (!std::isfinite(v) || std::abs(v) < std::numeric_limits<double>::min())
                v = 0.0;
        }
    if (c->scaled)
        updateScaling(*c, m, n, fjac, ldfjac);
    return 0;
}

} // namespace

double LeastSquaresProblem::step(int, double x) const
{
    return kCubeRootEps * std::max(std::abs(x), 1.0);
}

void LeastSquaresProblem::differenceColumn(int K, const double* rPlus, const double* rMinus, const double* r0,
    double h, double* column)
{
    for (int i = 0; i < K; ++i) {
        const bool plus = std::isfinite(rPlus[i]), minus = std::isfinite(rMinus[i]);
        if (plus && minus)
            column[i] = (rPlus[i] - rMinus[i]) / (2 * h);
        else if (plus)
            column[i] = (rPlus[i] - r0[i]) / h;
        else if (minus)
            column[i] = (r0[i] - rMinus[i]) / h;
        else
            column[i] = 0.0;
    }
}

void LeastSquaresProblem::jacobian(const double* x, const double* r0, double* J, int ld)
{
    const int K = valueCount(), F = variableCount();
    m_plus.resize(K);
    m_minus.resize(K);
    m_x.assign(x, x + F);
    for (int j = 0; j < F; ++j) {
        const double h = step(j, x[j]);
        m_x[j] = x[j] + h;
        residuals(m_x.data(), m_plus.data());
        m_x[j] = x[j] - h;
        residuals(m_x.data(), m_minus.data());
        m_x[j] = x[j];
        differenceColumn(K, m_plus.data(), m_minus.data(), r0, h, J + j * ld);
    }
}

FitOutcome fitLevenbergMarquardt(LeastSquaresProblem& problem, const std::vector<double>& x0,
    const FitSettings& settings)
{
    const int K = problem.valueCount(), F = problem.variableCount();
    FitOutcome out;
    out.x = x0;
    if (F < 1 || K < F)
        return out;

    std::vector<double> fvec(K), fjac(static_cast<std::size_t>(K) * F), diag(F, 1.0), qtf(F);
    std::vector<double> wa1(F), wa2(F), wa3(F), wa4(K);
    std::vector<int> ipvt(F);
    Context context{&problem, &settings, 0, 0, {}, diag.data(), !settings.unitScaling, true};
    // Mode 2 always: with automatic scaling the callback sets diag.
    const int mode = 2;
    const int nprint = settings.printEvery > 0 ? settings.printEvery : 0;
    int nfev = 0, njev = 0;
    out.info = lmder(callback, &context, K, F, out.x.data(), fvec.data(), fjac.data(), K, settings.ftol,
        settings.xtol, settings.gtol, settings.maxFunctionEvaluations, diag.data(), mode, 100.0, nprint, &nfev,
        &njev, ipvt.data(), qtf.data(), wa1.data(), wa2.data(), wa3.data(), wa4.data());
    if (out.info < 0)
        out.stopReason = context.stopReason;
    out.functionEvaluations = nfev;
    out.jacobianEvaluations = njev;
    return out;
}

std::string exitReason(const FitOutcome& outcome)
{
    if (outcome.info < 0 && !outcome.stopReason.empty())
        return outcome.stopReason;
    return exitReason(outcome.info);
}

const char* exitReason(int info)
{
    switch (info) {
    case 1: return "RELATIVE REDUCTION OF THE SUM OF SQUARES AT MOST FTOL";
    case 2: return "RELATIVE CHANGE OF THE PARAMETERS AT MOST XTOL";
    case 3: return "RELATIVE REDUCTION OF S AT MOST FTOL AND CHANGE OF PARAMETERS AT MOST XTOL";
    case 4: return "RESIDUALS ORTHOGONAL TO THE JACOBIAN COLUMNS WITHIN GTOL";
    case 5: return "MAXIMUM NUMBER OF FUNCTION EVALUATIONS (MAXFEV) REACHED";
    case 6: return "NO FURTHER REDUCTION OF THE SUM OF SQUARES IS POSSIBLE";
    case 7: return "NO FURTHER IMPROVEMENT OF THE PARAMETERS IS POSSIBLE";
    case 8: return "RESIDUALS ORTHOGONAL TO THE JACOBIAN COLUMNS TO MACHINE PRECISION";
    default: return "IMPROPER INPUT TO THE FITTER";
    }
}

} // namespace nosk::engine
