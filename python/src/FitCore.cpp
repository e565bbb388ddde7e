#include "FitCore.h"
#include "engine/Intervals.h"

#include "core/Exception.h"
#include "core/Reason.h"
#include "results/FitStatistics.h"
#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "model/Circuit.h"
#include "model/CircuitEvaluator.h"
#include "model/ModelFunction.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <filesystem>

namespace nosk::python {

namespace {

using model::CircuitLibrary;

constexpr double kTwoPi = 6.283185307179586;

// A circuit given by the caller: a built-in letter, or a definition of the
// circuit language that the engine then knows under the letter Z.
struct CircuitChoice {
    char letter = 0;
    CircuitLibrary library;
};

bool isLetter(const std::string& s)
{
    return s.size() == 1 && std::isupper(static_cast<unsigned char>(s[0]));
}

CircuitChoice chooseCircuit(const std::string& circuit)
{
    CircuitChoice c;
    c.library = CircuitLibrary::builtIn();
    if (isLetter(circuit)) {
        c.letter = circuit[0];
        if (!c.library.find(c.letter))
            throw exception("Model function '%c' is not available in this engine", c.letter);
        return c;
    }
    c.letter = 'Z';
    // The text is placed after "Z = ", so its columns in messages are off by
    // four; the parser is told so.
    c.library.overrideWith(CircuitLibrary::parse("Z = " + circuit, "circuit"));
    return c;
}

void checkFinite(const std::vector<double>& v, const char* what)
{
    for (double x : v)
        if (!std::isfinite(x))
            throw exception("%s holds a value that is not finite", what);
}

void checkFinite(const std::vector<std::complex<double>>& v, const char* what)
{
    for (const auto& x : v)
        if (!std::isfinite(x.real()) || !std::isfinite(x.imag()))
            throw exception("%s holds a value that is not finite", what);
}

} // namespace

void checkPointCount(std::size_t count, const char* what)
{
    if (count > static_cast<std::size_t>(kMaxPoints))
        throw exception("%s holds %zu values; the programs take at most %i points", what, count, kMaxPoints);
}

namespace {

void checkFrequencies(const std::vector<double>& f)
{
    if (f.empty())
        throw exception("No frequencies given");
    checkPointCount(f.size(), "frequency");
    checkFinite(f, "frequency");
    for (double x : f)
        if (!(x > 0))
            throw exception("A frequency is not positive (%g Hz)", x);
}

void checkParameterCount(std::size_t n)
{
    if (n == 0 || n > static_cast<std::size_t>(FitJob::kMaxParams))
        throw exception("%zu parameters given; a circuit takes 1 to 50", n);
}

FitOutput runPrepared(const FitJob& job, const CircuitLibrary& library, const engine::IntervalSettings& intervals = {})
{
    const engine::PreparedJob prepared(job, &library);
    if (prepared.isSimulation())
        throw exception("MAXFEV %i only evaluates the model; a fit needs at least 3", job.MAXFEV);
    engine::JobProblem problem(prepared);
    const engine::FitRun run = engine::fitPreparedJob(prepared, problem, engine::settingsFor(job));

    FitOutput out;
    const engine::FitStatisticsResult& s = run.record.statistics;
    out.params.assign(run.record.finalParams.begin(), run.record.finalParams.begin() + job.N);
    for (int j = 0; j < prepared.freeCount(); ++j)
        out.freeIndex.push_back(prepared.freeParam(j));
    out.atLimit = run.record.atLimit;
    for (int j = 0; j < prepared.freeCount(); ++j) {
        const int side = j < static_cast<int>(out.atLimit.size()) ? out.atLimit[j] : 0;
        ParameterStatus status = j < static_cast<int>(s.status.size()) ? s.status[j] : ParameterStatus::Determined;
        if (side != 0)
            status = ParameterStatus::AtLimit;
        out.status.push_back(parameterStatusName(status));
        // As the report's "given" line: a limit's value, 0 for a ln p bound
        // near zero, else where it ended.
        const double p = run.record.finalParams[prepared.freeParam(j)];
        double given = std::numeric_limits<double>::quiet_NaN();
        if (side != 0)
            given = side < 0 ? prepared.parameterMap(j).lower() : prepared.parameterMap(j).upper();
        else if (status == ParameterStatus::AtLogBound)
            given = std::abs(p) < 1 ? 0.0 : p;
        out.given.push_back(given);
    }
    out.stdDev = s.stdDev;
    out.resolved = s.resolved;
    out.correlation = s.correlation;
    out.S = s.S;
    out.sigma = s.sigma;
    out.quality = s.quality;
    out.nu = s.nu;
    out.functionEvaluations = run.record.outcome.functionEvaluations;
    out.jacobianEvaluations = run.record.outcome.jacobianEvaluations;
    const Reason& end = run.record.end;
    out.converged = end.normalEnd() && std::isfinite(s.S);
    out.endKind = reasonKindName(end.kind);
    out.reason = reasonSummary(end);
    if (!end.text.empty() && end.text != out.reason)
        out.reason += ": " + end.text;

    const int M = prepared.pointCount();
    out.model.resize(M);
    nosk::model::impedances(prepared.model(), run.record.finalParams.data(), prepared.omega(), prepared.lnOmega(), M,
        out.model.data());
    for (const model::ParameterRole& r : model::parameterRoles(prepared.model().definition()))
        out.roles.emplace_back(r.number, r.role);
    if (intervals.method != engine::IntervalMethod::None && prepared.freeCount() > 0)
        for (const engine::ParameterInterval& p :
            engine::computeIntervals(prepared, run.record, engine::settingsFor(job), intervals).parameters) {
            out.intervalLow.push_back(p.low);
            out.intervalHigh.push_back(p.high);
        }
    return out;
}

} // namespace

std::vector<std::pair<int, std::string>> roles(const std::string& circuit)
{
    const CircuitChoice c = chooseCircuit(circuit);
    std::vector<std::pair<int, std::string>> out;
    for (const model::ParameterRole& r : model::parameterRoles(c.library.find(c.letter)->circuit))
        out.emplace_back(r.number, r.role);
    return out;
}

std::string definitionText(const std::string& circuit)
{
    const CircuitChoice c = chooseCircuit(circuit);
    return c.library.find(c.letter)->text;
}

void checkColumns(const FitJob& job)
{
    for (const FitJob::Column* c : {&job.FREQ, &job.DATA1, &job.DATA2, &job.WEIGHT1, &job.WEIGHT2})
        if (c->has_value() && static_cast<int>((*c)->size()) != job.M)
            throw exception("A data column holds %zu values and M is %i", (*c)->size(), job.M);
    if (job.N < 0 || job.N > FitJob::kMaxParams)
        throw exception("Wrong parameters number!");
}

std::vector<std::complex<double>> simulate(const std::string& circuit, const std::vector<double>& params,
    const std::vector<double>& frequencyHz)
{
    checkParameterCount(params.size());
    checkFinite(params, "params");
    checkFrequencies(frequencyHz);
    const CircuitChoice c = chooseCircuit(circuit);
    double p[FitJob::kMaxParams] = {};
    int nfree[FitJob::kMaxParams] = {};
    std::copy(params.begin(), params.end(), p);
    const model::ModelFunction model(c.letter, c.library.find(c.letter)->circuit, p, nfree,
        model::DeContext{1.0});
    const int M = static_cast<int>(frequencyHz.size());
    std::vector<double> omega(M), lnOmega(M);
    for (int i = 0; i < M; ++i) {
        omega[i] = kTwoPi * frequencyHz[i];
        lnOmega[i] = std::log(omega[i]);
    }
    std::vector<std::complex<double>> z(M);
    nosk::model::impedances(model, p, omega.data(), lnOmega.data(), M, z.data());
    return z;
}

FitOutput fit(const FitInput& in)
{
    checkFrequencies(in.frequency);
    if (in.z.size() != in.frequency.size())
        throw exception("frequency holds %zu values and Z %zu", in.frequency.size(), in.z.size());
    checkFinite(in.z, "Z");
    checkParameterCount(in.start.size());
    checkFinite(in.start, "start");
    if (in.codes.size() != in.start.size())
        throw exception("%zu free codes given for %zu parameters", in.codes.size(), in.start.size());

    const CircuitChoice c = chooseCircuit(in.circuit);

    const int N = static_cast<int>(in.start.size());
    FitJob job = nosk::impedanceFitJob(c.letter, N);
    for (int i = 0; i < N; ++i) {
        job.P[i] = in.start[i];
        job.NFREE[i] = in.codes[i];
    }
    for (const std::vector<double>* limits : {&in.lower, &in.upper})
        if (!limits->empty() && limits->size() != in.start.size())
            throw exception("%zu limits given for %zu parameters", limits->size(), in.start.size());
    // Infinite for none; a NaN is refused by the engine's own check
    // ("a limit is not a number"), as in a job file.
    for (int i = 0; i < N; ++i) {
        if (!in.lower.empty())
            job.LOWER[i] = in.lower[i];
        if (!in.upper.empty())
            job.UPPER[i] = in.upper[i];
    }
    job.IRCH = in.sigma.empty() ? in.weighting : 0;
    job.MAXFEV = in.maxEvaluations;
    job.MODE = in.mode;
    const int M = static_cast<int>(in.z.size());
    job.allocateData(M, job.IRCH == 0);
    for (int i = 0; i < M; ++i) {
        (*job.FREQ)[i] = in.frequency[i];
        (*job.DATA1)[i] = in.z[i].real();
        (*job.DATA2)[i] = in.z[i].imag();
    }
    if (job.IRCH == 0) {
        if (in.sigma.size() != in.z.size())
            throw exception("sigma holds %zu values and Z %zu", in.sigma.size(), in.z.size());
        checkFinite(in.sigma, "sigma");
        for (int i = 0; i < M; ++i) {
            (*job.WEIGHT1)[i] = in.sigma[i].real();
            (*job.WEIGHT2)[i] = in.sigma[i].imag();
        }
    }
    engine::IntervalSettings intervals;
    if (!in.intervals.empty() && !engine::parseIntervalMethod(in.intervals, intervals.method))
        throw exception("intervals %s: one of profile, bootstrap or none", in.intervals.c_str());
    if (!(in.level > 0 && in.level < 1))
        throw exception("level %g: between 0 and 1", in.level);
    intervals.level = in.level;
    return runPrepared(job, c.library, intervals);
}

FitOutput fitJob(const FitJob& job, const std::string& circuitsFile, const std::string& definition)
{
    checkColumns(job);
    if (!circuitsFile.empty() && !std::filesystem::exists(circuitsFile))
        throw exception("No circuits file '%s'", circuitsFile.c_str());
    CircuitLibrary library =
        circuitsFile.empty() ? CircuitLibrary::builtIn() : CircuitLibrary::withOverrides(circuitsFile);
    if (!definition.empty())
        library.overrideWith(CircuitLibrary::parse(std::string(1, job.FUN) + " = " + definition, "circuit"));
    FitOutput out = runPrepared(job, library);
    if (!circuitsFile.empty() || !definition.empty()) {
        const CircuitLibrary::Definition* fitted = library.find(job.FUN);
        const CircuitLibrary::Definition* own = CircuitLibrary::builtIn().find(job.FUN);
        if (fitted && (!own || own->text != fitted->text))
            out.definition = fitted->text;
    }
    return out;
}

} // namespace nosk::python
