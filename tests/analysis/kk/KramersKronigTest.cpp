#include "analysis/kk/KramersKronig.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using namespace nosk::kk;
using cplx = std::complex<double>;

std::vector<double> logSpaced(double from, double to, int n)
{
    std::vector<double> f;
    for (int i = 0; i < n; ++i)
        f.push_back(from * std::pow(to / from, double(i) / (n - 1)));
    return f;
}

// A battery-like spectrum that is causal and linear but no finite Voigt
// series: ohmic resistance, a depressed arc (R || CPE), a finite-length
// diffusion branch and a small lead inductance. `noise` is relative to |Z|.
std::vector<cplx> validSpectrum(const std::vector<double>& f, double noise, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<cplx> z;
    for (double fi : f) {
        const double w = 2 * M_PI * fi;
        const cplx jw(0, w);
        cplx v = 0.015 + 0.02 / (1.0 + 0.02 * 2e-3 * std::pow(jw, 0.85));
        const cplx s = std::sqrt(jw * 50.0);
        v += 0.01 * std::tanh(s) / s;  // finite diffusion, transmissive end
        v += jw * 1.5e-7;
        const double m = std::abs(v);
        z.push_back(v + cplx(noise * m * g(gen), noise * m * g(gen)));
    }
    return z;
}

double rms(const std::vector<double>& a, const std::vector<double>& b)
{
    double s = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        s += a[i] * a[i] + b[i] * b[i];
    return std::sqrt(s / (2 * a.size()));
}

TEST(KramersKronig, ValidDataLeaveResidualsAtTheNoiseLevelAndDriftDoesNot)
{
    const auto f = logSpaced(1e-2, 1e4, 61);
    const double noise = 1e-3;  // 0.1 % of |Z| per component
    auto z = validSpectrum(f, noise, 7);
    Result valid = test(f, z);
    const double validRms = rms(valid.residualReal, valid.residualImag);
    EXPECT_LT(validRms, 2 * 100 * noise) << "M = " << valid.elements;
    EXPECT_GT(validRms, 0.3 * 100 * noise);  // not over-fitted down into the noise
    EXPECT_LE(valid.mu, 0.85);

    // Drift: the cell's resistance grows by 3 % of the ohmic value over the
    // sweep, which runs from high to low frequency (the last points drift most).
    std::vector<cplx> drifted = z;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double t = double(f.size() - 1 - i) / (f.size() - 1);
        drifted[i] += 0.03 * 0.015 * t * t * 10;
    }
    Result bad = test(f, drifted);
    const double badRms = rms(bad.residualReal, bad.residualImag);
    EXPECT_GT(badRms, 5 * validRms);
    double worst = 0;
    for (std::size_t i = 0; i < f.size(); ++i)
        worst = std::max({worst, std::abs(bad.residualReal[i]), std::abs(bad.residualImag[i])});
    EXPECT_GT(worst, 1.0);  // outside the +-1 % band users look at

    // The imaginary part alone predicts the real part of valid data (the
    // Kramers-Kronig relation itself), not that of the drifted data.
    Options im;
    im.part = FitPart::Imaginary;
    Result fromImag = test(f, z, im);
    Result fromImagBad = test(f, drifted, im);
    std::vector<double> none(f.size(), 0.0);
    const double realOnly = rms(fromImag.residualReal, none);
    const double realOnlyBad = rms(fromImagBad.residualReal, none);
    EXPECT_LT(realOnly, 100 * noise * 4) << realOnlyBad;
    EXPECT_GT(realOnlyBad, 3 * realOnly);
}

// A spectrum longer than the choice of M takes whole (3001 points): the
// residuals at every point stay at the noise level and drift is still found,
// as on the 61 points above.
TEST(KramersKronig, ALongSpectrumIsTestedAtEveryPoint)
{
    const auto f = logSpaced(1e-2, 1e4, 3001);
    const double noise = 1e-3;
    auto z = validSpectrum(f, noise, 11);
    const Result valid = test(f, z);
    ASSERT_EQ(valid.residualReal.size(), f.size());
    const double validRms = rms(valid.residualReal, valid.residualImag);
    EXPECT_LT(validRms, 2 * 100 * noise) << "M = " << valid.elements;
    EXPECT_GT(validRms, 0.3 * 100 * noise);
    EXPECT_TRUE(valid.verdict.valid) << valid.verdict.text();
    std::vector<cplx> drifted = z;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double t = double(f.size() - 1 - i) / (f.size() - 1);
        drifted[i] += 0.03 * 0.015 * t * t * 10;
    }
    const Result bad = test(f, drifted);
    EXPECT_GT(rms(bad.residualReal, bad.residualImag), 5 * validRms);
    EXPECT_FALSE(bad.verdict.valid);
}

