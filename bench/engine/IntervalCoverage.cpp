// How often the 95 % intervals of a fit hold the true parameter values:
// synthetic spectra of four models at the battery spectrum's frequencies
// with 1 % noise (of |Z|, on both components, fitted with modulus
// weighting), each fitted and given its covariance interval (estimate +-
// t(nu) std dev) and its profile-likelihood interval.
//
//   bench_interval_coverage [replicates (default 200)] [battery spectrum]
//
// Prints a Markdown table per model (the README's), the time per fit with
// its profiles and the load.
#include "engine/EngineRun.h"
#include "engine/Intervals.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "support/SyntheticData.h"

#include "job/FitJob.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace nosk;
using namespace nosk::engine;

namespace {

struct Param {
    int number;  // 1-based
    double value;
    int code;    // NFREE: 1 ln p, 2 p, 0 fixed
    const char* name;
};

struct Model {
    const char* title;
    char fun;
    int n;
    std::vector<Param> params;
};

std::vector<Model> models()
{
    return {
        {"R0 + ZARC, phi 0.8", 'S', 11,
            {{1, 0.03, 1, "R0"}, {4, 0.01, 1, "R1"}, {5, 1.0, 1, "Q1"}, {6, 0.8, 2, "phi1"}}},
        {"R0 + ZARC, phi 0.95", 'S', 11,
            {{1, 0.03, 1, "R0"}, {4, 0.01, 1, "R1"}, {5, 0.3, 1, "Q1"}, {6, 0.95, 2, "phi1"}}},
        {"Randles, CPE double layer, finite Warburg", 'T', 7,
            {{1, 0.02, 1, "Rs"}, {2, 0.5, 1, "Qdl"}, {5, 0.9, 2, "phi"}, {4, 0.01, 1, "Rct"}, {6, 0.02, 1, "Rw"},
                {7, 10.0, 1, "tau_w"}}},
        {"two arcs and a diffusion CPE (battery)", 'S', 11,
            {{1, 0.03, 1, "R0"}, {4, 0.005, 1, "R1"}, {5, 0.05, 1, "Q1"}, {6, 0.9, 2, "phi1"}, {7, 0.01, 1, "R2"},
                {8, 2.0, 1, "Q2"}, {9, 0.75, 2, "phi2"}, {10, 200.0, 1, "Qd"}, {11, 0.5, 0, "phid"}}},
    };
}

std::vector<double> batteryFrequencies(const std::string& path)
{
    std::vector<double> f;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        double hz = 0;
        if (words >> hz && hz > 0)
            f.push_back(hz);
    }
    return f;
}

double loadAverage()
{
    std::ifstream in("/proc/loadavg");
    double one = -1;
    in >> one;
    return one;
}

} // namespace

int main(int argc, char** argv)
{
    const bool verbose = std::getenv("NOSK_COVERAGE_VERBOSE") != nullptr;
    const int replicates = argc > 1 ? std::atoi(argv[1]) : 200;
    const std::string spectrum = argc > 2 ? argv[2] : NOSK_SOURCE_DIR "/../shared/data/battery-eis.txt";
    std::vector<double> frequencies = batteryFrequencies(spectrum);
    if (frequencies.empty()) {
        std::fprintf(stderr, "cannot read the frequencies of %s\n", spectrum.c_str());
        return 1;
    }
    std::printf("%i replicates per model, %zu frequencies of %s, 1 %% noise, load %.2f\n\n", replicates,
        frequencies.size(), spectrum.c_str(), loadAverage());
    for (const Model& m : models()) {
        FitJob truth = impedanceFitJob(m.fun, m.n, "coverage");
        truth.IRCH = 3;
        for (const Param& p : m.params) {
            truth.P[p.number - 1] = p.value;
            truth.NFREE[p.number - 1] = p.code;
        }
        std::vector<const Param*> free;
        for (const Param& p : m.params)
            if (p.code != 0)
                free.push_back(&p);
        // The engine's free parameters run in the order of their numbers.
        std::sort(free.begin(), free.end(), [](const Param* a, const Param* b) { return a->number < b->number; });
        const int F = static_cast<int>(free.size());
        std::vector<int> covHit(F), profHit(F), profOpen(F);
        int fitted = 0;
        double seconds = 0;
        for (int r = 0; r < replicates; ++r) {
            FitJob job = truth;
            test::fillSyntheticData(job, truth.P, frequencies, 0.01, static_cast<unsigned>(1000 + r));
            const auto start = std::chrono::steady_clock::now();
            const PreparedJob prepared(job);
            JobProblem problem(prepared);
            FitSettings settings = settingsFor(job);
            const FitRun run = fitPreparedJob(prepared, problem, settings);
            if (run.record.end.kind != Reason::Kind::Converged)
                continue;
            IntervalSettings how;
            how.method = IntervalMethod::Profile;
            const IntervalResult iv = computeIntervals(prepared, run.record, settings, how);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ++fitted;
            const double tq = studentQuantile(run.record.statistics.nu, 0.95);
            for (int j = 0; j < F; ++j) {
                const double value = free[j]->value;
                const double estimate = run.record.finalParams[free[j]->number - 1];
                const double sd = run.record.statistics.stdDev[j];
                if (std::isfinite(sd) && std::fabs(value - estimate) <= tq * sd)
                    ++covHit[j];
                const ParameterInterval& p = iv.parameters[j];
                if (value >= p.low && value <= p.high)
                    ++profHit[j];
                if (!std::isfinite(p.low) || !std::isfinite(p.high))
                    ++profOpen[j];
                if (verbose)
                    std::printf("  %d %s true %g fit %g sd %g cov [%g, %g] profile [%g, %g] S %g\n", r, free[j]->name,
                        value, estimate, sd, estimate - tq * sd, estimate + tq * sd, p.low, p.high, iv.S);
            }
        }
        std::printf("### %s (circuit %c, %i free parameters)\n\n", m.title, m.fun, F);
        std::printf("| parameter | true value | covariance interval covers | profile interval covers | profile open |\n");
        std::printf("|---|---|---|---|---|\n");
        for (int j = 0; j < F; ++j)
            std::printf("| %s (P%i) | %g | %.1f %% | %.1f %% | %i |\n", free[j]->name, free[j]->number, free[j]->value,
                100.0 * covHit[j] / std::max(fitted, 1), 100.0 * profHit[j] / std::max(fitted, 1), profOpen[j]);
        std::printf("\n%i of %i fits converged; fit and profiles %.1f ms each (load %.2f)\n\n", fitted, replicates,
            1e3 * seconds / std::max(fitted, 1), loadAverage());
        std::fflush(stdout);
    }
    return 0;
}
