#include "Statistics.h"

#include "PreparedJob.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>

namespace nosk::engine {

namespace {

// A singular value of the Jacobian with unit-length columns below this
// fraction of the largest marks a direction the data do not determine;
// below that the columns are dependent to within the rounding of the
// model's arithmetic.
constexpr double kRankTolerance = 1e-9;
// A parameter whose share in such a direction exceeds this is not
// determined (two equal columns share 0.71 each, ten 0.32 each).
constexpr double kNullShare = 0.05;
// A parameter whose change (relative for one fitted as ln p, else by
// max(|p|, 1)) moves the residuals by less than this fraction of the
// strongest such change does not move the model: its whole effect is below
// the rounding of the model's arithmetic. (A resistor fitted to 1e-13 ohm
// beside 100 ohm still moves it, and keeps its std dev.)
constexpr double kSensitivityTolerance = std::numeric_limits<double>::epsilon();
// ln p this close to its bound counts as at the bound.
constexpr double kLogBoundMargin = 1e-6;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

FitStatisticsResult computeStatistics(int K, int F, const double* r, const double* obs, const double* model,
    const double* J, const double* estimates, const bool* logScaled, const ParameterStatus* preset)
{
    FitStatisticsResult s;
    s.K = K;
    s.F = F;
    s.nu = K - F;
    for (int i = 0; i < K; ++i)
        s.S += r[i] * r[i];
    s.l2Norm = std::sqrt(s.S);
    if (s.nu > 0) {
        s.XS = s.S / s.nu;
        s.sigma = std::sqrt(s.XS);
        double q = 0;
        for (int i = 0; i < K; ++i)
            if (obs[i] != 0) {
                const double d = (obs[i] - model[i]) / obs[i];
                q += d * d;
            }
        s.quality = std::sqrt(q / s.nu);
    }

    const auto FF = static_cast<std::size_t>(F) * F;
    s.covariance.assign(FF, kNaN);
    s.correlation.assign(FF, kNaN);
    s.stdDev.assign(F, kNaN);
    s.relStdDev.assign(F, kNaN);
    s.status.assign(F, ParameterStatus::Determined);
    if (preset)
        s.status.assign(preset, preset + F);
    if (F == 0)
        return s;

    // The length of every column, and what a relative change of each
    // parameter fitted as ln p does to the residuals.
    std::vector<double> scale(F, 0.0), sensitivity(F, 0.0);
    double strongest = 0;
    for (int j = 0; j < F; ++j) {
        if (s.status[j] != ParameterStatus::Determined || !logScaled || !logScaled[j])
            continue;
        const double lnp = std::log(std::abs(estimates[j]));
        if (lnp <= PreparedJob::kMinLogParam + kLogBoundMargin || lnp >= PreparedJob::kMaxLogParam - kLogBoundMargin)
            s.status[j] = ParameterStatus::AtLogBound;
    }
    for (int j = 0; j < F; ++j) {
        // The length without overflow: the largest entry times the length of
        // the column divided by it.
        const double* column = J + static_cast<std::size_t>(j) * K;
        double largest = 0;
        for (int i = 0; i < K; ++i)
            largest = std::max(largest, std::abs(column[i]));
        double norm = 0;
        if (largest > 0 && std::isfinite(largest))
            for (int i = 0; i < K; ++i)
                norm += (column[i] / largest) * (column[i] / largest);
        scale[j] = largest * std::sqrt(norm);
        if (!(scale[j] > 0) || !std::isfinite(scale[j])) {
            if (s.status[j] == ParameterStatus::Determined)
                s.status[j] = ParameterStatus::Undetermined;
            continue;
        }
        // A parameter fitted as ln p moves by a part of itself; one of any
        // sign (maybe near 0) by at least 1 in its own units.
        sensitivity[j] = scale[j] * (logScaled && logScaled[j] ? std::abs(estimates[j]) : std::max(std::abs(estimates[j]), 1.0));
        if (s.status[j] == ParameterStatus::Determined && std::isfinite(sensitivity[j]))
            strongest = std::max(strongest, sensitivity[j]);
    }
    for (int j = 0; j < F; ++j)
        if (s.status[j] == ParameterStatus::Determined && sensitivity[j] < kSensitivityTolerance * strongest)
            s.status[j] = ParameterStatus::Undetermined;

    // The determined part: take out every direction the data do not fix,
    // with the parameters that take part in it, until none is left.
    std::vector<int> kept;
    Eigen::JacobiSVD<Eigen::MatrixXd> svd;
    for (;;) {
        kept.clear();
        for (int j = 0; j < F; ++j)
            if (s.status[j] == ParameterStatus::Determined)
                kept.push_back(j);
        if (kept.empty())
            break;
        const int n = static_cast<int>(kept.size());
        Eigen::MatrixXd a(K, n);
        for (int c = 0; c < n; ++c)
            for (int i = 0; i < K; ++i)
                a(i, c) = J[i + static_cast<std::size_t>(kept[c]) * K] / scale[kept[c]];
        svd.compute(a, Eigen::ComputeThinV);
        const Eigen::VectorXd& sv = svd.singularValues();
        bool removed = false;
        for (int k = 0; k < n; ++k) {
            if (sv(k) > kRankTolerance * sv(0) && sv(k) > 0)
                continue;
            const Eigen::VectorXd v = svd.matrixV().col(k);
            int largest = 0;
            for (int c = 0; c < n; ++c) {
                if (std::abs(v(c)) > std::abs(v(largest)))
                    largest = c;
                if (std::abs(v(c)) > kNullShare)
                    s.status[kept[c]] = ParameterStatus::Undetermined;
            }
            s.status[kept[largest]] = ParameterStatus::Undetermined;
            removed = true;
        }
        if (!removed)
            break;
    }

    const int n = static_cast<int>(kept.size());
    if (n > 0) {
        // inverse(A^T A) = V diag(1 / sv^2) V^T for the unit-length columns.
        const Eigen::MatrixXd& V = svd.matrixV();
        const Eigen::VectorXd inv = svd.singularValues().array().square().inverse();
        const Eigen::MatrixXd c = V * inv.asDiagonal() * V.transpose();
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b) {
                const int i = kept[a], j = kept[b];
                s.covariance[static_cast<std::size_t>(i) * F + j] = s.XS * c(a, b) / (scale[i] * scale[j]);
                s.correlation[static_cast<std::size_t>(i) * F + j] =
                    a == b ? 1.0 : std::clamp(c(a, b) / std::sqrt(c(a, a) * c(b, b)), -1.0, 1.0);
            }
        for (int i : kept) {
            s.stdDev[i] = std::sqrt(s.covariance[static_cast<std::size_t>(i) * F + i]);
            s.relStdDev[i] = estimates[i] != 0 ? s.stdDev[i] / std::abs(estimates[i]) : 0.0;
        }
    }
    s.resolved.assign(F, false);
    for (int j = 0; j < F; ++j) {
        s.resolved[j] = s.status[j] == ParameterStatus::Determined;
        if (!s.resolved[j])
            s.singular = true;
    }
    return s;
}

} // namespace nosk::engine
