#include "SeriesStatistics.h"

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

namespace nosk::series {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// As in the single fit's statistics: a direction of the unit-scaled
// problem whose singular value lies below this fraction of the largest is
// not determined, and every variable with a share above kNullShare in it
// is left out.
constexpr double kRankTolerance = 1e-9;
constexpr double kNullShare = 0.05;
// A variable whose column is below the rounding of the strongest one's
// does not move the residuals.
constexpr double kSensitivityTolerance = std::numeric_limits<double>::epsilon();
// The significance of the tests of the roles.
constexpr double kLevel = 0.05;

// Marks as not kept the variables of the normal matrix H (among those
// kept) that the data do not determine.
void dropUndetermined(const Eigen::MatrixXd& H, std::vector<bool>& keep, double strongest)
{
    for (;;) {
        std::vector<int> idx;
        for (int k = 0; k < static_cast<int>(keep.size()); ++k) {
            if (!keep[static_cast<std::size_t>(k)])
                continue;
            if (!(H(k, k) > kSensitivityTolerance * kSensitivityTolerance * strongest)) {
                keep[static_cast<std::size_t>(k)] = false;
                continue;
            }
            idx.push_back(k);
        }
        const int n = static_cast<int>(idx.size());
        if (n == 0)
            return;
        Eigen::MatrixXd C(n, n);
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b)
                C(a, b) = H(idx[a], idx[b]) / std::sqrt(H(idx[a], idx[a]) * H(idx[b], idx[b]));
        const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(C);
        const Eigen::VectorXd& ev = eig.eigenvalues();  // ascending
        const double largest = ev(n - 1);
        bool removed = false;
        for (int k = 0; k < n; ++k) {
            // Eigenvalues of C are the squared singular values of the scaled Jacobian.
            if (ev(k) > kRankTolerance * kRankTolerance * largest)
                break;
            const Eigen::VectorXd v = eig.eigenvectors().col(k);
            int most = 0;
            for (int c = 0; c < n; ++c) {
                if (std::abs(v(c)) > std::abs(v(most)))
                    most = c;
                if (std::abs(v(c)) > kNullShare)
                    keep[static_cast<std::size_t>(idx[c])] = false;
            }
            keep[static_cast<std::size_t>(idx[most])] = false;
            removed = true;
        }
        if (!removed)
            return;
    }
}

// A limited parameter whose variable has run so far towards a limit that
// it no longer moves the parameter: the limit holds it.
bool saturated(const engine::ParameterMap& map, double x)
{
    if (!map.bounded())
        return false;
    const double p = map.param(x);
    const double scale = map.positive() ? std::abs(p) : std::max(std::abs(p), 1.0);
    return std::abs(map.derivative(x)) < 1e-8 * scale;
}

// As in the single fit: a parameter kept positive (ln p) without a limit
// at 0, which the data push below 0, runs towards the bound of ln p and is
// held there, however far it got.
bool heldAtZero(const engine::ParameterMap& map, double p, const double* column, const double* r, int K)
{
    return map.lower() < 0
        && engine::limitReached(engine::ParameterMap(true, 0.0, std::numeric_limits<double>::infinity(), p), p, column,
               r, K) < 0;
}

Eigen::MatrixXd sub(const Eigen::MatrixXd& M, const std::vector<int>& rows, const std::vector<int>& cols)
{
    Eigen::MatrixXd out(rows.size(), cols.size());
    for (std::size_t a = 0; a < rows.size(); ++a)
        for (std::size_t b = 0; b < cols.size(); ++b)
            out(a, b) = M(rows[a], cols[b]);
    return out;
}

std::vector<int> indicesOf(const std::vector<bool>& keep)
{
    std::vector<int> idx;
    for (std::size_t k = 0; k < keep.size(); ++k)
        if (keep[k])
            idx.push_back(static_cast<int>(k));
    return idx;
}

double tQuantile(int nu)
{
    if (nu <= 0)
        return kNaN;
    return boost::math::quantile(boost::math::complement(boost::math::students_t(nu), 0.025));
}

std::string number(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

} // namespace

