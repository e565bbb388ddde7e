// The DE table and the two circuits against closed forms written out with
// the standard library's complex functions (DeClosedForms.h).
#include "DeClosedForms.h"

#include "model/DeTable.h"
#include "model/ModelFunction.h"

#include "core/Exception.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using nosk::engine::Complex;
using nosk::engine::DeParams;
using nosk::engine::ModelFunction;
using nosk::engine::deAvailable;
using nosk::engine::deImpedance;
using nosk::test::deClosedForm;

namespace {

const Complex I(0.0, 1.0);

double selector(int de) { return de; }

} // namespace

TEST(DeTable, EveryDeMatchesItsClosedForm)
{
    const DeParams sets[] = {{120.0, 2.5e-3, 0.7, 0.85}, {3.3, 0.2, 0.45, 0.6}, {1e4, 1e-6, 0.9, 0.3}};
    const double omegas[] = {1e-3, 0.37, 1.0, 52.0, 3e5};
    for (int de : {0, 1, 2, 3, 4, 5, 6, 7, 9, 16, 17})
        for (const DeParams& p : sets)
            for (double w : omegas) {
                SCOPED_TRACE("DE " + std::to_string(de) + " at w = " + std::to_string(w));
                EXPECT_REL_NEAR(deImpedance(de, p, w), deClosedForm(de, p, w), 1e-11);
            }
}

TEST(DeTable, KnownValues)
{
    // DE 1 at w R T = 1 is R/2 - i R/2.
    EXPECT_REL_NEAR(deImpedance(1, {50.0, 0.01, 0, 0}, 2.0), Complex(25.0, -25.0), 1e-12);
    // A CPE with PHI = 1 is a capacitor 1/(i w T).
    EXPECT_REL_NEAR(deImpedance(2, {0, 1e-3, 0, 1.0}, 100.0), Complex(0.0, -10.0), 1e-12);
    // A CPE with PHI = 0.5 lies on the 45 degree line.
    const Complex z = deImpedance(2, {0, 2.0, 0, 0.5}, 4.0);
    EXPECT_NEAR(z.real(), -z.imag(), 1e-15);
    // Finite-length diffusion: the transmissive end tends to R at low
    // frequency, the reflecting one to a capacitor.
    EXPECT_REL_NEAR(deImpedance(9, {7.0, 1.0, 0, 0.5}, 1e-12), Complex(7.0, 0.0), 1e-5);
    const Complex low = deImpedance(16, {7.0, 1.0, 0, 0.5}, 1e-6);
    EXPECT_GT(-low.imag(), 1e5);
    // Both tend to the semi-infinite Warburg R (i w T)^-PHI at high frequency.
    const double w = 1e6;
    const Complex warburg = 7.0 / std::pow(I * w, 0.5);
    EXPECT_REL_NEAR(deImpedance(9, {7.0, 1.0, 0, 0.5}, w), warburg, 1e-12);
    EXPECT_REL_NEAR(deImpedance(16, {7.0, 1.0, 0, 0.5}, w), warburg, 1e-12);
}

TEST(DeTable, NegativeTimeConstantTakesThePrincipalBranch)
{
    const DeParams p{5.0, -0.01, 0.8, 0.7};
    for (int de : {5, 6, 9, 16})
        EXPECT_REL_NEAR(deImpedance(de, p, 30.0), deClosedForm(de, p, 30.0), 1e-11);
}

TEST(DeTable, FourElementsDropTheirBranches)
{
    const double w = 10.0;
    // R = 0: only C in parallel with the R-L branch.
    EXPECT_REL_NEAR(deImpedance(17, {0.0, 1e-3, 5.0, 0.2}, w), 1.0 / (I * w * 1e-3 + 1.0 / (5.0 + I * w * 0.2)), 1e-12);
    // U = PHI = 0: R parallel C.
    EXPECT_REL_NEAR(deImpedance(17, {100.0, 1e-3, 0.0, 0.0}, w), 1.0 / (I * w * 1e-3 + 1.0 / 100.0), 1e-12);
}

TEST(DeTable, AvailableNumbers)
{
    for (int de = 0; de <= 37; ++de)
        EXPECT_TRUE(deAvailable(de)) << de;
    for (int de : {-1, 38, 1000})
        EXPECT_FALSE(deAvailable(de)) << de;
}

