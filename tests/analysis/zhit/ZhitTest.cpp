#include "analysis/zhit/Zhit.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
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

// Circuits that obey the Kramers-Kronig relations exactly, in the shapes of
// the spectra shipped with the programs: an R-RC dummy cell over its file's
// range (1 Hz to 50 kHz, sweeping down) and one reaching well past its
// relaxation, and a battery (R, ZARC, finite-length diffusion), with and
// without the inductive top end that bends the phase at the last points.
struct Smooth {
    const char* name;
    std::vector<double> f;
    std::vector<cplx> z;
};

std::vector<Smooth> smoothSpectra(double noise)
{
    std::vector<Smooth> out;
    auto rrc = [](double r0, double r1, double c) {
        return [=](double f) { return r0 + r1 / (1.0 + cplx(0, 2 * M_PI * f * r1 * c)); };
    };
    auto battery = [](bool inductive) {
        return [=](double f) {
            const cplx jw(0, 2 * M_PI * f), s = std::sqrt(jw * 80.0);
            return 0.0155 + 0.0125 / (1.0 + std::pow(jw * 2e-3, 0.8)) + 0.02 / std::tanh(s) / s +
                   (inductive ? jw * 1.5e-7 : 0.0);
        };
    };
    auto add = [&](const char* name, std::vector<double> f, auto model) {
        Smooth s{name, std::move(f), {}};
        for (double fi : s.f)
            s.z.push_back(model(fi));
        if (noise > 0) {
            std::mt19937 gen(11);
            std::normal_distribution<double> g;
            for (auto& v : s.z)
                v += std::abs(v) * noise * cplx(g(gen), g(gen));
        }
        out.push_back(std::move(s));
    };
    add("dummy cell", logSpaced(5e4, 1, 48), rrc(29, 46.8, 11.3e-6));
    add("R-RC, wide", logSpaced(1e5, 0.1, 61), rrc(148.6, 504.5, 2e-6));
    add("R-RC, narrow", logSpaced(1e4, 1, 41), rrc(148.6, 504.5, 2e-6));
    add("battery", logSpaced(1e4, 3.16e-3, 66), battery(false));
    add("battery, inductive", logSpaced(1e4, 3.16e-3, 66), battery(true));
    // The measured battery's own Kramers-Kronig series: a smooth copy that
    // obeys the relations exactly and keeps the measured phase's steep rise
    // into the inductive range over its last points.
    std::ifstream in(NOSK_TEST_DATA_DIR "/battery-eis.txt");
    std::vector<double> f;
    std::vector<cplx> z;
    double fi, re, im;
    while (in >> fi >> re >> im) {
        f.push_back(fi);
        z.emplace_back(re, im);
    }
    const kk::Result series = kk::test(f, z);
    add("battery's series", f, [&](double at) {
        const std::size_t i = static_cast<std::size_t>(std::find(f.begin(), f.end(), at) - f.begin());
        return series.model.at(i);
    });
    return out;
}

TEST(ZhitVerdict, ExactSpectraAreValidAndOneBadPointIsNamedByBothTests)
{
    for (double noise : {0.0, 1.2e-4}) {
        for (const Smooth& s : smoothSpectra(noise)) {
            const zhit::Result z = zhit::test(s.f, s.z);
            EXPECT_TRUE(z.verdict.valid) << s.name << ", noise " << noise << ": " << z.verdict.text();
            const kk::Result k = kk::test(s.f, s.z);
            EXPECT_TRUE(k.verdict.valid) << s.name << ", noise " << noise << ": " << k.verdict.text();
        }
    }
    // One point 1 % off, 80x the noise: both tests name it with its
    // frequency; nothing else is said.
    for (const Smooth& s : smoothSpectra(1.2e-4)) {
        for (std::size_t at : {s.f.size() / 3, s.f.size() / 2, 2 * s.f.size() / 3}) {
            std::vector<cplx> z = s.z;
            z[at] *= 1.01;
            const zhit::Result zh = zhit::test(s.f, z);
            const kk::Result k = kk::test(s.f, z);
            for (const kk::Verdict* v : {&zh.verdict, &k.verdict}) {
                const std::string where = std::string(s.name) + " at " + std::to_string(s.f[at]) + ": " + v->text();
                EXPECT_FALSE(v->valid) << where;
                EXPECT_FALSE(v->systematic) << where;
                ASSERT_EQ(v->points.size(), 1u) << where;
                EXPECT_EQ(v->points[0].frequencyHz, s.f[at]) << where;
                EXPECT_NEAR(v->points[0].size, 1.0, 0.25) << where;
                EXPECT_NE(v->text().find("one point at "), std::string::npos) << where;
            }
        }
    }
}

