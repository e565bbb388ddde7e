#include "ParameterRoles.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace nosk::series {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct RoleRow {
    Role role;
    const char* name;
    int count;
    std::vector<std::string> coefficients;
};

const std::vector<RoleRow>& roleTable()
{
    static const std::vector<RoleRow> table = {
        {Role::Local, "local", 0, {}},
        {Role::Shared, "shared", 1, {}},
        {Role::Arrhenius, "arrhenius", 2, {"A", "Ea"}},
        {Role::Vft, "vft", 3, {"A", "B", "T0"}},
        {Role::Linear, "linear", 2, {"a", "b"}},
        {Role::Quadratic, "quadratic", 3, {"a", "b", "c"}},
        {Role::Exponential, "exponential", 2, {"A", "b"}},
    };
    return table;
}

const RoleRow& rowOf(Role role)
{
    for (const RoleRow& row : roleTable())
        if (row.role == role)
            return row;
    return roleTable().front();
}

// Weighted least squares of y on the columns of `basis` (one row per
// value); empty when fewer values carry weight than there are columns or
// the columns are dependent.
std::vector<double> weightedFit(const std::vector<std::vector<double>>& basis, const std::vector<double>& y,
    const std::vector<double>& w, double* residualSum = nullptr)
{
    const int n = static_cast<int>(y.size());
    const int m = basis.empty() ? 0 : static_cast<int>(basis.front().size());
    Eigen::MatrixXd A(n, m);
    Eigen::VectorXd b(n);
    int used = 0;
    for (int i = 0; i < n; ++i) {
        const double s = (w[i] > 0 && std::isfinite(w[i]) && std::isfinite(y[i])) ? std::sqrt(w[i]) : 0.0;
        used += s > 0;
        for (int k = 0; k < m; ++k)
            A(i, k) = s * basis[i][k];
        b(i) = s > 0 ? s * y[i] : 0.0;
    }
    if (used < m)
        return {};
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(A);
    if (qr.rank() < m)
        return {};
    const Eigen::VectorXd c = qr.solve(b);
    if (residualSum)
        *residualSum = (A * c - b).squaredNorm();
    return std::vector<double>(c.data(), c.data() + m);
}

} // namespace

std::optional<Role> roleOfName(std::string_view name)
{
    std::string lower(name);
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const RoleRow& row : roleTable())
        if (lower == row.name)
            return row.role;
    return std::nullopt;
}

const char* roleName(Role role)
{
    return rowOf(role).name;
}

bool isFunction(Role role)
{
    return role != Role::Local && role != Role::Shared;
}

bool needsTemperature(Role role)
{
    return role == Role::Arrhenius || role == Role::Vft;
}

int coefficientCount(Role role)
{
    return rowOf(role).count;
}

std::vector<std::string> coefficientNames(Role role)
{
    return rowOf(role).coefficients;
}

bool RoleFunction::logarithmic() const
{
    return m_role == Role::Arrhenius || m_role == Role::Vft || m_role == Role::Exponential;
}

double RoleFunction::u(double x) const
{
    if (m_role == Role::Arrhenius)
        return 1.0 / (kBoltzmannEv * x) - 1.0 / (kBoltzmannEv * m_centre);
    return x - m_centre;
}

double RoleFunction::value(const double* c, double x, double* grad) const
{
    switch (m_role) {
    case Role::Arrhenius:
    case Role::Exponential: {
        const double t = u(x);
        const double p = std::exp(c[0] + c[1] * t);
        if (grad) {
            grad[0] = p;
            grad[1] = p * t;
        }
        return p;
    }
    case Role::Vft: {
        const double d = x - c[2];
        if (!(d > 0)) {
            if (grad)
                grad[0] = grad[1] = grad[2] = kNaN;
            return kNaN;
        }
        const double p = std::exp(c[0] + c[1] / d);
        if (grad) {
            grad[0] = p;
            grad[1] = p / d;
            grad[2] = p * c[1] / (d * d);
        }
        return p;
    }
    case Role::Linear: {
        const double t = u(x);
        if (grad) {
            grad[0] = 1.0;
            grad[1] = t;
        }
        return c[0] + c[1] * t;
    }
    case Role::Quadratic: {
        const double t = u(x);
        if (grad) {
            grad[0] = 1.0;
            grad[1] = t;
            grad[2] = t * t;
        }
        return c[0] + c[1] * t + c[2] * t * t;
    }
    case Role::Local:
    case Role::Shared:
        break;
    }
    return kNaN;
}

