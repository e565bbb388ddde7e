#include "analysis/drt/CircuitDrt.h"
#include "model/ModelFunction.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace nosk;
using namespace nosk::drt;
using std::numbers::pi;
using cd = std::complex<double>;

namespace {

struct Params {
    double p[50] = {};
    int nfree[50] = {};
};

// The engine's own evaluation of a circuit.
std::function<cd(double)> engineModel(const engine::Circuit& c, const Params& q)
{
    auto model = std::make_shared<engine::ModelFunction>('X', c, q.p, q.nfree);
    const Params copy = q;
    return [model, copy](double w) { return model->impedance(copy.p, w); };
}

// The parts and series terms summed: the circuit as the mapping sees it.
cd mappedImpedance(const CircuitDrt& d, double w)
{
    cd z = d.seriesResistance + cd(0, w * d.seriesInductance);
    if (d.seriesCapacitance > 0)
        z += 1.0 / cd(0, w * d.seriesCapacitance);
    for (const CircuitPart& part : d.parts)
        z += part.impedance(w);
    return z;
}

double zarc(double r, double tau0, double phi, double tau)
{
    return r / (2 * pi) * std::sin((1 - phi) * pi) / (std::cosh(phi * std::log(tau / tau0)) - std::cos((1 - phi) * pi));
}

// A line of area r at t drawn as a Gaussian of full width w at half maximum in ln tau.
double line(double r, double t, double w, double tau)
{
    const double s = w / (2 * std::sqrt(2 * std::log(2.0)));
    const double y = std::log(tau / t) / s;
    return r / (s * std::sqrt(2 * pi)) * std::exp(-0.5 * y * y);
}

} // namespace

TEST(CircuitDrt, RcAndZarcInSeriesGiveTheSumOfTheirFormulas)
{
    // The Voigt chain D with one RC left (the others shorted by R = 0), no
    // series C (p2 = 0 drops it) and a ZARC in its DE slot (DE 5 at p20).
    const engine::Circuit& d = engine::CircuitLibrary::builtIn().find('D')->circuit;
    Params q;
    q.p[0] = 12;       // p1 R
    q.p[2] = 2e-6;     // p3 L
    q.p[3] = 80;       // p4 R of the RC
    q.p[4] = 1e-6;     // p5 C: tau 8e-5 s
    q.p[15] = 40;      // p16 R of the ZARC
    q.p[16] = 0.05;    // p17 tau0
    q.p[18] = 0.75;    // p19 phi
    q.p[19] = 5;       // p20 DE 5
    const CircuitDrt r = circuitDrt(d, q.p, q.nfree, 0, engineModel(d, q), 1e-2, 1e6);
    EXPECT_TRUE(r.numericalElements.empty());
    EXPECT_FALSE(r.hasNumerical);
    ASSERT_EQ(r.parts.size(), 2u);
    EXPECT_DOUBLE_EQ(r.seriesResistance, 12);
    EXPECT_DOUBLE_EQ(r.seriesInductance, 2e-6);
    EXPECT_EQ(r.seriesCapacitance, 0);
    for (double tau : {1e-6, 8e-5, 3e-4, 0.05, 1.0})
        EXPECT_REL_NEAR(r.gamma(tau, kLineWidth), line(80, 8e-5, kLineWidth, tau) + zarc(40, 0.05, 0.75, tau), 1e-12);
    EXPECT_EQ(r.parts[0].label, "p4, p5: R || C");
    EXPECT_EQ(r.parts[1].label, "p16, p17, p18, p19, p20: DE 5 (ZARC)");
    for (double w : {1e-2, 3.0, 1e3, 1e6})
        EXPECT_REL_NEAR(mappedImpedance(r, w), engineModel(d, q)(w), 1e-12);
}

