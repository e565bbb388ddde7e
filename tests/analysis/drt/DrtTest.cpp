#include "analysis/drt/Drt.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <sstream>

using namespace nosk::drt;
using std::numbers::pi;
using cd = std::complex<double>;

namespace {

// The analytic DRTs, written out here as the reference:
//   ZARC  gamma = (R / 2 pi) sin((1 - phi) pi) / (cosh(phi ln(tau / tau0)) - cos((1 - phi) pi))
//   HN    gamma = (R / pi) y^beta sin(beta theta) / (y^2 + 2 y cos(pi alpha) + 1)^(beta / 2),
//         y = (tau / tau0)^alpha, theta = atan2(sin(pi alpha), y + cos(pi alpha))
double zarc(double r, double tau0, double phi, double tau)
{
    return r / (2 * pi) * std::sin((1 - phi) * pi) / (std::cosh(phi * std::log(tau / tau0)) - std::cos((1 - phi) * pi));
}
double hn(double r, double tau0, double a, double b, double tau)
{
    const double y = std::pow(tau / tau0, a);
    const double theta = std::atan2(std::sin(pi * a), y + std::cos(pi * a));
    return r / pi * std::pow(y, b) * std::sin(b * theta) / std::pow(y * y + 2 * y * std::cos(pi * a) + 1, b / 2);
}

// Z from a DRT by quadrature in ln tau: the independent check of each formula.
template <class G>
cd impedanceOf(G gamma, double omega, double lo = -30, double hi = 30)
{
    const int n = 60000;
    const double h = (hi - lo) / n;
    cd sum = 0;
    for (int i = 0; i <= n; ++i) {
        const double u = lo + i * h, tau = std::exp(u);
        const double w = (i == 0 || i == n) ? 0.5 : 1;
        sum += w * gamma(tau) / cd(1, omega * tau);
    }
    return sum * h;
}

struct Spectrum {
    std::vector<double> f;
    std::vector<cd> z;
};

// 80 points, 10 per decade from 1 MHz down to 10 mHz, with relative noise on both parts.
template <class Z>
Spectrum synthetic(Z model, double noise, unsigned seed = 3, double fHi = 1e6, int count = 80)
{
    Spectrum s;
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal;
    for (int i = 0; i < count; ++i) {
        const double f = fHi * std::pow(10.0, -i / 10.0);
        const cd z = model(2 * pi * f);
        const double e = noise * std::abs(z);
        s.f.push_back(f);
        s.z.push_back(z + cd(e * normal(rng), e * normal(rng)));
    }
    return s;
}

// Relative L2 error of gamma over the measured range of tau.
template <class G>
double relativeError(const Result& r, const Spectrum& s, G truth)
{
    const double tLo = 1 / (2 * pi * s.f.front()), tHi = 1 / (2 * pi * s.f.back());
    double num = 0, den = 0;
    for (std::size_t i = 0; i < r.tau.size(); ++i) {
        if (r.tau[i] < tLo || r.tau[i] > tHi)
            continue;
        const double g = truth(r.tau[i]);
        num += (r.gamma[i] - g) * (r.gamma[i] - g);
        den += g * g;
    }
    return std::sqrt(num / den);
}

} // namespace

