// The distributed elements against what their formulas cannot restate:
// causality and passivity through a numerical Kramers-Kronig transform,
// identities between DEs computed by different methods, 30-digit reference
// values, limits, derivatives against central differences, refusals, and
// fits that find the parameters their data were made from.
#include "engine/EngineTestSupport.h"

#include "model/Circuit.h"
#include "model/DeTable.h"
#include "model/ModelFunction.h"
#include "model/de/Families.h"
#include "model/de/Special.h"

#include "core/Exception.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using nosk::engine::Complex;
using nosk::engine::DeContext;
using nosk::engine::DeParams;
using nosk::engine::deEvaluate;
using nosk::engine::deValidate;

namespace {

const Complex I(0.0, 1.0);
const double kPi = 3.14159265358979323846;
constexpr double kCell = 2e-12;  // CELCAP of the dielectric-level cases

Complex Z(int de, const DeParams& p, double w, double celcap = kCell)
{
    const DeContext ctx{celcap};
    const double lw = std::log(w);
    Complex z(NAN, NAN);
    EXPECT_TRUE(deEvaluate(de, p, ctx, &w, &lw, 1, 1.0, &z, nullptr)) << "DE " << de;
    return z;
}

// eps of a dielectric-level DE from its impedance.
Complex eps(int de, const DeParams& p, double w)
{
    return 1.0 / (I * w * kCell * Z(de, p, w));
}

std::vector<double> logGrid(double from, double to, int perDecade)
{
    std::vector<double> w;
    const int n = static_cast<int>(std::lround(std::log10(to / from) * perDecade));
    for (int i = 0; i <= n; ++i)
        w.push_back(from * std::pow(10.0, double(i) / perDecade));
    return w;
}

std::string describe(int de, const DeParams& p)
{
    char buf[120];
    std::snprintf(buf, sizeof buf, "DE %d (R %g, T %g, U %g, PHI %g)", de, p.R, p.T, p.U, p.PHI);
    return buf;
}

// ---------------------------------------------------------------------------
// Kramers-Kronig: Re F(w0) - Re F(inf) = -(2/pi) int [x Im F(x) - w0 Im F(w0)] / (x^2 - w0^2) dx,
// by the trapezoid rule in ln x on nodes half a step off w0.

double kramersKronigDeviation(const std::function<Complex(double)>& F, double w0, Complex atInfinity)
{
    const double h = 0.04, span = 62;
    const Complex f0 = F(w0);
    double sum = 0, largest = std::abs(f0);
    for (int k = -static_cast<int>(span / h); k < static_cast<int>(span / h); ++k) {
        const double x = w0 * std::exp((k + 0.5) * h);
        const Complex f = F(x);
        largest = std::max(largest, std::abs(f));
        sum += x * (x * f.imag() - w0 * f0.imag()) / (x * x - w0 * w0);
    }
    const double predicted = atInfinity.real() - 2 / kPi * h * sum;
    return std::abs(predicted - f0.real()) / largest;
}

enum class Kk { Z, Eps, Y };

struct KkCase {
    int de;
    DeParams p;
    Kk what;
    Complex atInfinity;
};

} // namespace

TEST(DeResponse, CausalAndPassiveByKramersKronig)
{
    const std::vector<KkCase> cases = {
        {8, {1, 1, 0.6, 0.4}, Kk::Z, 0.0},
        {10, {1, 1, 0, 0.5}, Kk::Z, 0.0},
        {10, {1, 1, 1, 0.7}, Kk::Z, 0.0},
        {11, {1, 1, 0.1, 0.6}, Kk::Z, 0.0},
        {12, {1, 1, 6, -0.5}, Kk::Z, 0.0},
        {12, {1, 1, 6, 0.7}, Kk::Z, 0.0},
        {13, {1, 1, 0.4, 0.8}, Kk::Z, 0.0},
        {14, {1, 1, 0, 2}, Kk::Z, 0.0},
        {15, {2, 1, 3, 0.5}, Kk::Z, 0.0},
        {18, {1, 1, 0.4, 0.6}, Kk::Z, 0.0},
        {19, {3, 1, 0.7, 0.2}, Kk::Eps, 0.0},
        {23, {1, 1, 10, 0.8}, Kk::Y, 10.0},
        {24, {1, 1, 10, 0.8}, Kk::Z, 0.1},
        {25, {2, 1, 0.2, 0.5}, Kk::Eps, 2.0},
        {26, {1, 1, 0, 0.6}, Kk::Y, 1.0},
        {28, {3, 1, 5, 0.5}, Kk::Eps, 0.0},
        {29, {1, 1, -0.5, 0.7}, Kk::Z, 0.0},
        {30, {1, 1, 5, 0}, Kk::Z, 0.0},
        {30, {1, 1, 5, 1}, Kk::Z, 0.0},
        {31, {2, 1, 0.3, 0.5}, Kk::Eps, 2.0},
        {32, {1, 1, 0, 0}, Kk::Z, 0.0},
        {32, {1, 1, 1, 0}, Kk::Z, 0.0},
        {34, {1, 1, 0, 0.6}, Kk::Z, 0.0},
        {34, {1, 1, 0, -0.6}, Kk::Z, 0.0},
        {35, {1, 1, 0, 0}, Kk::Z, 0.0},
        {35, {1, 1, 1, 0}, Kk::Z, 0.0},
        {36, {1, 1, 0, 0.6}, Kk::Z, 0.0},
    };
    for (const KkCase& c : cases) {
        SCOPED_TRACE(describe(c.de, c.p));
        std::function<Complex(double)> F;
        if (c.what == Kk::Z) {
            F = [&](double w) { return Z(c.de, c.p, w); };
        } else if (c.what == Kk::Eps) {
            F = [&](double w) { return eps(c.de, c.p, w); };
        } else {
            F = [&](double w) { return 1.0 / Z(c.de, c.p, w); };
        }
        for (double w0 : {0.01, 1.0, 100.0})
            EXPECT_LE(kramersKronigDeviation(F, w0, c.atInfinity), 1e-4) << "w0 " << w0;
    }
}