TEST(KramersKronig, ElementCountIsTheFirstBelowTheCutoff)
{
    const auto f = logSpaced(1e-2, 1e4, 61);
    const auto z = validSpectrum(f, 1e-3, 11);
    for (double cutoff : {0.85, 0.5}) {
        Options o;
        o.rule = Rule::Cutoff;
        o.cutoff = cutoff;
        Result r = test(f, z, o);
        ASSERT_EQ(int(r.muHistory.size()), r.elements);
        ASSERT_GE(r.elements, 2);
        EXPECT_LE(r.mu, cutoff);
        // Every smaller M, refitted on its own, stays above the cutoff.
        for (int m = 1; m < r.elements; ++m) {
            Options fixed = o;
            fixed.elements = m;
            Result rm = test(f, z, fixed);
            EXPECT_GT(rm.mu, cutoff) << "M = " << m;
            EXPECT_DOUBLE_EQ(rm.mu, r.muHistory[m - 1]);
            EXPECT_DOUBLE_EQ(rm.mu, overfitMeasure(rm.resistance));
        }
    }
    EXPECT_DOUBLE_EQ(overfitMeasure({1, 2, 3, -3, -2, -1}), 0.0);
    EXPECT_DOUBLE_EQ(overfitMeasure({-1, 2, 4, -3, 4, -1}), 0.5);
    EXPECT_DOUBLE_EQ(overfitMeasure({}), 1.0);
    EXPECT_TRUE(std::isinf(overfitMeasure({-1})));
}

TEST(KramersKronig, RecoversAVoigtCircuitOnItsOwnTimeConstants)
{
    // Data made of exactly the elements the test fits: every part fit must
    // give the resistances, the inductance and the capacitance back.
    const auto f = logSpaced(0.1, 1e5, 40);
    const int m = 6;
    const auto tau = timeConstants(0.1, 1e5, m);
    EXPECT_NEAR(tau.front(), 1 / (2 * M_PI * 1e5), 1e-18);
    EXPECT_NEAR(tau.back(), 1 / (2 * M_PI * 0.1), 1e-12);
    EXPECT_NEAR(tau[1] / tau[0], tau[4] / tau[3], 1e-9);
    const double rk[m] = {5, 40, 12, 80, 3, 20};
    std::vector<cplx> z;
    for (double fi : f) {
        const double w = 2 * M_PI * fi;
        cplx v = 10.0 + cplx(0, w * 2e-6) - cplx(0, 1 / (w * 0.5));
        for (int k = 0; k < m; ++k)
            v += rk[k] / (1.0 + cplx(0, w * tau[k]));
        z.push_back(v);
    }
    for (FitPart part : {FitPart::Complex, FitPart::Real, FitPart::Imaginary}) {
        Options o;
        o.elements = m;
        o.capacitance = true;
        o.part = part;
        Result r = test(f, z, o);
        for (int k = 0; k < m; ++k)
            EXPECT_NEAR(r.resistance[k], rk[k], 1e-6 * 80) << int(part) << " k " << k;
        EXPECT_NEAR(r.seriesResistance, 10, 1e-5);
        EXPECT_NEAR(r.seriesInductance, 2e-6, 1e-10);
        EXPECT_NEAR(r.inverseCapacitance, 2.0, 1e-5);
        for (std::size_t i = 0; i < f.size(); ++i) {
            EXPECT_NEAR(r.residualReal[i], 0, 1e-6);
            EXPECT_NEAR(r.residualImag[i], 0, 1e-6);
        }
    }
}

