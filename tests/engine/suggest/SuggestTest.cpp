#include "Suggest.h"

#include "model/Circuit.h"
#include "model/CircuitEvaluator.h"
#include "model/ModelFunction.h"
#include "support/CircuitFamilies.h"
#include "support/Sanitizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <vector>

using namespace nosk::suggest;
using Z = std::complex<double>;

namespace {

// Z of a candidate through the engine's model, parameters by name.
Z modelImpedance(const Candidate& c, const std::map<std::string, double>& values, double omega)
{
    double p[50] = {};
    int nfree[50] = {};
    for (std::size_t i = 0; i < c.names.size(); ++i)
        p[i] = values.at(c.names[i]);
    const nosk::model::Circuit circuit = nosk::model::Circuit::parse(c.circuit);
    const nosk::model::ModelFunction model('X', circuit, p, nfree);
    return nosk::model::impedance(model, p, omega);
}

// The same from the shape alone, element by element in closed form.
Z referenceImpedance(const Shape& s, const std::map<std::string, double>& v, double w)
{
    using namespace nosk::test;
    Z z = 0;
    if (s.inductance)
        z += Z(0, w * v.at("L"));
    if (s.series)
        z += v.at("Rs");
    int unit = 0;
    for (int i = 0; i < s.rc; ++i) {
        const std::string k = std::to_string(++unit);
        z += rc(w, v.at("R" + k), v.at("C" + k));
    }
    for (int i = 0; i < s.rq; ++i) {
        const std::string k = std::to_string(++unit);
        z += zarc(w, v.at("R" + k), v.at("Q" + k), v.at("a" + k));
    }
    if (s.randles != Diffusion::None) {
        const Z diffusion = s.randles == Diffusion::Ws ? warburgTransmissive(w, v.at("Rw"), v.at("Tw"))
                                                       : warburgReflecting(w, v.at("Rw"), v.at("Tw"));
        const Z cpe = 1.0 / (v.at("Qdl") * std::pow(Z(0, w), v.at("adl")));
        const Z branch = v.at("Rct") + diffusion;
        z += 1.0 / (1.0 / cpe + 1.0 / branch);
    }
    for (int i = 0; i < s.gerischer; ++i) {
        const std::string k = std::to_string(i + 1);
        z += gerischer(w, v.at("Zg" + k), v.at("kg" + k));
    }
    if (s.tail == Tail::Cpe)
        z += 1.0 / (v.at("Qt") * std::pow(Z(0, w), v.at("at")));
    if (s.tail == Tail::Ws)
        z += warburgTransmissive(w, v.at("Rw"), v.at("Tw"));
    if (s.tail == Tail::Wo)
        z += warburgReflecting(w, v.at("Rw"), v.at("Tw"));
    return z;
}

// Values for every name a candidate may hold, distinct per element.
std::map<std::string, double> someValues()
{
    std::map<std::string, double> v{{"L", 2e-7}, {"Rs", 3.5}, {"Qdl", 2e-5}, {"adl", 0.83}, {"Rct", 41}, {"Rw", 17},
        {"Tw", 0.3}, {"Qt", 5e-3}, {"at", 0.71}};
    for (int k = 1; k <= 4; ++k) {
        const std::string n = std::to_string(k);
        v["R" + n] = 10.0 * k + 1;
        v["C" + n] = 1e-6 * std::pow(10.0, k);
        v["Q" + n] = 3e-6 * std::pow(10.0, k);
        v["a" + n] = 0.95 - 0.07 * k;
        v["Zg" + n] = 200.0 * k;
        v["kg" + n] = 50.0 / k;
    }
    return v;
}

CandidateFit fitOf(double S, int K, int F, int undetermined = 0)
{
    CandidateFit f;
    f.ok = true;
    f.S = S;
    f.K = K;
    f.sigmaF = std::sqrt(S / (K - F));
    for (int j = 0; j < F; ++j) {
        FittedParameter p;
        p.name = "p" + std::to_string(j + 1);
        p.value = 1;
        p.status = j < undetermined ? nosk::ParameterStatus::Undetermined : nosk::ParameterStatus::Determined;
        f.parameters.push_back(p);
    }
    return f;
}

int indexOf(const std::vector<Candidate>& list, const std::string& label)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].label == label)
            return static_cast<int>(i);
    return -1;
}

} // namespace