TEST(ZhitVerdict, OneBadPointNearAnEndIsNamedAloneByBothTests)
{
    // A point 1 % off a few points in from either end: the allowances of
    // the ends do not hide it, and the neighbour whose line it drags is not
    // named with it. Z-HIT sees it two points in, the Kramers-Kronig test,
    // whose series follows the points nearest the ends, four.
    for (const Smooth& s : smoothSpectra(1.2e-4)) {
        const std::size_t n = s.f.size();
        for (std::size_t at : {std::size_t(2), std::size_t(4), n - 5, n - 3}) {
            std::vector<cplx> z = s.z;
            z[at] *= 1.01;
            const zhit::Result zh = zhit::test(s.f, z);
            const kk::Result k = kk::test(s.f, z);
            const bool kkToo = at == 4 || at == n - 5;
            for (const kk::Verdict* v : {&zh.verdict, &k.verdict}) {
                if (v == &k.verdict && !kkToo)
                    continue;
                const std::string where = std::string(s.name) + " at " + std::to_string(s.f[at]) + ": " + v->text();
                EXPECT_FALSE(v->systematic) << where;
                ASSERT_EQ(v->points.size(), 1u) << where;
                EXPECT_EQ(v->points[0].frequencyHz, s.f[at]) << where;
                // Two points in, the line the point is measured from
                // straddles the change of Z-HIT's slope estimate: the size
                // is the less certain.
                EXPECT_NEAR(v->points[0].size, 1.0, kkToo ? 0.25 : 0.7) << where;
            }
        }
    }
}

TEST(ZhitVerdict, TheMeasuredGlitchOfTheEcLabFileIsNamedByBothTests)
{
    // The EC-Lab export: one point at 56.2 Hz has |Z| 8.8 % below its
    // neighbours', in a stretch whose noise is several times that of the
    // rest of the spectrum.
    std::ifstream in(NOSK_TEST_DATA_DIR "/instruments/exampleDataBioLogic.mpt");
    ASSERT_TRUE(in) << "the EC-Lab example file";
    std::string line;
    for (int i = 0; i < 61 && std::getline(in, line); ++i) {
    }
    std::vector<double> f;
    std::vector<cplx> z;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double fi, re, minusIm;
        if (fields >> fi >> re >> minusIm) {
            f.push_back(fi);
            z.emplace_back(re, -minusIm);
        }
    }
    ASSERT_EQ(f.size(), 43u);
    const kk::Result k = kk::test(f, z);
    const zhit::Result zh = zhit::test(f, z);
    for (const kk::Verdict* v : {&k.verdict, &zh.verdict}) {
        EXPECT_FALSE(v->valid) << v->text();
        EXPECT_FALSE(v->systematic) << v->text();
        const auto named = std::find_if(v->points.begin(), v->points.end(),
                                        [](const kk::Outlier& p) { return std::abs(p.frequencyHz - 56.24) < 0.01; });
        ASSERT_NE(named, v->points.end()) << v->text();
        EXPECT_NEAR(named->size, 8.8, 1.5) << v->text();
        EXPECT_NE(v->text().find("56.2 Hz"), std::string::npos) << v->text();
    }
}

TEST(ZhitVerdict, DriftAtTheLowEndIsStillFlaggedThereNotAsPoints)
{
    // The sweep runs down in frequency and the cell loses 5 % on the way.
    for (const Smooth& s : smoothSpectra(1.2e-4)) {
        std::vector<cplx> z = s.z;
        for (std::size_t i = 0; i < z.size(); ++i)
            z[i] *= 1 - 0.05 * double(i) / (z.size() - 1);
        const zhit::Result r = zhit::test(s.f, z);
        EXPECT_TRUE(r.verdict.systematic) << s.name << ": " << r.verdict.text();
        EXPECT_GT(r.verdict.below, 0) << s.name << ": " << r.verdict.text();
        EXPECT_LT(r.verdict.below, 400) << s.name << ": " << r.verdict.text();
        EXPECT_TRUE(r.verdict.points.empty()) << s.name << ": " << r.verdict.text();
    }
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
    EXPECT_TRUE(t.points.empty());
    ASSERT_EQ(t.frequencyHz.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_REL_NEAR(t.frequencyHz[i], f[i], 1e-7);
        EXPECT_NEAR(t.deviation[i], r.deviation[i], 1e-5);
        EXPECT_REL_NEAR(t.reconstructed[i], r.reconstructed[i], 1e-7);
    }
    // A point apart is written and read back for the viewer to mark.
    const auto g = logSpaced(1, 1e4, 41);
    std::vector<cplx> z = zarc(g, 1e-4, 2);
    z[20] *= 1.05;
    const zhit::Result bad = zhit::test(g, z);
    ASSERT_EQ(bad.verdict.points.size(), 1u) << bad.verdict.text();
    std::istringstream badIn(zhit::formatTable(bad));
    const zhit::Table badTable = zhit::readTable(badIn);
    ASSERT_EQ(badTable.points.size(), 1u);
    EXPECT_REL_NEAR(badTable.points[0].frequencyHz, g[20], 1e-7);
    EXPECT_REL_NEAR(badTable.points[0].size, bad.verdict.points[0].size, 1e-5);
}

} // namespace