TEST(ElementDrt, FormulasReproduceTheirImpedances)
{
    for (double w : {1e-3, 0.7, 1e2, 3e4}) {
        EXPECT_REL_NEAR(impedanceOf([](double t) { return zarc(100, 1e-2, 0.8, t); }, w),
                        zarcImpedance(100, 1e-2, 0.8, w), 1e-6);
        EXPECT_REL_NEAR(impedanceOf([](double t) { return zarcGamma(100, 1e-2, 0.8, t); }, w),
                        zarcImpedance(100, 1e-2, 0.8, w), 1e-6);
        // The HN's short-time tail falls as tau^(alpha beta): a wider range.
        EXPECT_REL_NEAR(impedanceOf([](double t) { return hn(50, 1e-1, 0.7, 0.6, t); }, w, -120, 30),
                        havriliakNegamiImpedance(50, 1e-1, 0.7, 0.6, w), 1e-5);
        EXPECT_REL_NEAR(impedanceOf([](double t) { return havriliakNegamiGamma(50, 1e-1, 0.7, 0.6, t); }, w, -120, 30),
                        havriliakNegamiImpedance(50, 1e-1, 0.7, 0.6, w), 1e-5);
        // The finite Warburg as the sum of its lines; the lines left out add
        // about 2 R / (pi^2 K) to the real part.
        cd sum = 0;
        for (const Line& l : finiteWarburgLines(20, 5, 20000))
            sum += l.resistance / cd(1, w * l.tau);
        const cd s = std::sqrt(cd(0, w * 5));
        EXPECT_NEAR(std::abs(sum - 20.0 * std::tanh(s) / s), 0, 2.5e-4);
        // Its finite-space sibling: the same with coth and the series capacitance T / R.
        cd open = 1.0 / cd(0, w * 5 / 20.0);
        for (const Line& l : finiteSpaceWarburgLines(20, 5, 20000))
            open += l.resistance / cd(1, w * l.tau);
        EXPECT_NEAR(std::abs(open - 20.0 / (std::tanh(s) * s)), 0, 2.5e-4);
    }
    // Davidson-Cole is the HN with alpha = 1 (its gamma ends at tau0 with an
    // integrable singularity).
    for (double t : {1e-5, 1e-3, 5e-3, 9.9e-3, 2e-2})
        EXPECT_REL_NEAR_FLOOR(davidsonColeGamma(10, 1e-2, 0.5, t), hn(10, 1e-2, 1.0, 0.5, t), 1e-9, 1e-6);
    // KWW at beta = 1/2: the relaxation exp(-sqrt(t / tau0)) as a sum of exponentials.
    for (double t : {1e-4, 1e-2, 1.0, 10.0}) {
        const int n = 40000;
        double sum = 0;
        for (int i = 0; i <= n; ++i) {
            const double u = -30 + 60.0 * i / n;
            sum += kwwHalfGamma(1, 0.1, std::exp(u)) * std::exp(-t / std::exp(u)) * 60.0 / n;
        }
        EXPECT_REL_NEAR(sum, std::exp(-std::sqrt(t / 0.1)), 1e-6);
    }
}

TEST(Drt, OneZarcWithNoiseIsRecovered)
{
    const Spectrum s = synthetic([](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.8, w); }, 0.002);
    const Result r = compute(s.f, s.z);
    EXPECT_LT(relativeError(r, s, [](double t) { return zarc(100, 1e-3, 0.8, t); }), 0.06);
    ASSERT_EQ(r.peaks.size(), 1u);
    EXPECT_REL_NEAR(r.peaks[0].tau, 1e-3, 0.015);  // the expansion's own maximum
    EXPECT_REL_NEAR(r.peaks[0].frequencyHz, 1 / (2 * pi * 1e-3), 0.015);
    EXPECT_REL_NEAR(r.peaks[0].area, 100.0, 0.05);
    // Gaussians below the shortest measured time constant act as resistances:
    // R_inf shares a little with them.
    EXPECT_REL_NEAR(r.seriesResistance, 10.0, 0.10);
    EXPECT_EQ(r.seriesCapacitance, 0);
    EXPECT_LT(r.residualRms, 0.004);
    for (double g : r.gamma)
        EXPECT_GE(g, 0);
}

