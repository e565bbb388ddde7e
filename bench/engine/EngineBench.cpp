// Fit times of the bundled engine on its example jobs (no file writing):
//   BatteryDe16     circuit B with DE 16 on the measured battery spectrum,
//                   7 free parameters, 66 points
//   CircuitA3De     circuit A with DEs 5, 3 and 9, 13 free parameters, 100 points
//   BatteryTwoZarcs circuit S (two ZARCs and a CPE) on the battery spectrum,
//                   10 free parameters
// and the cost of one residual evaluation and one exact Jacobian of each.
#include "FitTiming.h"

#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"

#include "job/FitJob.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

nosk::FitJob loadExample(const char* relative)
{
    nosk::FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/" + relative);
    return job;
}

void fitExample(benchmark::State& state, const char* relative)
{
    nosk::bench::timeFit(state, loadExample(relative));
}

void BatteryDe16(benchmark::State& state)
{
    fitExample(state, "fittests/CKT.B/BDE16BAT.TST");
}

void CircuitA3De(benchmark::State& state)
{
    fitExample(state, "fittests/CKT.A/AMIX3.TST");
}

void BatteryTwoZarcs(benchmark::State& state)
{
    fitExample(state, "fittests/CKT.S/SBAT.TST");
}

void residualsOf(benchmark::State& state, const char* relative)
{
    const nosk::FitJob job = loadExample(relative);
    const nosk::engine::PreparedJob prepared(job);
    nosk::engine::JobProblem problem(prepared);
    const std::vector<double> x = prepared.startVariables();
    std::vector<double> r(prepared.valueCount());
    for (auto _ : state) {
        problem.residuals(x.data(), r.data());
        benchmark::DoNotOptimize(r.data());
    }
}

// The exact Jacobian of the circuit, evaluated in full each time: its cost
// is to be compared with that of one residual evaluation above (at most
// about three of them). In a fit most Jacobians cost less: the residual
// evaluation of an accepted step carries the derivatives along.
void jacobianOf(benchmark::State& state, const char* relative)
{
    const nosk::FitJob job = loadExample(relative);
    const nosk::engine::PreparedJob prepared(job);
    nosk::engine::JobProblem problem(prepared);
    const std::vector<double> x = prepared.startVariables();
    const int K = prepared.valueCount(), F = prepared.freeCount();
    std::vector<double> p(nosk::engine::PreparedJob::kMaxParams), J(static_cast<std::size_t>(K) * F);
    prepared.variablesToParams(x.data(), p.data());
    for (auto _ : state) {
        problem.parameterJacobian(p.data(), J.data(), K);
        benchmark::DoNotOptimize(J.data());
    }
}

void CircuitA3DeResiduals(benchmark::State& state) { residualsOf(state, "fittests/CKT.A/AMIX3.TST"); }
void CircuitA3DeJacobian(benchmark::State& state) { jacobianOf(state, "fittests/CKT.A/AMIX3.TST"); }
void BatteryDe16Residuals(benchmark::State& state) { residualsOf(state, "fittests/CKT.B/BDE16BAT.TST"); }
void BatteryDe16Jacobian(benchmark::State& state) { jacobianOf(state, "fittests/CKT.B/BDE16BAT.TST"); }
void BatteryTwoZarcsResiduals(benchmark::State& state) { residualsOf(state, "fittests/CKT.S/SBAT.TST"); }
void BatteryTwoZarcsJacobian(benchmark::State& state) { jacobianOf(state, "fittests/CKT.S/SBAT.TST"); }

} // namespace

BENCHMARK(BatteryDe16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BatteryTwoZarcs)->Unit(benchmark::kMicrosecond);
BENCHMARK(CircuitA3De)->Unit(benchmark::kMicrosecond);
BENCHMARK(CircuitA3DeResiduals)->Unit(benchmark::kMicrosecond);
BENCHMARK(CircuitA3DeJacobian)->Unit(benchmark::kMicrosecond);
BENCHMARK(BatteryDe16Residuals)->Unit(benchmark::kMicrosecond);
BENCHMARK(BatteryDe16Jacobian)->Unit(benchmark::kMicrosecond);
BENCHMARK(BatteryTwoZarcsResiduals)->Unit(benchmark::kMicrosecond);
BENCHMARK(BatteryTwoZarcsJacobian)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
