#include "StartGuess.h"

#include "EngineRun.h"
#include "JobProblem.h"
#include "MultiStart.h"
#include "PreparedJob.h"

#include "core/Exception.h"
#include "job/Immittance.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

namespace nosk::engine {

using model::Circuit;
using model::CircuitLibrary;
using model::CircuitNode;
using model::Complex;
using model::ElementKind;

namespace {

using Complex = std::complex<double>;

// What the spectrum says, as an impedance.
struct Scales {
    double rHigh = 1;     // Z' at the highest frequency (the series resistance)
    double rSpan = 1;     // Z' at the lowest frequency minus rHigh
    double omegaPeak = 1; // where -Z'' is largest
    double omegaLow = 1, omegaHigh = 1;
    double inductance = 0;  // from a positive Z'' at the highest frequency
};

Scales spectrumScales(const FitJob& job)
{
    std::vector<double> omega;
    std::vector<Complex> z;
    if (!job.FREQ || !job.DATA1 || !job.DATA2)
        return Scales{};
    const int count = std::min<int>(job.M, static_cast<int>(job.FREQ->size()));
    for (int i = 0; i < count; ++i) {
        double w = (*job.FREQ)[i];
        if (job.FREEQ == 'F')
            w *= 2 * kPi;
        double a = (*job.DATA1)[i], b = (*job.DATA2)[i];
        if (job.NEG == 'N')
            b = -b;
        ToRectangular(job.PINP, a, b);
        ChangeLevel(job.DINP, 'Z', a, b, w, job.CELCAP);
        if (w > 0 && std::isfinite(w) && std::isfinite(a) && std::isfinite(b)) {
            omega.push_back(w);
            z.emplace_back(a, b);
        }
    }
    Scales s;
    if (omega.empty())
        return s;
    std::vector<std::size_t> order(omega.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return omega[a] < omega[b]; });
    const std::size_t lo = order.front(), hi = order.back();
    s.omegaLow = omega[lo];
    s.omegaHigh = omega[hi];
    double largest = 0, minReal = 1e300;
    for (std::size_t i = 0; i < z.size(); ++i) {
        largest = std::max(largest, std::abs(z[i]));
        if (z[i].real() > 0)
            minReal = std::min(minReal, z[i].real());
    }
    if (largest == 0)
        largest = 1;
    // The series resistance: the smallest positive Z' (the high-frequency
    // intercept, also where an inductive tail bends it up again).
    s.rHigh = minReal < 1e300 ? minReal : 1e-3 * largest;
    s.rSpan = z[lo].real() - s.rHigh;
    if (!(s.rSpan > 1e-3 * largest))
        s.rSpan = std::max(largest - s.rHigh, 1e-3 * largest);
    double peak = -1;
    s.omegaPeak = std::sqrt(s.omegaLow * s.omegaHigh);
    for (std::size_t i = 0; i < z.size(); ++i)
        if (-z[i].imag() > peak && omega[i] != s.omegaLow) {
            peak = -z[i].imag();
            s.omegaPeak = omega[i];
        }
    if (z[hi].imag() > 0)
        s.inductance = z[hi].imag() / s.omegaHigh;
    return s;
}

// Whether node `i` sits in the series chain of the root (no parallel, line
// or DE above it).
std::vector<bool> inRootSeries(const Circuit& c)
{
    std::vector<bool> series(c.nodes().size(), false);
    std::vector<int> stack{c.root()};
    series[c.root()] = true;
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        const CircuitNode& n = c.node(i);
        if (n.kind != ElementKind::Series)
            continue;
        for (int k = 0; k < n.childCount; ++k) {
            const int child = c.child(n, k);
            series[child] = true;
            stack.push_back(child);
        }
    }
    return series;
}

} // namespace