// The published result of impedance.py's linKK on its example data (the
// battery spectrum, points below the real axis and under 1 kHz, complex fit
// with a series capacitance, cutoff 0.5): M = 26, mu = 0.31, with mu = 1.0
// at M = 10 and 0.8929547569244768 at M = 20.
TEST(KramersKronig, AgreesWithThePublishedPeerResultOnItsExampleData)
{
    std::ifstream in(NOSK_TEST_DATA_DIR "/battery-eis.txt");
    ASSERT_TRUE(in);
    std::vector<double> f;
    std::vector<cplx> z;
    double a, b, c;
    while (in >> a >> b >> c) {
        if (c < 0 && a < 1000) {
            f.push_back(a);
            z.emplace_back(b, c);
        }
    }
    ASSERT_GT(f.size(), 40u);
    Options o;
    o.rule = Rule::Cutoff;
    o.cutoff = 0.5;
    o.maxElements = 100;
    o.capacitance = true;
    Result r = test(f, z, o);
    EXPECT_EQ(r.elements, 26);
    EXPECT_NEAR(r.mu, 0.31, 0.005);
    ASSERT_GE(r.muHistory.size(), 20u);
    EXPECT_NEAR(r.muHistory[9], 1.0, 1e-12);
    EXPECT_NEAR(r.muHistory[19], 0.8929547569244768, 1e-6);
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_LT(std::abs(r.residualReal[i]), 1.0);
        EXPECT_LT(std::abs(r.residualImag[i]), 1.0);
    }
}

TEST(KramersKronig, RefusesDataItCannotTestAndWritesItsTable)
{
    EXPECT_THROW(test({1, 2}, {1.0, 2.0}), std::invalid_argument);
    EXPECT_THROW(test({1, 0, 3}, {1.0, 1.0, 1.0}), std::invalid_argument);
    EXPECT_THROW(test({1, 2, 3}, {1.0, 0.0, 1.0}), std::invalid_argument);
    EXPECT_THROW(test({5, 5, 5}, {1.0, 2.0, 3.0}), std::invalid_argument);
    EXPECT_THROW(test({1, 2, 3}, {1.0, cplx(NAN, 0), 1.0}), std::invalid_argument);

    // Few points: M never outgrows the equations, and four points, which the
    // series fits exactly whatever they are, get no verdict (never "valid").
    const auto f = logSpaced(1, 1e3, 4);
    Result r = test(f, validSpectrum(f, 0, 1));
    EXPECT_LE(r.elements + 2, 8);
    EXPECT_FALSE(r.verdict.valid);
    EXPECT_EQ(r.verdict.text(), "too few points to judge (4; the test needs at least 5)");
    EXPECT_TRUE(test(logSpaced(1, 1e3, 5), validSpectrum(logSpaced(1, 1e3, 5), 0, 1)).verdict.valid);

    const std::string table = formatTable(f, r);
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("# Kramers-Kronig test: M = ", 0), 0u);
    int rows = 0;
    double fr, re, im;
    while (lines.peek() == '#')
        std::getline(lines, line);
    while (lines >> fr >> re >> im) {
        EXPECT_DOUBLE_EQ(fr, std::stod(std::to_string(fr)));
        EXPECT_REL_NEAR(fr, f[rows], 1e-7);
        EXPECT_REL_NEAR_FLOOR(r.residualReal[rows], re, 1e-6, 1.0);
        ++rows;
    }
    EXPECT_EQ(rows, 4);
}

// ---- the automatic choice of M and the verdict -----------------------------

// Spectra of several shapes that obey the Kramers-Kronig relations, with
// `noise` (relative to |Z|) on each part.
enum class Shape { Rc, Cpe, Diffusion, Inductive, Blocking };

std::vector<cplx> shaped(Shape shape, const std::vector<double>& f, double noise, unsigned seed,
                         double (*drift)(double fraction) = nullptr)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<cplx> z;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const cplx jw(0, 2 * M_PI * f[i]);
        cplx v;
        switch (shape) {
        case Shape::Rc: v = 5.0 + 20.0 / (1.0 + jw * 1e-3); break;
        case Shape::Cpe: v = 5.0 + 20.0 / (1.0 + std::pow(jw * 1e-3, 0.75)); break;
        case Shape::Diffusion: v = 5.0 + 20.0 / (1.0 + jw * 1e-3) + 8.0 / std::sqrt(jw); break;
        case Shape::Inductive: v = 5.0 + 20.0 / (1.0 + jw * 1e-3) + jw * 2e-5; break;
        case Shape::Blocking: v = 5.0 + 1.0 / (std::pow(jw, 0.9) * 2e-4); break;
        }
        // The sweep runs from the highest frequency (f sorted ascending).
        if (drift)
            v *= drift(double(f.size() - 1 - i) / (f.size() - 1));
        const double m = std::abs(v);
        z.push_back(v + cplx(noise * m * g(gen), noise * m * g(gen)));
    }
    return z;
}