// A spectrum longer than the lambda search takes whole (4000 points over the
// same eight decades as the 80 of the test above, the same noise per point)
// gives the same DRT: the peak at tau0 with the ZARC's resistance, R_inf, a
// model at every point with residuals at the noise level.
TEST(Drt, ALongSpectrumGivesTheDrtOfAShortOne)
{
    Spectrum s;
    std::mt19937 rng(5);
    std::normal_distribution<double> normal;
    const int count = 4000;
    for (int i = 0; i < count; ++i) {
        const double f = 1e6 * std::pow(10.0, -8.0 * i / (count - 1));
        const cd z = 10.0 + zarcImpedance(100, 1e-3, 0.8, 2 * pi * f);
        const double e = 0.002 * std::abs(z);
        s.f.push_back(f);
        s.z.push_back(z + cd(e * normal(rng), e * normal(rng)));
    }
    const Result r = compute(s.f, s.z);
    EXPECT_LT(relativeError(r, s, [](double t) { return zarc(100, 1e-3, 0.8, t); }), 0.06);
    ASSERT_EQ(r.peaks.size(), 1u);
    EXPECT_REL_NEAR(r.peaks[0].tau, 1e-3, 0.015);
    EXPECT_REL_NEAR(r.peaks[0].area, 100.0, 0.05);
    EXPECT_REL_NEAR(r.seriesResistance, 10.0, 0.10);
    ASSERT_EQ(r.model.size(), s.z.size());
    EXPECT_LT(r.residualRms, 0.003);
    EXPECT_GT(r.residualRms, 0.001);  // at the noise (0.2 % per part), not fitted into it
    double worst = 0;
    for (std::size_t i = 0; i < s.z.size(); ++i)
        worst = std::max(worst, std::abs(r.model[i] - s.z[i]) / std::abs(s.z[i]));
    EXPECT_LT(worst, 0.02);
}

TEST(Drt, TwoZarcsThreeDecadesApartAreResolved)
{
    const Spectrum s = synthetic(
        [](double w) { return 5.0 + zarcImpedance(100, 1e-5, 0.85, w) + zarcImpedance(50, 1e-2, 0.85, w); }, 0.002);
    const Result r = compute(s.f, s.z);
    ASSERT_EQ(r.peaks.size(), 2u);
    EXPECT_REL_NEAR(r.peaks[0].tau, 1e-5, 0.05);
    EXPECT_REL_NEAR(r.peaks[1].tau, 1e-2, 0.05);
    EXPECT_REL_NEAR(r.peaks[0].area, 100.0, 0.10);
    EXPECT_REL_NEAR(r.peaks[1].area, 50.0, 0.10);
}

TEST(Drt, HavriliakNegamiIsRecovered)
{
    // Both within 0.06 at this noise, the sharper cut-off of beta = 0.6 too.
    const Spectrum s =
        synthetic([](double w) { return 2.0 + havriliakNegamiImpedance(100, 1e-3, 0.7, 0.7, w); }, 0.002);
    const Result r = compute(s.f, s.z);
    EXPECT_LT(relativeError(r, s, [](double t) { return hn(100, 1e-3, 0.7, 0.7, t); }), 0.06);
    const Spectrum sharp =
        synthetic([](double w) { return 2.0 + havriliakNegamiImpedance(100, 1e-3, 0.8, 0.6, w); }, 0.002);
    const Result rs = compute(sharp.f, sharp.z);
    EXPECT_LT(relativeError(rs, sharp, [](double t) { return hn(100, 1e-3, 0.8, 0.6, t); }), 0.06);
}

TEST(Drt, FiniteWarburgShowsItsFirstLines)
{
    const double rw = 100, t = 1;
    const Spectrum s = synthetic(
        [&](double w) {
            const cd q = std::sqrt(cd(0, w * t));
            return 1.0 + rw * std::tanh(q) / q;
        },
        0.001, 5, 1e5);
    const Result r = compute(s.f, s.z);
    const std::vector<Line> lines = finiteWarburgLines(rw, t, 3);
    ASSERT_GE(r.peaks.size(), 2u);
    // The peaks from the longest time constant down.
    const Peak& first = r.peaks.back();
    const Peak& second = r.peaks[r.peaks.size() - 2];
    EXPECT_REL_NEAR(first.tau, lines[0].tau, 0.10);
    EXPECT_REL_NEAR(first.area, lines[0].resistance, 0.10);
    EXPECT_REL_NEAR(second.tau, lines[1].tau, 0.25);
    // The rest of the resistance lies in the shorter lines.
    double total = 0;
    for (const Peak& p : r.peaks)
        total += p.area;
    EXPECT_REL_NEAR(total, rw, 0.05);
}

