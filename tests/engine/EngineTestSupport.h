#pragma once

#include "engine/EngineRun.h"
#include "support/SyntheticData.h"

#include "job/FitJob.h"

#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace nosk::test {

// One parameter of a test job: 1-based number, true value, NFREE code.
struct TestParam {
    int number;
    double value;
    int code;
};

// A job of circuit `fun` with N parameters, Z/R data in Hz, unit weighting,
// a fit of at most 500 evaluations; the data come from `params` without
// noise unless the caller fills them again.
inline FitJob makeTestJob(char fun, int n, const std::vector<TestParam>& params, int points = 30,
    double fromHz = 1e-2, double toHz = 1e5)
{
    FitJob job = engine::impedanceFitJob(fun, n, "engine test");
    for (const TestParam& p : params) {
        job.P[p.number - 1] = p.value;
        job.NFREE[p.number - 1] = p.code;
    }
    engine::fillSyntheticData(job, job.P, engine::logSpaced(fromHz, toHz, points), 0.0, 1);
    return job;
}

// Moves every free start value 30 % away from the truth (up and down in turn).
inline void offsetStart(FitJob& job, double factor = 0.3)
{
    int k = 0;
    for (int i = 0; i < job.N; ++i)
        if (job.NFREE[i] == 1 || job.NFREE[i] == 2)
            job.P[i] *= (k++ % 2 == 0) ? 1.0 + factor : 1.0 - factor;
}

struct EngineResult {
    int status;
    std::string out, err;
};

// Runs the engine in the current folder, in this process.
inline EngineResult runEngineHere()
{
    std::ostringstream out, err;
    const int status = engine::runEngine(out, err);
    return {status, out.str(), err.str()};
}

// Fits `job` with the engine in the current folder and expects every free
// parameter of OUTIN within `tolerance` (relative) of its value in `truth`.
inline void expectFitRecovers(const FitJob& job, const FitJob& truth, double tolerance)
{
    job.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    FitJob fitted;
    fitted.load("OUTIN");
    for (int i = 0; i < job.N; ++i) {
        if (job.NFREE[i] == 1 || job.NFREE[i] == 2) {
            EXPECT_REL_NEAR(fitted.P[i], truth.P[i], tolerance) << "P" << i + 1 << "\n" << r.out;
        }
    }
}

inline bool fileExists(const std::string& name)
{
    return std::filesystem::exists(name);
}

// The lines of a text file without their terminators.
inline std::vector<std::string> fileLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace nosk::test
