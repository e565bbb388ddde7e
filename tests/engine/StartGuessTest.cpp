// Start values from the data alone: for every built-in circuit, synthetic
// data with noise from known parameters, every free start value thrown away,
// the guess and one fit from it must give back the generating parameters
// within their standard deviations.
#include "EngineTestSupport.h"

#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "engine/StartGuess.h"

#include <algorithm>
#include <cmath>

namespace nosk::test {
namespace {

struct Example {
    char letter;
    const char* file;
};

// The circuits' synthetic example jobs, one per letter.
const Example kExamples[] = {{'A', "CKT.A/AMIX3.TST"}, {'B', "CKT.B/BDE16.TST"}, {'C', "CKT.C/CDE2.TST"},
    {'D', "CKT.D/DVOIGT5.TST"}, {'E', "CKT.E/EDE5.TST"}, {'F', "CKT.F/FDE2.TST"}, {'G', "CKT.G/GTLM.TST"},
    {'H', "CKT.H/HBRICK.TST"}, {'I', "CKT.I/IGER.TST"}, {'J', "CKT.J/JFILM.TST"}, {'K', "CKT.K/KVOIGT9.TST"},
    {'O', "CKT.O/ODIEL.TST"}, {'R', "CKT.R/RWARB.TST"}, {'S', "CKT.S/SZARC.TST"}, {'T', "CKT.T/TWS.TST"}};

bool isDeShape(const engine::PreparedJob& job, int index)
{
    const engine::ModelFunction& model = job.model();
    for (int slot = 0; slot < model.slotCount(); ++slot)
        if (model.slotParam(slot, 2) == index || model.slotParam(slot, 3) == index)
            return true;
    return false;
}

// A Voigt chain's RC pairs are interchangeable: compare them in the order of
// their time constants.
void sortVoigtPairs(char letter, double* p)
{
    if (letter != 'D' && letter != 'K')
        return;
    const int pairs = letter == 'D' ? 5 : 9;
    std::vector<std::pair<double, double>> rc;
    for (int k = 0; k < pairs; ++k)
        rc.emplace_back(p[3 + 2 * k], p[4 + 2 * k]);
    std::sort(rc.begin(), rc.end(),
        [](const auto& a, const auto& b) { return a.first * a.second < b.first * b.second; });
    for (int k = 0; k < pairs; ++k) {
        p[3 + 2 * k] = rc[k].first;
        p[4 + 2 * k] = rc[k].second;
    }
}

} // namespace

TEST(StartGuess, RecoversTheGeneratingParametersOfEveryBuiltInCircuit)
{
    constexpr double kNoise = 1e-3;
    for (const Example& example : kExamples) {
        SCOPED_TRACE(std::string("circuit ") + example.letter);
        FitJob truth;
        truth.load(std::string(NOSK_SOURCE_DIR) + "/fittests/" + example.file);
        ASSERT_EQ(truth.FUN, example.letter);
        std::vector<double> frequencies((*truth.FREQ).begin(), (*truth.FREQ).begin() + truth.M);
        engine::fillSyntheticData(truth, truth.P, frequencies, kNoise, 27);

        // No start values: every free parameter 1, except the shape
        // parameters of DEs, which the guess leaves as they are.
        FitJob blind = truth;
        const engine::PreparedJob reference(truth);
        for (int j = 0; j < reference.freeCount(); ++j)
            if (!isDeShape(reference, reference.freeParam(j)))
                blind.P[reference.freeParam(j)] = 1;

        const engine::GuessOutcome guess = engine::guessStartValues(blind);
        for (int i = 0; i < truth.N; ++i)
            if (truth.NFREE[i] == 0)
                EXPECT_EQ(guess.job.P[i], truth.P[i]) << "fixed P" << i + 1;

        // One fit from the guessed values, with its standard deviations.
        const engine::PreparedJob prepared(guess.job);
        engine::JobProblem problem(prepared);
        const engine::FitRun run = engine::fitPreparedJob(prepared, problem, engine::settingsFor(guess.job));
        double fitted[FitJob::kMaxParams], expected[FitJob::kMaxParams];
        std::copy(run.record.finalParams.begin(), run.record.finalParams.end(), fitted);
        std::copy(truth.P, truth.P + FitJob::kMaxParams, expected);
        sortVoigtPairs(example.letter, fitted);
        sortVoigtPairs(example.letter, expected);
        const auto& sd = run.record.statistics.stdDev;
        for (int j = 0; j < prepared.freeCount(); ++j) {
            const int i = prepared.freeParam(j);
            // Five standard deviations, and never tighter than the noise.
            const double bound = 5 * sd[j] + kNoise * std::abs(expected[i]);
            EXPECT_LE(std::abs(fitted[i] - expected[i]), bound)
                << "P" << i + 1 << " = " << fitted[i] << ", generated from " << expected[i] << ", sd " << sd[j];
        }
    }
}

} // namespace nosk::test
