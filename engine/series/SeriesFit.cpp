#include "SeriesFit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace nosk::series {

namespace {

// The damped diagonal: Marquardt's diag(H), floored so that a variable the
// residuals do not move still gets a finite step.
double damped(double h, double floor, double lambda)
{
    return h + lambda * std::max(h, floor);
}

double diagonalFloor(const NormalEquations& eq)
{
    double largest = 0;
    for (const Eigen::MatrixXd& U : eq.U)
        if (U.size())
            largest = std::max(largest, U.diagonal().maxCoeff());
    if (eq.V.size())
        largest = std::max(largest, eq.V.diagonal().maxCoeff());
    return std::max(largest * 1e-12, std::numeric_limits<double>::min());
}

} // namespace

bool assembleNormalEquations(SeriesProblem& problem, const std::vector<double>& x, NormalEquations& eq)
{
    const int N = problem.spectrumCount(), L = problem.localCount(), G = problem.globalCount();
    eq.U.resize(N);
    eq.W.resize(N);
    eq.gL.resize(N);
    eq.V = Eigen::MatrixXd::Zero(G, G);
    eq.gG = Eigen::VectorXd::Zero(G);
    eq.S = 0;
    bool finite = true;
    Eigen::MatrixXd A, B;
    Eigen::VectorXd r;
    for (int i = 0; i < N; ++i) {
        const int K = problem.valueCount(i);
        A.resize(K, L);
        B.resize(K, G);
        r.resize(K);
        finite = problem.residuals(x.data(), i, r.data()) && finite;
        problem.jacobian(x.data(), i, A.data(), B.data());
        // A derivative that overflowed (a parameter run far off) carries no
        // direction: it moves nothing rather than poisoning every block.
        A = A.unaryExpr([](double v) { return std::isfinite(v) ? v : 0.0; });
        B = B.unaryExpr([](double v) { return std::isfinite(v) ? v : 0.0; });
        eq.U[i].noalias() = A.transpose() * A;
        eq.W[i].noalias() = A.transpose() * B;
        eq.gL[i].noalias() = A.transpose() * r;
        eq.V.noalias() += B.transpose() * B;
        eq.gG.noalias() += B.transpose() * r;
        eq.S += r.squaredNorm();
    }
    return finite && std::isfinite(eq.S);
}

std::vector<double> schurStep(const NormalEquations& eq, double lambda)
{
    const int N = static_cast<int>(eq.U.size());
    const int L = N ? static_cast<int>(eq.U[0].rows()) : 0;
    const int G = static_cast<int>(eq.V.rows());
    const double floor = diagonalFloor(eq);
    Eigen::MatrixXd S = eq.V;
    for (int g = 0; g < G; ++g)
        S(g, g) = damped(eq.V(g, g), floor, lambda);
    Eigen::VectorXd rhs = -eq.gG;
    // Per spectrum: Ui^-1 Wi and Ui^-1 gLi, and what they take from the
    // global block.
    std::vector<Eigen::MatrixXd> UW(N);
    std::vector<Eigen::VectorXd> Ug(N);
    Eigen::MatrixXd Ud;
    for (int i = 0; i < N; ++i) {
        // Empty blocks (no local or no global parameters) take no solve:
        // Eigen's triangular solves must not see a matrix without storage.
        UW[i] = Eigen::MatrixXd::Zero(L, G);
        Ug[i] = Eigen::VectorXd::Zero(L);
        if (L == 0)
            continue;
        Ud = eq.U[i];
        for (int a = 0; a < L; ++a)
            Ud(a, a) = damped(eq.U[i](a, a), floor, lambda);
        const Eigen::LLT<Eigen::MatrixXd> llt(Ud);
        if (llt.info() != Eigen::Success)
            return {};
        if (G > 0)
            UW[i] = llt.solve(eq.W[i]);
        Ug[i] = llt.solve(eq.gL[i]);
        S.noalias() -= eq.W[i].transpose() * UW[i];
        rhs.noalias() += eq.W[i].transpose() * Ug[i];
    }
    Eigen::VectorXd dG = Eigen::VectorXd::Zero(G);
    if (G > 0) {
        const Eigen::LDLT<Eigen::MatrixXd> ldlt(S);
        if (ldlt.info() != Eigen::Success)
            return {};
        dG = ldlt.solve(rhs);
    }
    std::vector<double> d(static_cast<std::size_t>(N * L + G));
    for (int i = 0; i < N; ++i) {
        // dL = Ui^-1 (-gLi - Wi dG)
        const Eigen::VectorXd dL = -Ug[i] - UW[i] * dG;
        for (int a = 0; a < L; ++a)
            d[static_cast<std::size_t>(i * L + a)] = dL(a);
    }
    for (int g = 0; g < G; ++g)
        d[static_cast<std::size_t>(N * L + g)] = dG(g);
    for (double v : d)
        if (!std::isfinite(v))
            return {};
    return d;
}