JointStatistics jointStatistics(SeriesProblem& problem, const std::vector<double>& x)
{
    const int N = problem.spectrumCount(), L = problem.localCount(), G = problem.globalCount();
    const int F = problem.freeCount();
    JointStatistics st;
    st.variables = problem.variableCount();
    st.spectra.resize(static_cast<std::size_t>(N));

    NormalEquations eq;
    assembleNormalEquations(problem, x, eq);
    double strongest = 0;
    for (const Eigen::MatrixXd& U : eq.U)
        if (U.size())
            strongest = std::max(strongest, U.diagonal().maxCoeff());
    if (G)
        strongest = std::max(strongest, eq.V.diagonal().maxCoeff());

    // Limits: a local variable held by its limit in its spectrum, a shared
    // one held over the whole series (its column over all spectra).
    std::vector<std::vector<bool>> keepLocal(static_cast<std::size_t>(N), std::vector<bool>(L, true));
    std::vector<bool> keepGlobal(static_cast<std::size_t>(G), true);
    std::vector<std::vector<ParameterStatus>> localStatus(
        static_cast<std::size_t>(N), std::vector<ParameterStatus>(L, ParameterStatus::Determined));
    std::vector<ParameterStatus> globalStatus(static_cast<std::size_t>(G), ParameterStatus::Determined);
    std::vector<std::vector<double>> sharedColumns(static_cast<std::size_t>(F));
    std::vector<double> allResiduals;
    allResiduals.reserve(static_cast<std::size_t>(problem.valueCount()));
    std::vector<double> J, r;
    double p[engine::PreparedJob::kMaxParams];
    for (int i = 0; i < N; ++i) {
        const int K = problem.valueCount(i);
        J.resize(static_cast<std::size_t>(K) * F);
        r.resize(static_cast<std::size_t>(K));
        problem.parameterJacobian(x.data(), i, J.data(), r.data());
        problem.params(x.data(), i, p);
        SpectrumValues& sv = st.spectra[static_cast<std::size_t>(i)];
        sv.K = K;
        for (double v : r)
            sv.S += v * v;
        st.K += K;
        allResiduals.insert(allResiduals.end(), r.begin(), r.end());
        for (int j = 0; j < F; ++j) {
            const double* column = J.data() + static_cast<std::size_t>(j) * K;
            const double pj = p[problem.prepared(i).freeParam(j)];
            if (problem.role(j) == Role::Local) {
                const engine::ParameterMap& map = problem.localMap(i, j);
                const int a = problem.localSlot(j);
                if (engine::limitReached(map, pj, column, r.data(), K) != 0
                    || saturated(map, x[static_cast<std::size_t>(problem.localOffset(i) + a)])) {
                    keepLocal[i][a] = false;
                    localStatus[i][a] = ParameterStatus::AtLimit;
                } else if (map.positive()
                    && (map.derivative(x[static_cast<std::size_t>(problem.localOffset(i) + a)]) == 0
                        || heldAtZero(map, pj, column, r.data(), K))) {
                    keepLocal[i][a] = false;
                    localStatus[i][a] = ParameterStatus::AtLogBound;
                }
            } else if (problem.role(j) == Role::Shared) {
                sharedColumns[j].insert(sharedColumns[j].end(), column, column + K);
            }
        }
    }
    for (int j = 0; j < F; ++j) {
        if (problem.role(j) != Role::Shared)
            continue;
        const int g = problem.globalSlot(j);
        const engine::ParameterMap& map = problem.sharedMap(j);
        const double xg = x[static_cast<std::size_t>(problem.globalOffset() + g)];
        if (engine::limitReached(map, map.param(xg), sharedColumns[j].data(), allResiduals.data(),
                static_cast<int>(allResiduals.size())) != 0
            || saturated(map, xg)) {
            keepGlobal[g] = false;
            globalStatus[g] = ParameterStatus::AtLimit;
        } else if (map.positive()
            && (map.derivative(xg) == 0
                || heldAtZero(map, map.param(xg), sharedColumns[j].data(), allResiduals.data(),
                    static_cast<int>(allResiduals.size())))) {
            keepGlobal[g] = false;
            globalStatus[g] = ParameterStatus::AtLogBound;
        }
    }
    st.S = eq.S;
    st.nu = st.K - st.variables;
    st.XS = st.nu > 0 ? st.S / st.nu : kNaN;
    st.sigma = std::sqrt(st.XS);

    // The local blocks: undetermined variables out, the rest inverted; the
    // global block is what they leave (the Schur complement).
    std::vector<std::vector<int>> localIdx(static_cast<std::size_t>(N));
    std::vector<Eigen::MatrixXd> Uinv(static_cast<std::size_t>(N));
    std::vector<Eigen::MatrixXd> Wk(static_cast<std::size_t>(N));
    Eigen::MatrixXd S = eq.V;
    for (int i = 0; i < N; ++i) {
        const std::vector<bool> before = keepLocal[i];
        dropUndetermined(eq.U[i], keepLocal[i], strongest);
        for (int a = 0; a < L; ++a)
            if (before[a] && !keepLocal[i][a])
                localStatus[i][a] = ParameterStatus::Undetermined;
        localIdx[i] = indicesOf(keepLocal[i]);
        std::vector<int> allG(static_cast<std::size_t>(G));
        std::iota(allG.begin(), allG.end(), 0);
        const Eigen::MatrixXd Uk = sub(eq.U[i], localIdx[i], localIdx[i]);
        Uinv[i] = Uk.size() ? Eigen::MatrixXd(Uk.ldlt().solve(Eigen::MatrixXd::Identity(Uk.rows(), Uk.cols())))
                            : Eigen::MatrixXd(0, 0);
        Wk[i] = sub(eq.W[i], localIdx[i], allG);
        if (Uk.size())
            S.noalias() -= Wk[i].transpose() * Uinv[i] * Wk[i];
    }
    {
        const std::vector<bool> before = keepGlobal;
        dropUndetermined(S, keepGlobal, strongest);
        for (int g = 0; g < G; ++g)
            if (before[g] && !keepGlobal[g])
                globalStatus[g] = ParameterStatus::Undetermined;
    }
    const std::vector<int> globalIdx = indicesOf(keepGlobal);
    const Eigen::MatrixXd Sk = sub(S, globalIdx, globalIdx);
    Eigen::MatrixXd Sinv = Sk.size() ? Eigen::MatrixXd(Sk.ldlt().solve(Eigen::MatrixXd::Identity(Sk.rows(), Sk.cols())))
                                     : Eigen::MatrixXd(0, 0);
    // The covariance of all global variables, NaN rows for those left out.
    Eigen::MatrixXd covG = Eigen::MatrixXd::Constant(G, G, kNaN);
    for (std::size_t a = 0; a < globalIdx.size(); ++a)
        for (std::size_t b = 0; b < globalIdx.size(); ++b)
            covG(globalIdx[a], globalIdx[b]) = st.XS * Sinv(a, b);

    // The published coefficients: shared values and the functions' own
    // coefficients, by the Jacobian of the map from the variables.
    const double t = tQuantile(st.nu);
    Eigen::MatrixXd T = Eigen::MatrixXd::Zero(G, G);  // d published / d variable, row per coefficient
    std::vector<double> published(static_cast<std::size_t>(G), kNaN);
    std::vector<bool> logInterval(static_cast<std::size_t>(G), false);
    for (int j = 0; j < F; ++j) {
        const Role role = problem.role(j);
        if (role == Role::Local)
            continue;
        const int g0 = problem.globalSlot(j);
        const double* c = x.data() + problem.globalOffset() + g0;
        const int param = problem.prepared(0).freeParam(j);
        const std::string base = "P" + std::to_string(param + 1);
        if (role == Role::Shared) {
            const engine::ParameterMap& map = problem.sharedMap(j);
            published[g0] = map.param(c[0]);
            T(g0, g0) = map.derivative(c[0]);
            Coefficient co;
            co.freeIndex = j;
            co.param = param;
            co.role = role;
            co.name = base;
            st.coefficients.push_back(co);
            continue;
        }
        const RoleFunction& f = problem.function(j);
        const int n = f.count();
        double out[3], jac[9];
        f.report(c, out, jac);
        const std::vector<std::string> names = coefficientNames(role);
        for (int a = 0; a < n; ++a) {
            published[g0 + a] = out[a];
            for (int b = 0; b < n; ++b)
                T(g0 + a, g0 + b) = jac[a * n + b];
            // The pre-factor of an exponential form is positive: its
            // interval is that of its logarithm.
            logInterval[g0 + a] = f.logarithmic() && a == 0;
            Coefficient co;
            co.freeIndex = j;
            co.param = param;
            co.role = role;
            co.name = base + "." + names[a];
            st.coefficients.push_back(co);
        }
    }
    // Coefficients are in global-variable order (one per global variable).
    Eigen::MatrixXd covP = Eigen::MatrixXd::Constant(G, G, kNaN);
    {
        // Rows of T touching a variable left out give NaN; the others are
        // combined from the determined block alone.
        for (int a = 0; a < G; ++a)
            for (int b = 0; b < G; ++b) {
                double s = 0;
                bool known = true;
                for (int u = 0; u < G && known; ++u)
                    for (int v = 0; v < G && known; ++v) {
                        if (T(a, u) == 0 || T(b, v) == 0)
                            continue;
                        if (!std::isfinite(covG(u, v)))
                            known = false;
                        else
                            s += T(a, u) * covG(u, v) * T(b, v);
                    }
                covP(a, b) = known ? s : kNaN;
            }
    }
    st.correlation = Eigen::MatrixXd::Constant(G, G, kNaN);
    for (int a = 0; a < G; ++a) {
        Coefficient& co = st.coefficients[static_cast<std::size_t>(a)];
        co.value = published[a];
        // A coefficient has the status of its own parameter's variables
        // (a shared value held by a limit has a zero derivative there).
        ParameterStatus status = ParameterStatus::Determined;
        const int first = problem.globalSlot(co.freeIndex);
        for (int u = first; u < first + coefficientCount(co.role); ++u)
            if (globalStatus[u] != ParameterStatus::Determined)
                status = globalStatus[u];
        co.status = status;
        co.stdDev = status == ParameterStatus::Determined ? std::sqrt(std::max(covP(a, a), 0.0)) : kNaN;
        if (logInterval[a] && co.value > 0) {
            const double s = co.stdDev / co.value;
            co.low = co.value * std::exp(-t * s);
            co.high = co.value * std::exp(t * s);
        } else {
            co.low = co.value - t * co.stdDev;
            co.high = co.value + t * co.stdDev;
        }
        for (int b = 0; b < G; ++b)
            st.correlation(a, b) = covP(a, b) / std::sqrt(covP(a, a) * covP(b, b));
    }

    // Every parameter in every spectrum.
    std::vector<double> d(8);
    for (int i = 0; i < N; ++i) {
        SpectrumValues& sv = st.spectra[static_cast<std::size_t>(i)];
        problem.params(x.data(), i, p);
        sv.value.resize(static_cast<std::size_t>(F));
        sv.stdDev.assign(static_cast<std::size_t>(F), kNaN);
        sv.status.assign(static_cast<std::size_t>(F), ParameterStatus::Determined);
        const std::vector<int>& idx = localIdx[static_cast<std::size_t>(i)];
        // Cov of the kept locals: XS (U^-1 + U^-1 W S^-1 W^T U^-1), only the
        // diagonal is needed.
        Eigen::MatrixXd UW;
        if (!idx.empty() && !globalIdx.empty()) {
            std::vector<int> all(static_cast<std::size_t>(idx.size()));
            std::iota(all.begin(), all.end(), 0);
            UW = Uinv[i] * sub(Wk[i], all, globalIdx);
        }
        for (int j = 0; j < F; ++j) {
            const Role role = problem.role(j);
            sv.value[j] = p[problem.prepared(i).freeParam(j)];
            problem.paramDerivative(x.data(), i, j, d.data());
            if (role == Role::Local) {
                const int a = problem.localSlot(j);
                sv.status[j] = localStatus[i][a];
                const auto it = std::find(idx.begin(), idx.end(), a);
                if (it == idx.end())
                    continue;
                const int k = static_cast<int>(it - idx.begin());
                double var = Uinv[i](k, k);
                if (UW.size())
                    var += UW.row(k) * Sinv * UW.row(k).transpose();
                sv.stdDev[j] = std::abs(d[0]) * std::sqrt(st.XS * var);
                continue;
            }
            const int g0 = problem.globalSlot(j);
            double var = 0;
            bool known = true;
            for (int a = 0; a < coefficientCount(role); ++a) {
                if (globalStatus[g0 + a] != ParameterStatus::Determined)
                    sv.status[j] = globalStatus[g0 + a];
                for (int b = 0; b < coefficientCount(role); ++b) {
                    if (!std::isfinite(covG(g0 + a, g0 + b)))
                        known = false;
                    else
                        var += d[a] * covG(g0 + a, g0 + b) * d[b];
                }
            }
            if (known)
                sv.stdDev[j] = std::sqrt(std::max(var, 0.0));
        }
    }
    return st;
}

