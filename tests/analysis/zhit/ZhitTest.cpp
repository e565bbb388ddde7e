#include "analysis/zhit/Zhit.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace {

using namespace nosk;
using cplx = std::complex<double>;

std::vector<double> logSpaced(double from, double to, int n)
{
    std::vector<double> f;
    for (int i = 0; i < n; ++i)
        f.push_back(from * std::pow(to / from, double(i) / (n - 1)));
    return f;
}

// R + ZARC (R || CPE), closed form; `noise` relative to |Z| on each part.
std::vector<cplx> zarc(const std::vector<double>& f, double noise, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<cplx> z;
    for (double fi : f) {
        const cplx v = 10.0 + 100.0 / (1.0 + std::pow(cplx(0, 2 * M_PI * fi * 1e-2), 0.8));
        const double m = std::abs(v);
        z.push_back(v + cplx(noise * m * g(gen), noise * m * g(gen)));
    }
    return z;
}

TEST(Zhit, ReconstructsTheExactModulusOfClosedForms)
{
    const auto f = logSpaced(1e-2, 1e5, 71);
    // Noise-free: against the exact |Z| of the ZARC and of a Randles-like
    // circuit with a Warburg tail.
    std::vector<cplx> randles;
    for (double fi : f) {
        const cplx jw(0, 2 * M_PI * fi);
        randles.push_back(2.0 + 1.0 / (jw * 1e-5 + 1.0 / (30.0 + 40.0 / std::sqrt(jw))));
    }
    for (const auto& z : {zarc(f, 0, 1), randles}) {
        const zhit::Result r = zhit::test(f, z);
        for (std::size_t i = 0; i < f.size(); ++i)
            EXPECT_NEAR(r.reconstructed[i] / std::abs(z[i]), 1, 0.02) << f[i];
        EXPECT_TRUE(r.verdict.valid) << r.verdict.text();
    }
    // With 0.2 % noise the deviations stay within 3 %.
    const zhit::Result noisy = zhit::test(f, zarc(f, 2e-3, 4));
    for (double d : noisy.deviation)
        EXPECT_LT(std::abs(d), 3.0);
    EXPECT_TRUE(noisy.verdict.valid) << noisy.verdict.text();
}

TEST(Zhit, DriftShowsAtTheLowFrequenciesAndAScaleFactorDoesNot)
{
    const auto f = logSpaced(1e-2, 1e5, 71);
    const auto z = zarc(f, 1e-3, 2);
    const zhit::Result clean = zhit::test(f, z);
    // The phase does not see a constant factor: the deviations are the same.
    std::vector<cplx> scaled = z;
    for (auto& v : scaled)
        v *= 1e6;
    const zhit::Result big = zhit::test(f, scaled);
    for (std::size_t i = 0; i < f.size(); ++i)
        EXPECT_NEAR(big.deviation[i], clean.deviation[i], 1e-6);

    // The sweep from high to low frequency; the cell loses 5 % of its
    // impedance over it.
    std::vector<cplx> drifted = z;
    for (std::size_t i = 0; i < f.size(); ++i)
        drifted[i] *= 1 - 0.05 * double(f.size() - 1 - i) / (f.size() - 1);
    const zhit::Result r = zhit::test(f, drifted);
    EXPECT_FALSE(r.verdict.valid);
    EXPECT_GT(r.verdict.below, 0) << r.verdict.text();
    EXPECT_LT(r.verdict.below, 100) << r.verdict.text();
    // The offset was taken where the sweep began.
    EXPECT_GT(r.offsetFromHz, 100);
}

TEST(Zhit, RefusesWhatItCannotTestAndReadsItsTableBack)
{
    EXPECT_THROW(zhit::test({1, 2, 3, 4}, {1.0, 1.0, 1.0, 1.0}), std::invalid_argument);
    EXPECT_THROW(zhit::test({1, 2, 2, 4, 5}, std::vector<cplx>(5, 1.0)), std::invalid_argument);
    EXPECT_THROW(zhit::test({1, 2, 3, 4, 5}, std::vector<cplx>(5, cplx(4e-320, 0))), std::invalid_argument);
    EXPECT_THROW(zhit::test({1, 2, 3, 4, 5}, {1.0, 1.0, cplx(NAN, 1), 1.0, 1.0}), std::invalid_argument);

    const auto f = logSpaced(1, 1e4, 9);
    const zhit::Result r = zhit::test(f, zarc(f, 0, 1));
    std::istringstream in(zhit::formatTable(r));
    const zhit::Table t = zhit::readTable(in);
    EXPECT_EQ(t.verdict, r.verdict.text());
    ASSERT_EQ(t.frequencyHz.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_REL_NEAR(t.frequencyHz[i], f[i], 1e-7);
        EXPECT_NEAR(t.deviation[i], r.deviation[i], 1e-5);
        EXPECT_REL_NEAR(t.reconstructed[i], r.reconstructed[i], 1e-7);
    }
}

} // namespace