TEST(DeResponse, PassiveAndFiniteFrom1e12To1e12)
{
    struct Case {
        int de;
        DeParams p;
        bool capacitive;
    };
    const std::vector<Case> cases = {
        {8, {1, 1, 1, 1}, true}, {8, {2, 1e-3, 0.3, 3}, true}, {10, {1, 1, 0, 0.1}, true},
        {10, {1, 1, 1, 0.1}, true}, {10, {1, 1, 0, 1}, true}, {11, {1, 1, 0, 1}, true},
        {12, {1, 1, 700, 20}, true}, {12, {1, 1, 0.01, -20}, true}, {12, {1, 1, 30, 1e-7}, true},
        {13, {1, 1, 20, 0.05}, true}, {14, {1, 1, 0, 50}, true}, {14, {1, 1, 0, 1e-3}, true},
        {15, {1, 1, 0, 0.5}, true}, {15, {1, 1, 1e30, 0.1}, true}, {18, {1, 1, 1, 0}, true},
        {18, {1, 1, 0.05, 0.95}, true}, {19, {1, 1, 0.5, 0.5}, true}, {20, {1, 1, 0, 1}, true},
        {20, {1, 1, 0, -1}, false}, {21, {5, 1, 0, 0.3}, true}, {22, {5, 1, 0, 0.7}, true},
        {23, {1, 1, 1, 1}, true}, {23, {1, 1, 500, 0.3}, true}, {24, {1, 1, 500, 1}, true},
        {25, {1, 1, 1.0 / 3, 0}, true}, {25, {1, 1, 0.9, 1}, true}, {26, {1, 1, 0, 0}, true},
        {27, {0, 1, 0, 0.5}, true}, {28, {1, 1, 20, -3}, true}, {29, {1, 1, -20, 20}, true},
        {29, {1, 1, 0.99, 0.5}, true}, {30, {1, 1, 700, 1}, true}, {31, {1, 1, 0.99, 0.1}, true},
        {32, {1, 1, 1, 0}, true}, {34, {1, 1, 0, 20}, true}, {34, {1, 1, 0, -0.01}, true},
        {35, {1, 1, 1, 0}, true}, {36, {1, 1, 1, 0.1}, true}, {36, {1, 1, 0, 0.98}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.de, c.p));
        for (double w : logGrid(1e-12, 1e12, 2)) {
            const Complex z = Z(c.de, c.p, w);
            ASSERT_TRUE(std::isfinite(z.real()) && std::isfinite(z.imag())) << "w " << w;
            EXPECT_GE(z.real(), -1e-12 * std::abs(z)) << "w " << w;
            if (c.capacitive) {
                EXPECT_LE(z.imag(), 1e-12 * std::abs(z)) << "w " << w;
            }
        }
    }
}

TEST(DeResponse, KramersKronigCheckSeesABranchError)
{
    // The same check on a response with the wrong sign of its imaginary part.
    const DeParams p{1, 1, 0, 2};
    const std::function<Complex(double)> wrong = [&](double w) { return std::conj(Z(14, p, w)); };
    EXPECT_GT(kramersKronigDeviation(wrong, 1.0, 0.0), 0.1);
}

// ---------------------------------------------------------------------------
// Identities between DEs computed by different methods.

TEST(DeIdentities, HavriliakNegamiFamily)
{
    for (double w : logGrid(1e-6, 1e6, 3)) {
        SCOPED_TRACE(w);
        const double U = 0.6, PHI = 0.4, T = 2e-3;
        const double c = 2 * PHI + 2;
        const double k = std::pow(std::sin(kPi * U / c) / std::sin(kPi * U * PHI / c), 1 / U);
        EXPECT_REL_NEAR(Z(8, {3, T, U, PHI}, w), Z(6, {3, k * T, U, PHI}, w), 1e-12);
        EXPECT_REL_NEAR(Z(8, {3, T, 0.7, 1}, w), Z(5, {3, T, 0, 0.7}, w), 1e-12);
        EXPECT_REL_NEAR(Z(8, {3, T, 1, 0.3}, w), Z(7, {3, T * std::tan(kPi / 2.6), 0, 0.3}, w), 1e-12);
    }
    // The loss peak of DE 8 sits at w T = 1.
    const DeParams p{1, 1, 0.45, 1.8};
    const double up = -Z(8, p, 1.001).imag(), at = -Z(8, p, 1.0).imag(), down = -Z(8, p, 0.999).imag();
    EXPECT_GT(at, up);
    EXPECT_GT(at, down);
    EXPECT_LE(std::abs(up - down), 1e-9 * at);
}

TEST(DeIdentities, StretchedExponentialFamily)
{
    for (double x : logGrid(1e-12, 1e12, 1)) {
        SCOPED_TRACE(x);
        for (double U : {0.0, 1.0}) {
            const Complex debye = 1.0 / (1.0 + I * x);
            EXPECT_REL_NEAR(Z(10, {1, 1, U, 1}, x), debye, 1e-10);
            EXPECT_REL_NEAR(Z(10, {2, 1, U, 0.5}, x), Z(32, {2, 1, U, 0}, x), 1e-10);
            EXPECT_REL_NEAR(Z(10, {2, 1, U, 1.0 / 3}, x), Z(35, {2, 1, U, 0}, x), 1e-10);
            for (double beta : {0.1, 0.45, 0.9})
                EXPECT_REL_NEAR(Z(36, {2, 1, U, beta}, x), Z(10, {2, 1, U, beta}, x), 1e-10) << beta;
        }
    }
}

TEST(DeIdentities, KwwDistributionOfRelaxationTimes)
{
    using nosk::engine::de::kwwDrt;
    for (double beta : {0.2, 0.5, 0.8}) {
        // Sum rules: int G dy = 1, int G e^y dy = Gamma(1 + 1/beta).
        double s0 = 0, s1 = 0;
        const double h = 0.04;
        for (double y = -40 / beta - 30; y < 40; y += h) {
            const double g = kwwDrt(beta, y);
            s0 += h * g;
            s1 += h * g * std::exp(y);
        }
        EXPECT_NEAR(s0, 1.0, 1e-9) << beta;
        EXPECT_REL_NEAR(s1, std::tgamma(1 + 1 / beta), 1e-9) << beta;
        // The short-time tail.
        const double y = -60 / beta;
        EXPECT_REL_NEAR(kwwDrt(beta, y), std::tgamma(1 + beta) * std::sin(kPi * beta) * std::exp(beta * y) / kPi, 1e-6);
    }
    // Closed forms at beta = 1/2 and 1/3, through DE 37 with T = 2 s.
    for (double y = -30; y < 4.5; y += 0.37) {
        const double tau = 2 * std::exp(y);
        const double half = std::exp(y / 2 - std::exp(y) / 4) / (2 * std::sqrt(kPi));
        EXPECT_REL_NEAR(Z(37, {1, 2, 0, 0.5}, tau).real(), half, 1e-10) << y;
        const double lambda = std::exp(-y);
        const double third =
            std::cyl_bessel_k(1.0 / 3, 2 / (3 * std::sqrt(3.0) * std::sqrt(lambda))) / (3 * kPi * std::sqrt(lambda));
        EXPECT_REL_NEAR(Z(37, {1, 2, 0, 1.0 / 3}, tau).real(), third, 1e-10) << y;
        EXPECT_EQ(Z(37, {1, 2, 0, 0.5}, tau).imag(), 0.0);
    }
}

