#include "Suggest.h"

#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/MultiStart.h"
#include "engine/PreparedJob.h"
#include "engine/StartGuess.h"

#include "analysis/drt/Drt.h"
#include "analysis/kk/KramersKronig.h"
#include "job/FitJob.h"
#include "model/Circuit.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <thread>

namespace nosk::suggest {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The noise never counts as less than this fraction of |Z| (noise-free
// spectra): below it the arithmetic of the fit, not the data, decides.
constexpr double kNoiseFloor = 1e-6;
// The letter under which a candidate's definition is fitted.
constexpr char kLetter = 'X';
// An L whose reactance at the highest frequency is at least this share of
// |Z| there (by the DRT) may be in the circuit.
constexpr double kInductanceShare = 0.01;

struct Spectrum {
    const std::vector<double>& f;
    const std::vector<std::complex<double>>& z;
};

// The noise of the spectrum, as a fraction of |Z|: what the Kramers-Kronig
// series leaves at the number of elements it chose.
double noiseLevel(const Spectrum& s)
{
    const kk::Result r = kk::test(s.f, s.z);
    double percent = r.verdict.noise;
    if (r.elements >= 1 && static_cast<int>(r.noiseHistory.size()) >= r.elements)
        percent = r.noiseHistory[static_cast<std::size_t>(r.elements - 1)];
    return std::max(percent / 100.0, kNoiseFloor);
}

// A processes' peak of the DRT: its time constant and resistance.
struct Process {
    double tau = 0, r = 0;
    double sharpness = 0;  // height per area: a capacitor's peak is the narrowest
};

FitJob jobFor(const Candidate& c, const Spectrum& s)
{
    const int n = static_cast<int>(c.names.size());
    FitJob job = impedanceFitJob(kLetter, n, c.label);
    job.IRCH = 3;  // sigma = |Z|: every point counts alike, both parts
    job.MAXFEV = 100 * (n + 1);
    const int m = static_cast<int>(s.f.size());
    job.M = m;
    job.allocateData(m, false);
    for (int i = 0; i < m; ++i) {
        const auto k = static_cast<std::size_t>(i);
        (*job.FREQ)[k] = s.f[k];
        (*job.DATA1)[k] = s.z[k].real();
        (*job.DATA2)[k] = s.z[k].imag();
    }
    for (int i = 0; i < n; ++i) {
        job.P[i] = 1;
        job.NFREE[i] = 1;
    }
    return job;
}

// Start values: the engine's guess from the scales of the spectrum, then
// the DRT's peaks for the processes of the circuit, in the order of the
// text from fast to slow, and its R_inf and L.
void seedFromDrt(FitJob& job, const Candidate& c, const drt::Result& d, const std::vector<Process>& peaks)
{
    const Shape& s = c.shape;
    int p = 0;
    auto next = [&p]() { return p++; };
    auto set = [&job](int i, double v) {
        if (std::isfinite(v) && v > 0)
            job.P[i] = v;
    };
    if (s.inductance)
        set(next(), d.seriesInductance);
    if (s.series)
        set(next(), d.seriesResistance);
    const int wanted = s.processes();
    // The largest peaks, as many as the circuit has processes. The R-C
    // units take the sharpest of them (an ideal capacitor gives the
    // narrowest peak), the other parts the rest; each group from fast to slow.
    std::vector<Process> use = peaks;
    std::sort(use.begin(), use.end(), [](const Process& a, const Process& b) { return a.r > b.r; });
    if (static_cast<int>(use.size()) > wanted)
        use.resize(static_cast<std::size_t>(wanted));
    const bool seeded = static_cast<int>(use.size()) == wanted;
    std::sort(use.begin(), use.end(), [](const Process& a, const Process& b) { return a.sharpness > b.sharpness; });
    const auto split = use.begin() + std::min<std::ptrdiff_t>(s.rc, static_cast<std::ptrdiff_t>(use.size()));
    auto byTau = [](const Process& a, const Process& b) { return a.tau < b.tau; };
    std::sort(use.begin(), split, byTau);
    std::sort(split, use.end(), byTau);
    std::size_t k = 0;
    auto process = [&]() -> const Process* {
        // Fewer peaks than processes: the rest keep the engine's guess.
        return seeded && k < use.size() ? &use[k++] : nullptr;
    };
    constexpr double kAlpha = 0.85;
    for (int i = 0; i < s.rc; ++i) {
        const int r = next(), cap = next();
        if (const Process* q = process()) {
            set(r, q->r);
            set(cap, q->tau / q->r);
        }
    }
    for (int i = 0; i < s.rq; ++i) {
        const int r = next(), q = next(), a = next();
        if (const Process* x = process()) {
            set(r, x->r);
            set(q, std::pow(x->tau, kAlpha) / x->r);
            set(a, kAlpha);
        }
    }
    if (s.randles != Diffusion::None) {
        const int q = next(), a = next(), r = next(), rw = next(), tw = next();
        if (const Process* x = process()) {
            set(r, x->r);
            set(q, std::pow(x->tau, kAlpha) / x->r);
            set(a, kAlpha);
        }
        if (const Process* x = process()) {
            set(rw, x->r);
            set(tw, x->tau / 0.405);  // the main peak of a finite Warburg's DRT
        }
    }
    for (int i = 0; i < s.gerischer; ++i) {
        const int z = next(), kg = next();
        if (const Process* x = process()) {
            set(kg, 1 / x->tau);
            set(z, x->r * std::sqrt(1 / x->tau));
        }
    }
    if (s.tail == Tail::Ws || s.tail == Tail::Wo) {
        const int rw = next(), tw = next();
        if (const Process* x = process()) {
            set(rw, x->r);
            set(tw, x->tau / 0.405);
        }
    }
}

struct Fit {
    bool ok = false;
    double S = 0, sigmaF = 0;
    int K = 0;
    std::vector<FittedParameter> parameters;
};

Fit fitCandidate(const Candidate& c, const Spectrum& s, const drt::Result& d, const std::vector<Process>& peaks,
    int starts)
{
    Fit out;
    try {
        const model::CircuitLibrary library =
            model::CircuitLibrary::parse(std::string(1, kLetter) + " = " + c.circuit + "\n", "candidate");
        FitJob job = engine::dataScaleGuess(jobFor(c, s), &library);
        seedFromDrt(job, c, d, peaks);
        const engine::PreparedJob prepared(job, &library);
        engine::FitSettings settings = engine::settingsFor(job);
        engine::MultiStartSettings search;
        search.starts = starts;
        search.threads = 1;
        const engine::MultiStartResult found = engine::multiStartFit(prepared, settings, search);
        engine::JobProblem problem(prepared);
        const engine::FitRun run =
            engine::finishFit(prepared, problem, found.best, found.runs[static_cast<std::size_t>(found.bestRun)].stop);
        const engine::FitStatisticsResult& st = run.record.statistics;
        if (!std::isfinite(st.S))
            return out;
        out.S = st.S;
        out.K = st.K;
        out.sigmaF = st.sigma;
        for (int j = 0; j < prepared.freeCount(); ++j) {
            FittedParameter p;
            const int i = prepared.freeParam(j);
            p.name = c.names[static_cast<std::size_t>(i)];
            p.value = run.record.finalParams[static_cast<std::size_t>(i)];
            p.status = st.status[static_cast<std::size_t>(j)];
            p.stdDev = p.status == ParameterStatus::Determined ? st.stdDev[static_cast<std::size_t>(j)] : kNaN;
            out.parameters.push_back(p);
        }
        out.ok = true;
    } catch (const std::exception&) {
        // A candidate the engine cannot fit here is left out of the ranking.
    }
    return out;
}

std::string fixed(double v, int digits = 1)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", digits, v);
    return b;
}

} // namespace