double fTestPValue(double Sr, int Pr, double Sf, int Pf, int K, double* F)
{
    const int df1 = Pf - Pr, df2 = K - Pf;
    double f = 0;
    if (df1 > 0 && df2 > 0 && Sf > 0)
        f = std::max(0.0, (Sr - Sf) / df1) / (Sf / df2);
    if (F)
        *F = f;
    if (df1 <= 0 || df2 <= 0 || !(f > 0))
        return 1.0;
    if (!std::isfinite(f))
        return 0.0;
    return boost::math::cdf(boost::math::complement(boost::math::fisher_f(df1, df2), f));
}

std::string pValueText(double p)
{
    if (p < 1e-15)
        return "p < 1e-15";
    char b[32];
    std::snprintf(b, sizeof b, "p = %.3g", p);
    return b;
}

double aic(double S, int P, int K)
{
    return K * std::log(S / K) + 2.0 * P;
}

double bic(double S, int P, int K)
{
    return K * std::log(S / K) + P * std::log(static_cast<double>(K));
}

std::string spectraText(const SeriesProblem& problem, const std::vector<int>& spectra, const std::string& unit)
{
    std::vector<int> sorted = spectra;
    std::sort(sorted.begin(), sorted.end(),
        [&](int a, int b) { return problem.covariate(a) < problem.covariate(b); });
    std::string text;
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        if (k > 0)
            text += k + 1 == sorted.size() ? " and " : ", ";
        text += number(problem.covariate(sorted[k]));
        if (!unit.empty())
            text += " " + unit;
    }
    return text;
}