TEST(DeIdentities, PowerLawDistributions)
{
    const double w = 3.7;
    for (double x : logGrid(1e-9, 1e9, 2)) {
        SCOPED_TRACE(x);
        // DE 12 at PHI = 1 (quadrature near x = 1) against the complex logarithms of DE 30.
        EXPECT_REL_NEAR(Z(12, {2, x / w, 7, 1}, w), Z(30, {2, x / w, 7, 1}, w), 1e-10);
        // ... and near PHI = 0, where the difference of two 2F1 cancels.
        EXPECT_REL_NEAR(Z(12, {2, x / w, 7, 1e-9}, w), Z(30, {2, x / w, 7, 0}, w), 1e-8);
        // DE 13 is the mixture of two one-cutoff DEs 34.
        const double U = 0.4, PHI = 0.8;
        const Complex mix = (PHI * Z(34, {1, x / w, 0, U}, w) + U * Z(34, {1, x / w, 0, -PHI}, w)) / (U + PHI);
        EXPECT_REL_NEAR(Z(13, {1, x / w, U, PHI}, w), mix, 1e-10);
        // DE 29 is Davidson-Cole at U = PHI and the one-cutoff EDAE at U = 0.
        EXPECT_REL_NEAR(Z(29, {1, x / w, 0.35, 0.35}, w), Z(7, {1, x / w, 0, 0.35}, w), 1e-10);
        EXPECT_REL_NEAR(Z(29, {1, x / w, 0, 0.6}, w), Z(34, {1, x / w, 0, 0.6}, w), 1e-10);
        // DE 28 is DE 12 at the dielectric level.
        EXPECT_REL_NEAR(eps(28, {4, x / w, 6, -0.5}, w), 4.0 * Z(12, {1, x / w, 6, -0.5}, w), 1e-10);
        // DE 18 at m = 1 is Davidson-Cole; DE 19 is DE 18 at the dielectric level.
        EXPECT_REL_NEAR(Z(18, {1, x / w, 1, 0.3}, w), Z(7, {1, x / w, 0, 0.7}, w), 1e-10);
        EXPECT_REL_NEAR(eps(19, {4, x / w, 0.4, 0.6}, w), Z(18, {4, x / w, 0.4, 0.6}, w), 1e-10);
    }
    // Far above the lower cutoff, DE 12 with U = 300 is DE 34.
    for (double x : {0.1, 1.0, 1e3, 1e9})
        EXPECT_REL_NEAR(Z(12, {1, x, 300, 0.6}, 1), Z(34, {1, x, 0, 0.6}, 1), 1e-10);
}

TEST(DeIdentities, NetworksAndPowerLaws)
{
    for (double w : logGrid(1e-6, 1e6, 2)) {
        SCOPED_TRACE(w);
        // Jonscher without C-infinity is DE 5; with n = 1 it is DE 1.
        EXPECT_REL_NEAR(Z(11, {5, 0.02, 0, 0.7}, w), Z(5, {5, 0.02, 0, 0.7}, w), 1e-12);
        EXPECT_REL_NEAR(Z(11, {5, 0.02, 0, 1}, w), Z(1, {5, 0.02 / 5, 0, 0}, w), 1e-12);
        // General diffusion between its transmissive and reflecting ends.
        EXPECT_REL_NEAR(Z(15, {5, 0.1, 0, 0.45}, w), Z(9, {5, 0.1, 0, 0.45}, w), 1e-12);
        EXPECT_REL_NEAR(Z(15, {5, 0.1, 1e40, 0.45}, w), Z(16, {5, 0.1, 0, 0.45}, w), 1e-12);
        // The reference-time power laws.
        EXPECT_REL_NEAR(Z(20, {5, 0.1, 0, 0.7}, w), Z(2, {0, std::pow(0.1, 0.7) / 5, 0, 0.7}, w), 1e-12);
        EXPECT_REL_NEAR(Z(22, {5, 0.1, 0, 0.3}, w), Z(20, {5 * 0.1 / kCell, 0.1, 0, 0.7}, w), 1e-12);
        EXPECT_REL_NEAR(Z(21, {1, 0.1, 0, 0.3}, w), Z(27, {0, 0.1, 0, 0.7}, w), 1e-12);
        EXPECT_REL_NEAR(Z(23, {5, 0.1, 1, 0.6}, w), Z(26, {5, std::pow(0.1 * 5, 1 / 0.6), 0, 0.6}, w), 1e-12);
        // The mixtures at a full conducting phase are DE 27.
        EXPECT_REL_NEAR(Z(25, {3, 0.1, 1, 0.4}, w), Z(27, {3, 0.1, 0, 0.4}, w), 1e-12);
        EXPECT_REL_NEAR(Z(31, {3, 0.1, 1, 0.4}, w), Z(27, {3, 0.1, 0, 0.4}, w), 1e-10);
        // ... and agree with each other to O(U^2) at small U.
        EXPECT_REL_NEAR(Z(25, {3, 0.1, 1e-3, 0.4}, w), Z(31, {3, 0.1, 1e-3, 0.4}, w), 1e-5);
    }
    // The ladders approach the continuous lines as O(1/N).
    const double R = 2, T = 0.5, PHI = 0.8, tau = std::pow(R * T, 1 / PHI);
    double open100 = 0, open1000 = 0, shorted1000 = 0;
    for (double w : logGrid(1e-3, 1e3, 2)) {
        open100 = std::max(open100, nosk::test::relError(Z(23, {R, T, 100, PHI}, w), Z(16, {R, tau, 0, PHI / 2}, w)));
        open1000 = std::max(open1000, nosk::test::relError(Z(23, {R, T, 1000, PHI}, w), Z(16, {R, tau, 0, PHI / 2}, w)));
        shorted1000 = std::max(shorted1000, nosk::test::relError(Z(24, {R, T, 1000, PHI}, w), Z(9, {R, tau, 0, PHI / 2}, w)));
    }
    EXPECT_LT(open1000, 0.01);
    EXPECT_LT(shorted1000, 0.01);
    EXPECT_LT(open1000, open100 / 5);
    // The dc limits: percolation of the symmetric mixture, none for the differential one.
    const double low = 1e-14;
    EXPECT_REL_NEAR(eps(25, {2, 1, 0.2, 0.5}, low), Complex(2 / (1 - 0.6)), 1e-5);
    EXPECT_REL_NEAR(eps(31, {2, 1, 0.2, 0.5}, low), Complex(2 / std::pow(0.8, 3)), 1e-5);
    EXPECT_GT(std::abs(eps(25, {2, 1, 0.5, 0.5}, low)), 1e5);  // conducting above 1/3
    EXPECT_REL_NEAR(Z(15, {2, 1, 3, 0.5}, low), Complex(5), 1e-6);
    // Arrhenius: ln Z is linear in 1/Theta with slope U/k.
    const double k = 8.617333262e-5, E = 0.45;
    for (double theta : {200.0, 300.0, 700.0})
        EXPECT_NEAR(std::log(Z(33, {3, 0, E, 0}, theta).real()), std::log(3.0) + E / (k * theta), 1e-12);
    EXPECT_NEAR(Z(33, {3, 100, E, 1.5}, 400).real(), 3 * std::pow(400, 1.5) * std::exp(E / (k * 300)), 1e-9 * 1e9);
}