std::vector<Candidate> candidatesFor(Inductance inductance, int points)
{
    std::vector<Candidate> list;
    for (Candidate& c : grammar()) {
        const Shape& s = c.shape;
        if ((inductance == Inductance::Without && s.inductance) || (inductance == Inductance::With && !s.inductance))
            continue;
        // At least two values per parameter.
        if (2 * s.parameterCount() > points)
            continue;
        list.push_back(std::move(c));
    }
    linkReductions(list);
    return list;
}

namespace {

// The ranking of the candidates fitted so far: their criteria, then the key
// each ranks by, its BIC or, when the data leave some of its parameters
// undetermined or at a bound, no better than the best of the smaller
// circuits it reduces to (those come first: the list is in order of size).
struct Ranking {
    std::vector<Ranked> all;
    std::vector<double> key;
    std::vector<int> reducedTo;
    std::vector<std::size_t> order;  // fitted candidates, best first
};

Ranking rank(const std::vector<Candidate>& list, const std::vector<Fit>& fits, const std::vector<bool>& done,
    double noise)
{
    Ranking g;
    const double var = noise * noise;
    g.all.resize(list.size());
    g.key.assign(list.size(), std::numeric_limits<double>::infinity());
    g.reducedTo.assign(list.size(), -1);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!done[i] || !fits[i].ok)
            continue;
        Ranked& r = g.all[i];
        r.candidate = list[i];
        r.index = static_cast<int>(i);
        const int F = static_cast<int>(fits[i].parameters.size());
        const double K = fits[i].K;
        r.S = fits[i].S;
        r.sigmaF = fits[i].sigmaF;
        r.chi2 = r.S / var;
        r.bic = r.chi2 + F * std::log(K);
        r.aic = r.chi2 + 2.0 * F;
        r.parameters = fits[i].parameters;
        for (const FittedParameter& p : r.parameters)
            if (p.status != ParameterStatus::Determined)
                ++r.undetermined;
        g.key[i] = r.bic;
        if (r.undetermined > 0) {
            double floor = std::numeric_limits<double>::infinity();
            for (int j : list[i].reducesTo) {
                const auto sj = static_cast<std::size_t>(j);
                if (done[sj] && fits[sj].ok && g.key[sj] < floor) {
                    floor = g.key[sj];
                    g.reducedTo[i] = j;
                }
            }
            if (g.reducedTo[i] >= 0 && g.key[i] <= floor)
                g.key[i] = floor + std::max(1e-9 * std::abs(floor), 1e-12);
        }
        g.order.push_back(i);
    }
    std::stable_sort(g.order.begin(), g.order.end(), [&g](std::size_t a, std::size_t b) {
        if (g.key[a] != g.key[b])
            return g.key[a] < g.key[b];
        return g.all[a].parameters.size() < g.all[b].parameters.size();
    });
    return g;
}