TEST(CircuitDrt, PartsAddUpToTheEnginesModelInEveryMappedForm)
{
    // Circuits and parameters where every element has a closed-form DRT:
    // the parts' impedances must give the engine's model exactly. This holds
    // the mapping of each element's parameters (tau0 of R || Q, of DE 3, 4
    // and 8, the Warburgs' lines and C) to the engine's formulas.
    struct Case {
        const char* text;
        std::vector<std::pair<int, double>> values;  // p number, value
        std::size_t parts;
    };
    const std::vector<Case> cases = {
        // S: R || Q twice; the final CPE dropped (p10 = 0).
        {"R(p1)-L(p3)-par(R(p4),Q(p5,p6))-par(R(p7),Q(p8,p9))-Q(p10,p11)",
         {{1, 5}, {3, 1e-6}, {4, 100}, {5, 2e-5}, {6, 0.8}, {7, 30}, {8, 3e-3}, {9, 0.9}, {11, 0.5}},
         2},
        // B with its double-layer C dropped: its branch stands in series; DEs 3, 4, 6, 7.
        {"R(p1)-L(p3)-par(C(p2), R(p4)-DE(p10)-DE(p15))-DE(p20)-DE(p25)",
         {{1, 2}, {4, 7}, {6, 50}, {7, 1e-4}, {9, 0.85}, {10, 3}, {11, 20}, {12, 2e-3}, {13, 0.5}, {14, 0.7},
          {15, 4}, {16, 10}, {17, 1e-2}, {18, 0.6}, {19, 0.9}, {20, 6}, {21, 15}, {22, 0.3}, {24, 0.5}, {25, 7}},
         4},
        // Five DEs in series: RC (DE 1), ZARC (DE 5), HN #3 (DE 8), the
        // finite Warburgs at PHI = 1/2 (DEs 9 and 16), and series R, L, C.
        {"DE(p5)-DE(p10)-DE(p15)-DE(p20)-DE(p25)-R(p26)-L(p27)-C(p28)",
         {{1, 10}, {2, 1e-6}, {5, 1}, {6, 30}, {7, 1e-3}, {9, 0.7}, {10, 5}, {11, 25}, {12, 0.1}, {13, 0.8},
          {14, 0.6}, {15, 8}, {16, 40}, {17, 2}, {19, 0.5}, {20, 9}, {21, 60}, {22, 30}, {24, 0.5}, {25, 16},
          {26, 3}, {27, 1e-7}, {28, 1e-2}},
         5},
        // T with its CPE dropped: R in series with a transmissive Warburg; and
        // a reflecting one with its series C.
        {"R(p1)-L(p3)-par(Q(p2,p5), R(p4)-Ws(p6,p7))-Wo(p8,p9)",
         {{1, 3}, {4, 20}, {5, 0.9}, {6, 100}, {7, 5}, {8, 40}, {9, 0.2}},
         2},
        // A parallel group of resistors and capacitors is one RC; E takes CELCAP.
        {"R(p1)-par(R(p2), R(p3), C(p4), E(p5))", {{1, 1}, {2, 100}, {3, 100}, {4, 1e-6}, {5, 2}}, 1},
    };
    const double celcap = 1e-6;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const engine::Circuit circuit = engine::Circuit::parse(c.text);
        Params q;
        for (auto [n, v] : c.values)
            q.p[n - 1] = v;
        engine::ModelFunction model('X', circuit, q.p, q.nfree, engine::DeContext{celcap});
        const CircuitDrt r = circuitDrt(circuit, q.p, q.nfree, celcap, {}, 1e-2, 1e6);
        EXPECT_TRUE(r.numericalElements.empty()) << r.numericalElements.front();
        EXPECT_EQ(r.parts.size(), c.parts);
        for (double w : {1e-2, 0.5, 20.0, 1e3, 1e5, 6e6})
            EXPECT_REL_NEAR(mappedImpedance(r, w), model.impedance(q.p, w), 1e-7);
        // Each part's gamma holds its resistance, the lines as they are
        // drawn (a reflecting Warburg's lines hold R / 3 beside its C).
        for (const CircuitPart& part : r.parts) {
            double area = 0, lines = 0;
            const double lo = std::log(part.tau0 > 0 ? part.tau0 : part.lines.front().tau) - 30;
            for (int i = 0; i <= 12000; ++i)
                area += part.gamma(std::exp(lo + i * 5e-3), kLineWidth) * 5e-3;
            for (const Line& l : part.lines)
                lines += l.resistance;
            if (part.shape == CircuitPart::Shape::DavidsonCole) {
                // Its end at tau0 is singular: the sum on a grid falls short.
                EXPECT_REL_NEAR(area, part.r, 0.06) << part.label;
            } else if (part.lines.empty()) {
                EXPECT_REL_NEAR(area, part.r, 2e-3) << part.label;
            } else {
                EXPECT_REL_NEAR(area, lines, 1e-9) << part.label;
            }
            if (part.shape == CircuitPart::Shape::FiniteSpaceWarburg) {
                EXPECT_REL_NEAR(lines, part.r / 3, 1e-3);
            }
        }
    }
}