// Every circuit of the grammar, as the engine evaluates its text, against
// the closed forms of its elements; and its reductions are smaller circuits.
TEST(SuggestGrammar, CircuitsEvaluateAsTheirElements)
{
    const std::vector<Candidate> all = grammar();
    ASSERT_GT(all.size(), 100u);
    const std::map<std::string, double> v = someValues();
    for (const Candidate& c : all) {
        SCOPED_TRACE(c.label + ": " + c.circuit);
        EXPECT_EQ(static_cast<int>(c.names.size()), c.shape.parameterCount());
        for (double omega : {0.3, 17.0, 2.1e3, 6e5}) {
            const Z expected = referenceImpedance(c.shape, v, omega);
            const Z got = modelImpedance(c, v, omega);
            EXPECT_NEAR(std::abs(got - expected) / std::abs(expected), 0, 1e-10) << "omega " << omega;
        }
        for (int j : c.reducesTo)
            EXPECT_LT(all[static_cast<std::size_t>(j)].shape.parameterCount(), c.shape.parameterCount());
    }
}

// The grammar's battery and Randles circuits are the engine's letters S and
// T (their parameters in another order).
TEST(SuggestGrammar, MatchesTheEngineLetters)
{
    const std::map<std::string, double> v = someValues();
    struct Case {
        Shape shape;
        char letter;
        std::vector<std::pair<int, std::string>> slots;  // p number of the letter, candidate name
    };
    Shape battery;
    battery.inductance = battery.series = true;
    battery.rq = 2;
    battery.tail = Tail::Cpe;
    Shape randles;
    randles.inductance = randles.series = true;
    randles.randles = Diffusion::Ws;
    const Case cases[] = {
        {battery, 'S', {{1, "Rs"}, {3, "L"}, {4, "R1"}, {5, "Q1"}, {6, "a1"}, {7, "R2"}, {8, "Q2"}, {9, "a2"}, {10, "Qt"}, {11, "at"}}},
        {randles, 'T', {{1, "Rs"}, {3, "L"}, {2, "Qdl"}, {5, "adl"}, {4, "Rct"}, {6, "Rw"}, {7, "Tw"}}},
    };
    for (const Case& k : cases) {
        const Candidate c = candidateOf(k.shape);
        double p[50] = {};
        int nfree[50] = {};
        for (const auto& [number, name] : k.slots)
            p[number - 1] = v.at(name);
        const nosk::model::ModelFunction letter(k.letter, p, nfree);
        for (double omega : {0.5, 40.0, 9e3, 3e5}) {
            const Z expected = nosk::model::impedance(letter, p, omega);
            EXPECT_NEAR(std::abs(modelImpedance(c, v, omega) - expected) / std::abs(expected), 0, 1e-12)
                << c.label << " against " << k.letter << " at " << omega;
        }
    }
}