namespace {

// A value from the data moved within the parameter's limits (as far inside
// as it lay beyond the nearer one, at most halfway to the other; for a
// positive parameter in ln p), so that the guess never leaves them.
double withinLimits(double value, double lower, double upper, bool positive)
{
    if (!(lower > -std::numeric_limits<double>::infinity() || upper < std::numeric_limits<double>::infinity()))
        return value;
    const bool logs = positive && value > 0;
    const auto u = [logs](double v) { return logs ? (v > 0 ? std::log(v) : -std::numeric_limits<double>::infinity()) : v; };
    const double x = u(value), lo = u(lower), hi = u(upper);
    double inside = x;
    if (x < lo)
        inside = lo + (std::isfinite(hi) ? std::min(lo - x, hi / 2 - lo / 2) : lo - x);
    else if (x > hi)
        inside = hi - (std::isfinite(lo) ? std::min(x - hi, hi / 2 - lo / 2) : x - hi);
    else
        return value;
    const double p = logs ? std::exp(inside) : inside;
    // Rounding must not put it back beyond a limit.
    return std::clamp(p, lower, upper);
}

// Above this many data lines the search runs on a thinned copy of the job:
// each run of it costs time in proportion to the lines.
constexpr int kSearchPoints = 2000;

// The job with about kSearchPoints of its data lines (and their weights),
// evenly along the file, the first and the last among them.
FitJob thinnedJob(const FitJob& job)
{
    FitJob out = job;
    const int keep = std::min(job.M, kSearchPoints);
    const bool weights = job.WEIGHT1 && job.WEIGHT2;
    out.allocateData(keep, weights);
    for (int k = 0; k < keep; ++k) {
        const auto i = static_cast<std::size_t>(keep > 1 ? static_cast<long long>(k) * (job.M - 1) / (keep - 1) : 0);
        const auto o = static_cast<std::size_t>(k);
        (*out.FREQ)[o] = (*job.FREQ)[i];
        (*out.DATA1)[o] = (*job.DATA1)[i];
        (*out.DATA2)[o] = (*job.DATA2)[i];
        if (weights) {
            (*out.WEIGHT1)[o] = (*job.WEIGHT1)[i];
            (*out.WEIGHT2)[o] = (*job.WEIGHT2)[i];
        }
    }
    return out;
}

} // namespace

FitJob dataScaleGuess(const FitJob& job, const CircuitLibrary* circuits)
{
    const CircuitLibrary& library = circuits ? *circuits : CircuitLibrary::builtIn();
    const CircuitLibrary::Definition* definition = library.find(job.FUN);
    if (!definition)
        throw exception("FUN '%c' has no circuit", job.FUN);
    const Circuit& c = definition->circuit;
    const Scales s = spectrumScales(job);
    const std::vector<bool> series = inRootSeries(c);

    // Elements that share the span of the real axis.
    int arcs = 0;
    for (std::size_t i = 0; i < c.nodes().size(); ++i) {
        const CircuitNode& n = c.node(static_cast<int>(i));
        if ((n.kind == ElementKind::R && !series[i]) || n.kind == ElementKind::Ws || n.kind == ElementKind::Wo
            || n.kind == ElementKind::G || n.kind == ElementKind::TLM || n.kind == ElementKind::W)
            ++arcs;
        if (n.kind == ElementKind::DE && n.ref[0] >= 0 && job.P[n.ref[0]] != 0)
            ++arcs;
    }
    const double rArc = s.rSpan / std::max(arcs, 1);
    constexpr double kAlpha = 0.8;
    // The elements that set a time constant, in the order of the text: one
    // takes the frequency of the largest -Z''; several share the measured
    // range, spread evenly in log (so that two like arcs do not start alike).
    auto isFree = [&job](int index) {
        return index >= 0 && index < job.N && (job.NFREE[index] == 1 || job.NFREE[index] == 2);
    };
    // The parameter of a node that holds its time constant, or -1.
    auto timeParam = [&](std::size_t i) {
        const CircuitNode& n = c.node(static_cast<int>(i));
        switch (n.kind) {
        case ElementKind::C:
        case ElementKind::Q: return series[i] ? -1 : n.ref[0];
        case ElementKind::Ws:
        case ElementKind::Wo:
        case ElementKind::G: return n.ref[1];
        case ElementKind::DE: return n.ref[0] >= 0 && job.P[n.ref[0]] != 0 ? n.ref[2] : -1;
        default: return -1;
        }
    };
    int timed = 0;
    for (std::size_t i = 0; i < c.nodes().size(); ++i)
        if (isFree(timeParam(i)))
            ++timed;
    int nextTimed = 0;
    auto nextTau = [&]() {
        const int k = std::min(nextTimed++, std::max(timed - 1, 0));
        if (timed <= 1)
            return 1.0 / s.omegaPeak;
        const double from = std::log(1.0 / s.omegaHigh), to = std::log(1.0 / s.omegaLow);
        return std::exp(from + (k + 0.5) / timed * (to - from));
    };

    FitJob out = job;
    std::vector<bool> done(FitJob::kMaxParams, false);
    auto set = [&](int index, double value) {
        if (index < 0 || index >= job.N || done[index] || !(job.NFREE[index] == 1 || job.NFREE[index] == 2))
            return;
        if (!std::isfinite(value) || value == 0)
            return;
        out.P[index] = withinLimits(value, job.LOWER[index], job.UPPER[index], job.NFREE[index] == 1);
        done[index] = true;
    };
    for (std::size_t i = 0; i < c.nodes().size(); ++i) {
        const CircuitNode& n = c.node(static_cast<int>(i));
        // Only an element whose time constant is free takes one of the range.
        const bool ownTau = isFree(timeParam(i)) && !done[timeParam(i)];
        auto tauHere = [&]() { return ownTau ? nextTau() : 1.0 / s.omegaPeak; };
        switch (n.kind) {
        case ElementKind::R: set(n.ref[0], series[i] ? s.rHigh : rArc); break;
        case ElementKind::C:
            // In series: a blocking capacitor, large enough to vanish above
            // the lowest frequency; in parallel: the arc's capacitance.
            set(n.ref[0], series[i] ? 10.0 / (s.omegaLow * (s.rHigh + s.rSpan)) : tauHere() / rArc);
            break;
        case ElementKind::L:
            set(n.ref[0], s.inductance > 0 ? s.inductance : 1e-3 * s.rHigh / s.omegaHigh);
            break;
        case ElementKind::Q:
            set(n.ref[0], series[i] ? std::pow(s.omegaLow, -kAlpha) / (s.rHigh + s.rSpan)
                                    : std::pow(tauHere(), kAlpha) / rArc);
            set(n.ref[1], kAlpha);
            break;
        case ElementKind::W: set(n.ref[0], rArc * std::sqrt(s.omegaPeak / 2)); break;
        case ElementKind::Ws:
        case ElementKind::Wo:
            set(n.ref[0], rArc);
            set(n.ref[1], tauHere());
            break;
        case ElementKind::G: {
            const double k = 1.0 / tauHere();
            set(n.ref[0], rArc * std::sqrt(k));
            set(n.ref[1], k);
            break;
        }
        case ElementKind::TLM: set(n.ref[0], rArc); break;
        case ElementKind::DE:
            set(n.ref[1], rArc);
            set(n.ref[2], tauHere());
            break;
        default: break;
        }
    }
    // A start of a positive parameter must be above 0.
    for (int i = 0; i < job.N; ++i)
        if (job.NFREE[i] == 1 && !(out.P[i] > 0))
            out.P[i] = withinLimits(1.0, job.LOWER[i], job.UPPER[i], true);
    return out;
}

