// The circuit language: every built-in letter against a closed form written
// here from the element formulas, the exact Jacobian against central
// differences in every fit representation, the zero and infinity rules, and
// the parser's refusals.
#include "DeClosedForms.h"
#include "engine/EngineTestSupport.h"
#include "support/Files.h"
#include "support/Tolerance.h"

#include "model/Circuit.h"
#include "model/CircuitEvaluator.h"
#include "engine/JobProblem.h"
#include "model/ModelFunction.h"
#include "engine/PreparedJob.h"

#include "core/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

using nosk::engine::Circuit;
using nosk::engine::CircuitLibrary;
using nosk::engine::Complex;
using nosk::engine::ModelFunction;

namespace {

const Complex I(0.0, 1.0);

// p[1] ... p[50] as the circuits count them (p[0] unused).
using Params = std::vector<double>;

Complex de(int n, double R, double T, double U, double PHI, double w)
{
    return nosk::test::deClosedForm(n, {R, T, U, PHI}, w);
}

// DE(pN): its four parameters just before the selector.
Complex deAt(const Params& p, int selector, double w)
{
    return de(static_cast<int>(p[selector]), p[selector - 4], p[selector - 3], p[selector - 2], p[selector - 1], w);
}

Complex par(std::initializer_list<Complex> branches)
{
    Complex y = 0.0;
    for (Complex z : branches)
        y += 1.0 / z;
    return 1.0 / y;
}

Complex cap(double c, double w) { return 1.0 / (I * w * c); }
Complex cpe(double q, double a, double w) { return 1.0 / (q * std::pow(I * w, a)); }

constexpr double kCelcap = 2e-12;

struct Letter {
    char letter;
    Params p;  // 1-based, 51 entries
    std::function<Complex(const Params&, double)> z;
};

Params params(std::initializer_list<std::pair<int, double>> values)
{
    Params p(51, 0.0);
    for (auto [k, v] : values)
        p[k] = v;
    return p;
}

// Every letter with a parameter set that gives each of its elements weight,
// and its impedance written out from the element formulas.
std::vector<Letter> letters()
{
    return {
        {'A', params({{1, 10}, {2, 2e-3}, {3, 1e-4}, {4, 3e-7}, {6, 100}, {7, 1e-4}, {10, 1}, {12, 5e-3}, {14, 0.8},
                  {15, 2}, {16, 40}, {17, 0.05}, {19, 0.5}, {20, 9}}),
            [](const Params& p, double w) {
                return par({cap(p[4], w), p[1] + I * w * p[3] + cap(p[2], w) + deAt(p, 10, w) + deAt(p, 15, w)
                                              + deAt(p, 20, w)});
            }},
        {'B', params({{1, 0.02}, {2, 0.5}, {3, 2e-7}, {4, 0.01}, {6, 0.004}, {7, 10}, {9, 0.5}, {10, 16},
                  {11, 0.003}, {12, 0.01}, {15, 1}, {16, 0.001}, {17, 0.02}, {19, 0.9}, {20, 5}, {22, 50},
                  {24, 0.9}, {25, 2}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), p[4] + deAt(p, 10, w) + deAt(p, 15, w)})
                    + deAt(p, 20, w) + deAt(p, 25, w);
            }},
        {'C', params({{1, 5}, {2, 1e-7}, {3, 1e-6}, {4, 40}, {7, 2e-5}, {9, 0.85}, {10, 2}, {11, 60}, {12, 3},
                  {14, 0.5}, {15, 16}, {16, 7}, {17, 1e-3}, {20, 1}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), deAt(p, 10, w), p[4] + deAt(p, 15, w)})
                    + deAt(p, 20, w);
            }},
        {'D', params({{1, 3}, {2, 1e-2}, {3, 1e-6}, {4, 10}, {5, 1e-6}, {6, 20}, {7, 1e-5}, {8, 30}, {9, 1e-4},
                  {10, 40}, {11, 1e-3}, {12, 50}, {13, 1e-2}, {16, 30}, {17, 1e-3}, {19, 0.8}, {20, 5}}),
            [](const Params& p, double w) {
                Complex z = p[1] + I * w * p[3] + cap(p[2], w);
                for (int k = 4; k <= 12; k += 2)
                    z += par({p[k], cap(p[k + 1], w)});
                return z + deAt(p, 20, w);
            }},
        {'E', params({{1, 20}, {2, 1e-4}, {5, 1}, {6, 30}, {7, 1e-5}, {9, 0.7}, {10, 3}, {11, 15}, {12, 1e-2},
                  {13, 0.6}, {14, 0.8}, {15, 6}, {16, 8}, {17, 1e-3}, {19, 0.55}, {20, 7}, {21, 50}, {22, 1e-6},
                  {23, 300}, {24, 0.02}, {25, 17}, {26, 2}, {27, 3e-6}, {28, 5e-3}}),
            [](const Params& p, double w) {
                return deAt(p, 5, w) + deAt(p, 10, w) + deAt(p, 15, w) + deAt(p, 20, w) + deAt(p, 25, w) + p[26]
                    + I * w * p[27] + cap(p[28], w);
            }},
        {'F', params({{1, 1e4}, {2, 1e-9}, {3, 200}, {4, 500}, {5, 30}, {6, 1e3}, {7, 1e-4}, {10, 1}, {11, 2e3},
                  {12, 1e-6}, {14, 0.75}, {15, 3}}),
            [](const Params& p, double w) {
                return p[5] + par({p[1], cap(p[2], w), p[3] + deAt(p, 10, w), p[4] + deAt(p, 15, w)});
            }},
        {'G', params({{1, 2}, {3, 1e-6}, {4, 80}, {5, 1e-3}, {6, 500}, {7, 0.85}}),
            [](const Params& p, double w) {
                const Complex z = par({p[6], cpe(p[5], p[7], w)});
                return p[1] + I * w * p[3] + std::sqrt(p[4] * z) / std::tanh(std::sqrt(p[4] / z));
            }},
        {'H', params({{1, 1e5}, {2, 1e-9}, {4, 0.9}, {5, 3}, {6, 3e5}, {7, 1e-3}, {9, 0.7}, {10, 5}, {11, 100},
                  {12, 1e-11}, {13, 1e-7}, {14, 1e-9}}),
            [](const Params& p, double w) {
                return p[11] + I * w * p[13] + par({cap(p[12], w), deAt(p, 5, w)})
                    + par({cap(p[14], w), deAt(p, 10, w)});
            }},
        {'I', params({{1, 4}, {2, 2e-5}, {3, 1e-7}, {4, 25}, {6, 300}, {7, 15}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), p[4] + p[6] / std::sqrt(p[7] + I * w)});
            }},
        {'J', params({{1, 3}, {2, 1e-6}, {3, 1e-7}, {4, 50}, {5, 1e-4}, {6, 200}, {7, 1e-4}, {10, 1}, {11, 80},
                  {12, 0.2}, {14, 0.5}, {15, 9}, {17, 3e-3}, {19, 0.9}, {20, 2}, {21, 20}, {22, 1.0}, {24, 0.5},
                  {25, 16}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3]
                    + par({cap(p[2], w),
                        p[4] + deAt(p, 10, w) + par({cap(p[5], w), deAt(p, 15, w) + deAt(p, 20, w)})})
                    + deAt(p, 25, w);
            }},
        {'K', [] {
             Params p = params({{1, 1}, {2, 5e-2}, {3, 1e-7}, {23, 9}, {24, 2e-3}, {26, 0.6}, {27, 5}});
             for (int k = 4; k <= 20; k += 2) {
                 p[k] = 5.0 + k;
                 p[k + 1] = 1e-7 * std::pow(3.0, k / 2);
             }
             return p;
         }(),
            [](const Params& p, double w) {
                Complex z = p[1] + I * w * p[3] + cap(p[2], w);
                for (int k = 4; k <= 20; k += 2)
                    z += par({p[k], cap(p[k + 1], w)});
                return z + deAt(p, 27, w);
            }},
        {'O', params({{1, 1e6}, {2, 4.5}, {5, 1e8}, {6, 1e-2}, {8, 0.7}, {9, 0.6}, {10, 6}, {16, 1e7}, {17, 1e-4},
                  {18, 0.5}, {19, 0.8}, {20, 6}, {22, 1e-7}, {24, 0.9}, {25, 2}}),
            [](const Params& p, double w) {
                const Complex conductive = p[1] + de(static_cast<int>(p[10]), p[5], p[6], p[8], p[9], w);
                return par({1.0 / (I * w * p[2] * kCelcap), conductive, deAt(p, 20, w)}) + deAt(p, 25, w);
            }},
        {'R', params({{1, 10}, {2, 2e-5}, {3, 1e-6}, {4, 100}, {5, 35}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), p[4] + p[5] * std::sqrt(2.0) / std::sqrt(I * w)});
            }},
        {'S', params({{1, 0.015}, {3, 2e-7}, {4, 0.01}, {5, 2.0}, {6, 0.85}, {7, 0.02}, {8, 40}, {9, 0.7},
                  {10, 800}, {11, 0.9}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({p[4], cpe(p[5], p[6], w)}) + par({p[7], cpe(p[8], p[9], w)})
                    + cpe(p[10], p[11], w);
            }},
        {'T', params({{1, 0.02}, {2, 3.0}, {3, 1e-7}, {4, 0.015}, {5, 0.8}, {6, 0.05}, {7, 40}}),
            [](const Params& p, double w) {
                const Complex u = std::sqrt(I * w * p[7]);
                return p[1] + I * w * p[3] + par({cpe(p[2], p[5], w), p[4] + p[6] * std::tanh(u) / u});
            }},
    };
}