// A candidate whose extra parameter the data leave undetermined ranks below
// the smaller circuit it reduces to, however much lower its S; two that fit
// alike with as many parameters are said to tie; a clear difference is not.
TEST(SuggestRanking, UndeterminedBelowItsReductionAndTiesSaid)
{
    const std::vector<Candidate> list = candidatesFor(Inductance::Without, 60);
    const int one = indexOf(list, "R-(RQ)"), two = indexOf(list, "R-(RQ)x2"), rc = indexOf(list, "R-(RC)x2"),
              ws = indexOf(list, "R-(RQ)-Ws");
    ASSERT_GE(one, 0);
    ASSERT_GE(two, 0);
    ASSERT_GE(rc, 0);
    ASSERT_GE(ws, 0);
    ASSERT_NE(std::find(list[two].reducesTo.begin(), list[two].reducesTo.end(), one), list[two].reducesTo.end());
    const double noise = 0.01;
    const int K = 120;
    std::vector<CandidateFit> fits(list.size());
    fits[static_cast<std::size_t>(one)] = fitOf(0.0125, K, 4);      // chi2 125
    fits[static_cast<std::size_t>(two)] = fitOf(0.0100, K, 7, 1);   // chi2 100, one undetermined
    fits[static_cast<std::size_t>(rc)] = fitOf(0.0300, K, 5);       // chi2 300
    fits[static_cast<std::size_t>(ws)] = fitOf(0.0300, K, 5);       // the same fit with as many parameters
    const std::vector<Ranked> ranked = rankCandidates(list, fits, noise);
    ASSERT_EQ(ranked.size(), 4u);
    EXPECT_EQ(ranked[0].candidate.label, "R-(RQ)");
    EXPECT_NEAR(ranked[0].bic, 125 + 4 * std::log(120.0), 1e-9);
    EXPECT_NEAR(ranked[0].aic, 125 + 8, 1e-9);
    EXPECT_EQ(ranked[0].tieWith, -1);
    EXPECT_EQ(ranked[1].candidate.label, "R-(RQ)x2");
    EXPECT_EQ(ranked[1].reducedTo, one);
    EXPECT_NE(ranked[1].reason.find("reduces to R-(RQ)"), std::string::npos) << ranked[1].reason;
    EXPECT_LT(ranked[1].bic, ranked[0].bic);  // ranked below all the same
    EXPECT_EQ(ranked[3].tieWith, 2);
    EXPECT_NE(ranked[3].reason.find("these two describe the data equally well"), std::string::npos);
    EXPECT_NE(ranked[2].reason.find("ties with #4"), std::string::npos) << ranked[2].reason;
    EXPECT_EQ(ranked[2].tieWith, -1);
}