std::vector<double> denseStep(const NormalEquations& eq, double lambda)
{
    const int N = static_cast<int>(eq.U.size());
    const int L = N ? static_cast<int>(eq.U[0].rows()) : 0;
    const int G = static_cast<int>(eq.V.rows());
    const int n = N * L + G;
    const double floor = diagonalFloor(eq);
    Eigen::MatrixXd H = Eigen::MatrixXd::Zero(n, n);
    Eigen::VectorXd g(n);
    for (int i = 0; i < N; ++i) {
        H.block(i * L, i * L, L, L) = eq.U[i];
        H.block(i * L, N * L, L, G) = eq.W[i];
        H.block(N * L, i * L, G, L) = eq.W[i].transpose();
        g.segment(i * L, L) = eq.gL[i];
    }
    H.block(N * L, N * L, G, G) = eq.V;
    g.segment(N * L, G) = eq.gG;
    for (int a = 0; a < n; ++a)
        H(a, a) = damped(H(a, a), floor, lambda);
    const Eigen::VectorXd d = H.ldlt().solve(-g);
    return std::vector<double>(d.data(), d.data() + n);
}

JointFitOutcome fitJoint(SeriesProblem& problem, std::vector<double> x, const JointFitSettings& settings)
{
    JointFitOutcome out;
    NormalEquations eq;
    if (!assembleNormalEquations(problem, x, eq)) {
        out.x = std::move(x);
        out.S = std::numeric_limits<double>::infinity();
        out.end = "the start of the joint fit cannot be evaluated";
        return out;
    }
    out.evaluations = 1;
    double lambda = 1e-3, nu = 2;
    const std::size_t n = x.size();
    std::vector<double> trial(n);
    std::vector<double> r;
    out.end = "stopped after " + std::to_string(settings.maxIterations) + " iterations";
    for (out.iterations = 0; out.iterations < settings.maxIterations; ++out.iterations) {
        const std::vector<double> d = schurStep(eq, lambda);
        if (d.empty()) {
            lambda *= nu;
            nu *= 2;
            if (lambda > 1e16) {
                out.end = "no progress (singular system)";
                break;
            }
            continue;
        }
        // The decrease of S the linear model predicts: -2 d.g - d.H d.
        double dg = 0, dHd = 0;
        const int N = problem.spectrumCount(), L = problem.localCount(), G = problem.globalCount();
        Eigen::Map<const Eigen::VectorXd> dv(d.data(), static_cast<Eigen::Index>(n));
        const Eigen::VectorXd dG = dv.segment(N * L, G);
        for (int i = 0; i < N; ++i) {
            const Eigen::VectorXd dL = dv.segment(i * L, L);
            dg += dL.dot(eq.gL[i]);
            dHd += dL.dot(eq.U[i] * dL) + 2.0 * dL.dot(eq.W[i] * dG);
        }
        dg += dG.dot(eq.gG);
        dHd += dG.dot(eq.V * dG);
        const double predicted = -2.0 * dg - dHd;
        for (std::size_t k = 0; k < n; ++k)
            trial[k] = x[k] + d[k];
        NormalEquations next;
        const bool ok = assembleNormalEquations(problem, trial, next);
        ++out.evaluations;
        const double actual = eq.S - next.S;
        const double rho = ok && predicted > 0 ? actual / predicted : -1.0;
        if (ok && rho > 0) {
            double stepSize = 0, size = 0;
            for (std::size_t k = 0; k < n; ++k) {
                stepSize = std::max(stepSize, std::abs(d[k]));
                size = std::max(size, std::abs(x[k]));
            }
            x.swap(trial);
            const double before = eq.S;
            eq = std::move(next);
            lambda *= std::max(1.0 / 3.0, 1.0 - std::pow(2.0 * rho - 1.0, 3));
            nu = 2;
            if (actual <= settings.ftol * before) {
                out.converged = true;
                out.end = "converged (FTOL)";
                ++out.iterations;
                break;
            }
            // S changes by a negligible part of one unit of chi-square (S
            // over the degrees of freedom): the parameters move by a
            // thousandth of their std devs or less.
            const double unit = before / std::max(problem.valueCount() - problem.variableCount(), 1);
            if (actual <= settings.chiSquareTol * unit && predicted <= settings.chiSquareTol * unit) {
                out.converged = true;
                out.end = "converged (S steady within 1e-5 S/nu)";
                ++out.iterations;
                break;
            }
            if (stepSize <= settings.xtol * std::max(size, 1.0)) {
                out.converged = true;
                out.end = "converged (XTOL)";
                ++out.iterations;
                break;
            }
        } else {
            lambda *= nu;
            nu *= 2;
            if (lambda > 1e16) {
                // No step along the gradient lowers S any more: a minimum
                // to the precision of the residuals.
                out.converged = true;
                out.end = "converged (no further decrease)";
                break;
            }
        }
    }
    out.x = std::move(x);
    out.S = eq.S;
    return out;
}

} // namespace nosk::series