// The circuit's values for a 1-based parameter set.
std::vector<Complex> evaluate(char letter, const Params& p1, const std::vector<double>& omega)
{
    double p[50] = {};
    int nfree[50] = {};
    for (int k = 1; k <= 50; ++k)
        p[k - 1] = p1[k];
    const ModelFunction model(letter, p, nfree, nosk::engine::DeContext{kCelcap});
    std::vector<double> lnOmega(omega.size());
    for (std::size_t i = 0; i < omega.size(); ++i)
        lnOmega[i] = std::log(omega[i]);
    std::vector<Complex> z(omega.size());
    model.impedances(p, omega.data(), lnOmega.data(), static_cast<int>(omega.size()), z.data());
    return z;
}

std::string refusal(const std::function<void()>& f)
{
    try {
        f();
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Circuit, EveryBuiltInLetterMatchesItsClosedForm)
{
    const std::vector<double> omega = nosk::engine::logSpaced(1e-3, 1e6, 30);
    for (const Letter& l : letters()) {
        SCOPED_TRACE(std::string("circuit ") + l.letter);
        const std::vector<Complex> z = evaluate(l.letter, l.p, omega);
        for (std::size_t i = 0; i < omega.size(); ++i) {
            const Complex expected = l.z(l.p, omega[i]);
            EXPECT_REL_NEAR(z[i], expected, 1e-12)
                << "w = " << omega[i] << ": " << z[i] << " vs " << expected;
        }
    }
    // Every letter the organiser offers is defined.
    for (char c : std::string("ABCDEFGHIJKORST"))
        EXPECT_NE(CircuitLibrary::builtIn().find(c), nullptr) << c;
}

TEST(Circuit, SeriesAndRandlesKeepTheirFormerArithmetic)
{
    // The former composition of A and B, operation for operation: the
    // circuit gives the same doubles up to the order of one sum.
    auto inverse = [](Complex z) {
        const double a = z.real(), b = z.imag(), s = a * a + b * b;
        return Complex(a / s, -b / s);
    };
    const std::vector<double> omega = nosk::engine::logSpaced(1e-2, 1e5, 30);
    for (const Letter& l : letters()) {
        if (l.letter != 'A' && l.letter != 'B')
            continue;
        const std::vector<Complex> z = evaluate(l.letter, l.p, omega);
        const Params& p = l.p;
        for (std::size_t i = 0; i < omega.size(); ++i) {
            const double w = omega[i];
            Complex expected;
            if (l.letter == 'A') {
                Complex zs(p[1], w * p[3]);
                zs += Complex(0.0, -1.0 / (w * p[2]));
                zs += nosk::engine::deImpedance(1, {p[6], p[7], p[8], p[9]}, w)
                    + nosk::engine::deImpedance(2, {p[11], p[12], p[13], p[14]}, w)
                    + nosk::engine::deImpedance(9, {p[16], p[17], p[18], p[19]}, w);
                expected = inverse(Complex(0.0, w * p[4]) + inverse(zs));
            } else {
                Complex inner = p[4] + nosk::engine::deImpedance(16, {p[6], p[7], p[8], p[9]}, w)
                    + nosk::engine::deImpedance(1, {p[11], p[12], p[13], p[14]}, w);
                inner = inverse(Complex(0.0, w * p[2]) + inverse(inner));
                expected = Complex(p[1], w * p[3]) + inner + nosk::engine::deImpedance(5, {p[16], p[17], p[18], p[19]}, w)
                    + nosk::engine::deImpedance(2, {p[21], p[22], p[23], p[24]}, w);
            }
            if (l.letter == 'B')
                EXPECT_EQ(z[i], expected) << "B at w = " << w;
            else
                EXPECT_REL_NEAR(z[i], expected, 4e-16) << "A at w = " << w;
        }
    }
}

TEST(Circuit, ZerosAndInfinities)
{
    const std::vector<double> omega = {0.3, 7.0, 2e3};
    // B: p4 = 0 with empty DE slots shorts the double layer.
    {
        const Params p = params({{1, 12}, {2, 1e-5}, {3, 1e-6}});
        const std::vector<Complex> z = evaluate('B', p, omega);
        for (std::size_t i = 0; i < omega.size(); ++i)
            EXPECT_EQ(z[i], Complex(12.0, omega[i] * 1e-6));
    }
    // A: p2 = 0 drops the series capacitor, p4 = 0 the parallel one.
    {
        const Params p = params({{1, 12}, {3, 1e-6}, {6, 100}, {7, 1e-4}, {10, 1}});
        const std::vector<Complex> z = evaluate('A', p, omega);
        for (std::size_t i = 0; i < omega.size(); ++i)
            EXPECT_NEAR(std::abs(z[i] - (12.0 + I * omega[i] * 1e-6 + de(1, 100, 1e-4, 0, 0, omega[i]))), 0.0, 1e-12);
    }
    // C: DE 2 with T = 0 leaves its parallel slot open.
    {
        const Params p = params({{1, 5}, {2, 1e-6}, {4, 40}, {9, 0.8}, {10, 2}});
        const std::vector<Complex> z = evaluate('C', p, omega);
        for (std::size_t i = 0; i < omega.size(); ++i) {
            const Complex expected = 5.0 + par({cap(1e-6, omega[i]), 40.0});
            EXPECT_REL_NEAR(z[i], expected, 1e-12);
        }
    }
    // A par(...) whose branches are all left out adds nothing; a zero
    // resistance shorts its group; a capacitor alone in a series adds nothing.
    const CircuitLibrary own = CircuitLibrary::parse(
        "X = R(p1)-par(C(p2), Q(p3,p4))\nY = L(p1)-par(R(p2), C(p3))-C(p4)\n", "CIRCUITS");
    double p[50] = {};
    int nfree[50] = {};
    p[0] = 7.0;
    p[3] = 0.5;
    const ModelFunction x('X', own.find('X')->circuit, p, nfree);
    EXPECT_EQ(x.impedance(p, 3.0), Complex(7.0, 0.0));
    p[0] = 1e-3;
    p[1] = 0.0;
    p[2] = 1e-6;
    p[3] = 0.0;
    const ModelFunction y('Y', own.find('Y')->circuit, p, nfree);
    EXPECT_EQ(y.impedance(p, 3.0), Complex(0.0, 3e-3));
}

TEST(Circuit, ExactJacobianAgreesWithCentralDifferencesInEveryRepresentation)
{
    struct Representation {
        char level, format;
        int irch;
    };
    const Representation representations[] = {
        {'Z', 'R', 1}, {'Y', 'P', 3}, {'M', 'D', 2}, {'E', 'L', -2}, {'Z', 'L', 1}};
    const std::vector<double> hz = nosk::engine::logSpaced(1e-2, 1e5, 16);
    for (const Letter& l : letters()) {
        for (const Representation& rep : representations) {
            SCOPED_TRACE(std::string("circuit ") + l.letter + ", " + rep.level + rep.format);
            nosk::FitJob job;
            job.FUN = l.letter;
            job.N = 50;
            job.DINP = job.DFIT = rep.level;
            job.PINP = job.PFIT = rep.format;
            job.FREEQ = 'F';
            job.DATTYP = 'C';
            job.CELCAP = kCelcap;
            job.MAXFEV = 100;
            job.IRCH = rep.irch;
            for (int k = 1; k <= 50; ++k)
                job.P[k - 1] = l.p[k];
            nosk::engine::fillSyntheticData(job, job.P, hz, 0.0, 1);
            // Every parameter that is no selector is free; the start lies off
            // the data so that the residuals are not all 0.
            {
                double p[50];
                int none[50] = {};
                std::copy(job.P, job.P + 50, p);
                const ModelFunction m(l.letter, p, none, {kCelcap});
                for (int k = 0; k < 50; ++k)
                    if (job.P[k] != 0 && !m.isSelector(k)) {
                        job.NFREE[k] = 2;
                        job.P[k] *= 1.0 + 0.05 * ((k % 3) - 1);
                    }
            }
            const nosk::engine::PreparedJob prepared(job);
            nosk::engine::JobProblem problem(prepared);
            const int K = prepared.valueCount(), F = prepared.freeCount();
            std::vector<double> J(static_cast<std::size_t>(K) * F), rp(K), rm(K), rp2(K), rm2(K);
            // The start as the fit takes it (an exponent's within (0, 1]).
            double p[50];
            std::copy(prepared.startParams(), prepared.startParams() + 50, p);
            prepared.variablesToParams(prepared.startVariables().data(), p);
            problem.parameterJacobian(p, J.data(), K);
            std::vector<double> x(F);
            for (int j = 0; j < F; ++j) {
                const int index = prepared.freeParam(j);
                // Steps that stay within the parameter's range.
                const nosk::engine::ParameterMap& map = prepared.parameterMap(j);
                const double h = std::min({1e-3 * std::abs(p[index]), 0.25 * (p[index] - map.lower()),
                    0.25 * (map.upper() - p[index])});
                // Richardson: (4 D(h/2) - D(h)) / 3 removes the h^2 term.
                auto residualsAt = [&](double value, std::vector<double>& r) {
                    double q[50];
                    std::copy(p, p + 50, q);
                    q[index] = value;
                    const std::vector<double> xs = prepared.paramsToVariables(q);
                    problem.residuals(xs.data(), r.data());
                };
                residualsAt(p[index] + h, rp);
                residualsAt(p[index] - h, rm);
                residualsAt(p[index] + h / 2, rp2);
                residualsAt(p[index] - h / 2, rm2);
                // The differences are accurate to the rounding of r over h:
                // a parameter that moves the model little is compared on that
                // scale, every other one to 1e-6 of its largest entry.
                double scale = 0, rounding = 0;
                std::vector<double> reference(K);
                for (int k = 0; k < K; ++k) {
                    reference[k] = (4 * (rp2[k] - rm2[k]) / h - (rp[k] - rm[k]) / (2 * h)) / 3;
                    scale = std::max(scale, std::abs(reference[k]));
                    rounding = std::max(rounding, 1e-13 * std::abs(rp[k]) / h);
                }
                ASSERT_GT(scale, 0) << "P" << index + 1 << " moves nothing";
                for (int k = 0; k < K; ++k)
                    ASSERT_NEAR(J[static_cast<std::size_t>(j) * K + k], reference[k], 1e-6 * scale + rounding)
                        << "d r" << k << " / d P" << index + 1;
            }
        }
    }
}

TEST(Circuit, ParserRefusesWithFileLineColumnAndReason)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A = R(p1)-", "CIRCUITS, line 1, column 11: expected an element, found the end of the line"},
        {"A = R(p51)", "CIRCUITS, line 1, column 7: parameter p51 is beyond p50"},
        {"A = R(p0)", "CIRCUITS, line 1, column 7: parameters count from p1"},
        {"A = X(p1)", "CIRCUITS, line 1, column 5: unknown element 'X'"},
        {"A = DE(p3)", "CIRCUITS, line 1, column 8: DE(p3) takes R, T, U, PHI from below p1; name them"},
        {"A =", "CIRCUITS, line 1, column 4: expected an element such as R(p1) or par("},
        {"A =   # nothing", "CIRCUITS, line 1, column 7: expected an element such as R(p1) or par("},
        {"A = par(R(p1))", "CIRCUITS, line 1, column 14: expected ',' and a second branch in par(...)"},
        {"A = R(p1", "CIRCUITS, line 1, column 9: expected ')' to close R(, found end of line"},
        {"A R(p1)", "CIRCUITS, line 1, column 3: expected '=' after the circuit letter A"},
        {"a = R(p1)", "CIRCUITS, line 1, column 1: expected a circuit letter A to Z, found 'a'"},
        {"A = R(p1)\r\nA = R(p2)", "CIRCUITS, line 2, column 1: circuit A is defined twice (first on line 1)"},
        {"# own circuits\n\nB = R(p1)-Q(p2)", "CIRCUITS, line 3, column 15: expected ',' in Q(, found ')'"},
        {"S = R(p1) R(p2)", "CIRCUITS, line 1, column 11: expected '-' or the end of the line, found 'R'"},
        {"G = TLM(p4)", "CIRCUITS, line 1, column 11: expected ',' in TLM(r, z), found ')'"},
        {"O = DE(p10: p5,p6,p8)", "CIRCUITS, line 1, column 21: expected ',' in DE(p: pR,pT,pU,pPHI), found ')'"},
        {"A = R(q1)", "CIRCUITS, line 1, column 7: expected a parameter p1 ... p50, found 'q'"},
        {"A = Warburg(p1)", "CIRCUITS, line 1, column 5: unknown element 'Warburg'"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_LE(message.size(), 79u) << message;
    for (const auto& [text, message] : cases)
        EXPECT_EQ(refusal([&] { CircuitLibrary::parse(text, "CIRCUITS"); }), message) << text;

    // Nesting is bounded: the parser refuses instead of recursing on.
    std::string deep = "A = ";
    for (int i = 0; i < 200; ++i)
        deep += "par(R(p1), ";
    EXPECT_NE(refusal([&] { CircuitLibrary::parse(deep, "CIRCUITS"); }).find("nests deeper than"), std::string::npos);
}

TEST(Circuit, AnyDamageToTheBuiltInTextIsParsedOrRefused)
{
    // Every single-character deletion and replacement of every built-in
    // definition either parses to a circuit that evaluates, or is refused
    // with a located message; nothing else happens.
    const char replacements[] = {'(', ')', ',', '-', ':', 'p', '9', ' ', 'X', '#'};
    int parsed = 0, refused = 0;
    for (const CircuitLibrary::Definition& d : CircuitLibrary::builtIn().definitions()) {
        const std::string line = std::string(1, d.letter) + " = " + d.text;
        for (std::size_t at = 0; at < line.size(); ++at)
            for (int variant = -1; variant < static_cast<int>(sizeof replacements); ++variant) {
                std::string text = line;
                if (variant < 0)
                    text.erase(at, 1);
                else
                    text[at] = replacements[variant];
                try {
                    const CircuitLibrary lib = CircuitLibrary::parse(text, "CIRCUITS");
                    for (const auto& def : lib.definitions()) {
                        double p[50];
                        int nfree[50] = {};
                        for (int k = 0; k < 50; ++k)
                            p[k] = 1.0 + 0.01 * k;
                        for (int node : def.circuit.deNodes())
                            p[def.circuit.node(node).ref[0]] = 1;  // DE 1 everywhere
                        const ModelFunction m(def.letter, def.circuit, p, nfree);
                        (void)m.impedance(p, 2.0);
                    }
                    ++parsed;
                } catch (const nosk::exception& e) {
                    EXPECT_NE(std::string(e.what()).find("CIRCUITS, line 1, column "), std::string::npos) << e.what();
                    ++refused;
                }
            }
    }
    EXPECT_GT(parsed, 100);
    EXPECT_GT(refused, 1000);
}

TEST(Circuit, RolesAndDePlacesOfADefinition)
{
    std::vector<std::string> labels;
    for (const auto& r : nosk::engine::parameterRoles("R(p1)-L(p3)-par(C(p4), Q(p5,p6), DE(p10))"))
        labels.push_back(r.label());
    EXPECT_EQ(labels, (std::vector<std::string>{"p1: R", "p3: L", "p4: C", "p5: Q (Q)",
                          "p6: Q (alpha); DE (R)", "p7: DE (T)", "p8: DE (U)", "p9: DE (PHI)", "p10: DE selector"}));
    // Both roles of a parameter, in the order of the text.
    const auto roles = nosk::engine::parameterRoles("Q(p6,p5)-DE(p10)");
    EXPECT_EQ(roles[1].label(), "p6: Q (Q); DE (R)");

    const Circuit o = CircuitLibrary::builtIn().find('O')->circuit;
    const auto places = nosk::engine::dePlaces(o);
    ASSERT_EQ(places.size(), 3u);
    EXPECT_EQ(places[0].selector, 10);
    EXPECT_EQ(std::vector<int>(places[0].params, places[0].params + 4), (std::vector<int>{5, 6, 8, 9}));
    EXPECT_EQ(places[1].selector, 20);
    EXPECT_EQ(places[2].selector, 25);
    EXPECT_EQ(places[2].params[0], 21);
}

TEST(Circuit, HelpPagesShowTheBuiltInDefinitions)
{
    // The circuit help pages are written from circuits.txt; a definition
    // changed without them leaves the user reading another circuit.
    const std::map<char, int> topics = {{'A', 10051}, {'B', 10052}, {'C', 10053}, {'D', 10054}, {'E', 10055},
        {'F', 10056}, {'G', 10057}, {'H', 10058}, {'I', 10059}, {'J', 10060}, {'K', 10061}, {'O', 10062},
        {'R', 10063}, {'S', 10064}, {'T', 10064}};
    for (const CircuitLibrary::Definition& d : CircuitLibrary::builtIn().definitions()) {
        const std::string page = nosk::test::readAll(
            std::string(NOSK_SOURCE_DIR) + "/help/" + std::to_string(topics.at(d.letter)) + ".html");
        EXPECT_NE(page.find(std::string(1, d.letter) + " = " + d.text), std::string::npos) << d.letter;
        const std::string overview = nosk::test::readAll(std::string(NOSK_SOURCE_DIR) + "/help/10050.html");
        EXPECT_NE(overview.find("<code>" + d.text + "</code>"), std::string::npos) << d.letter;
    }
}