// Each parameter the data leave loose points to its own reduction: an R
// whose std dev exceeds its value takes its unit out (not the better circuit
// with a capacitor in the CPE's place), an exponent at 1 puts a capacitor in
// the CPE's place, and where the grammar has no such circuit (a CPE tail at
// 1 is a series C) the candidate stands for it with one parameter fewer.
TEST(SuggestRanking, EachLooseParameterPointsToItsOwnReduction)
{
    const std::vector<Candidate> list = candidatesFor(Inductance::Without, 60);
    const int one = indexOf(list, "R-(RQ)"), oneTail = indexOf(list, "R-(RQ)-Q"), mixed = indexOf(list, "R-(RC)-(RQ)"),
              two = indexOf(list, "R-(RQ)x2"), twoTail = indexOf(list, "R-(RQ)x2-Q");
    ASSERT_TRUE(one >= 0 && oneTail >= 0 && mixed >= 0 && two >= 0 && twoTail >= 0);
    const double noise = 0.01, lnK = std::log(120.0);
    auto at = [](std::vector<CandidateFit>& fits, int i) -> CandidateFit& { return fits[static_cast<std::size_t>(i)]; };
    auto named = [](CandidateFit f, const Candidate& c) {
        for (std::size_t j = 0; j < f.parameters.size(); ++j) {
            f.parameters[j].name = c.names[j];
            if (c.names[j][0] == 'a')
                f.parameters[j].value = 0.8;  // an exponent clear of 1
            f.parameters[j].stdDev = 0.05;
        }
        return f;
    };
    auto rankOf = [](const std::vector<Ranked>& r, const std::string& label) {
        for (std::size_t k = 0; k < r.size(); ++k)
            if (r[k].candidate.label == label)
                return static_cast<int>(k);
        return -1;
    };
    std::vector<CandidateFit> fits(list.size());
    at(fits, one) = named(fitOf(0.0300, 120, 4), list[one]);        // chi2 300
    at(fits, oneTail) = named(fitOf(0.0400, 120, 6), list[oneTail]); // chi2 400
    at(fits, mixed) = named(fitOf(0.0100, 120, 6), list[mixed]);    // chi2 100
    at(fits, two) = named(fitOf(0.0090, 120, 7), list[two]);        // chi2 90
    // R2 of R-(RQ)x2 with a std dev three times its value.
    FittedParameter& r2 = at(fits, two).parameters[4];
    ASSERT_EQ(r2.name, "R2");
    r2.stdDev = 3 * r2.value;
    std::vector<Ranked> ranked = rankCandidates(list, fits, noise);
    const int loose = rankOf(ranked, "R-(RQ)x2");
    ASSERT_GE(loose, 0);
    EXPECT_EQ(ranked[static_cast<std::size_t>(loose)].undetermined, 1);
    EXPECT_EQ(ranked[static_cast<std::size_t>(loose)].reducedTo, one);
    EXPECT_EQ(loose, rankOf(ranked, "R-(RQ)") + 1) << ranked[static_cast<std::size_t>(loose)].reason;
    EXPECT_EQ(ranked[0].candidate.label, "R-(RC)-(RQ)");

    // The same fit with R2 determined and a1 at 1: the circuit with a C in
    // its place, however much worse the circuit without the unit.
    r2.stdDev = 0.05;
    FittedParameter& a1 = at(fits, two).parameters[3];
    ASSERT_EQ(a1.name, "a1");
    a1.value = 1;
    a1.status = nosk::ParameterStatus::AtLimit;
    a1.stdDev = std::nan("");
    ranked = rankCandidates(list, fits, noise);
    ASSERT_EQ(ranked[0].candidate.label, "R-(RC)-(RQ)");
    EXPECT_EQ(ranked[1].candidate.label, "R-(RQ)x2");
    EXPECT_EQ(ranked[1].reducedTo, mixed);
    EXPECT_NE(ranked[1].reason.find("a1 at 1): reduces to R-(RC)-(RQ)"), std::string::npos) << ranked[1].reason;

    // A CPE tail at 1 has no circuit of its own in the grammar: counted
    // with one parameter fewer, it beats the circuit without the tail.
    at(fits, twoTail) = named(fitOf(0.0060, 120, 9), list[twoTail]);  // chi2 60
    FittedParameter& tail = at(fits, twoTail).parameters.back();
    ASSERT_EQ(tail.name, "at");
    tail.value = 1;
    tail.status = nosk::ParameterStatus::AtLimit;
    ranked = rankCandidates(list, fits, noise);
    ASSERT_EQ(ranked[0].candidate.label, "R-(RQ)x2-Q");
    EXPECT_EQ(ranked[0].reducedTo, -1);
    EXPECT_NEAR(ranked[0].bic, 60 + 8 * lnK, 1e-9);
    EXPECT_NE(ranked[0].reason.find("a capacitor in place of the CPE"), std::string::npos) << ranked[0].reason;
}

// Of two circuits that tie, the smaller ranks first even with the higher
// BIC; outside the margin the lower BIC wins again.
TEST(SuggestRanking, TheSmallerOfATieFirst)
{
    const std::vector<Candidate> list = candidatesFor(Inductance::Without, 60);
    const int mixed = indexOf(list, "R-(RC)-(RQ)"), two = indexOf(list, "R-(RQ)x2");
    ASSERT_TRUE(mixed >= 0 && two >= 0);
    const double lnK = std::log(120.0);
    for (const double gap : {1.0, 3.0}) {
        std::vector<CandidateFit> fits(list.size());
        fits[static_cast<std::size_t>(two)] = fitOf(1e-4 * 100, 120, 7);
        fits[static_cast<std::size_t>(mixed)] = fitOf(1e-4 * (100 + lnK + gap), 120, 6);
        const std::vector<Ranked> ranked = rankCandidates(list, fits, 0.01);
        ASSERT_EQ(ranked.size(), 2u);
        EXPECT_NEAR(ranked[0].bic - ranked[1].bic, gap < 2 ? gap : -gap, 1e-9);
        EXPECT_EQ(ranked[0].candidate.label, gap < 2 ? "R-(RC)-(RQ)" : "R-(RQ)x2");
        EXPECT_EQ(ranked[1].tieWith, gap < 2 ? 0 : -1) << ranked[1].reason;
    }
}