TEST(Drt, LambdaDoesNotDependOnWhereTheSearchStarts)
{
    const Spectrum s = synthetic(
        [](double w) { return 5.0 + zarcImpedance(100, 1e-4, 0.9, w) + zarcImpedance(30, 1e-1, 0.7, w); }, 0.005, 11);
    std::vector<double> chosen;
    for (double start : {1e-11, 3e-7, 1e-3, 0.2, 7.0}) {
        Options o;
        o.lambdaStart = start;
        chosen.push_back(compute(s.f, s.z, o).lambda);
    }
    const auto [lo, hi] = std::minmax_element(chosen.begin(), chosen.end());
    EXPECT_LT(*hi / *lo, 2.0);
    // And it is a minimum of the criterion on a fine scan.
    std::vector<double> grid;
    for (int k = -24; k <= 4; ++k)
        grid.push_back(std::pow(10.0, k / 4.0));
    const std::vector<double> curve = criterionCurve(s.f, s.z, {}, grid);
    const double best = *std::min_element(curve.begin(), curve.end());
    // With the adaptive penalty: the largest lambda within 5 % of the
    // minimum (the grid's best is within 1 % of the true minimum).
    const double atChosen = criterionCurve(s.f, s.z, {}, {chosen[2]})[0];
    EXPECT_LE(atChosen, 1.05 * best * (1 + 1e-9));
    EXPECT_GE(atChosen, 1.04 * best);
    // Plain Tikhonov takes the minimum itself.
    Options plain;
    plain.adaptivePasses = 0;
    EXPECT_LE(criterionCurve(s.f, s.z, {}, {compute(s.f, s.z, plain).lambda})[0], best * (1 + 1e-9));
}

TEST(Drt, AdaptivePenaltyKeepsThePeakWherePlainTikhonovFlattensIt)
{
    // The ZARC's exact peak: (R / 2 pi) sin((1 - phi) pi) / (1 - cos((1 - phi) pi)).
    const double phi = 0.85, top = 100 / (2 * pi) * std::sin((1 - phi) * pi) / (1 - std::cos((1 - phi) * pi));
    Options plain;
    plain.adaptivePasses = 0;
    double plainWorst = 0, adaptiveWorst = 0;
    for (unsigned seed : {4u, 9u, 17u}) {
        const Spectrum s = synthetic([&](double w) { return 10.0 + zarcImpedance(100, 1e-3, phi, w); }, 0.002, seed);
        auto truth = [&](double t) { return zarc(100, 1e-3, phi, t); };
        const Result a = compute(s.f, s.z), b = compute(s.f, s.z, plain);
        plainWorst = std::max(plainWorst, relativeError(b, s, truth));
        adaptiveWorst = std::max(adaptiveWorst, relativeError(a, s, truth));
        // One peak, higher than plain Tikhonov's highest (which may leave a
        // noise bump of a few percent beside it) and nearer the truth; the
        // area (the resistance) unchanged.
        ASSERT_EQ(a.peaks.size(), 1u);
        ASSERT_GE(b.peaks.size(), 1u);
        double plainTop = 0;
        for (const Peak& p : b.peaks)
            plainTop = std::max(plainTop, p.gamma);
        EXPECT_GT(a.peaks[0].gamma, plainTop);
        EXPECT_LT(std::abs(a.peaks[0].gamma - top), 0.10 * top);
        EXPECT_REL_NEAR(a.peaks[0].area, 100.0, 0.05);
        EXPECT_REL_NEAR(a.peaks[0].tau, 1e-3, 0.02);
        // Still a solution of the data: the residual at the noise.
        EXPECT_LT(a.residualRms, 0.0025);
    }
    EXPECT_LT(adaptiveWorst, 0.6 * plainWorst);
    EXPECT_LT(adaptiveWorst, 0.10);
}

TEST(Drt, InductiveTailGoesIntoTheInductance)
{
    const double l = 2e-6;
    const Spectrum s =
        synthetic([&](double w) { return 10.0 + cd(0, w * l) + zarcImpedance(100, 1e-3, 0.8, w); }, 0.002);
    const Result r = compute(s.f, s.z);
    EXPECT_REL_NEAR(r.seriesInductance, l, 0.05);
    EXPECT_LT(relativeError(r, s, [](double t) { return zarc(100, 1e-3, 0.8, t); }), 0.10);
    // Without the inductance column the tail cannot be fitted.
    Options o;
    o.inductance = false;
    EXPECT_GT(compute(s.f, s.z, o).residualRms, 10 * r.residualRms);
}