TEST(DeIdentities, LogNormalLimits)
{
    // sigma -> 0 is Debye, to O(sigma^2); the transient then is e^(-t/T).
    for (double x : {0.01, 1.0, 100.0}) {
        EXPECT_REL_NEAR(Z(14, {1, 1, 0, 1e-3}, x), 1.0 / (1.0 + I * x), 1e-6);
        EXPECT_NEAR(Z(14, {1, 1, 1, 1e-3}, x).real(), std::exp(-x), 1e-6);
    }
    // w -> 0 and w -> infinity.
    const double s = 2;
    EXPECT_REL_NEAR(Z(14, {1, 1, 0, s}, 1e-12).imag(), -1e-12 * std::exp(s * s / 2), 1e-6);
    EXPECT_REL_NEAR(Z(14, {1, 1, 0, s}, 1e12), std::exp(s * s / 2) / (I * 1e12), 1e-6);
}

// ---------------------------------------------------------------------------
// Limits of the power-law responses.

TEST(DeLimits, PowerLawEnds)
{
    const double phi = 0.6, q = 0.45;
    // DE 34: w -> infinity for PHI > 0, w -> 0 for PHI < 0.
    EXPECT_REL_NEAR(Z(34, {1, 1, 0, phi}, 1e12), kPi * phi / std::sin(kPi * phi) * std::pow(I * 1e12, -phi), 1e-4);
    EXPECT_REL_NEAR(1.0 - Z(34, {1, 1, 0, -q}, 1e-12), kPi * q / std::sin(kPi * q) * std::pow(I * 1e-12, q), 1e-6);
    EXPECT_REL_NEAR(Z(34, {1, 1, 0, -q}, 1e12), q / ((1 + q) * I * 1e12), 1e-6);
    // KWW: Gamma(1 + beta) (i x)^-beta at high frequency, <tau> at low.
    const double b = 0.4;
    EXPECT_REL_NEAR(Z(10, {1, 1, 0, b}, 1e12), std::tgamma(1 + b) * std::pow(I * 1e12, -b), 1e-4);
    EXPECT_REL_NEAR(1.0 - Z(10, {1, 1, 0, b}, 1e-9), I * 1e-9 * std::tgamma(1 + 1 / b), 1e-6);
    EXPECT_REL_NEAR(Z(10, {1, 1, 1, b}, 1e12), 1.0 / (I * 1e12 * std::tgamma(1 + 1 / b)), 1e-4);
    // DE 29 at high frequency.
    const double U = -0.5, P = 0.7;
    EXPECT_REL_NEAR(Z(29, {1, 1, U, P}, 1e12), std::tgamma(1 + P - U) * std::tgamma(1 - P) / std::tgamma(1 - U) * std::pow(I * 1e12, -P), 1e-3);
}

// ---------------------------------------------------------------------------
// Values computed once at 30 digits with mpmath, by methods independent of the
// engine's: quadrature of the Fourier integral along a rotated contour (KWW),
// quadrature of the DRT integral (DEs 12, 14, 29), mpmath's own 2F1 (DE 18).

TEST(DeAccuracy, StretchedExponentialReference)
{
    struct Ref {
        double beta, x;
        Complex N, Q;
    };
    const Ref refs[] = {
        {0.1, 1e-12, {0.99999971913582337625, -3.3983086224560689385e-6}, {0.93648275530645803153, -0.077398637738025933226}},
        {0.1, 0.01, {0.77682320832322526194, -0.052368932133069442063}, {1.4431473802102467607e-6, -6.1501540916218770181e-6}},
        {0.1, 1, {0.61095726728526822118, -0.057495536446696193062}, {1.5844228518159244961e-8, -1.0720974777191696613e-7}},
        {0.1, 100, {0.44826821064494770759, -0.051502492090336847508}, {1.4192706153642227384e-10, -1.5204249045278136372e-9}},
        {0.1, 1e+12, {0.057581965777630305951, -0.0088421067071832028176}, {2.4366475714239457477e-21, -2.597051461150713526e-19}},
        {0.37, 1e-12, {1.0, -4.183833484154823715e-12}, {1.0, -2.9059199818283113234e-11}},
        {0.37, 0.01, {0.99133163613434617712, -0.037550174503834902883}, {0.8975064291168942839, -0.20718711436492360495}},
        {0.37, 1, {0.55713082764032441966, -0.20448874914649820068}, {0.048875929197695345858, -0.10585248529534620848}},
        {0.37, 100, {0.12908562585178869966, -0.075913903453981079683}, {0.00018144580500511111354, -0.0020816181558051293067}},
        {0.37, 1e+12, {0.000026987162141441241079, -0.000017726855162299205389}, {4.2369886921731081739e-18, -2.3900879818114059259e-13}},
        {0.75, 1e-12, {1.0, -1.1906393487589989244e-12}, {1.0, -1.6848936271869642262e-12}},
        {0.75, 0.01, {0.99979947905440121809, -0.011902395647362489567}, {0.9996642274395124683, -0.016841451259592965353}},
        {0.75, 1, {0.50472104106067434266, -0.39113366260494583493}, {0.32850725369745564201, -0.41597731458779179626}},
        {0.75, 100, {0.011579630592848021228, -0.026376110135257548956}, {0.00022152896393647091102, -0.0083015933450996776311}},
        {0.75, 1e+12, {3.5171000280265591051e-10, -8.4910305718379537313e-10}, {7.1314882882481597991e-22, -8.398848909962433461e-13}},
    };
    for (const Ref& r : refs) {
        SCOPED_TRACE(testing::Message() << "beta " << r.beta << " x " << r.x);
        EXPECT_REL_NEAR(Z(10, {1, 1, 0, r.beta}, r.x), r.N, 1e-10);
        EXPECT_REL_NEAR(Z(10, {1, 1, 1, r.beta}, r.x), r.Q, 1e-10);
        EXPECT_REL_NEAR(Z(36, {1, 1, 0, std::min(r.beta, 0.98)}, r.x), r.N, 1e-10);
    }
}