// A spectrum made with an ideal capacitor: the circuit with that C ranks
// first and the one with a CPE there, whose exponent reaches 1, reduces to it.
TEST(SuggestCircuits, IdealCapacitorRanksItsCircuitFirst)
{
    std::vector<double> f;
    std::vector<Z> z;
    double draw = 0.3;
    for (int i = 0; i < 50; ++i) {
        f.push_back(1e5 * std::pow(1e-6, i / 49.0));
        const double w = 2 * 3.141592653589793 * f.back();
        Z v = 20.0 + nosk::test::rc(w, 100, 1e-6) + nosk::test::zarc(w, 300, 2e-3, 0.8);
        // 0.01 % noise, the same every run.
        draw = std::fmod(draw * 7919.37 + 0.1234, 1.0);
        const double d1 = draw - 0.5;
        draw = std::fmod(draw * 7919.37 + 0.1234, 1.0);
        v += std::abs(v) * 0.0002 * Z(d1, draw - 0.5);
        z.push_back(v);
    }
    const Result r = suggestCircuits(f, z);
    ASSERT_FALSE(r.ranked.empty());
    EXPECT_EQ(r.ranked[0].candidate.label, "R-(RC)-(RQ)") << r.ranked[0].reason;
    bool seen = false;
    for (std::size_t k = 1; k < r.ranked.size(); ++k)
        if (r.ranked[k].candidate.label == "R-(RQ)x2") {
            seen = true;
            std::string values;
            for (const FittedParameter& p : r.ranked[k].parameters)
                values += " " + p.name + "=" + std::to_string(p.value);
            EXPECT_NE(r.ranked[k].reason.find("at 1): reduces to R-(RC)-(RQ)"), std::string::npos)
                << r.ranked[k].reason << values;
        }
    EXPECT_TRUE(seen);
}

// A spectrum made by each family, at low noise, ranks its family first. Under
// the sanitizer (ten times slower) four families that hold every kind of
// element: L-R-(RQ), (RC)x2-(RQ)x2, (RC)-Gx2 and R-Ws.
TEST(SuggestCircuits, EachFamilyRanksFirstAtLowNoise)
{
    std::vector<int> families;
    for (int f = 0; f < nosk::test::kFamilyCount; ++f)
        if (!nosk::test::kUnderSanitizer || f == 0 || f >= 6)
            families.push_back(f);
    for (int f : families) {
        const nosk::test::LabelledSpectrum s = nosk::test::familySpectrum(f, 0, 0.001);
        const Result r = suggestCircuits(s.frequencyHz, s.z);
        ASSERT_FALSE(r.ranked.empty());
        EXPECT_EQ(r.ranked.front().candidate.label, nosk::test::familyLabel(f)) << r.ranked.front().reason;
        // The noise the ranking assumes is the one the data were made with.
        EXPECT_LT(r.noise, 1.5 * s.noise + 1e-5);
    }
}

TEST(SuggestCircuits, RefusesWhatCannotBeRanked)
{
    std::vector<double> f{1, 2, 3};
    std::vector<Z> z{1, 2, 3};
    EXPECT_THROW(suggestCircuits(f, z), std::invalid_argument);
    const nosk::test::LabelledSpectrum s = nosk::test::familySpectrum(3, 0, 0);
    std::vector<Z> bad = s.z;
    bad[5] = Z(std::nan(""), 0);
    EXPECT_THROW(suggestCircuits(s.frequencyHz, bad), std::invalid_argument);
}