TEST(Drt, BlockingCapacitorGetsASeriesCapacitance)
{
    const double c = 1e-3;
    const Spectrum s = synthetic(
        [&](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.8, w) + 1.0 / cd(0, w * c); }, 0.002);
    const Result r = compute(s.f, s.z);
    EXPECT_REL_NEAR(r.seriesCapacitance, c, 0.05);
    EXPECT_LT(relativeError(r, s, [](double t) { return zarc(100, 1e-3, 0.8, t); }), 0.10);
    // A spectrum that ends on a resistance gets none.
    const Spectrum plain = synthetic([](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.8, w); }, 0.002);
    EXPECT_EQ(compute(plain.f, plain.z).seriesCapacitance, 0);
}

// R-RC dummy cells, the circuit known (what a CNLS fit of them returns):
// R_inf and the arc's area within 3 %, also when the range stops a decade
// and a half above the arc (the cell of an instrument file: 21 points from
// 300 kHz to 3 kHz), where Gaussians below the range used to take half of
// R_inf and pass it to the arc.
TEST(DrtEdges, DummyCellsGiveTheirCircuitsResistances)
{
    struct Cell {
        double r0, r1, c, fHi;
        int count;
    };
    for (const Cell& cell : {Cell{148.6, 504.5, 3.1e-8, 3e5, 21}, Cell{29.0, 46.8, 11.3e-6, 5e4, 48},
                             Cell{148.6, 504.5, 2e-6, 1e5, 61}}) {
        const Spectrum s = synthetic(
            [&](double w) { return cell.r0 + cell.r1 / cd(1, w * cell.r1 * cell.c); }, 1.2e-4, 5, cell.fHi,
            cell.count);
        const Result r = compute(s.f, s.z);
        EXPECT_REL_NEAR(r.seriesResistance, cell.r0, 0.03);
        ASSERT_EQ(r.peaks.size(), 1u) << cell.r0 << " " << cell.c;
        EXPECT_REL_NEAR(r.peaks[0].area, cell.r1, 0.03);
        EXPECT_REL_NEAR(r.peaks[0].tau, cell.r1 * cell.c, 0.05);
        EXPECT_FALSE(r.peaks[0].ripple);
        EXPECT_TRUE(notes(r).empty()) << notes(r).front();
    }
}

// The peak table: a process of 4.8 % of the polarisation resistance, its
// peak a twentieth of the highest, is listed; a process beyond the lowest
// frequency is named apart and merged into no peak; the notes and the ripple
// mark survive the table.
TEST(DrtEdges, SmallProcessesAreListedAndSlowOnesKeptApart)
{
    auto rc = [](double r, double tau, double w) { return r / cd(1, w * tau); };
    const Spectrum s = synthetic([&](double w) { return 10.0 + rc(1000, 1e-3, w) + rc(50, 1e-6, w); }, 1e-4);
    const Result r = compute(s.f, s.z);
    ASSERT_EQ(r.peaks.size(), 2u);
    EXPECT_REL_NEAR(r.peaks[0].tau, 1e-6, 0.05);
    EXPECT_REL_NEAR(r.peaks[0].area, 50.0, 0.05);
    EXPECT_REL_NEAR(r.peaks[1].area, 1000.0, 0.03);

    // A slow process (100 s) that the sweep (down to 10 mHz) only begins.
    const Spectrum slow = synthetic([&](double w) { return 10.0 + rc(100, 1e-3, w) + rc(300, 100, w); }, 1e-4);
    const Result rs = compute(slow.f, slow.z);
    ASSERT_FALSE(rs.peaks.empty());
    for (const Peak& p : rs.peaks)
        EXPECT_LE(p.tau, rs.tauMax);
    EXPECT_REL_NEAR(rs.peaks.front().area, 100.0, 0.05);
    EXPECT_GT(rs.areaAbove, 0.2 * 300);
    const std::vector<std::string> said = notes(rs);
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.back().find("beyond the longest measured time constant"), std::string::npos) << said.back();

    Result marked = r;
    marked.peaks[0].ripple = true;
    marked.seriesResistance = -3.25;
    std::istringstream in(formatTable(marked, Options{}));
    const Table t = readTable(in);
    ASSERT_EQ(t.peaks.size(), 2u);
    EXPECT_TRUE(t.peaks[0].ripple);
    EXPECT_FALSE(t.peaks[1].ripple);
    ASSERT_EQ(t.notes.size(), 2u);
    EXPECT_NE(t.notes[0].find("R_inf is negative"), std::string::npos) << t.notes[0];
}

