#include "Statistics.h"

#include <cminpack.h>

#include <algorithm>
#include <cmath>

namespace nosk::engine {

namespace {

// A column of the (column-scaled) Jacobian whose part independent of the
// others is below this fraction of the largest one is taken as not
// resolved; below that the columns are dependent to within the rounding of
// the model's arithmetic.
constexpr double kRankTolerance = 1e-9;

} // namespace

FitStatisticsResult computeStatistics(int K, int F, const double* r, const double* obs, const double* model,
    const double* J, const double* estimates)
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

    s.covariance.assign(static_cast<std::size_t>(F) * F, 0.0);
    s.correlation.assign(static_cast<std::size_t>(F) * F, 0.0);
    s.stdDev.assign(F, 0.0);
    s.relStdDev.assign(F, 0.0);
    s.resolved.assign(F, false);
    if (F == 0 || K < F)
        return s;

    // Scale every column to unit length so that parameters of very different
    // sizes (ohms and farads) meet the rank test on equal terms.
    std::vector<double> a(J, J + static_cast<std::size_t>(K) * F), scale(F, 1.0);
    for (int j = 0; j < F; ++j) {
        double norm = 0;
        for (int i = 0; i < K; ++i)
            norm += a[i + j * K] * a[i + j * K];
        norm = std::sqrt(norm);
        if (norm > 0 && std::isfinite(norm)) {
            scale[j] = norm;
            for (int i = 0; i < K; ++i)
                a[i + j * K] /= norm;
        } else {
            for (int i = 0; i < K; ++i)
                a[i + j * K] = 0.0;
        }
    }
    std::vector<int> ipvt(F);
    std::vector<double> rdiag(F), acnorm(F), wa(std::max(F, 1));
    qrfac(K, F, a.data(), K, 1, ipvt.data(), F, rdiag.data(), acnorm.data(), wa.data());
    for (int j = 0; j < F; ++j)
        a[j + j * K] = rdiag[j];
    covar(F, a.data(), K, ipvt.data(), kRankTolerance, wa.data());

    // a now holds (JtJ)^-1 of the scaled columns, with zero rows and columns
    // for the parameters it cannot resolve. The correlations come from it
    // directly, so that they exist even for a perfect fit (XS = 0).
    for (int j = 0; j < F; ++j) {
        const double d = a[j + j * K];
        s.resolved[j] = d > 0 && std::isfinite(d);
        if (!s.resolved[j])
            s.singular = true;
    }
    for (int i = 0; i < F; ++i)
        for (int j = 0; j < F; ++j) {
            if (!s.resolved[i] || !s.resolved[j])
                continue;
            const double c = a[i + j * K];
            s.covariance[i * F + j] = s.XS * c / (scale[i] * scale[j]);
            s.correlation[i * F + j] =
                i == j ? 1.0 : std::clamp(c / std::sqrt(a[i + i * K] * a[j + j * K]), -1.0, 1.0);
        }
    for (int j = 0; j < F; ++j) {
        if (!s.resolved[j])
            continue;
        s.stdDev[j] = std::sqrt(s.covariance[j * F + j]);
        s.relStdDev[j] = estimates[j] != 0 ? s.stdDev[j] / std::abs(estimates[j]) : 0.0;
    }
    return s;
}

} // namespace nosk::engine