TEST(DeAccuracy, DistributionReference)
{
    struct Ref {
        double U, PHI, x;
        Complex value;
    };
    const Ref edae[] = {
        {6.0, 0.7, 1e-08, {0.99999999999999997368, -4.1801781877071721204e-9}},
        {6.0, 0.7, 0.3, {0.97746386511937619645, -0.12050359415893169754}},
        {6.0, 0.7, 5, {0.36933431244664221802, -0.32556355157286207573}},
        {6.0, 0.7, 10000, {0.000013327758423180680981, -0.00119588465244811698}},
        {6.0, 0.7, 1e+10, {1.3336303910851398288e-17, -1.1961886132717850019e-9}},
        {6.0, -0.5, 1e-08, {0.99999999999999999825, -4.9787068367863942973e-10}},
        {6.0, -0.5, 0.3, {0.99848569400933626894, -0.014666505772287331457}},
        {6.0, -0.5, 5, {0.92190705849476467978, -0.11365503140202242126}},
        {6.0, -0.5, 10000, {0.00034225538306138778379, -0.014140616425357947884}},
        {6.0, -0.5, 1e+10, {3.4256477935399014547e-16, -1.4150477680530749807e-8}},
        {3.0, 2.5, 1e-08, {0.99999999999999994441, -7.1466131339571006847e-9}},
        {3.0, 2.5, 0.3, {0.95288951068018708937, -0.2028757166203501543}},
        {3.0, 2.5, 5, {0.1027982330672316426, -0.27373113279464175878}},
        {3.0, 2.5, 10000, {3.8864972765398660554e-8, -0.00016490635696377368352}},
        {3.0, 2.5, 1e+10, {3.8864987609771462344e-20, -1.6490637438183462207e-10}},
        {40.0, 0.3, 1e-08, {0.99999999999999998696, -2.3077064867310112123e-9}},
        {40.0, 0.3, 0.3, {0.98879341419324218243, -0.066905785599053417026}},
        {40.0, 0.3, 5, {0.63354212782932794738, -0.24149541884817033264}},
        {40.0, 0.3, 10000, {0.065487178354892625653, -0.033327658132292043775}},
        {40.0, 0.3, 1e+10, {0.0010318549893471711317, -0.00052888698613905086033}},
        {10.0, -1.7, 1e-08, {1.0, -1.1015643549612911454e-12}},
        {10.0, -1.7, 0.3, {0.99999998017411600017, -0.000033045518033258122117}},
        {10.0, -1.7, 5, {0.99999657631473286514, -0.00054936585209648764568}},
        {10.0, -1.7, 10000, {0.60318561151767246789, -0.43325770368890528801}},
        {10.0, -1.7, 1e+10, {2.2291374765931353415e-12, -1.3868516074517066938e-6}},
    };
    for (const Ref& r : edae)
        EXPECT_REL_NEAR(Z(12, {1, r.x, r.U, r.PHI}, 1), r.value, 1e-10) << r.U << " " << r.PHI << " " << r.x;
    const Ref dissadoHill[] = {
        {0.4, 0.6, 1.0e-10, {0.99995214241577329553, -0.000034770570226628038677}},
        {0.4, 0.6, 0.02, {0.89958887186772178306, -0.072254015761764208992}},
        {0.4, 0.6, 1.0, {0.5, -0.2339013137130279765}},
        {0.4, 0.6, 50.0, {0.1004111281322782161, -0.0722540157617642084}},
        {0.4, 0.6, 1.0e+9, {0.0001202128164818528852, -0.000087339723543388465786}},
        {0.8, 0.1, 1.0e-10, {0.99999999717890241609, -8.6824455885435951701e-9}},
        {0.8, 0.1, 0.02, {0.98709168896657757428, -0.037775889706591655986}},
        {0.8, 0.1, 1.0, {0.44251327242457440291, -0.43183356388690025504}},
        {0.8, 0.1, 50.0, {0.0041349918722357061575, -0.023637267036107842496}},
        {0.8, 0.1, 1.0e+9, {1.0083601307931327387e-9, -6.3665352699521317183e-9}},
        {0.2, 0.9, 1.0e-10, {0.99674281691931730176, -0.001058322937132379128}},
        {0.2, 0.9, 0.02, {0.85100003425951855176, -0.048248357939532216277}},
        {0.2, 0.9, 1.0, {0.67417802956630624739, -0.09027248418489079713}},
        {0.2, 0.9, 50.0, {0.45753536603153750119, -0.072210696881326083853}},
        {0.2, 0.9, 1.0e+9, {0.085169827449737914213, -0.013489575450782982074}},
        {1.0, 0.5, 1.0e-10, {1.0, -5.0000000000000001821e-11}},
        {1.0, 0.5, 0.02, {0.99985004373556752553, -0.0099975007872319701345}},
        {1.0, 0.5, 1.0, {0.77688698701501865367, -0.32179712645279131237}},
        {1.0, 0.5, 50.0, {0.10098475445227994955, -0.098985254294833555561}},
        {1.0, 0.5, 1.0e+9, {0.000022360679786178236843, -0.000022360679763817557068}},
        {0.5, 0.0, 1.0e-10, {0.99999292893218778097, -7.0710678115119219822e-6}},
        {0.5, 0.0, 0.02, {0.89901524554772004938, -0.09898525429483355657}},
        {0.5, 0.0, 1.0, {0.22311301298498134633, -0.32179712645279131237}},
        {0.5, 0.0, 50.0, {0.00014995626443247445985, -0.0099975007872319699265}},
        {0.5, 0.0, 1.0e+9, {3.7499999999999999973e-19, -4.9999999999999999969e-10}},
    };
    for (const Ref& r : dissadoHill)
        EXPECT_REL_NEAR(Z(18, {1, r.x, r.U, r.PHI}, 1), r.value, 1e-10) << r.U << " " << r.PHI << " " << r.x;
    const Ref davidsonCole[] = {
        {-0.5, 0.7, 1e-06, {0.99999999999983096591, -3.1818181818170948888e-7}},
        {-0.5, 0.7, 1, {0.88032438740696969737, -0.2457360831364793759}},
        {-0.5, 0.7, 1e+06, {0.00010653791000096835509, -0.00020509267864740074224}},
        {0.5, 2.0, 1e-06, {0.99999999999931427512, -7.9999999999939042939e-7}},
        {0.5, 2.0, 1, {0.61461133030484316035, -0.46467813089613901111}},
        {0.5, 2.0, 1e+06, {1.1401353100260553573e-11, -1.4999988218974291881e-6}},
    };
    for (const Ref& r : davidsonCole)
        EXPECT_REL_NEAR(Z(29, {1, r.x, r.U, r.PHI}, 1), r.value, 1e-10) << r.U << " " << r.PHI << " " << r.x;
    // Where the earlier double-precision series gave NaN (DE 12 at large U and
    // small PHI), where the singularity of the DE 29 DRT at tau = T is nearly
    // not integrable (U near 1), and where the connection formula of DE 18
    // degenerates (m near 1 below x = 1): mpmath at 40 digits, the DRT
    // integral (DE 12) and mpmath's own 2F1 (DEs 18, 29).
    const Ref hard[] = {
        {259, -0.0168, 1e-12, {1.0, -2.231517501904876309e-16}},
        {259, -0.0168, 1.0, {0.99992319584648589065, -0.00017575582357927320965}},
        {259, -0.0168, 1e6, {0.99658628863183314983, -0.00043482356013097951623}},
        {25, 0.08, 1.6e11, {0.0012050568667702091809, -0.0057753087701080615162}},
        {25, 0.08, 1e12, {0.00003372684078449522417, -0.00097840726299516738413}},
    };
    for (const Ref& r : hard)
        EXPECT_REL_NEAR(Z(12, {1, r.x, r.U, r.PHI}, 1), r.value, 1e-10) << r.U << " " << r.PHI << " " << r.x;
    const Ref hard29[] = {
        {0.996, 0.95, 0.5, {0.80114432790524688475, -0.39862265096520015128}},
        {0.996, 0.95, 3, {0.10210567263647240366, -0.30089483460823315371}},
        {0.996, 0.95, 1e6, {1.2572162317661207896e-8, -1.0797307892327911156e-6}},
        {0.99, 0.01, 1.4, {0.66935919607700215569, -0.24083156000946533211}},
        {0.5, 1, 1e12, {7.8539816340445263848e-13, -1.4508657738523826714e-11}},
    };
    for (const Ref& r : hard29)
        EXPECT_REL_NEAR(Z(29, {1, r.x, r.U, r.PHI}, 1), r.value, 1e-10) << r.U << " " << r.PHI << " " << r.x;
    const Ref hard18[] = {
        {0.97, 0.3, 1e-8, {0.99999999942323469298, -1.2230276661699466334e-8}},
        {0.97, 0.3, 0.1, {0.9903182341907060154, -0.074576741914667566872}},
        {0.999, 0.99, 0.7, {0.99797977127322715803, -0.0061018666870639080737}},
        {0.01, 0.5, 1.4, {0.012674305313374665449, -0.010128996808270946745}},
    };
    for (const Ref& r : hard18)
        EXPECT_REL_NEAR(Z(18, {1, r.x, r.U, r.PHI}, 1), r.value, 1e-10) << r.U << " " << r.PHI << " " << r.x;
    struct Gauss {
        double sigma, x;
        Complex value;
    };
    const Gauss logNormal[] = {
        {0.05, 1, {0.5, -0.49937694326642398535}},
        {1.0, 0.001, {0.9999926138753576903, -0.0016486315012885655285}},
        {1.0, 1, {0.5, -0.37063213706268979574}},
        {1.0, 1000, {7.3861246423096952823e-6, -0.0016486315012885654942}},
        {3.0, 1e-12, {0.99999999999999993441, -9.0017131075486782577e-11}},
        {3.0, 0.001, {0.98619402594857091468, -0.022686250999910689992}},
        {3.0, 1, {0.5, -0.1868341449929152716}},
        {3.0, 1000, {0.013805974051429085083, -0.022686250999910689711}},
        {3.0, 1e+12, {6.5588753910837134031e-17, -9.0017131075486784388e-11}},
        {12.0, 1e-12, {0.98916289007726740108, -0.0038216272406418608344}},
        {12.0, 0.001, {0.7170200980855463656, -0.043997457316251327578}},
        {12.0, 1, {0.5, -0.051783286431288390906}},
        {12.0, 1000, {0.28297990191445363381, -0.043997457316251327534}},
        {12.0, 1e+12, {0.010837109922732598971, -0.0038216272406418608489}},
    };
    for (const Gauss& r : logNormal)
        EXPECT_REL_NEAR(Z(14, {1, r.x, 0, r.sigma}, 1), r.value, 1e-10) << r.sigma << " " << r.x;
}