TEST(Drt, CredibleBandHoldsTheTruth)
{
    const Spectrum s = synthetic([](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.8, w); }, 0.002, 21);
    Options o;
    o.bandSamples = 1000;
    const Result r = compute(s.f, s.z, o);
    ASSERT_EQ(r.bandLow.size(), r.tau.size());
    int inside = 0, count = 0;
    for (std::size_t i = 0; i < r.tau.size(); ++i) {
        EXPECT_LE(r.bandLow[i], r.bandHigh[i]);
        EXPECT_GE(r.bandLow[i], 0);
        if (r.tau[i] < 1e-5 || r.tau[i] > 1e-1)
            continue;
        const double g = zarc(100, 1e-3, 0.8, r.tau[i]);
        ++count;
        inside += (g >= r.bandLow[i] - 0.01 * 100 && g <= r.bandHigh[i] + 0.01 * 100) ? 1 : 0;
    }
    EXPECT_GE(inside, 0.8 * count);
}

TEST(Drt, TableRoundTripAndRefusals)
{
    const Spectrum s = synthetic([](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.8, w); }, 0.002);
    const Result r = compute(s.f, s.z);
    const std::string text = formatTable(r, {});
    std::istringstream in(text + "garbage line\n1 2 3\n");
    const Table t = readTable(in);
    EXPECT_REL_NEAR(t.lambda, r.lambda, 1e-6);
    EXPECT_REL_NEAR(t.seriesResistance, r.seriesResistance, 1e-6);
    ASSERT_EQ(t.peaks.size(), r.peaks.size());
    EXPECT_REL_NEAR(t.peaks[0].area, r.peaks[0].area, 1e-6);
    EXPECT_EQ(t.tau.size(), r.tau.size() + 1);
    EXPECT_TRUE(t.bandLow.empty());
    // At least 20 points per decade over the measured range of tau.
    const double decades = std::log10(r.tau.back() / r.tau.front());
    EXPECT_GE(r.tau.size(), 20 * decades);
    EXPECT_LE(r.tau.front(), 1 / (2 * pi * s.f.front()));
    EXPECT_GE(r.tau.back(), 1 / (2 * pi * s.f.back()));

    std::vector<double> f = s.f;
    std::vector<cd> z = s.z;
    z[3] = cd(std::nan(""), 0);
    EXPECT_THROW(compute(f, z), std::invalid_argument);
    z[3] = s.z[3];
    f[4] = -1;
    EXPECT_THROW(compute(f, z), std::invalid_argument);
    EXPECT_THROW(compute(std::vector<double>(f.begin(), f.begin() + 3), std::vector<cd>(z.begin(), z.begin() + 3)),
                 std::invalid_argument);
    // A range too narrow for a second Gaussian, without the extension:
    // an answer, not a fault.
    std::vector<double> narrow;
    std::vector<cd> zn;
    for (int i = 0; i < 6; ++i) {
        narrow.push_back(100 * (1 + 2e-12 * i));
        zn.push_back(10.0 + zarcImpedance(100, 1e-3, 0.8, 2 * pi * narrow.back()));
    }
    Options o;
    o.extendDecades = 0;
    const Result rn = compute(narrow, zn, o);
    ASSERT_FALSE(rn.gamma.empty());
    for (double g : rn.gamma)
        EXPECT_TRUE(std::isfinite(g) && g >= 0);
}
