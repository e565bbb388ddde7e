#include "SeriesRun.h"

#include "engine/EngineRun.h"

#include "core/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

namespace nosk::series {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Below this p-value against the independent fits the joint fit tries its
// other starts.
constexpr double kWrongMinimumLevel = 1e-3;

IndependentFit fitAlone(const FitJob& job, const std::string& label, const model::CircuitLibrary* circuits,
    int starts)
{
    IndependentFit out;
    try {
        const engine::PreparedJob prepared(job, circuits);
        engine::JobProblem problem(prepared);
        const engine::FitRun run =
            engine::fitPreparedJob(prepared, problem, engine::settingsFor(job), std::max(starts, 1), {});
        const engine::FitStatisticsResult& s = run.record.statistics;
        out.ok = true;
        out.S = s.S;
        out.K = s.K;
        out.end = run.record.end.text;
        for (int j = 0; j < prepared.freeCount(); ++j) {
            out.value.push_back(run.record.finalParams[static_cast<std::size_t>(prepared.freeParam(j))]);
            out.stdDev.push_back(j < static_cast<int>(s.stdDev.size()) ? s.stdDev[j] : kNaN);
            out.status.push_back(j < static_cast<int>(s.status.size()) ? s.status[j] : ParameterStatus::Undetermined);
        }
    } catch (const std::exception& e) {
        throw exception("%s: %s", label.c_str(), e.what());
    }
    return out;
}

// The start of a shared parameter: the mean of the spectra's own values
// weighted by their std devs (of ln p for a parameter fitted as ln p),
// the median where none is determined.
double sharedStart(const std::vector<IndependentFit>& fits, int j, bool positive, bool weighted)
{
    double sw = 0, swv = 0;
    std::vector<double> all;
    for (const IndependentFit& f : fits) {
        const double v = f.value[j], s = f.stdDev[j];
        if (positive && !(v > 0))
            continue;
        const double y = positive ? std::log(v) : v;
        all.push_back(y);
        const double sy = positive ? s / v : s;
        if (f.status[j] == ParameterStatus::Determined && sy > 0 && std::isfinite(sy)) {
            sw += 1 / (sy * sy);
            swv += y / (sy * sy);
        }
    }
    double y;
    if (sw > 0 && weighted) {
        y = swv / sw;
    } else if (!all.empty()) {
        std::nth_element(all.begin(), all.begin() + all.size() / 2, all.end());
        y = all[all.size() / 2];
    } else {
        return fits.front().value[j];
    }
    return positive ? std::exp(y) : y;
}

// Each spectrum's locals again, with the shared and function parameters
// held at their starts: a spectrum whose own fit took another minimum then
// starts the joint fit near the series' one. Along the covariate, each
// spectrum from the best of its own values, the template's start values
// and its neighbour's result.
void refitLocals(const SeriesSetup& setup, const SeriesResult& result, const std::vector<std::string>& labels,
    const engine::PreparedJob& first, double centre, const std::vector<double>& shared,
    const std::vector<std::vector<double>>& coefficients, std::vector<FitJob>& jobs)
{
    const std::size_t N = jobs.size();
    const int F = static_cast<int>(result.roles.size());
    std::vector<std::size_t> order(N);
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
        [&](std::size_t a, std::size_t b) { return setup.covariate[a] < setup.covariate[b]; });
    const FitJob* previous = nullptr;
    for (const std::size_t i : order) {
        FitJob held = jobs[i];
        for (int j = 0; j < F; ++j) {
            const int k = result.freeParams[j];
            if (result.roles[j] == Role::Local)
                continue;
            const double v = result.roles[j] == Role::Shared
                                 ? shared[j]
                                 : RoleFunction(result.roles[j], centre).value(coefficients[j].data(),
                                       setup.covariate[i]);
            if (std::isfinite(v)) {
                const engine::ParameterMap& map = first.parameterMap(j);
                held.P[k] = std::clamp(v, map.lower(), map.upper());
            }
            held.NFREE[k] = 0;
        }
        std::vector<FitJob> candidates(previous ? 3 : 2, held);
        for (int j = 0; j < F; ++j) {
            if (result.roles[j] != Role::Local)
                continue;
            const int k = result.freeParams[j];
            candidates[1].P[k] = setup.jobs[i].P[k];
            if (previous)
                candidates[2].P[k] = previous->P[k];
        }
        double best = std::numeric_limits<double>::infinity();
        for (const FitJob& candidate : candidates) {
            try {
                const IndependentFit f = fitAlone(candidate, labels[i], setup.circuits, 1);
                if (!(f.S < best))
                    continue;
                best = f.S;
                const engine::PreparedJob heldPrepared(candidate, setup.circuits);
                for (int a = 0; a < heldPrepared.freeCount(); ++a)
                    if (std::isfinite(f.value[a]))
                        jobs[i].P[heldPrepared.freeParam(a)] = f.value[a];
            } catch (const std::exception&) {
                // Another candidate, or the spectrum's own values, start it.
            }
        }
        previous = &jobs[i];
    }
}