TEST(KramersKronigRule, ValidSpectraOfEveryShapeGiveNoiseLevelResidualsAndAValidVerdict)
{
    const auto f = logSpaced(0.1, 1e5, 61);
    const double noise = 1e-3;
    for (Shape shape : {Shape::Rc, Shape::Cpe, Shape::Diffusion, Shape::Inductive, Shape::Blocking}) {
        const Result r = test(f, shaped(shape, f, noise, 5));
        const double res = rms(r.residualReal, r.residualImag);
        EXPECT_LT(res, 1.3 * 100 * noise) << int(shape) << " M = " << r.elements;
        EXPECT_TRUE(r.verdict.valid) << int(shape) << ": " << r.verdict.text();
        // The noise the residuals reveal is the noise put in.
        EXPECT_NEAR(r.verdict.noise, 100 * noise, 0.4 * 100 * noise) << int(shape);
    }
    // The blocking electrode (capacitive at low frequency) was also tried
    // as an admittance; whichever was used is named in the table.
    const Result blocking = test(f, shaped(Shape::Blocking, f, noise, 5));
    const std::string table = formatTable(f, blocking);
    EXPECT_NE(table.find("# Representation: " + blocking.representationText()), std::string::npos);
}

TEST(KramersKronigRule, AnIdealRcIsNotStoppedAtAnUnderfit)
{
    // 30 points over seven decades, exact: the classic rule (mu <= 0.85) stops
    // with residuals of tens of percent; the automatic one reaches the data.
    const auto f = logSpaced(1e-2, 1e5, 30);
    const auto z = shaped(Shape::Rc, f, 0, 1);
    Options classic;
    classic.rule = Rule::Cutoff;
    EXPECT_GT(rms(test(f, z, classic).residualReal, test(f, z, classic).residualImag), 1.0);
    const Result r = test(f, z);
    EXPECT_LT(rms(r.residualReal, r.residualImag), 0.01);
    EXPECT_TRUE(r.verdict.valid);
}

// The rule as documented, recomputed here from fits at fixed M: Md is the
// smallest M whose s(M) is within 15 % of the smallest s; M is the first from
// Md with mu <= cutoff, else Md.
TEST(KramersKronigRule, ChosenMFollowsTheDocumentedRule)
{
    const auto f = logSpaced(0.1, 1e5, 50);
    for (Shape shape : {Shape::Cpe, Shape::Diffusion}) {
        const auto z = shaped(shape, f, 2e-3, 9);
        const Result r = test(f, z);
        const int tried = int(r.noiseHistory.size());
        ASSERT_GE(tried, r.elements);
        std::vector<double> s(tried + 1), mu(tried + 1);
        for (int m = 1; m <= tried; ++m) {
            Options fixed;
            fixed.elements = m;
            fixed.representation = r.representation;
            fixed.extendDecades = r.extendDecades;
            const Result rm = test(f, z, fixed);
            double sum = 0;
            for (std::size_t i = 0; i < f.size(); ++i)
                sum += rm.residualReal[i] * rm.residualReal[i] + rm.residualImag[i] * rm.residualImag[i];
            s[m] = std::sqrt(sum / (2.0 * f.size() - rm.unknowns));
            mu[m] = rm.mu;
            EXPECT_REL_NEAR(s[m], r.noiseHistory[m - 1], 1e-6);
        }
        const double least = *std::min_element(s.begin() + 1, s.end());
        int md = 1;
        while (s[md] > 1.15 * least)
            ++md;
        int expected = md;
        for (int m = md; m <= tried; ++m) {
            if (mu[m] <= 0.85) {
                expected = m;
                break;
            }
        }
        EXPECT_EQ(r.describedFrom, md) << int(shape);
        EXPECT_EQ(r.elements, expected) << int(shape);
    }
}