GuessOutcome guessStartValues(const FitJob& job, const CircuitLibrary* circuits, int starts)
{
    GuessOutcome result;
    result.job = dataScaleGuess(job, circuits);
    FitJob fit = result.job;
    // The search needs a budget of its own whatever the job holds.
    fit.MAXFEV = std::max(job.MAXFEV, 500);
    // A long spectrum is searched on a thinned copy; one fit on every point
    // from the best point found then gives the start values.
    const bool thin = fit.M > kSearchPoints;
    // The prepared job keeps a reference to its job: the searched copy lives here.
    const FitJob searched = thin ? thinnedJob(fit) : fit;
    const PreparedJob prepared(searched, circuits);
    if (prepared.freeCount() == 0)
        throw exception("No parameter of the job is free (every one has NFREE 0 or 3, or selects a DE): "
                        "there are no start values to guess");
    MultiStartSettings search;
    search.starts = std::max(starts, 1);
    search.decades = 2.0;
    // The guess spends its whole budget, as it always has.
    search.agree = 0;
    search.widerDecades = 0;
    search.endDegenerate = false;
    // Its box is two decades wide around exponents set from the roles; with
    // small exponents drawn as well, the guess on circuit H ends where the
    // series resistance has run to 0, far from the generating values.
    search.smallExponents = 0;
    FitSettings settings;
    settings.maxFunctionEvaluations = fit.MAXFEV;
    settings.unitScaling = fit.MODE == 2;
    const MultiStartResult found = multiStartFit(prepared, settings, search);
    double p[PreparedJob::kMaxParams];
    prepared.variablesToParams(found.best.x.data(), p);
    for (int j = 0; j < prepared.freeCount(); ++j)
        result.job.P[prepared.freeParam(j)] = p[prepared.freeParam(j)];
    result.S = found.runs[found.bestRun].S;
    if (thin) {
        FitJob whole = fit;
        for (int j = 0; j < prepared.freeCount(); ++j)
            whole.P[prepared.freeParam(j)] = p[prepared.freeParam(j)];
        const PreparedJob all(whole, circuits);
        JobProblem problem(all);
        const FitRun run = fitPreparedJob(all, problem, settings);
        for (int j = 0; j < all.freeCount(); ++j)
            result.job.P[all.freeParam(j)] = run.record.finalParams[static_cast<std::size_t>(all.freeParam(j))];
        result.S = run.record.statistics.S;
    }
    result.starts = search.starts;
    result.reached = found.reached;
    return result;
}

} // namespace nosk::engine
