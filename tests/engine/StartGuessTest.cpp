// Start values from the data alone: for the built-in circuits, synthetic
// data with noise from known parameters, every free start value thrown away,
// the guess and one fit from it must give back the generating parameters
// within their standard deviations.
#include "EngineTestSupport.h"

#include "core/Exception.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "engine/StartGuess.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nosk::test {
namespace {

struct Example {
    char letter;
    const char* file;
};

// The circuits' synthetic example jobs, one per letter; circuit A with one
// DE (Havriliak-Negami). Circuit A's example with three DEs in series inside
// a parallel capacitance (AMIX3, 13 free parameters) is not recovered from no
// start values: the search ends with DE parameters at the ends of their
// ranges.
const Example kExamples[] = {{'A', "CKT.A/ADE6.TST"}, {'B', "CKT.B/BDE16.TST"}, {'C', "CKT.C/CDE2.TST"},
    {'D', "CKT.D/DVOIGT5.TST"}, {'E', "CKT.E/EDE5.TST"}, {'F', "CKT.F/FDE2.TST"}, {'G', "CKT.G/GTLM.TST"},
    {'H', "CKT.H/HBRICK.TST"}, {'I', "CKT.I/IGER.TST"}, {'J', "CKT.J/JFILM.TST"}, {'K', "CKT.K/KVOIGT9.TST"},
    {'O', "CKT.O/ODIEL.TST"}, {'R', "CKT.R/RWARB.TST"}, {'S', "CKT.S/SZARC.TST"}, {'T', "CKT.T/TWS.TST"}};

bool isDeShape(const engine::PreparedJob& job, int index)
{
    const model::ModelFunction& model = job.model();
    for (int slot = 0; slot < model.slotCount(); ++slot)
        if (model.slotParam(slot, 2) == index || model.slotParam(slot, 3) == index)
            return true;
    return false;
}

// Like elements in series are interchangeable: a Voigt chain's RC pairs
// (circuits D and K) and circuit H's two layers (R, T, U, PHI of a DE 3 with
// its capacitance). They are compared in the order of their time constants,
// the standard deviations `sd` of p1 ... p50 (when given) moving with their
// values.
void sortInterchangeable(char letter, double* p, double* sd = nullptr)
{
    std::vector<std::vector<int>> blocks;
    if (letter == 'D' || letter == 'K') {
        for (int k = 0; k < (letter == 'D' ? 5 : 9); ++k)
            blocks.push_back({3 + 2 * k, 4 + 2 * k});
    } else if (letter == 'H') {
        blocks = {{0, 1, 2, 3, 11}, {5, 6, 7, 8, 13}};
    } else {
        return;
    }
    std::vector<std::vector<double>> values;
    for (const auto& b : blocks) {
        std::vector<double> v;
        for (int i : b)
            v.push_back(p[i]);
        for (int i : b)
            v.push_back(sd ? sd[i] : 0);
        values.push_back(v);
    }
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a[0] * a[1] < b[0] * b[1]; });
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const std::size_t n = blocks[k].size();
        for (std::size_t m = 0; m < n; ++m) {
            p[blocks[k][m]] = values[k][m];
            if (sd)
                sd[blocks[k][m]] = values[k][n + m];
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
        nosk::test::fillSyntheticData(truth, truth.P, frequencies, kNoise, 27);

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
        sortInterchangeable(example.letter, fitted, sd);
        sortInterchangeable(example.letter, expected);
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

namespace nosk::test {

// Limits bind the guess as they bind a fit: the battery job with limits that
// the values from the data lie outside (p1 above 1, p5 below 0.5, the time
// constant of p7 within a decade) gets start values within every limit, which
// the engine then runs; a job with every parameter fixed says so instead of
// reporting S = 0.
TEST(StartGuess, StaysWithinTheLimitsAndRefusesAJobWithNothingFree)
{
    FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST");
    const double inf = std::numeric_limits<double>::infinity();
    const double lower[7] = {1.0, -inf, -inf, -inf, 0.3, 1e-3, 150.0};
    const double upper[7] = {5.0, inf, inf, 1.0, 0.5, inf, 250.0};
    for (int i = 0; i < 7; ++i) {
        job.LOWER[i] = lower[i];
        job.UPPER[i] = upper[i];
        ASSERT_TRUE(job.NFREE[i] == 1 || job.NFREE[i] == 2) << i;
    }
    job.P[0] = 2.0;
    job.P[6] = 200.0;
    const FitJob data = engine::dataScaleGuess(job);
    const engine::GuessOutcome guess = engine::guessStartValues(job, nullptr, 8);
    for (int i = 0; i < 7; ++i) {
        for (const FitJob* j : {&data, &guess.job}) {
            EXPECT_GE(j->P[i], lower[i]) << "p" << i + 1;
            EXPECT_LE(j->P[i], upper[i]) << "p" << i + 1;
        }
    }
    EXPECT_TRUE(std::isfinite(guess.S));
    EXPECT_GT(guess.S, 0.0);
    EXPECT_NO_THROW(engine::PreparedJob{guess.job});

    FitJob fixed = job;
    for (int i = 0; i < 7; ++i)
        fixed.NFREE[i] = 0;
    try {
        engine::guessStartValues(fixed, nullptr, 8);
        ADD_FAILURE() << "a job without free parameters was guessed";
    } catch (const nosk::exception& e) {
        EXPECT_NE(std::string(e.what()).find("there are no start values to guess"), std::string::npos) << e.what();
    }
}

} // namespace nosk::test