// ---------------------------------------------------------------------------
// Derivatives: every DE's derivatives in R, T, U, PHI against central
// differences of its values (and the sign of a subtracted DE).

TEST(DeDerivatives, AgreeWithCentralDifferences)
{
    struct Case {
        int de;
        DeParams p;
    };
    const std::vector<Case> cases = {
        {1, {50, 2e-4, 0, 0}}, {2, {0, 3e-3, 0, 0.8}}, {3, {40, 1e-3, 0, 0.7}}, {4, {40, 1e-3, 0.6, 0.7}},
        {5, {40, 1e-2, 0, 0.7}}, {6, {40, 1e-2, 0.6, 0.7}}, {7, {40, 1e-2, 0, 0.7}}, {9, {40, 1e-2, 0, 0.45}},
        {16, {40, 1e-2, 0, 0.45}}, {17, {40, 1e-5, 20, 0.3}}, {8, {40, 1e-2, 0.6, 0.9}}, {10, {40, 1e-2, 0, 0.55}},
        {10, {40, 1e-2, 1, 0.8}}, {11, {40, 1e-2, 1e-4, 0.6}}, {12, {40, 1e-2, 6, 0.7}}, {13, {40, 1e-2, 0.4, 0.8}},
        {14, {40, 1e-2, 0, 1.5}}, {14, {40, 1e-2, 1, 1.5}}, {15, {40, 1e-2, 30, 0.4}}, {18, {40, 1e-2, 0.4, 0.6}},
        {18, {40, 1e-2, 0.4, 0}}, {19, {4, 1e-2, 0.4, 0.6}}, {20, {40, 1e-2, 0, 0.6}}, {21, {4, 1e-2, 0, 0.6}},
        {22, {4e3, 1e-2, 0, 0.6}}, {23, {40, 1e-2, 7, 0.8}}, {24, {40, 1e-2, 7, 0.8}}, {25, {4, 1e-2, 0.4, 0.5}},
        {26, {40, 1e-2, 0, 0.6}}, {27, {4, 1e-2, 0, 0.6}}, {28, {4, 1e-2, 5, -0.5}}, {29, {40, 1e-2, -0.5, 0.7}},
        {30, {40, 1e-2, 5, 0}}, {30, {40, 1e-2, 5, 1}}, {31, {4, 1e-2, 0.3, 0.5}}, {32, {40, 1e-2, 1, 0}},
        {33, {40, 1e-4, 2e-9, 1.3}}, {34, {40, 1e-2, 0, -0.6}}, {35, {40, 1e-2, 0, 0}}, {36, {40, 1e-2, 1, 0.6}},
        {37, {2, 1e-2, 0, 0.6}},
    };
    const std::vector<double> omega = {3e-4, 0.9, 47, 2e3, 8e5};
    std::vector<double> lnOmega;
    for (double w : omega)
        lnOmega.push_back(std::log(w));
    const int n = static_cast<int>(omega.size());
    const DeContext ctx{kCell};
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.de, c.p));
        std::vector<Complex> z(n), d[4] = {std::vector<Complex>(n), std::vector<Complex>(n),
                                           std::vector<Complex>(n), std::vector<Complex>(n)};
        Complex* dp[4] = {d[0].data(), d[1].data(), d[2].data(), d[3].data()};
        ASSERT_TRUE(deEvaluate(c.de, c.p, ctx, omega.data(), lnOmega.data(), n, -1.0, z.data(), dp));
        for (int k = 0; k < 4; ++k) {
            const double x = k == 0 ? c.p.R : k == 1 ? c.p.T : k == 2 ? c.p.U : c.p.PHI;
            // Parameters that select a form or count sections have no derivative.
            const bool discrete = (k == 2 && (c.de == 10 || c.de == 14 || c.de == 23 || c.de == 24 || c.de == 32 || c.de == 35 || c.de == 36 || c.de == 37))
                || (k == 3 && c.de == 30);
            const double h = 1e-4 * (x != 0 ? std::abs(x) : 0.01);
            for (int i = 0; i < n; ++i) {
                Complex expected = 0.0;
                const double w = omega[i], lw = lnOmega[i];
                auto at = [&](double delta, Complex& out) {
                    DeParams a = c.p;
                    double* sa[4] = {&a.R, &a.T, &a.U, &a.PHI};
                    *sa[k] += delta;
                    return deEvaluate(c.de, a, ctx, &w, &lw, 1, 1.0, &out, nullptr);
                };
                if (!discrete && (x != 0 || k >= 2)) {
                    Complex f[5];
                    bool inside = true;
                    for (int j = -2; j <= 2; ++j)
                        inside = at(j * h, f[j + 2]) && inside;
                    bool positive = true;
                    for (const Complex& v : f)
                        positive = positive && v.imag() == 0 && v.real() > 0;
                    if (inside && positive) {  // a real density: smooth in its logarithm
                        const double dl = (-std::log(f[4].real()) + 8 * std::log(f[3].real())
                            - 8 * std::log(f[1].real()) + std::log(f[0].real())) / (12 * h);
                        expected = -f[2] * dl;
                    } else if (inside) {
                        expected = -(-f[4] + 8.0 * f[3] - 8.0 * f[1] + f[0]) / (12 * h);
                    } else {  // at the end of a range: one-sided, second order
                        const double e = 1e-2 * h;
                        Complex f1, f2;
                        at(e, f1), at(2 * e, f2);
                        expected = -(-3.0 * f[2] + 4.0 * f1 - f2) / (2 * e);
                    }
                }
                const double scale = std::abs(expected) + 1e-5 * std::abs(z[i]) / (x != 0 ? std::abs(x) : 0.01);
                EXPECT_LE(std::abs(d[k][i] - expected), 1e-6 * scale)
                    << "slot " << k << " w " << omega[i] << ": " << d[k][i] << " vs " << expected;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Refusals.

namespace {

std::string refusal(int de, const DeParams& p, std::vector<int> nfree = {0, 0, 0, 0}, double celcap = kCell,
    int selector = 9)
{
    try {
        deValidate(de, p, nfree.data(), selector, DeContext{celcap});
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(DeValidate, RefusesOutOfRangeValuesWithTheirNames)
{
    EXPECT_EQ(refusal(10, {1, 1, 0, 1.2}), "DE 10 (P[9]): PHI = 1.2 is outside 0.1 ... 1");
    EXPECT_EQ(refusal(10, {1, 1, 2, 0.5}), "DE 10 (P[9]): U = 2 must be 0 or 1");
    EXPECT_EQ(refusal(8, {1, 1, 0.8, 1.5}, {0, 0, 0, 0}, kCell, 14), "DE 8 (P[14]): U*PHI = 1.2 is above 1");
    EXPECT_EQ(refusal(15, {1, 1, 0, 0.6}), "DE 15 (P[9]): PHI = 0.6 is outside 0 ... 0.5");
    EXPECT_EQ(refusal(18, {1, 1, 0.5, 1}), "DE 18 (P[9]): PHI = 1 is outside 0 ... 1 (1 excluded)");
    EXPECT_EQ(refusal(12, {-1, 1, 5, 1}), "DE 12 (P[9]): R = -1 must be positive");
    EXPECT_EQ(refusal(27, {-1, 1, 0, 0.5}), "DE 27 (P[9]): R = -1 must not be negative");
    EXPECT_EQ(refusal(23, {1, 1, 2.5, 0.5}), "DE 23 (P[9]): U = 2.5 is no whole number of sections from 1 to 100000");
    EXPECT_EQ(refusal(36, {1, 1, 0, 0.99}), "DE 36 (P[9]): PHI = 0.99 is outside 0.1 ... 0.98; use DE 10 for beta near 1");
    EXPECT_EQ(refusal(34, {1, 1, 0, 0}), "DE 34 (P[9]): PHI = 0 is not allowed (the distribution cannot be normalised)");
    EXPECT_EQ(refusal(30, {1, 1, 5, 0.5}), "DE 30: PHI must be 0 or 1; use DE 12");
    EXPECT_EQ(refusal(19, {1, 1, 0.5, 0.5}, {0, 0, 0, 0}, 0), "DE 19 works at the dielectric level and needs CELCAP > 0");
    EXPECT_EQ(refusal(10, {1, 1, 0, 0.5}, {0, 0, 1, 0}), "DE 10: U selects the form (or is a reference value) and must be fixed");
    EXPECT_EQ(refusal(20, {1, 1, 0, 0.5}, {1, 2, 0, 2}), "DE 20: T selects the form (or is a reference value) and must be fixed");
    EXPECT_EQ(refusal(38, {1, 1, 0, 0.5}), "DE 38 is not available in this engine");
    // Values in range pass, and the first-edition DEs keep accepting anything.
    EXPECT_EQ(refusal(10, {1, 1, 0, 0.1}, {1, 1, 0, 2}), "");
    EXPECT_EQ(refusal(5, {-1, -1, 9, 7}), "");
}

TEST(DeValidate, EvaluationOutsideTheRangeReportsFailureAndWritesNothing)
{
    const double w = 2, lw = std::log(2.0);
    Complex z(7, 7), dz(7, 7);
    Complex* d[4] = {&dz, &dz, &dz, &dz};
    EXPECT_FALSE(deEvaluate(10, {1, 1, 0, 0.05}, DeContext{}, &w, &lw, 1, 1.0, &z, d));
    EXPECT_FALSE(deEvaluate(27, {1, 1, 0, 0.5}, DeContext{0.0}, &w, &lw, 1, 1.0, &z, d));
    EXPECT_FALSE(deEvaluate(40, {1, 1, 0, 0.5}, DeContext{}, &w, &lw, 1, 1.0, &z, d));
    EXPECT_EQ(z, Complex(7, 7));
    EXPECT_EQ(dz, Complex(7, 7));
}

TEST(DeResponse, ArgumentsThatUnderOrOverflowEndWithoutHanging)
{
    // w T that underflows to 0 or overflows to infinity (the fuzz target can
    // make such jobs): every DE returns, and the relaxation-type DEs give
    // their limits R and 0.
    const DeParams p{2, 1e-300, 0, 0.5};
    const DeParams q{2, 1e300, 0, 0.5};
    for (int de : {10, 14, 32, 35, 36}) {
        SCOPED_TRACE(de);
        EXPECT_EQ(Z(de, p, 1e-300), Complex(2.0));
        const Complex high = Z(de, q, 1e300);
        EXPECT_TRUE(std::abs(high) < 1e-100 || !std::isfinite(std::abs(high))) << high;
    }
    for (int de = 8; de <= 37; ++de) {
        DeParams r{2, 1e-300, 1, 0.5};
        if (de == 33)
            continue;  // a temperature law, not a frequency response
        if (de == 30 || de == 12 || de == 13 || de == 28)
            r.U = 3;
        const double lw = std::log(1e-300);
        const double w = 1e-300;
        Complex z;
        deEvaluate(de, r, DeContext{kCell}, &w, &lw, 1, 1.0, &z, nullptr);
        r.T = 1e300;
        const double w2 = 1e300, lw2 = std::log(1e300);
        deEvaluate(de, r, DeContext{kCell}, &w2, &lw2, 1, 1.0, &z, nullptr);
    }
}

TEST(DeAccuracy, PowerLawSeriesAgreeWithQuadrature)
{
    // The double-precision series of P_phi (and of 1 - P_phi) against the
    // quadrature of the DRT integral on both sides of the unit circle, for
    // exponents below, between and above 1.
    using nosk::engine::de::powerLawDrtQuadrature;
    using nosk::engine::de::powerLawDrtResponse;
    for (double phi : {0.07, 0.5, 0.93, 1.5, 2.7, 7.3}) {
        for (double r : {1e-9, 0.01, 0.3, 0.5, 2.0, 7.0, 1e4, 1e12}) {
            for (double angle : {-kPi / 2, 0.3, kPi / 2}) {
                const Complex z = std::polar(r, angle);
                const Complex series = powerLawDrtResponse(phi, z);
                EXPECT_REL_NEAR(series, powerLawDrtQuadrature(phi, z, false), 1e-12) << phi << " " << z;
                EXPECT_REL_NEAR(1.0 - series, powerLawDrtQuadrature(phi, z, true), r < 1 ? 1e-6 : 1e-12)
                    << phi << " " << z;
            }
        }
    }
}

// Every DE as an element of circuit B and of a circuit of the work folder,
// against its own value composed here.

TEST(DeCircuits, EveryDeWorksInCircuitBAndInAWorkFolderCircuit)
{
    using nosk::engine::CircuitLibrary;
    using nosk::engine::ModelFunction;
    const CircuitLibrary own = CircuitLibrary::parse("W = R(p1)-par(C(p2), DE(p10))\n", "CIRCUITS");
    const DeContext ctx{kCell};
    for (int de = 8; de <= 37; ++de) {
        if (de == 33 || de == 37)
            continue;  // real functions of the first column, alone by rule
        DeParams q{3, 1e-3, 0.4, 0.45};
        if (de == 10 || de == 14 || de == 32 || de == 35 || de == 36)
            q.U = 1;
        if (de == 12 || de == 13 || de == 28 || de == 30)
            q.U = 4, q.PHI = de == 30 ? 1 : 0.45;
        if (de == 23 || de == 24)
            q.U = 3;
        if (de == 29)
            q.U = -0.5;
        SCOPED_TRACE(describe(de, q));
        double pb[50] = {}, pw[50] = {};
        int nfree[50] = {};
        pb[15] = q.R, pb[16] = q.T, pb[17] = q.U, pb[18] = q.PHI, pb[19] = de;
        pw[0] = 5, pw[1] = 1e-9, pw[5] = q.R, pw[6] = q.T, pw[7] = q.U, pw[8] = q.PHI, pw[9] = de;
        const ModelFunction b('B', pb, nfree, ctx);
        const ModelFunction w('W', own.find('W')->circuit, pw, nfree, ctx);
        for (double omega : {1e-2, 3.0, 1e4}) {
            const Complex alone = Z(de, q, omega);
            EXPECT_REL_NEAR(b.impedance(pb, omega), alone, 1e-12) << omega;
            const Complex expected = 5.0 + 1.0 / (I * omega * 1e-9 + 1.0 / alone);
            EXPECT_REL_NEAR(w.impedance(pw, omega), expected, 1e-12) << omega;
        }
    }
}

TEST(DeEvaluation, OnePassGivesTheValuesAndDerivativesOfTheSeparatePasses)
{
    // With derivatives wanted, the power-law and diffusion DEs form their
    // power and tanh once per point for both. Their values must stay those of
    // the value-only pass to the bit (the fit's residuals and its Jacobian see
    // one model), and the derivatives those of the per-point formulas: on
    // both sides of the small-argument series, for T < 0, and subtracted.
    std::vector<double> w, lw;
    for (double e = -6; e <= 8; e += 0.25) {
        w.push_back(std::pow(10.0, e));
        lw.push_back(std::log(w.back()));
    }
    const int n = static_cast<int>(w.size());
    for (int de : {1, 2, 3, 4, 5, 6, 7, 9, 16, 17}) {
        for (const DeParams& p : {DeParams{3.0, 2e-3, 0.4, 0.5}, DeParams{1e4, 7e-9, 0.0, 0.9},
                 DeParams{0.2, -1e-2, 0.0, 0.45}, DeParams{5.0, 1e-12, 0.0, 0.8}}) {
            if (de == 17 || (de != 5 && de != 9 && de != 16 && p.T < 0))
                continue;
            for (double sign : {1.0, -1.0}) {
                std::vector<Complex> z(n), ref(n), d[4];
                Complex* dp[4];
                for (int k = 0; k < 4; ++k) {
                    d[k].assign(n, Complex(NAN, NAN));
                    dp[k] = d[k].data();
                }
                if (!deEvaluate(de, p, DeContext{kCell}, w.data(), lw.data(), n, sign, z.data(), dp))
                    continue;
                nosk::engine::deImpedances(de, p, w.data(), lw.data(), n, sign, ref.data());
                for (int i = 0; i < n; ++i) {
                    ASSERT_EQ(z[i], ref[i]) << "DE " << de << " T " << p.T << " w " << w[i];
                    Complex c[4];
                    nosk::engine::deRow(de).firstEdition->derivatives(p, w[i], lw[i], c);
                    for (int k = 0; k < 4; ++k)
                        EXPECT_REL_NEAR(d[k][i], sign * c[k], 1e-14)
                            << "DE " << de << " slot " << k << " w " << w[i];
                }
            }
        }
    }
}