TEST(ModelFunction, CircuitAComposition)
{
    double p[50] = {};
    int nfree[50] = {};
    p[0] = 10.0;     // series R
    p[1] = 2e-3;     // series C
    p[2] = 1e-4;     // series L
    p[3] = 3e-7;     // parallel C
    p[5] = 100.0, p[6] = 1e-4, p[9] = selector(1);                   // DE 1
    p[10] = 0, p[11] = 5e-3, p[13] = 0.8, p[14] = selector(2);        // DE 2
    p[15] = 40.0, p[16] = 0.05, p[18] = 0.5, p[19] = selector(9);     // DE 9
    const ModelFunction a('A', p, nfree);
    for (double w : {0.1, 10.0, 1e4}) {
        const Complex zs = p[0] + I * w * p[2] + 1.0 / (I * w * p[1]) + deClosedForm(1, {100.0, 1e-4, 0, 0}, w)
            + deClosedForm(2, {0, 5e-3, 0, 0.8}, w) + deClosedForm(9, {40.0, 0.05, 0, 0.5}, w);
        EXPECT_REL_NEAR(a.impedance(p, w), 1.0 / (I * w * p[3] + 1.0 / zs), 1e-11);
    }
    // p2 = 0 and p4 = 0 drop the capacitors.
    p[1] = 0;
    p[3] = 0;
    const double w = 3.0;
    EXPECT_REL_NEAR(a.impedance(p, w), p[0] + I * w * p[2] + deClosedForm(1, {100.0, 1e-4, 0, 0}, w)
            + deClosedForm(2, {0, 5e-3, 0, 0.8}, w) + deClosedForm(9, {40.0, 0.05, 0, 0.5}, w), 1e-12);
}

TEST(ModelFunction, CircuitBComposition)
{
    double p[50] = {};
    int nfree[50] = {};
    p[0] = 0.02, p[1] = 0.5, p[2] = 2e-7, p[3] = 0.01;
    p[5] = 0.004, p[6] = 10.0, p[8] = 0.5, p[9] = selector(16);
    p[10] = 0.003, p[11] = 0.01, p[14] = selector(1);
    p[15] = 0.001, p[16] = 0.02, p[18] = 0.9, p[19] = selector(5);
    p[20] = 0, p[21] = 50.0, p[23] = 0.9, p[24] = selector(2);
    nfree[24] = 3;  // subtract the last DE
    const ModelFunction b('B', p, nfree);
    EXPECT_EQ(b.slotSign(3), -1.0);
    for (double w : {0.02, 1.0, 800.0}) {
        const Complex inner = p[3] + deClosedForm(16, {0.004, 10.0, 0, 0.5}, w) + deClosedForm(1, {0.003, 0.01, 0, 0}, w);
        const Complex z = p[0] + I * w * p[2] + 1.0 / (I * w * p[1] + 1.0 / inner)
            + deClosedForm(5, {0.001, 0.02, 0, 0.9}, w) - deClosedForm(2, {0, 50.0, 0, 0.9}, w);
        EXPECT_REL_NEAR(b.impedance(p, w), z, 1e-11);
    }
}

TEST(ModelFunction, SelectorsAndSlots)
{
    double p[50] = {};
    int nfree[50] = {};
    const ModelFunction b('B', p, nfree);
    EXPECT_EQ(b.slotCount(), 4);
    EXPECT_TRUE(b.isSelector(9));
    EXPECT_TRUE(b.isSelector(24));
    EXPECT_FALSE(b.isSelector(29));
    EXPECT_EQ(b.slotOfParam(0), -1);
    EXPECT_EQ(b.slotOfParam(4), -1);
    EXPECT_EQ(b.slotOfParam(5), 0);
    EXPECT_EQ(b.slotOfParam(13), 1);
    EXPECT_EQ(b.slotOfParam(14), -1);
    EXPECT_EQ(b.slotOfParam(23), 3);
    const ModelFunction a('A', p, nfree);
    EXPECT_EQ(a.slotCount(), 3);
    EXPECT_FALSE(a.isSelector(24));
    EXPECT_EQ(a.slotOfParam(21), -1);
}

TEST(ModelFunction, RefusesWhatTheEngineLacks)
{
    double p[50] = {};
    int nfree[50] = {};
    auto message = [&](char fun) -> std::string {
        try {
            ModelFunction m(fun, p, nfree);
        } catch (const nosk::exception& e) {
            return e.what();
        }
        return "";
    };
    EXPECT_EQ(message('Z'), "Model function 'Z' is not available in this engine");
    EXPECT_EQ(message('a'), "Model function 'a' is not available in this engine");
    p[14] = 38;
    EXPECT_EQ(message('A'), "DE 38 is not available in this engine");
    p[14] = 36;  // computed; its ranges are checked when the job is prepared
    EXPECT_EQ(message('B'), "");
    p[14] = -2;
    EXPECT_EQ(message('B'), "DE -2 is not available in this engine");
    p[14] = 1.5;
    EXPECT_EQ(message('A'), "DE selector P15 holds 1.5, which is not a DE number");
    p[14] = 0;
    p[24] = 12;  // beyond circuit A's slots: not a selector there
    EXPECT_EQ(message('A'), "");
    EXPECT_EQ(message('B'), "");  // DE 12 is computed
}