RolesTest testRoles(SeriesProblem& problem, const std::vector<double>& x, double S,
    const std::vector<IndependentFit>& independent, const std::string& unit, bool eachParameter)
{
    RolesTest t;
    const int N = problem.spectrumCount(), F = problem.freeCount();
    t.K = problem.valueCount();
    t.Sjoint = S;
    t.Pjoint = problem.variableCount();
    t.Pindependent = N * F;
    if (problem.globalCount() == 0) {
        t.why = "every free parameter is local: the joint fit is the independent fits";
        return t;
    }
    for (const IndependentFit& f : independent) {
        if (!f.ok) {
            t.why = "a spectrum could not be fitted alone: " + f.error;
            return t;
        }
        t.Sindependent += f.S;
    }
    t.available = true;
    t.pValue = fTestPValue(t.Sjoint, t.Pjoint, t.Sindependent, t.Pindependent, t.K, &t.F);
    t.aicJoint = aic(t.Sjoint, t.Pjoint, t.K);
    t.aicIndependent = aic(t.Sindependent, t.Pindependent, t.K);
    t.bicJoint = bic(t.Sjoint, t.Pjoint, t.K);
    t.bicIndependent = bic(t.Sindependent, t.Pindependent, t.K);
    t.verdict = t.pValue < kLevel ? "the joint model is rejected against the independent fits: " + pValueText(t.pValue)
                                  : "the joint model agrees with the independent fits: " + pValueText(t.pValue);
    t.verdict += std::string("; AIC prefers the ") + (t.aicJoint <= t.aicIndependent ? "joint" : "independent")
                 + " fits, BIC the " + (t.bicJoint <= t.bicIndependent ? "joint" : "independent");
    if (!eachParameter)
        return t;

    std::vector<double> jointS(static_cast<std::size_t>(N));
    for (int i = 0; i < N; ++i) {
        std::vector<double> r(static_cast<std::size_t>(problem.valueCount(i)));
        problem.residuals(x.data(), i, r.data());
        for (double v : r)
            jointS[i] += v * v;
    }
    for (int j = 0; j < F; ++j) {
        if (problem.role(j) == Role::Local)
            continue;
        ParameterTest pt;
        pt.freeIndex = j;
        pt.role = problem.role(j);
        pt.name = "P" + std::to_string(problem.prepared(0).freeParam(j) + 1);
        std::vector<Role> roles = problem.roles();
        roles[j] = Role::Local;
        std::vector<double> start;
        std::unique_ptr<SeriesProblem> freed = problem.withRoles(x, roles, start);
        const JointFitOutcome fit = fitJoint(*freed, start);
        pt.S = std::min(fit.S, S);  // from the joint point, freeing never costs
        pt.pValue = fTestPValue(S, t.Pjoint, pt.S, freed->variableCount(), t.K, &pt.F);
        // The spectra that disagree: those whose own S falls most.
        std::vector<std::pair<double, int>> drop;
        for (int i = 0; i < N; ++i) {
            std::vector<double> r(static_cast<std::size_t>(freed->valueCount(i)));
            freed->residuals(fit.x.data(), i, r.data());
            double s = 0;
            for (double v : r)
                s += v * v;
            if (jointS[i] - s > 0)
                drop.emplace_back(jointS[i] - s, i);
        }
        std::sort(drop.rbegin(), drop.rend());
        for (std::size_t k = 0; k < drop.size() && k < 3; ++k)
            pt.disagree.push_back(drop[k].second);
        const std::string what = pt.role == Role::Shared ? "sharing " + pt.name
                                                         : pt.name + " as " + roleName(pt.role) + " function";
        if (pt.pValue < kLevel) {
            pt.verdict = what + " rejected: " + pValueText(pt.pValue);
            if (!pt.disagree.empty())
                pt.verdict += "; the spectra at " + spectraText(problem, pt.disagree, unit) + " disagree most";
        } else {
            pt.verdict = what + " accepted: " + pValueText(pt.pValue);
        }
        t.parameters.push_back(pt);
    }
    return t;
}

} // namespace nosk::series
