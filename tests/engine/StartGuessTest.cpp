// Start values from the data alone: for the built-in circuits, synthetic
// data with noise from known parameters, every free start value thrown away,
// the guess and one fit from it must give back the generating parameters
// within their standard deviations.
#include "EngineTestSupport.h"

#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "engine/StartGuess.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace nosk::test {
namespace {

struct Example {
    char letter;
    const char* file;
};

// The circuits' synthetic example jobs, one per letter. Circuit A is not
// among them: its example (13 free parameters, three DEs in series inside a
// parallel capacitance) is not recovered from no start values; the search
// ends with DE parameters at the ends of their ranges.
const Example kExamples[] = {{'B', "CKT.B/BDE16.TST"}, {'C', "CKT.C/CDE2.TST"},
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
// their time constants (the standard deviations `sd` of p1 ... p50, when
// given, move with their values).
void sortVoigtPairs(char letter, double* p, double* sd = nullptr)
{
    if (letter != 'D' && letter != 'K')
        return;
    const int pairs = letter == 'D' ? 5 : 9;
    std::vector<std::array<double, 4>> rc;
    for (int k = 0; k < pairs; ++k)
        rc.push_back({p[3 + 2 * k], p[4 + 2 * k], sd ? sd[3 + 2 * k] : 0, sd ? sd[4 + 2 * k] : 0});
    std::sort(rc.begin(), rc.end(), [](const auto& a, const auto& b) { return a[0] * a[1] < b[0] * b[1]; });
    for (int k = 0; k < pairs; ++k) {
        p[3 + 2 * k] = rc[k][0];
        p[4 + 2 * k] = rc[k][1];
        if (sd) {
            sd[3 + 2 * k] = rc[k][2];
            sd[4 + 2 * k] = rc[k][3];
        }
    }
}

} // namespace

TEST(StartGuess, RecoversTheGeneratingParametersOfTheBuiltInCircuits)
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
        for (int j = 0; j < reference.freeCount(); ++j) {
            if (!isDeShape(reference, reference.freeParam(j)))
                blind.P[reference.freeParam(j)] = 1;
        }

        const engine::GuessOutcome guess = engine::guessStartValues(blind);
        for (int i = 0; i < truth.N; ++i) {
            if (truth.NFREE[i] == 0) {
                EXPECT_EQ(guess.job.P[i], truth.P[i]) << "fixed P" << i + 1;
            }
        }

        // One fit from the guessed values, with its standard deviations.
        const engine::PreparedJob prepared(guess.job);
        engine::JobProblem problem(prepared);
        const engine::FitRun run = engine::fitPreparedJob(prepared, problem, engine::settingsFor(guess.job));
        double fitted[FitJob::kMaxParams], expected[FitJob::kMaxParams], sd[FitJob::kMaxParams] = {};
        std::copy(run.record.finalParams.begin(), run.record.finalParams.end(), fitted);
        std::copy(truth.P, truth.P + FitJob::kMaxParams, expected);
        for (int j = 0; j < prepared.freeCount(); ++j)
            sd[prepared.freeParam(j)] = run.record.statistics.stdDev[j];
        sortVoigtPairs(example.letter, fitted, sd);
        sortVoigtPairs(example.letter, expected);
        for (int j = 0; j < prepared.freeCount(); ++j) {
            const int i = prepared.freeParam(j);
            // Five standard deviations, and never tighter than the noise.
            const double bound = 5 * sd[i] + kNoise * std::abs(expected[i]);
            EXPECT_LE(std::abs(fitted[i] - expected[i]), bound)
                << "P" << i + 1 << " = " << fitted[i] << ", generated from " << expected[i] << ", sd " << sd[i];
        }
    }
}

} // namespace nosk::test
