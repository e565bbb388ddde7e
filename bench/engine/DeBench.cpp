// Evaluation of the distributed elements at 1000 frequencies (values only,
// and values with derivatives), and the fit of 100 points with one DE 10 of
// free beta, the case whose derivatives come from the same quadrature nodes.
#include "FitTiming.h"

#include "model/DeTable.h"
#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "support/SyntheticData.h"

#include "job/FitJob.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using nosk::engine::Complex;
using nosk::engine::DeParams;

struct Case {
    int de;
    DeParams p;
};

// One representative parameter set per DE; T = 1 ms, so w T runs from 1e-6
// to 1e3 over the 1000 frequencies.
const Case kCases[] = {
    {1, {1e3, 1e-6, 0, 0}}, {5, {1e3, 1e-3, 0, 0.7}}, {8, {1e3, 1e-3, 0.7, 0.6}}, {9, {1e3, 1e-3, 0, 0.45}},
    {10, {1e3, 1e-3, 0, 0.5}}, {11, {1e3, 1e-3, 1e-9, 0.7}}, {12, {1e3, 1e-3, 6, 0.7}}, {13, {1e3, 1e-3, 0.4, 0.8}},
    {14, {1e3, 1e-3, 0, 1.5}}, {15, {1e3, 1e-3, 300, 0.45}}, {18, {1e3, 1e-3, 0.4, 0.6}}, {19, {5, 1e-3, 0.4, 0.6}},
    {20, {1e3, 1e-3, 0, 0.7}}, {21, {5, 1e-3, 0, 0.3}}, {22, {5, 1e-3, 0, 0.7}}, {23, {1e3, 1e-4, 10, 0.8}},
    {24, {1e3, 1e-4, 10, 0.8}}, {25, {4, 1e-3, 0.25, 0.4}}, {26, {1e3, 1e-3, 0, 0.6}}, {27, {4, 1e-3, 0, 0.6}},
    {28, {4, 1e-3, 6, 0.7}}, {29, {1e3, 1e-3, -0.5, 0.7}}, {30, {1e3, 1e-3, 6, 1}}, {31, {4, 1e-3, 0.25, 0.4}},
    {32, {1e3, 1e-3, 0, 0}}, {33, {1e3, 100, 0.4, 1}}, {34, {1e3, 1e-3, 0, 0.6}}, {35, {1e3, 1e-3, 0, 0}},
    {36, {1e3, 1e-3, 0, 0.5}}, {37, {1, 1e-3, 0, 0.5}},
};

void evaluate(benchmark::State& state, bool derivatives)
{
    const Case& c = kCases[state.range(0)];
    const int n = 1000;
    std::vector<double> w(n), lw(n);
    for (int i = 0; i < n; ++i) {
        w[i] = c.de == 33 ? 200.0 + i * 0.5 : 1e-3 * std::pow(10.0, 9.0 * i / (n - 1));
        lw[i] = std::log(w[i]);
    }
    std::vector<Complex> z(n), d0(n), d1(n), d2(n), d3(n);
    Complex* d[4] = {d0.data(), d1.data(), d2.data(), d3.data()};
    const nosk::engine::DeContext ctx{1e-11};
    for (auto _ : state) {
        nosk::engine::deEvaluate(c.de, c.p, ctx, w.data(), lw.data(), n, 1.0, z.data(), derivatives ? d : nullptr);
        benchmark::DoNotOptimize(z.data());
    }
    state.SetLabel("DE " + std::to_string(c.de));
}

void DeValues1000(benchmark::State& state) { evaluate(state, false); }
void DeWithDerivatives1000(benchmark::State& state) { evaluate(state, true); }

BENCHMARK(DeValues1000)->DenseRange(0, sizeof kCases / sizeof kCases[0] - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(DeWithDerivatives1000)->DenseRange(0, sizeof kCases / sizeof kCases[0] - 1)->Unit(benchmark::kMicrosecond);

// 100 points of a DE 10 response (R, T and beta free) fitted from 20 % off.
void Kww100PointFit(benchmark::State& state)
{
    nosk::FitJob job = nosk::engine::impedanceFitJob('A', 10);
    job.P[5] = 1e3, job.P[6] = 1e-3, job.P[7] = 0, job.P[8] = 0.6, job.P[9] = 10;
    job.NFREE[5] = job.NFREE[6] = 1, job.NFREE[8] = 2;
    nosk::engine::fillSyntheticData(job, job.P, nosk::engine::logSpaced(1e-2, 1e6, 100), 1e-3, 7);
    job.P[5] *= 1.2, job.P[6] *= 0.8, job.P[8] = 0.72;
    nosk::bench::timeFit(state, job);
}
BENCHMARK(Kww100PointFit)->Unit(benchmark::kMillisecond);

} // namespace
