// The circuit language: every built-in letter against a closed form written
// from the element formulas (CircuitLetters.h), the zero and infinity rules,
// and the parser's refusals. The exact Jacobian of each letter is checked by
// the engine's tests (CircuitJobTest.cpp).
#include "CircuitLetters.h"
#include "support/Files.h"
#include "support/SyntheticData.h"
#include "support/Tolerance.h"

#include "model/Circuit.h"
#include "model/CircuitEvaluator.h"
#include "model/ModelFunction.h"

#include "core/Exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

using nosk::model::Circuit;
using nosk::model::CircuitLibrary;
using nosk::model::Complex;
using nosk::model::ModelFunction;

namespace {

using namespace nosk::test::circuits;

// The circuit's values for a 1-based parameter set.
std::vector<Complex> evaluate(char letter, const Params& p1, const std::vector<double>& omega)
{
    double p[50] = {};
    int nfree[50] = {};
    for (int k = 1; k <= 50; ++k)
        p[k - 1] = p1[k];
    const ModelFunction model(letter, p, nfree, nosk::model::DeContext{kCelcap});
    std::vector<double> lnOmega(omega.size());
    for (std::size_t i = 0; i < omega.size(); ++i)
        lnOmega[i] = std::log(omega[i]);
    std::vector<Complex> z(omega.size());
    nosk::model::impedances(model, p, omega.data(), lnOmega.data(), static_cast<int>(omega.size()), z.data());
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
    const std::vector<double> omega = nosk::test::logSpaced(1e-3, 1e6, 30);
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
    const std::vector<double> omega = nosk::test::logSpaced(1e-2, 1e5, 30);
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
                zs += nosk::model::deImpedance(1, {p[6], p[7], p[8], p[9]}, w)
                    + nosk::model::deImpedance(2, {p[11], p[12], p[13], p[14]}, w)
                    + nosk::model::deImpedance(9, {p[16], p[17], p[18], p[19]}, w);
                expected = inverse(Complex(0.0, w * p[4]) + inverse(zs));
            } else {
                Complex inner = p[4] + nosk::model::deImpedance(16, {p[6], p[7], p[8], p[9]}, w)
                    + nosk::model::deImpedance(1, {p[11], p[12], p[13], p[14]}, w);
                inner = inverse(Complex(0.0, w * p[2]) + inverse(inner));
                expected = Complex(p[1], w * p[3]) + inner + nosk::model::deImpedance(5, {p[16], p[17], p[18], p[19]}, w)
                    + nosk::model::deImpedance(2, {p[21], p[22], p[23], p[24]}, w);
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
    EXPECT_EQ(nosk::model::impedance(x, p, 3.0), Complex(7.0, 0.0));
    p[0] = 1e-3;
    p[1] = 0.0;
    p[2] = 1e-6;
    p[3] = 0.0;
    const ModelFunction y('Y', own.find('Y')->circuit, p, nfree);
    EXPECT_EQ(nosk::model::impedance(y, p, 3.0), Complex(0.0, 3e-3));
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

    // A file an editor began with a UTF-8 byte-order mark reads as without
    // it; columns of the first line count after the mark.
    const CircuitLibrary marked = CircuitLibrary::parse("\xEF\xBB\xBF" "B = R(p1)-C(p2)\n", "CIRCUITS");
    ASSERT_NE(marked.find('B'), nullptr);
    EXPECT_EQ(marked.find('B')->text, "R(p1)-C(p2)");
    EXPECT_EQ(refusal([&] { CircuitLibrary::parse("\xEF\xBB\xBF" "A = R(p1", "CIRCUITS"); }),
        "CIRCUITS, line 1, column 9: expected ')' to close R(, found end of line");

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
                        (void)nosk::model::impedance(m, p, 2.0);
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
    for (const auto& r : nosk::model::parameterRoles("R(p1)-L(p3)-par(C(p4), Q(p5,p6), DE(p10))"))
        labels.push_back(r.label());
    EXPECT_EQ(labels, (std::vector<std::string>{"p1: R", "p3: L", "p4: C", "p5: Q (Q)",
                          "p6: Q (alpha); DE (R)", "p7: DE (T)", "p8: DE (U)", "p9: DE (PHI)", "p10: DE selector"}));
    // Both roles of a parameter, in the order of the text.
    const auto roles = nosk::model::parameterRoles("Q(p6,p5)-DE(p10)");
    EXPECT_EQ(roles[1].label(), "p6: Q (Q); DE (R)");

    const Circuit o = CircuitLibrary::builtIn().find('O')->circuit;
    const auto places = nosk::model::dePlaces(o);
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
