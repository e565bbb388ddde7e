#pragma once

#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"

#include "job/FitJob.h"

#include <benchmark/benchmark.h>

namespace nosk::bench {

// Times the fit of `job` as the engine runs it (no file writing): the job is
// prepared once, each iteration fits from the same start. Counters: function
// evaluations, free parameters, data points.
inline void timeFit(benchmark::State& state, const FitJob& job)
{
    const engine::PreparedJob prepared(job);
    const engine::FitSettings settings = engine::settingsFor(job);
    int evaluations = 0;
    for (auto _ : state) {
        engine::JobProblem problem(prepared);
        const engine::FitRun run = engine::fitPreparedJob(prepared, problem, settings);
        evaluations = run.record.outcome.functionEvaluations;
        benchmark::DoNotOptimize(run.record.statistics.S);
    }
    state.counters["nfev"] = evaluations;
    state.counters["free"] = prepared.freeCount();
    state.counters["points"] = prepared.pointCount();
}

} // namespace nosk::bench
