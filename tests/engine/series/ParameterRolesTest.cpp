// The functions of the covariate against finite differences and against
// their own published form, and their regressions on exact values.
#include "engine/series/ParameterRoles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace nosk::series {
namespace {

struct RoleCase {
    Role role;
    std::vector<double> c;  // the fitter's coefficients
    double centre;
    std::vector<double> x;
};

std::vector<RoleCase> cases()
{
    return {
        {Role::Arrhenius, {std::log(200.0), 0.55}, 300, {250, 280, 300, 330, 350}},
        {Role::Exponential, {std::log(3.0), -12.0}, 0.15, {0, 0.05, 0.1, 0.2, 0.3}},
        {Role::Linear, {7.5, -4.0}, 0.15, {0, 0.1, 0.2, 0.3}},
        {Role::Quadratic, {7.5, -4.0, 9.0}, 0.15, {0, 0.1, 0.2, 0.3}},
        {Role::Vft, {std::log(0.02), 900.0, 170.0}, 300, {250, 280, 300, 330, 350}},
    };
}

// p at x from the published coefficients, written out as the user reads them.
double published(Role role, const double* k, double x)
{
    switch (role) {
    case Role::Arrhenius: return k[0] * std::exp(k[1] / (kBoltzmannEv * x));
    case Role::Exponential: return k[0] * std::exp(k[1] * x);
    case Role::Linear: return k[0] + k[1] * x;
    case Role::Quadratic: return k[0] + k[1] * x + k[2] * x * x;
    case Role::Vft: return k[0] * std::exp(k[1] / (x - k[2]));
    default: return NAN;
    }
}

TEST(ParameterRoles, DerivativesAndPublishedFormAgree)
{
    for (const RoleCase& rc : cases()) {
        SCOPED_TRACE(roleName(rc.role));
        const RoleFunction f(rc.role, rc.centre);
        const int n = f.count();
        double out[3], jac[9], grad[3];
        f.report(rc.c.data(), out, jac);
        for (double x : rc.x) {
            const double p = f.value(rc.c.data(), x, grad);
            // The published coefficients give the same function.
            EXPECT_NEAR(published(rc.role, out, x), p, 1e-10 * std::abs(p));
            for (int k = 0; k < n; ++k) {
                std::vector<double> up = rc.c, down = rc.c;
                const double h = 1e-6 * std::max(std::abs(rc.c[k]), 1.0);
                up[k] += h;
                down[k] -= h;
                const double fd = (f.value(up.data(), x) - f.value(down.data(), x)) / (2 * h);
                EXPECT_NEAR(grad[k], fd, 1e-6 * std::max(std::abs(fd), std::abs(p)));
            }
        }
        // The Jacobian of the published coefficients by differences.
        for (int k = 0; k < n; ++k) {
            std::vector<double> up = rc.c, down = rc.c;
            const double h = 1e-6 * std::max(std::abs(rc.c[k]), 1.0);
            up[k] += h;
            down[k] -= h;
            double o1[3], o2[3], j1[9];
            f.report(up.data(), o1, j1);
            f.report(down.data(), o2, j1);
            for (int a = 0; a < n; ++a)
                EXPECT_NEAR(jac[a * n + k], (o1[a] - o2[a]) / (2 * h), 1e-6 * std::max(std::abs(out[a]), 1.0));
        }
    }
}

TEST(ParameterRoles, RegressionRecoversExactValues)
{
    for (const RoleCase& rc : cases()) {
        if (rc.role == Role::Vft)
            continue;  // its T0 comes from a grid: checked below
        SCOPED_TRACE(roleName(rc.role));
        const RoleFunction f(rc.role, rc.centre);
        std::vector<double> p, w(rc.x.size(), 1.0);
        for (double x : rc.x)
            p.push_back(f.value(rc.c.data(), x));
        const std::vector<double> c = f.regression(rc.x, p, w);
        ASSERT_EQ(c.size(), rc.c.size());
        for (std::size_t k = 0; k < c.size(); ++k)
            EXPECT_NEAR(c[k], rc.c[k], 1e-9 * std::max(std::abs(rc.c[k]), 1.0));
    }
    // VFT: the grid's T0 gives a start whose values lie close to the truth's.
    const RoleCase vft = cases().back();
    const RoleFunction f(vft.role, vft.centre);
    std::vector<double> p, w(vft.x.size(), 1.0);
    for (double x : vft.x)
        p.push_back(f.value(vft.c.data(), x));
    const std::vector<double> c = f.regression(vft.x, p, w);
    ASSERT_EQ(c.size(), 3u);
    for (std::size_t i = 0; i < vft.x.size(); ++i)
        EXPECT_NEAR(std::log(f.value(c.data(), vft.x[i])), std::log(p[i]), 0.05);
    // Too few values for the function, or none positive for an exponential form: no start.
    EXPECT_TRUE(RoleFunction(Role::Quadratic, 0).regression({1, 2}, {1, 2}, {1, 1}).empty());
    EXPECT_TRUE(RoleFunction(Role::Arrhenius, 300).regression({280, 300, 320}, {-1, 0, -2}, {1, 1, 1}).empty());
}

TEST(ParameterRoles, NamesAndCounts)
{
    EXPECT_EQ(roleOfName("Arrhenius"), Role::Arrhenius);
    EXPECT_FALSE(roleOfName("sigmoid").has_value());
    EXPECT_EQ(coefficientNames(Role::Arrhenius), (std::vector<std::string>{"A", "Ea"}));
    EXPECT_EQ(coefficientCount(Role::Vft), 3);
    EXPECT_TRUE(needsTemperature(Role::Vft));
    EXPECT_FALSE(needsTemperature(Role::Exponential));
}

} // namespace
} // namespace nosk::series
