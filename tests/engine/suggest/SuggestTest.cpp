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