double linearDrift(double fraction) { return 1 - 0.05 * fraction; }

TEST(KramersKronigRule, DriftAJumpAndATimeVaryingElementAreFlaggedWhereTheyAre)
{
    const auto f = logSpaced(0.1, 1e5, 61);
    const double noise = 5e-4;
    const Result clean = test(f, shaped(Shape::Cpe, f, noise, 3));
    ASSERT_TRUE(clean.verdict.valid) << clean.verdict.text();

    // The cell's impedance falls by 5 % during the sweep.
    const Result drifted = test(f, shaped(Shape::Cpe, f, noise, 3, linearDrift));
    EXPECT_FALSE(drifted.verdict.valid) << drifted.verdict.text();
    EXPECT_GT(rms(drifted.residualReal, drifted.residualImag), 3 * rms(clean.residualReal, clean.residualImag));

    // A 2 % step where the instrument changes its current range at 100 Hz.
    auto jumped = shaped(Shape::Cpe, f, noise, 3);
    for (std::size_t i = 0; i < f.size(); ++i)
        if (f[i] < 100)
            jumped[i] *= 1.02;
    const Result jump = test(f, jumped);
    EXPECT_FALSE(jump.verdict.valid);
    const double lo = jump.verdict.below > 0 ? f.front() : jump.verdict.from > 0 ? jump.verdict.from : jump.verdict.above;
    const double hi = jump.verdict.below > 0 ? jump.verdict.below : jump.verdict.to > 0 ? jump.verdict.to : f.back();
    EXPECT_TRUE(jump.verdict.at > 10 && jump.verdict.at < 1000) << jump.verdict.text();
    EXPECT_TRUE(lo <= 100 && hi >= 100) << jump.verdict.text();

    // The charge-transfer resistance grows by 20 % while the low frequencies
    // are measured (the last third of the sweep).
    std::vector<cplx> varying;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double late = std::max(0.0, (1.0 / 3 - double(i) / (f.size() - 1)) * 3);
        const cplx jw(0, 2 * M_PI * f[i]);
        varying.push_back(5.0 + 20.0 * (1 + 0.2 * late) / (1.0 + std::pow(jw * 1e-3, 0.75)));
    }
    const Result timeVarying = test(f, varying);
    EXPECT_FALSE(timeVarying.verdict.valid) << timeVarying.verdict.text();
    EXPECT_LT(timeVarying.verdict.at, 100) << timeVarying.verdict.text();
}

TEST(KramersKronigRule, DegenerateDataAreRefusedOrExplainedNeverPrintedAsGarbage)
{
    const auto f = logSpaced(1, 1e4, 20);
    // Subnormal impedances have lost their digits: refused, not a NaN table.
    std::vector<cplx> tiny(f.size(), cplx(4e-320, -1e-320));
    EXPECT_THROW(test(f, tiny), std::invalid_argument);
    // Tiny but normal values test like any others (the fit is scaled).
    auto small = shaped(Shape::Rc, f, 1e-3, 2);
    for (auto& v : small)
        v *= 1e-300;
    const Result scaled = test(f, small);
    const Result plain = test(f, shaped(Shape::Rc, f, 1e-3, 2));
    EXPECT_EQ(scaled.elements, plain.elements);
    EXPECT_REL_NEAR(scaled.seriesResistance, plain.seriesResistance * 1e-300, 1e-9);
    EXPECT_NEAR(scaled.residualReal[7], plain.residualReal[7], 1e-9);

    // A resistor with an inductor: no RC element keeps a positive
    // resistance, mu is undefined and the table says so.
    std::vector<cplx> inductive;
    for (double fi : f)
        inductive.emplace_back(-2.0, 2 * M_PI * fi * 1e-4);
    const Result r = test(f, inductive);
    const std::string table = formatTable(f, r);
    EXPECT_EQ(table.find("inf"), std::string::npos) << table;
    if (r.muUndefined()) {
        EXPECT_NE(table.find("mu is undefined"), std::string::npos);
    }
    EXPECT_LT(rms(r.residualReal, r.residualImag), 1e-6);
    std::istringstream in(table);
    const Table back = readTable(in);
    EXPECT_EQ(back.verdict, r.verdict.text());
    EXPECT_EQ(back.elements, r.elements);
}

} // namespace