SeriesResult singleFit(const SeriesSetup& setup, SeriesResult result)
{
    result.single = true;
    result.notes.push_back("one spectrum only: the result is its single fit");
    const IndependentFit f = fitAlone(setup.jobs.front(), setup.labels.front(), setup.circuits, setup.starts);
    const engine::PreparedJob prepared(setup.jobs.front(), setup.circuits);
    engine::JobProblem problem(prepared);
    result.independent = {f};
    result.fit.S = f.S;
    result.fit.converged = true;
    result.fit.end = f.end;
    JointStatistics& st = result.statistics;
    st.S = f.S;
    st.K = f.K;
    st.variables = prepared.freeCount();
    st.nu = st.K - st.variables;
    st.XS = st.nu > 0 ? st.S / st.nu : kNaN;
    st.sigma = std::sqrt(st.XS);
    SpectrumValues sv;
    sv.value = f.value;
    sv.stdDev = f.stdDev;
    sv.status = f.status;
    sv.S = f.S;
    sv.K = f.K;
    st.spectra = {sv};
    for (int j = 0; j < prepared.freeCount(); ++j) {
        if (result.roles[j] == Role::Local)
            continue;
        if (isFunction(result.roles[j])) {
            result.notes.push_back("P" + std::to_string(result.freeParams[j] + 1) + " is fitted as a value: a "
                + roleName(result.roles[j]) + " function needs more than one spectrum");
            continue;
        }
        Coefficient co;
        co.freeIndex = j;
        co.param = result.freeParams[j];
        co.name = "P" + std::to_string(co.param + 1);
        co.value = f.value[j];
        co.stdDev = f.stdDev[j];
        co.status = f.status[j];
        co.low = co.high = kNaN;
        st.coefficients.push_back(co);
    }
    result.tests.why = "one spectrum only: nothing to test";
    return result;
}

} // namespace

