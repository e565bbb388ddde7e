#include "EngineRun.h"

#include "AuxWriter.h"
#include "EngineError.h"

#include "core/Exception.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <ostream>
#include <string>

namespace nosk::engine {

namespace {

constexpr const char* kInputFile = "INFL";
constexpr const char* kReportFile = "PNTOUTL";
constexpr const char* kTableFile = "AUXPNTL";
constexpr const char* kNextInputFile = "OUTIN";
// The user's own circuit definitions, replacing built-in letters.
constexpr const char* kCircuitsFile = "CIRCUITS";

class Stopwatch {
public:
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

std::string sci(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.10E", v);
    return b;
}

} // namespace

FitSettings settingsFor(const FitJob& job)
{
    FitSettings s;
    s.maxFunctionEvaluations = job.MAXFEV;
    s.unitScaling = job.MODE == 2;
    s.printEvery = job.NPRINT;
    return s;
}

FitRun fitPreparedJob(const PreparedJob& job, JobProblem& problem, const FitSettings& settings)
{
    FitRun run;
    FitRecord& rec = run.record;
    const int K = job.valueCount(), F = job.freeCount();
    std::vector<double> x = job.startVariables();
    if (F > 0) {
        rec.outcome = fitLevenbergMarquardt(problem, x, settings);
        // The problem's own stop is that of its last evaluation: taken
        // before the statistics evaluate it again.
        rec.end = fitEndReason(rec.outcome, F, problem.stop());
        x = rec.outcome.x;
    } else {
        rec.outcome.functionEvaluations = 1;
        rec.end = fitEndReason(rec.outcome, F, Reason{});
    }
    rec.finalParams.assign(PreparedJob::kMaxParams, 0.0);
    job.variablesToParams(x.data(), rec.finalParams.data());

    const int M = job.pointCount();
    run.model0.resize(M);
    run.model1.resize(M);
    problem.modelAt(rec.finalParams.data(), run.model0.data(), run.model1.data());

    // The statistics count the values that have a sigma at the solution
    // (with function weighting a model value of 0 drops out).
    std::vector<double> r(K), obs, model, J(static_cast<std::size_t>(K) * F);
    problem.residuals(x.data(), r.data());
    // The Jacobian with respect to the parameters themselves (not ln p).
    if (F > 0)
        problem.parameterJacobian(rec.finalParams.data(), J.data(), K);
    std::vector<int> kept;
    for (int k = 0; k < K; ++k) {
        const JobProblem::Value v = problem.value(k, run.model0.data(), run.model1.data());
        if (v.sigma == 0)
            continue;
        kept.push_back(k);
        obs.push_back(v.observed);
        model.push_back(v.model);
    }
    const int keptCount = static_cast<int>(kept.size());
    std::vector<double> rk(keptCount), Jp(static_cast<std::size_t>(keptCount) * F), estimates(F);
    for (int a = 0; a < keptCount; ++a)
        rk[a] = r[kept[a]];
    rec.atLimit.assign(F, 0);
    for (int j = 0; j < F; ++j) {
        estimates[j] = rec.finalParams[job.freeParam(j)];
        double* column = Jp.data() + static_cast<std::size_t>(j) * keptCount;
        for (int a = 0; a < keptCount; ++a)
            column[a] = J[static_cast<std::size_t>(j) * K + kept[a]];
        // A parameter held by a limit is not determined by the data: it is
        // taken as fixed there, and the others' statistics are those of the
        // problem without it (a zero column is left out by the QR).
        rec.atLimit[j] = limitReached(job.parameterMap(j), estimates[j], column, rk.data(), keptCount);
        if (rec.atLimit[j] != 0)
            std::fill(column, column + keptCount, 0.0);
    }
    rec.statistics = computeStatistics(keptCount, F, rk.data(), obs.data(), model.data(), Jp.data(),
        estimates.data());
    // "Singular" speaks of the parameters the data cannot resolve.
    rec.statistics.singular = false;
    for (int j = 0; j < F; ++j)
        if (!rec.statistics.resolved[j] && rec.atLimit[j] == 0)
            rec.statistics.singular = true;
    return run;
}

int runEngine(std::ostream& out, std::ostream& err)
{
    Stopwatch watch;
    RunClock clock;
    clock.started = std::time(nullptr);

    FitJob job;
    bool loaded = false;
    auto refuse = [&](const Reason& reason) {
        std::remove(kTableFile);
        err << kEngineName << ": " << reason.text << '\n' << reasonLine(reason) << '\n';
        clock.seconds = watch.seconds();
        try {
            writeFailureReport(kReportFile, loaded ? &job : nullptr, reason, clock);
        } catch (const exception& e) {
            err << kEngineName << ": " << e.what() << '\n';
        }
        return 1;
    };

    try {
        job.load(kInputFile);
    } catch (const exception& e) {
        return refuse(reasonOf(e, Reason::Kind::Input));
    } catch (const std::bad_alloc&) {
        return refuse(reasonOf(std::runtime_error("INFL declares more data lines than memory holds"),
            Reason::Kind::Memory));
    }
    loaded = true;
    out << kEngineName << ' ' << kEngineVersion << ": " << job.description << '\n';

    try {
        const CircuitLibrary circuits = CircuitLibrary::withOverrides(kCircuitsFile);
        const PreparedJob prepared(job, &circuits);
        JobProblem problem(prepared);
        if (prepared.isSimulation()) {
            std::vector<double> model0(prepared.pointCount()), model1(prepared.pointCount());
            problem.modelAt(prepared.startParams(), model0.data(), model1.data());
            clock.seconds = watch.seconds();
            writeSimulationReport(kReportFile, prepared, clock);
            writeModelTable(kTableFile, prepared, model0.data(), model1.data());
            job.save(kNextInputFile);
            out << "Model evaluated at " << prepared.pointCount() << " points without a fit.\n";
            Reason end;
            end.kind = Reason::Kind::NotFitted;
            end.field = "MAXFEV";
            end.text = "the model was evaluated without a fit (MAXFEV " + std::to_string(job.MAXFEV) + ")";
            out << reasonLine(end) << '\n';
            return 0;
        }

        FitSettings settings = settingsFor(job);
        settings.progress = [&out](int iteration, int evaluations, double s) {
            char line[128];
            std::snprintf(line, sizeof line, "  ITERATION %5i   FUNCTION EVALUATIONS %6i   S = %.10E", iteration,
                evaluations, s);
            // Flushed: the organiser shows the latest line while the fit runs.
            out << line << std::endl;
        };
        out << "Fitting " << prepared.freeCount() << " free parameters to " << prepared.valueCount()
            << " values..." << std::endl;
        Stopwatch fitWatch;
        FitRun run = fitPreparedJob(prepared, problem, settings);
        clock.fitSeconds = fitWatch.seconds();
        clock.seconds = watch.seconds();
        writeFitReport(kReportFile, prepared, run.record, clock);
        writeFitTable(kTableFile, prepared, problem, run.model0.data(), run.model1.data());
        FitJob next = job;
        for (int j = 0; j < prepared.freeCount(); ++j)
            next.P[prepared.freeParam(j)] = run.record.finalParams[prepared.freeParam(j)];
        next.save(kNextInputFile);

        const FitStatisticsResult& s = run.record.statistics;
        const Reason& end = run.record.end;
        // Only a converged fit (or one without free parameters) finished;
        // any other end is said as such.
        out << (end.normalEnd() ? "Fit finished: " : "Fit ended early: ")
            << (prepared.freeCount() > 0 ? end.text : std::string("no free parameters")) << '\n';
        out << "  S = " << sci(s.S);
        out << "  sigmaf = " << sci(s.sigma) << "  nu = " << s.nu << '\n';
        out << "  function evaluations " << run.record.outcome.functionEvaluations << ", jacobian evaluations "
            << run.record.outcome.jacobianEvaluations << '\n';
        for (int j = 0; j < prepared.freeCount(); ++j)
            if (const int side = run.record.atLimit[j]) {
                const ParameterMap& map = prepared.parameterMap(j);
                out << "  P" << prepared.freeParam(j) + 1 << " ended at its " << (side < 0 ? "lower" : "upper")
                    << " limit " << (side < 0 ? map.lower() : map.upper()) << '\n';
            }
        out << reasonLine(end) << '\n';
        return 0;
    } catch (const exception& e) {
        // Errors of the file writers name the file; the engine's own carry
        // their kind and place.
        return refuse(reasonOf(e, Reason::Kind::File));
    } catch (const std::bad_alloc&) {
        return refuse(reasonOf(std::runtime_error("The job needs more memory than there is"), Reason::Kind::Memory));
    }
}

} // namespace nosk::engine