// How far the residuals of a ranked fit are from the noise (1: at it).
double misfit(const Ranked& r, const Fit& fit)
{
    const double nu = std::max(1.0, static_cast<double>(fit.K) - static_cast<double>(r.parameters.size()));
    return std::sqrt(r.chi2 / nu);
}

// Above this misfit of the best candidate the circuits grow by a process.
constexpr double kGrowMisfit = 1.5;
// The most processes a candidate of the grammar has.
constexpr int kMostProcesses = 4;

} // namespace

Result suggestCircuits(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& z,
    const Options& options)
{
    if (frequencyHz.size() != z.size())
        throw std::invalid_argument("as many impedances as frequencies are needed");
    if (frequencyHz.size() < 8)
        throw std::invalid_argument("at least 8 points are needed to compare circuits");
    for (std::size_t i = 0; i < z.size(); ++i)
        if (!(frequencyHz[i] > 0) || !std::isfinite(frequencyHz[i]) || !std::isfinite(z[i].real())
            || !std::isfinite(z[i].imag()))
            throw std::invalid_argument("every frequency must be positive and every impedance finite");
    const Spectrum s{frequencyHz, z};

    Result result;
    result.points = static_cast<int>(z.size());
    result.noise = noiseLevel(s);
    const drt::Result d = drt::compute(frequencyHz, z);
    std::vector<Process> peaks;
    for (const drt::Peak& p : d.peaks)
        if (!p.ripple && p.area > 0)
            peaks.push_back({p.tau, p.area, p.gamma / p.area});
    result.peaks = std::max(static_cast<int>(peaks.size()), 1);
    const std::size_t top = static_cast<std::size_t>(
        std::max_element(frequencyHz.begin(), frequencyHz.end()) - frequencyHz.begin());
    // An inductive top end needs an L; a small L the DRT finds may be there.
    result.inductance = z[top].imag() > 0                                       ? Inductance::With
        : d.seriesInductance > 0 && d.topReactance > kInductanceShare ? Inductance::Either
                                                                      : Inductance::Without;

    const std::vector<Candidate> list = candidatesFor(result.inductance, result.points);
    std::vector<Fit> fits(list.size());
    std::vector<bool> done(list.size(), false);
    const unsigned threads = options.threads > 0 ? static_cast<unsigned>(options.threads)
                                                 : std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
    // The candidates are independent: each thread takes the next one.
    auto fitAll = [&](const std::vector<std::size_t>& which, int starts) {
        std::atomic<std::size_t> next{0};
        auto work = [&]() {
            for (std::size_t k = next++; k < which.size(); k = next++)
                fits[which[k]] = fitCandidate(list[which[k]], s, d, peaks, std::max(starts, 1));
        };
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < std::min<unsigned>(threads, static_cast<unsigned>(which.size())); ++t)
            pool.emplace_back(work);
        work();
        for (std::thread& t : pool)
            t.join();
        for (std::size_t i : which)
            done[i] = true;
    };
    // Circuits of as many processes as the DRT counts and one more; more
    // while the best of them leaves residuals well above the noise.
    int most = options.maxProcesses > 0 ? options.maxProcesses : std::max(result.peaks + 1, 2);
    Ranking g;
    std::vector<std::size_t> refined;
    for (;;) {
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (!done[i] && list[i].shape.processes() <= most)
                which.push_back(i);
        const bool screen = options.screenStarts > 0 && options.screenStarts < options.starts;
        fitAll(which, screen ? options.screenStarts : options.starts);
        g = rank(list, fits, done, result.noise);
        if (screen) {
            // The best of the screening (and what they reduce to) search on.
            std::vector<std::size_t> again;
            auto add = [&](std::size_t i) {
                if (std::find(again.begin(), again.end(), i) == again.end()
                    && std::find(refined.begin(), refined.end(), i) == refined.end())
                    again.push_back(i);
            };
            for (std::size_t k = 0; k < g.order.size() && k < static_cast<std::size_t>(std::max(options.refine, 0)); ++k) {
                add(g.order[k]);
                if (g.reducedTo[g.order[k]] >= 0)
                    add(static_cast<std::size_t>(g.reducedTo[g.order[k]]));
            }
            fitAll(again, options.starts);
            refined.insert(refined.end(), again.begin(), again.end());
            g = rank(list, fits, done, result.noise);
        }
        result.largest = most;
        const bool fitsNoise = !g.order.empty() && misfit(g.all[g.order.front()], fits[g.order.front()]) <= kGrowMisfit;
        if (options.maxProcesses > 0 || fitsNoise || most >= kMostProcesses)
            break;
        ++most;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        if (done[i]) {
            ++result.tried;
            if (!fits[i].ok)
                ++result.failed;
        }

    const double bestBic = g.order.empty() ? 0 : g.all[g.order.front()].bic;
    for (std::size_t place = 0; place < g.order.size(); ++place) {
        const std::size_t i = g.order[place];
        Ranked r = std::move(g.all[i]);
        const std::string fitText = "residuals " + fixed(misfit(r, fits[i])) + "x the noise";
        Ranked* above = result.ranked.empty() ? nullptr : &result.ranked.back();
        if (r.undetermined > 0) {
            std::string names;
            for (const FittedParameter& p : r.parameters)
                if (p.status != ParameterStatus::Determined)
                    names += (names.empty() ? "" : ", ") + p.name;
            r.reason = std::to_string(r.undetermined) + (r.undetermined == 1 ? " parameter" : " parameters")
                + " undetermined or at a bound (" + names + ")";
            if (g.reducedTo[i] >= 0)
                r.reason += ": reduces to " + list[static_cast<std::size_t>(g.reducedTo[i])].label;
        } else if (above && above->undetermined == 0 && std::abs(r.bic - above->bic) < options.tieMargin) {
            r.tieWith = static_cast<int>(place - 1);
            r.reason = "ties with #" + std::to_string(place) + " (BIC differs by " + fixed(std::abs(r.bic - above->bic))
                + "): these two describe the data equally well";
            if (above->tieWith < 0)
                above->reason += "; ties with #" + std::to_string(place + 1);
        } else if (place == 0) {
            r.reason = "lowest BIC; " + fitText;
        } else {
            r.reason = "BIC +" + fixed(r.bic - bestBic) + " against #1; " + fitText;
        }
        result.ranked.push_back(std::move(r));
    }
    return result;
}

} // namespace nosk::suggest