SeriesResult fitSeries(const SeriesSetup& setup)
{
    if (setup.jobs.empty())
        throw exception("The series holds no spectrum");
    const std::size_t N = setup.jobs.size();
    std::vector<std::string> labels = setup.labels;
    labels.resize(N);
    SeriesResult result;
    std::unique_ptr<engine::PreparedJob> first;
    try {
        first = std::make_unique<engine::PreparedJob>(setup.jobs.front(), setup.circuits);
    } catch (const std::exception& e) {
        throw exception("%s: %s", labels.front().c_str(), e.what());
    }
    const int F = first->freeCount();
    if (F == 0)
        throw exception("The template has no free parameter: there is nothing to fit");
    // Roles named for parameters: each must be free.
    for (std::size_t k = 0; k < setup.roles.size(); ++k) {
        if (setup.roles[k] == Role::Local)
            continue;
        bool free = false;
        for (int j = 0; j < F; ++j)
            free = free || first->freeParam(j) == static_cast<int>(k);
        if (!free)
            throw exception("P%d is fixed in the template: it cannot be %s", static_cast<int>(k) + 1,
                roleName(setup.roles[k]));
    }
    for (int j = 0; j < F; ++j) {
        const std::size_t k = static_cast<std::size_t>(first->freeParam(j));
        result.freeParams.push_back(first->freeParam(j));
        result.roles.push_back(k < setup.roles.size() ? setup.roles[k] : Role::Local);
    }
    for (std::size_t i = 0; i < N; ++i) {
        const double x = i < setup.covariate.size() ? setup.covariate[i] : kNaN;
        for (int j = 0; j < F; ++j) {
            if (!isFunction(result.roles[j]))
                continue;
            if (!std::isfinite(x))
                throw exception("%s: no covariate value, which P%d's %s function needs", labels[i].c_str(),
                    result.freeParams[j] + 1, roleName(result.roles[j]));
            if (needsTemperature(result.roles[j]) && !(x > 0))
                throw exception("%s: the temperature %g K is not above absolute zero (P%d's %s function)",
                    labels[i].c_str(), x, result.freeParams[j] + 1, roleName(result.roles[j]));
        }
    }
    if (N == 1)
        return singleFit(setup, std::move(result));

    // Each spectrum alone.
    for (std::size_t i = 0; i < N; ++i)
        result.independent.push_back(fitAlone(setup.jobs[i], labels[i], setup.circuits, setup.starts));

    double centre = 0;
    for (double x : setup.covariate)
        centre += x;
    centre /= static_cast<double>(N);
    bool anyLocal = false, anyGlobal = false;
    for (Role role : result.roles) {
        anyLocal = anyLocal || role == Role::Local;
        anyGlobal = anyGlobal || role != Role::Local;
    }

    // The joint fit from up to three starts, the lowest S kept: the shared
    // values and the functions' coefficients from the spectra's own values
    // weighted by their std devs, unweighted (the median for a shared
    // value), and unweighted without the quarter of the spectra farthest
    // from the function. A spectrum whose own fit took another minimum
    // (two elements trading roles) with a small std dev can pull the first
    // far off; the others do not follow it.
    std::unique_ptr<SeriesProblem> best;
    std::vector<std::vector<double>> tried;
    for (int method = 0; method < 3; ++method) {
        std::vector<FitJob> jobs = setup.jobs;
        for (std::size_t i = 0; i < N; ++i)
            for (int j = 0; j < F; ++j)
                jobs[i].P[result.freeParams[j]] = result.independent[i].value[j];
        std::vector<double> shared(static_cast<std::size_t>(F), kNaN);
        std::vector<std::vector<double>> coefficients(static_cast<std::size_t>(F));
        std::vector<double> key;
        for (int j = 0; j < F; ++j) {
            const Role role = result.roles[j];
            if (role == Role::Shared) {
                shared[j] = sharedStart(result.independent, j, first->freePositive(j), method == 0);
                key.push_back(shared[j]);
            } else if (isFunction(role)) {
                const RoleFunction f(role, centre);
                std::vector<double> p(N), w(N), ones(N, 1.0);
                for (std::size_t i = 0; i < N; ++i) {
                    const IndependentFit& fit = result.independent[i];
                    p[i] = fit.value[j];
                    const double s = f.logarithmic() ? fit.stdDev[j] / fit.value[j] : fit.stdDev[j];
                    w[i] = fit.status[j] == ParameterStatus::Determined && s > 0 && std::isfinite(s) ? 1 / (s * s)
                                                                                                      : 0.0;
                }
                std::vector<double> c = method == 0 ? f.regression(setup.covariate, p, w) : std::vector<double>();
                if (c.empty())
                    c = f.regression(setup.covariate, p, ones);
                if (c.empty())
                    throw exception("P%d: the spectra's own values cannot start a %s function (too few, or not "
                        "positive)", result.freeParams[j] + 1, roleName(role));
                if (method == 2 && N >= 4) {
                    std::vector<std::pair<double, std::size_t>> off;
                    for (std::size_t i = 0; i < N; ++i) {
                        const double m = f.value(c.data(), setup.covariate[i]);
                        const double d = f.logarithmic() ? std::log(p[i] / m) : p[i] - m;
                        off.emplace_back(std::isfinite(d) ? std::abs(d) : HUGE_VAL, i);
                    }
                    std::sort(off.rbegin(), off.rend());
                    std::vector<double> kept = ones;
                    for (std::size_t k = 0; k < N / 4; ++k)
                        kept[off[k].second] = 0;
                    const std::vector<double> trimmed = f.regression(setup.covariate, p, kept);
                    if (!trimmed.empty())
                        c = trimmed;
                }
                coefficients[j] = c;
                key.insert(key.end(), c.begin(), c.end());
            }
        }
        if (std::find(tried.begin(), tried.end(), key) != tried.end())
            continue;
        tried.push_back(key);
        if (anyLocal && anyGlobal)
            refitLocals(setup, result, labels, *first, centre, shared, coefficients, jobs);
        auto problem = std::make_unique<SeriesProblem>(std::move(jobs), setup.covariate, labels, result.roles, shared,
            setup.circuits);
        const JointFitOutcome fit = fitJoint(*problem, problem->startVariables(coefficients));
        if (!best || fit.S < result.fit.S) {
            result.fit = fit;
            best = std::move(problem);
        }
        // A joint fit that the independent fits do not reject shows no sign
        // of a wrong minimum: the other starts are not needed.
        double Sindependent = 0;
        for (const IndependentFit& f : result.independent)
            Sindependent += f.S;
        if (fTestPValue(result.fit.S, best->variableCount(), Sindependent, static_cast<int>(N) * F,
                best->valueCount()) > kWrongMinimumLevel)
            break;
    }
    SeriesProblem& problem = *best;
    if (!std::isfinite(result.fit.S))
        throw exception("The joint fit cannot start: %s", result.fit.end.c_str());
    result.statistics = jointStatistics(problem, result.fit.x);
    result.tests =
        testRoles(problem, result.fit.x, result.fit.S, result.independent, setup.unit, setup.testEachParameter);
    return result;
}

} // namespace nosk::series
