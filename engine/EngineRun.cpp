#include "EngineRun.h"

#include "AuxWriter.h"
#include "model/EngineError.h"
#include "MultiStart.h"
#include "TextFile.h"
#include "core/WorkFolderFiles.h"

#include "core/Exception.h"
#include "core/NumberText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <ostream>
#include <limits>
#include <string>

namespace nosk::engine {

using model::CircuitLibrary;
using model::EngineError;
using model::reasonOf;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
using workfiles::kInput;
using workfiles::kReport;
using workfiles::kTable;
using workfiles::kNextInput;
// The user's own circuit definitions, replacing built-in letters.
using workfiles::kCircuits;

class Stopwatch {
public:
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// The results of a run are synced to the disk only when the run took at
// least this long: a shorter one costs less to run again after a crash of
// the system than three syncs cost every time on a busy disk (README,
// "Writing the results"). NOSK_SYNC_AFTER_SECONDS sets another bound (0:
// always sync).
double syncAfterSeconds()
{
    if (const char* text = std::getenv("NOSK_SYNC_AFTER_SECONDS")) {
        const std::optional<double> v = readNumber(text, kOptionValue);
        if (v && *v >= 0)
            return *v;
    }
    return 1.0;
}

void chooseDurability(double seconds)
{
    setOutputDurability(seconds >= syncAfterSeconds() ? AtomicFileWriter::Durability::Sync
                                                      : AtomicFileWriter::Durability::NoSync);
}

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

FitRun fitPreparedJob(const PreparedJob& job, JobProblem& problem, const FitSettings& settings,
    const std::vector<ParameterStatus>& presetStatus)
{
    FitOutcome outcome;
    Reason stop;
    if (job.freeCount() > 0) {
        outcome = fitLevenbergMarquardt(problem, job.startVariables(), settings);
        // The problem's own stop is that of its last evaluation: taken
        // before the statistics evaluate it again.
        stop = problem.stop();
    } else {
        outcome.x = job.startVariables();
        outcome.functionEvaluations = 1;
    }
    return finishFit(job, problem, outcome, stop, presetStatus);
}

FitRun fitPreparedJob(const PreparedJob& job, JobProblem& problem, const FitSettings& settings, int starts,
    const std::function<void(int, const StartRunResult&)>& runDone, int agree, double seconds)
{
    if (starts <= 1 || job.freeCount() == 0)
        return fitPreparedJob(job, problem, settings);
    MultiStartSettings search;
    search.starts = starts;
    search.agree = agree;
    search.seconds = seconds;
    const MultiStartResult found = multiStartFit(job, settings, search, runDone);
    const StartRunResult& best = found.runs[found.bestRun];
    FitRun run = finishFit(job, problem, found.best, best.stop);
    FitRecord& rec = run.record;
    rec.starts = static_cast<int>(found.runs.size());
    rec.startsReached = found.reached;
    rec.bestStart = found.bestRun;
    rec.firstRunS = found.runs.front().S;
    SearchSummary& s = rec.search;
    s.end = found.end == SearchEnd::Agreed ? SearchSummary::End::Agreed
        : found.end == SearchEnd::Budget   ? SearchSummary::End::Budget
        : found.end == SearchEnd::Time     ? SearchSummary::End::Time
                                           : SearchSummary::End::Complete;
    s.runs = rec.starts;
    s.reached = found.reached;
    s.needed = found.needed;
    s.budget = starts;
    s.degenerate = found.degenerate;
    s.best = found.bestRun + 1;
    s.runaway = found.bestDegenerate && best.runaway >= 0 ? job.freeParam(best.runaway) + 1 : 0;
    return run;
}

FitRun finishFit(const PreparedJob& job, JobProblem& problem, const FitOutcome& outcome, const Reason& problemStop,
    const std::vector<ParameterStatus>& presetStatus)
{
    FitRun run;
    FitRecord& rec = run.record;
    const int K = job.valueCount(), F = job.freeCount();
    rec.outcome = outcome;
    rec.end = fitEndReason(rec.outcome, F, problemStop);
    std::vector<double> x = outcome.x;
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
    const bool converged = rec.end.kind == Reason::Kind::Converged;
    std::vector<ParameterStatus> preset = presetStatus;
    preset.resize(F, ParameterStatus::Determined);
    for (int j = 0; j < F; ++j) {
        estimates[j] = rec.finalParams[job.freeParam(j)];
        double* column = Jp.data() + static_cast<std::size_t>(j) * keptCount;
        for (int a = 0; a < keptCount; ++a)
            column[a] = J[static_cast<std::size_t>(j) * K + kept[a]];
        // A parameter held by a limit is not determined by the data: it is
        // taken as fixed there, and the others' statistics are those of the
        // problem without its column.
        rec.atLimit[j] = limitReached(job.parameterMap(j), estimates[j], column, rk.data(), keptCount);
        if (rec.atLimit[j] != 0)
            preset[j] = ParameterStatus::AtLimit;
        // A parameter kept positive (ln p) that the data push below 0 runs
        // towards the bound of ln p: held at 0 by its code, as by a lower
        // limit of 0, however far it got before the fit converged. (Before
        // convergence any step may point anywhere.)
        else if (converged && job.freePositive(j) && job.parameterMap(j).lower() < 0
            && limitReached(ParameterMap(true, 0.0, kInfinity, estimates[j]), estimates[j], column, rk.data(),
                   keptCount) < 0)
            preset[j] = ParameterStatus::AtLogBound;
    }
    // Parameters fitted as ln p: one at the bound of ln p is not determined.
    std::unique_ptr<bool[]> logScaled(new bool[std::max(F, 1)]);
    for (int j = 0; j < F; ++j)
        logScaled[j] = job.freePositive(j);
    rec.statistics = computeStatistics(keptCount, F, rk.data(), obs.data(), model.data(), Jp.data(),
        estimates.data(), logScaled.get(), preset.data());
    // "Singular" speaks of the parameters the data cannot resolve.
    rec.statistics.singular = false;
    for (int j = 0; j < F; ++j)
        if (rec.statistics.status[j] != ParameterStatus::Determined && rec.atLimit[j] == 0)
            rec.statistics.singular = true;
    return run;
}

int runEngine(std::ostream& out, std::ostream& err, int starts, int agree, const IntervalSettings& intervals,
    double seconds)
{
    Stopwatch watch;
    RunClock clock;
    clock.started = std::time(nullptr);

    FitJob job;
    bool loaded = false;
    auto refuse = [&](const Reason& reason) {
        std::remove(kTable);
        err << kEngineName << ": " << reason.text << '\n' << reasonLine(reason) << '\n';
        clock.seconds = watch.seconds();
        chooseDurability(clock.seconds);
        try {
            writeFailureReport(kReport, loaded ? &job : nullptr, reason, clock);
        } catch (const exception& e) {
            err << kEngineName << ": " << e.what() << '\n';
        }
        return 1;
    };

    try {
        job.load(kInput);
    } catch (const exception& e) {
        return refuse(reasonOf(e, Reason::Kind::Input));
    } catch (const std::bad_alloc&) {
        return refuse(reasonOf(std::runtime_error("INFL declares more data lines than memory holds"),
            Reason::Kind::Memory));
    }
    loaded = true;
    out << kEngineName << ' ' << kEngineVersion << ": " << job.description << '\n';

    try {
        const CircuitLibrary circuits = CircuitLibrary::withOverrides(kCircuits);
        const PreparedJob prepared(job, &circuits);
        JobProblem problem(prepared);
        if (prepared.isSimulation()) {
            std::vector<double> model0(prepared.pointCount()), model1(prepared.pointCount());
            problem.modelAt(prepared.startParams(), model0.data(), model1.data());
            clock.seconds = watch.seconds();
            chooseDurability(clock.seconds);
            writeSimulationReport(kReport, prepared, clock);
            writeModelTable(kTable, prepared, model0.data(), model1.data());
            job.save(kNextInput, AtomicFileWriter::Links::Replace, outputDurability());
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
        out << "Fitting " << prepared.freeCount() << " free parameters to " << prepared.valueCount() << " values";
        if (starts > 1 && prepared.freeCount() > 0)
            out << " from " << starts << " starts";
        out << "..." << std::endl;
        // Runs that ran away are replaced, so the count may pass the budget.
        auto runDone = [&out, &prepared, starts](int run, const StartRunResult& r) {
            char line[160];
            std::snprintf(line, sizeof line, "  RUN %3i OF %3i   S = %.10E", run + 1, std::max(starts, run + 1), r.S);
            out << line;
            if (r.degenerate)
                out << "   P" << prepared.freeParam(r.runaway) + 1 << " RAN AWAY: REPLACED";
            out << std::endl;
        };
        Stopwatch fitWatch;
        FitRun run = fitPreparedJob(prepared, problem, settings, starts, runDone, agree, seconds);
        if (intervals.method != IntervalMethod::None && prepared.freeCount() > 0) {
            out << "Computing " << intervalMethodName(intervals.method) << " intervals..." << std::endl;
            FitSettings quiet = settings;
            quiet.progress = nullptr;
            quiet.printEvery = 0;
            run.record.intervals = computeIntervals(prepared, run.record, quiet, intervals);
        }
        clock.fitSeconds = fitWatch.seconds();
        clock.seconds = watch.seconds();
        chooseDurability(clock.seconds);
        writeFitReport(kReport, prepared, run.record, clock);
        writeFitTable(kTable, prepared, problem, run.model0.data(), run.model1.data());
        FitJob next = job;
        for (int j = 0; j < prepared.freeCount(); ++j)
            next.P[prepared.freeParam(j)] = run.record.finalParams[prepared.freeParam(j)];
        next.save(kNextInput, AtomicFileWriter::Links::Replace, outputDurability());

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
        if (run.record.search.runs > 0)
            out << "  " << searchNote(run.record.search) << " (best: run " << run.record.bestStart + 1 << ")\n";
        for (int j = 0; j < prepared.freeCount(); ++j)
            if (const int side = run.record.atLimit[j]) {
                const ParameterMap& map = prepared.parameterMap(j);
                out << "  P" << prepared.freeParam(j) + 1 << " ended at its " << (side < 0 ? "lower" : "upper")
                    << " limit " << (side < 0 ? map.lower() : map.upper()) << '\n';
            }
        const IntervalResult& iv = run.record.intervals;
        for (int j = 0; j < static_cast<int>(iv.parameters.size()); ++j) {
            const ParameterInterval& p = iv.parameters[j];
            auto end = [](double v) {
                char b[32];
                std::snprintf(b, sizeof b, "%.6G", v);
                return std::isinf(v) ? std::string("none") : std::string(b);
            };
            char line[160];
            std::snprintf(line, sizeof line, "  P%i %s interval (%.4g): %s to %s (%s)", prepared.freeParam(j) + 1,
                intervalMethodName(iv.method), iv.level, end(p.low).c_str(), end(p.high).c_str(), boundedness(p));
            out << line << '\n';
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