void RoleFunction::report(const double* c, double* out, double* jacobian) const
{
    const int n = count();
    std::fill(jacobian, jacobian + n * n, 0.0);
    const double m = m_centre;
    switch (m_role) {
    case Role::Arrhenius:
    case Role::Exponential: {
        // ln p = c0 + c1 u(x) = ln A + c1 x' with x' = 1/(kB T) or x.
        const double shift = m_role == Role::Arrhenius ? 1.0 / (kBoltzmannEv * m) : m;
        const double A = std::exp(c[0] - c[1] * shift);
        out[0] = A;
        out[1] = c[1];
        jacobian[0] = A;
        jacobian[1] = -A * shift;
        jacobian[3] = 1.0;
        break;
    }
    case Role::Vft: {
        const double A = std::exp(c[0]);
        out[0] = A;
        out[1] = c[1];
        out[2] = c[2];
        jacobian[0] = A;
        jacobian[4] = 1.0;
        jacobian[8] = 1.0;
        break;
    }
    case Role::Linear:
        out[0] = c[0] - c[1] * m;
        out[1] = c[1];
        jacobian[0] = 1.0;
        jacobian[1] = -m;
        jacobian[3] = 1.0;
        break;
    case Role::Quadratic:
        out[0] = c[0] - c[1] * m + c[2] * m * m;
        out[1] = c[1] - 2.0 * c[2] * m;
        out[2] = c[2];
        jacobian[0] = 1.0;
        jacobian[1] = -m;
        jacobian[2] = m * m;
        jacobian[4] = 1.0;
        jacobian[5] = -2.0 * m;
        jacobian[8] = 1.0;
        break;
    case Role::Local:
        break;
    case Role::Shared:
        out[0] = c[0];
        jacobian[0] = 1.0;
        break;
    }
}

std::vector<double> RoleFunction::regression(const std::vector<double>& x, const std::vector<double>& p,
    const std::vector<double>& w) const
{
    const int n = static_cast<int>(x.size());
    std::vector<double> y(n), weight = w;
    for (int i = 0; i < n; ++i) {
        y[i] = p[i];
        if (logarithmic()) {
            y[i] = p[i] > 0 ? std::log(p[i]) : kNaN;
            if (!(p[i] > 0))
                weight[i] = 0;
        }
    }
    if (m_role == Role::Vft) {
        // ln p = ln A + B / (T - T0) is linear at a fixed T0: the best T0
        // of a grid below the lowest temperature.
        const double lowest = *std::min_element(x.begin(), x.end());
        std::vector<double> best;
        double bestSum = std::numeric_limits<double>::infinity();
        for (int g = 1; g <= 60; ++g) {
            const double t0 = lowest * (1.0 - g / 61.0);
            std::vector<std::vector<double>> basis(n);
            for (int i = 0; i < n; ++i)
                basis[i] = {1.0, 1.0 / (x[i] - t0)};
            double sum = 0;
            std::vector<double> c = weightedFit(basis, y, weight, &sum);
            if (!c.empty() && sum < bestSum) {
                bestSum = sum;
                best = {c[0], c[1], t0};
            }
        }
        return best;
    }
    const int m = count();
    std::vector<std::vector<double>> basis(n);
    for (int i = 0; i < n; ++i) {
        const double t = u(x[i]);
        basis[i] = {1.0, t};
        if (m == 3)
            basis[i].push_back(t * t);
    }
    return weightedFit(basis, y, weight);
}

} // namespace nosk::series