TEST(CircuitDrt, WhatHasNoClosedFormGetsTheNumericalDrtOfTheRest)
{
    // R || (a CPE as DE 2) is a ZARC the mapping does not recognise: its DRT
    // comes from the model minus R_inf and the first ZARC, and matches both
    // the formula and the DRT of that rest computed directly.
    const engine::Circuit c = engine::Circuit::parse("R(p1)-L(p2)-par(R(p3),Q(p4,p5))-par(R(p6), DE(p11))");
    Params q;
    q.p[0] = 10;
    q.p[1] = 1e-6;
    q.p[2] = 100;
    q.p[3] = 1e-8;        // p4: Q, tau0 = (R Q)^(1 / alpha) about 1e-6 s
    q.p[4] = 0.9;
    q.p[5] = 50;
    q.p[7] = 2e-2;        // p8: T of the CPE, 1 / (T (i w)^PHI)
    q.p[9] = 0.8;         // p10: PHI
    q.p[10] = 2;          // p11: DE 2
    const CircuitDrt r = circuitDrt(c, q.p, q.nfree, 0, engineModel(c, q), 1e-2, 1e6);
    ASSERT_EQ(r.parts.size(), 1u);
    ASSERT_EQ(r.numericalElements.size(), 1u);
    EXPECT_EQ(r.numericalElements[0], "p6, p7, p8, p9, p10, p11: par(...)");
    ASSERT_TRUE(r.hasNumerical);
    // R || CPE: R / (1 + R T (i w)^PHI), tau0 = (R T)^(1 / PHI).
    const double tau0 = std::pow(50 * 2e-2, 1 / 0.8);
    ASSERT_EQ(r.numerical.peaks.size(), 1u);
    EXPECT_REL_NEAR(r.numerical.peaks[0].tau, tau0, 0.03);
    EXPECT_REL_NEAR(r.numerical.peaks[0].area, 50.0, 0.03);
    // The series terms were taken out before: the rest has no R_inf or L.
    EXPECT_NEAR(r.numerical.seriesResistance, 0, 0.5);
    EXPECT_NEAR(r.numerical.seriesInductance, 0, 1e-8);
    double num = 0, den = 0;
    for (std::size_t i = 0; i < r.numerical.tau.size(); ++i) {
        const double t = r.numerical.tau[i];
        if (t < 1 / (2 * pi * 1e6) || t > 1 / (2 * pi * 1e-2))
            continue;
        const double g = zarc(50, tau0, 0.8, t);
        num += (r.numerical.gamma[i] - g) * (r.numerical.gamma[i] - g);
        den += g * g;
    }
    EXPECT_LT(std::sqrt(num / den), 0.10);

    // The same rest given to the DRT directly.
    std::vector<double> f;
    std::vector<cd> z;
    for (int i = 0; i <= 80; ++i) {
        f.push_back(1e6 * std::pow(1e-8, i / 80.0));
        z.push_back(zarcImpedance(50, tau0, 0.8, 2 * pi * f.back()));
    }
    const Result direct = compute(f, z);
    ASSERT_EQ(direct.peaks.size(), 1u);
    EXPECT_REL_NEAR(r.numerical.peaks[0].tau, direct.peaks[0].tau, 0.01);
    for (double t : {1e-4, 1e-2, tau0, 1.0})
        EXPECT_NEAR(gammaAt(r.numerical, t), gammaAt(direct, t), 0.02 * direct.peaks[0].gamma);

    // A circuit with nothing in closed form (Randles with a semi-infinite
    // Warburg): the numerical DRT of its whole curve (less R and L).
    const engine::Circuit& randles = engine::CircuitLibrary::builtIn().find('R')->circuit;
    Params w;
    w.p[0] = 5;
    w.p[1] = 2e-5;
    w.p[3] = 60;
    w.p[4] = 30;
    const CircuitDrt rw = circuitDrt(randles, w.p, w.nfree, 0, engineModel(randles, w), 1e-2, 1e6);
    EXPECT_TRUE(rw.parts.empty());
    ASSERT_TRUE(rw.hasNumerical);
    EXPECT_EQ(rw.numericalElements.size(), 1u);
    // The charge transfer's peak near R C, carrying about its 60 ohm.
    ASSERT_GE(rw.numerical.peaks.size(), 1u);
    EXPECT_REL_NEAR(rw.numerical.peaks[0].tau, 60 * 2e-5, 0.3);
    // Without a model there is nothing to compute it from.
    const CircuitDrt bare = circuitDrt(randles, w.p, w.nfree, 0, {}, 1e-2, 1e6);
    EXPECT_FALSE(bare.hasNumerical);
    EXPECT_EQ(bare.numericalElements.size(), 1u);
}

TEST(CircuitDrt, SubtractedAndInvalidDesAreNotGivenAClosedForm)
{
    const engine::Circuit c = engine::Circuit::parse("R(p1)-DE(p10)-DE(p15)");
    Params q;
    q.p[0] = 1;
    q.p[5] = 10, q.p[6] = 1e-3, q.p[8] = 0.8, q.p[9] = 5;
    q.nfree[9] = 3;  // subtracted
    q.p[10] = 10, q.p[11] = 1e-3, q.p[13] = 1.5, q.p[14] = 5;  // PHI beyond 1
    const CircuitDrt r = circuitDrt(c, q.p, q.nfree, 0, {}, 1, 10);
    EXPECT_TRUE(r.parts.empty());
    ASSERT_EQ(r.numericalElements.size(), 2u);
    EXPECT_EQ(r.numericalElements[0], "p6, p7, p8, p9, p10: DE 5 (subtracted)");
}

