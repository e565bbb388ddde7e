#include "Suggest.h"

#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/MultiStart.h"
#include "engine/PreparedJob.h"
#include "engine/StartGuess.h"

#include "analysis/drt/Drt.h"
#include "analysis/kk/KramersKronig.h"
#include "job/FitJob.h"
#include "job/Immittance.h"
#include "model/Circuit.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>
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

using Fit = CandidateFit;

// A chain of both R-C and R-CPE units: its time slots (the DRT's largest
// peaks, or time constants spread over the measured range when it finds
// fewer), and which of them the R-C units take (bit k of `rcSlots`: slot k).
void seedMixedChain(FitJob& job, const Shape& s, const std::vector<Process>& slots, unsigned rcSlots)
{
    int p = (s.inductance ? 1 : 0) + (s.series ? 1 : 0);
    int rcAt = p, rqAt = p + 2 * s.rc;
    constexpr double kAlpha = 0.85;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const Process& x = slots[k];
        if (rcSlots & (1u << k)) {
            job.P[rcAt] = x.r;
            job.P[rcAt + 1] = x.tau / x.r;
            rcAt += 2;
        } else {
            job.P[rqAt] = x.r;
            job.P[rqAt + 1] = std::pow(x.tau, kAlpha) / x.r;
            job.P[rqAt + 2] = kAlpha;
            rqAt += 3;
        }
    }
}

std::vector<Process> chainSlots(const Shape& s, const Spectrum& sp, const std::vector<Process>& peaks)
{
    const int units = s.rc + s.rq;
    std::vector<Process> slots = peaks;
    std::sort(slots.begin(), slots.end(), [](const Process& a, const Process& b) { return a.r > b.r; });
    if (static_cast<int>(slots.size()) >= units) {
        slots.resize(static_cast<std::size_t>(units));
    } else {
        double total = 0;
        for (const Process& x : peaks)
            total += x.r;
        if (!(total > 0))
            total = std::abs(sp.z.front() - sp.z.back());
        const auto [lo, hi] = std::minmax_element(sp.f.begin(), sp.f.end());
        const double from = std::log(1 / (2 * kPi * *hi)), to = std::log(1 / (2 * kPi * *lo));
        slots.clear();
        for (int k = 0; k < units; ++k)
            slots.push_back({std::exp(from + (k + 0.5) / units * (to - from)), total / units, 0});
    }
    std::sort(slots.begin(), slots.end(), [](const Process& a, const Process& b) { return a.tau < b.tau; });
    return slots;
}

// One unit of a chain as fitted: R, its time constant and its exponent
// (1 for a capacitor).
struct Unit {
    double r = 0, tau = 0, alpha = 1;
};

// The parameters of a fit, by name.
double valueOf(const CandidateFit& fit, const std::string& name)
{
    for (const FittedParameter& p : fit.parameters)
        if (p.name == name)
            return p.value;
    return kNaN;
}

// Whether a candidate is a chain of units with an optional L, R and tail:
// the circuits whose fits carry over to one another unit by unit.
bool isChain(const Shape& s)
{
    return s.randles == Diffusion::None && s.gerischer == 0 && s.rc + s.rq > 0;
}

// Start values for chain `to` from the fit of chain `from` with as many
// units: each unit keeps its R and time constant, the R-C units of `to`
// taken by the units whose exponents are nearest 1; the L, the series R and
// the tail carry over by name. Empty where the shapes do not match.
std::vector<double> carriedOver(const Candidate& to, const Candidate& from, const CandidateFit& fit)
{
    const Shape& a = to.shape;
    const Shape& b = from.shape;
    if (!isChain(a) || !isChain(b) || a.rc + a.rq != b.rc + b.rq || a.tail != b.tail)
        return {};
    std::vector<Unit> units;
    for (int k = 1; k <= b.rc + b.rq; ++k) {
        const std::string n = std::to_string(k);
        Unit u;
        u.r = valueOf(fit, "R" + n);
        if (k <= b.rc) {
            u.tau = u.r * valueOf(fit, "C" + n);
        } else {
            u.alpha = valueOf(fit, "a" + n);
            u.tau = std::pow(u.r * valueOf(fit, "Q" + n), 1 / u.alpha);
        }
        if (!(u.r > 0 && u.tau > 0 && std::isfinite(u.tau) && u.alpha > 0))
            return {};
        units.push_back(u);
    }
    std::stable_sort(units.begin(), units.end(), [](const Unit& x, const Unit& y) { return x.alpha > y.alpha; });
    auto byTau = [](const Unit& x, const Unit& y) { return x.tau < y.tau; };
    std::sort(units.begin(), units.begin() + a.rc, byTau);
    std::sort(units.begin() + a.rc, units.end(), byTau);
    std::vector<double> p(to.names.size(), kNaN);
    for (std::size_t i = 0; i < to.names.size(); ++i)
        p[i] = valueOf(fit, to.names[i]);  // L, Rs and the tail; the units follow
    std::size_t i = (a.inductance ? 1 : 0) + (a.series ? 1 : 0);
    for (int k = 0; k < a.rc + a.rq; ++k) {
        const Unit& u = units[static_cast<std::size_t>(k)];
        p[i++] = u.r;
        if (k < a.rc) {
            p[i++] = u.tau / u.r;
        } else {
            // A capacitor becomes a CPE a little below 1, inside the exponent's range.
            const double alpha = std::min(u.alpha, 0.97);
            p[i++] = std::pow(u.tau, alpha) / u.r;
            p[i++] = alpha;
        }
    }
    return p;
}

// Fits candidate `c` by the multi-start search, from the DRT's seeds or,
// given `start` (NaN for a parameter left to the engine's guess), from it.
Fit fitCandidate(const Candidate& c, const Spectrum& s, const drt::Result& d, const std::vector<Process>& peaks,
    int starts, const std::vector<double>* start = nullptr)
{
    Fit out;
    try {
        const model::CircuitLibrary library =
            model::CircuitLibrary::parse(std::string(1, kLetter) + " = " + c.circuit + "\n", "candidate");
        const FitJob guess = engine::dataScaleGuess(jobFor(c, s), &library);
        // The starts of the search: one, or for a mixed chain one for each
        // way its R-C units may lie among the time slots.
        std::vector<FitJob> seeds;
        const Shape& shape = c.shape;
        if (start) {
            seeds.push_back(guess);
            for (std::size_t i = 0; i < start->size(); ++i)
                if (std::isfinite((*start)[i]) && (*start)[i] > 0)
                    seeds.back().P[i] = (*start)[i];
        } else if (shape.rc > 0 && shape.rq > 0) {
            const std::vector<Process> slots = chainSlots(shape, s, peaks);
            for (unsigned mask = 0; mask < (1u << slots.size()); ++mask)
                if (std::popcount(mask) == shape.rc) {
                    seeds.push_back(guess);
                    seedFromDrt(seeds.back(), c, d, peaks);
                    seedMixedChain(seeds.back(), shape, slots, mask);
                }
        } else {
            seeds.push_back(guess);
            seedFromDrt(seeds.back(), c, d, peaks);
        }
        const int each = std::max(1, (starts + static_cast<int>(seeds.size()) - 1) / static_cast<int>(seeds.size()));
        double bestS = std::numeric_limits<double>::infinity();
        std::size_t best = 0;
        engine::MultiStartResult winner;
        for (std::size_t k = 0; k < seeds.size(); ++k) {
            const engine::PreparedJob prepared(seeds[k], &library);
            engine::MultiStartSettings search;
            search.starts = each;
            search.threads = 1;
            engine::MultiStartResult found = engine::multiStartFit(prepared, engine::settingsFor(seeds[k]), search);
            const double S = found.runs[static_cast<std::size_t>(found.bestRun)].S;
            if (S < bestS) {
                bestS = S;
                best = k;
                winner = std::move(found);
            }
        }
        if (!std::isfinite(bestS))
            return out;
        const engine::PreparedJob prepared(seeds[best], &library);
        engine::JobProblem problem(prepared);
        const engine::FitRun run = engine::finishFit(
            prepared, problem, winner.best, winner.runs[static_cast<std::size_t>(winner.bestRun)].stop);
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

double misfit(const Ranked& r, int K)
{
    const double nu = std::max(1.0, static_cast<double>(K) - static_cast<double>(r.parameters.size()));
    return std::sqrt(r.chi2 / nu);
}

namespace {

// An exponent this close to 1 has reached it: the CPE is a capacitor.
constexpr double kExponentAtOne = 1 - 1e-6;

// A CPE exponent of the candidate (of a unit, of the Randles cell or of the
// tail) that ended at 1, or nearer to 1 than its std dev: the data do not
// tell that CPE from a capacitor.
bool exponentAtOne(const FittedParameter& p)
{
    const bool exponent = p.name == "adl" || p.name == "at"
        || (p.name.size() > 1 && p.name[0] == 'a' && std::isdigit(static_cast<unsigned char>(p.name[1])) != 0);
    return exponent
        && (p.value >= kExponentAtOne || (p.status == ParameterStatus::AtLimit && p.value > 0.5)
            || (p.status == ParameterStatus::Determined && 1 - p.value < p.stdDev));
}

// Whether the data leave a fitted parameter undetermined: no std dev, at a
// bound, or a std dev larger than the value itself.
bool poorlyDetermined(const FittedParameter& p)
{
    return p.status != ParameterStatus::Determined || !(p.stdDev <= std::abs(p.value)) || exponentAtOne(p);
}

// The number after a name's letters ("R3": 3), 0 for none.
int unitNumber(const std::string& name)
{
    std::size_t k = 0;
    while (k < name.size() && std::isdigit(static_cast<unsigned char>(name[k])) == 0)
        ++k;
    return k < name.size() ? std::atoi(name.c_str() + k) : 0;
}

// The smaller shapes that a parameter the data leave undetermined points
// to: an exponent at 1 puts a capacitor in its CPE's place; any other
// parameter (an R run to 0 or without bound, an element that stops
// mattering) takes its unit out, and the R of an R-CPE unit may leave its
// CPE as the tail. None for a part whose reduction the grammar lacks.
std::vector<Shape> reductionsFor(const Shape& s, const FittedParameter& p)
{
    Shape t = s;
    const std::string& n = p.name;
    if (n == "L") {
        t.inductance = false;
        return {t};
    }
    if (n == "Rs") {
        t.series = t.inductance = false;
        return {t};
    }
    if (n == "Qt" || n == "at" || ((n == "Rw" || n == "Tw") && s.tail != Tail::None)) {
        if (n == "at" && exponentAtOne(p))
            return {};  // a series C: not a tail of the grammar
        t.tail = Tail::None;
        return {t};
    }
    if (n == "Rw" || n == "Tw") {
        // Without its diffusion branch the Randles cell is an R-CPE unit.
        t.randles = Diffusion::None;
        ++t.rq;
        return {t};
    }
    if (n.rfind("Zg", 0) == 0 || n.rfind("kg", 0) == 0) {
        --t.gerischer;
        return {t};
    }
    const int unit = unitNumber(n);
    const bool unitName = n[0] == 'R' || n[0] == 'C' || n[0] == 'Q' || n[0] == 'a';
    if (!unitName || unit < 1 || unit > s.rc + s.rq)
        return {};  // the Randles cell's Qdl, adl, Rct
    if (unit <= s.rc) {
        --t.rc;
        return {t};
    }
    --t.rq;
    if (n[0] == 'a' && exponentAtOne(p)) {
        ++t.rc;  // the chain's units commute: the C takes the place of the CPE
        return {t};
    }
    std::vector<Shape> out{t};
    if (n[0] == 'R' && s.tail == Tail::None) {
        t.tail = Tail::Cpe;
        out.push_back(t);
    }
    return out;
}

} // namespace

std::vector<Ranked> rankCandidates(const std::vector<Candidate>& list, const std::vector<CandidateFit>& fits,
    double noise, double tieMargin, double penalty)
{
    // The criteria, then the key each candidate ranks by: its BIC or, when
    // the data leave some of its parameters undetermined or at a bound, no
    // better than the best of the smaller circuits those parameters point
    // to (those come first: the list is in order of size). A CPE whose
    // exponent reached 1 points to the circuit with a capacitor in its
    // place; where the grammar has no such circuit, the candidate is that
    // circuit itself, counted with one parameter fewer, and ranks above
    // another only by more than a tie.
    const double var = noise * noise;
    std::vector<Ranked> all(list.size());
    std::vector<double> key(list.size(), std::numeric_limits<double>::infinity());
    std::vector<std::size_t> order;
    auto indexOf = [&list](const Shape& s) {
        for (std::size_t j = 0; j < list.size(); ++j)
            if (list[j].shape == s)
                return static_cast<int>(j);
        return -1;
    };
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!fits[i].ok)
            continue;
        Ranked& r = all[i];
        r.candidate = list[i];
        r.index = static_cast<int>(i);
        r.parameters = fits[i].parameters;
        // Exponents at 1 with no circuit of a capacitor in their place.
        int capacitors = 0;
        std::vector<int> targets;
        bool anyTarget = false;
        for (const FittedParameter& p : r.parameters) {
            if (!poorlyDetermined(p))
                continue;
            ++r.undetermined;
            bool found = false;
            for (const Shape& smaller : reductionsFor(list[i].shape, p)) {
                const int j = indexOf(smaller);
                if (j >= 0 && fits[static_cast<std::size_t>(j)].ok) {
                    targets.push_back(j);
                    found = true;
                }
            }
            if (!found && exponentAtOne(p)) {
                ++capacitors;
                continue;
            }
            if (!found)
                // A reduction the grammar lacks: the best of those one element smaller.
                for (int k : list[i].reducesTo)
                    if (fits[static_cast<std::size_t>(k)].ok)
                        targets.push_back(k);
            anyTarget = true;
        }
        const int F = static_cast<int>(fits[i].parameters.size()) - capacitors;
        const double K = fits[i].K;
        r.S = fits[i].S;
        r.sigmaF = fits[i].sigmaF;
        r.chi2 = r.S / var;
        r.bic = r.chi2 + penalty * F * std::log(K);
        r.aic = r.chi2 + 2.0 * F;
        key[i] = r.bic;
        // Standing for a circuit outside the grammar, it must beat the
        // circuits that state their elements plainly by more than a tie.
        if (capacitors > 0)
            key[i] += tieMargin;
        if (anyTarget) {
            double floor = std::numeric_limits<double>::infinity();
            for (int j : targets) {
                const auto sj = static_cast<std::size_t>(j);
                if (key[sj] < floor) {
                    floor = key[sj];
                    r.reducedTo = j;
                }
            }
            if (r.reducedTo >= 0 && key[i] <= floor)
                key[i] = floor + std::max(1e-9 * std::abs(floor), 1e-12);
        }
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (key[a] != key[b])
            return key[a] < key[b];
        return all[a].parameters.size() < all[b].parameters.size();
    });
    // Of the circuits that tie with the best left (a key within the margin),
    // the one with the fewest parameters comes first: the data cannot tell
    // them apart, and the smaller claims less. Only a circuit whose
    // parameters are all determined moves up.
    for (std::size_t place = 0; place < order.size(); ++place) {
        std::size_t pick = place;
        for (std::size_t q = place + 1; q < order.size() && key[order[q]] < key[order[place]] + tieMargin; ++q)
            if (all[order[q]].undetermined == 0 && all[order[q]].parameters.size() < all[order[pick]].parameters.size())
                pick = q;
        std::rotate(order.begin() + static_cast<std::ptrdiff_t>(place), order.begin() + static_cast<std::ptrdiff_t>(pick),
            order.begin() + static_cast<std::ptrdiff_t>(pick) + 1);
    }

    std::vector<Ranked> ranked;
    const double bestBic = order.empty() ? 0 : all[order.front()].bic;
    double lowestBic = bestBic;
    for (std::size_t i : order)
        lowestBic = std::min(lowestBic, all[i].bic);
    for (std::size_t place = 0; place < order.size(); ++place) {
        const std::size_t i = order[place];
        Ranked r = std::move(all[i]);
        const std::string fitText = "residuals " + fixed(misfit(r, fits[i].K)) + "x the noise";
        Ranked* above = ranked.empty() ? nullptr : &ranked.back();
        if (r.undetermined > 0) {
            std::string names, capacitors;
            for (const FittedParameter& p : r.parameters)
                if (poorlyDetermined(p)) {
                    std::string& to = exponentAtOne(p) ? capacitors : names;
                    to += (to.empty() ? "" : ", ") + p.name;
                }
            // The exponents at 1 are named apart: those CPEs are capacitors.
            if (!capacitors.empty())
                names += (names.empty() ? "" : ", ") + capacitors + " at 1";
            r.reason = std::to_string(r.undetermined) + (r.undetermined == 1 ? " parameter" : " parameters")
                + " undetermined or at a bound (" + names + ")";
            if (r.reducedTo >= 0)
                r.reason += ": reduces to " + list[static_cast<std::size_t>(r.reducedTo)].label;
            else if (!capacitors.empty())
                r.reason += ": a capacitor in place of the CPE, counted with one parameter fewer each; " + fitText;
        } else if (above && above->undetermined == 0 && std::abs(r.bic - above->bic) < tieMargin) {
            r.tieWith = static_cast<int>(place - 1);
            r.reason = "ties with #" + std::to_string(place) + " (BIC differs by " + fixed(std::abs(r.bic - above->bic))
                + "): these two describe the data equally well";
            if (above->tieWith < 0)
                above->reason += "; ties with #" + std::to_string(place + 1);
        } else if (place == 0) {
            r.reason = (r.bic <= lowestBic ? "lowest BIC; " : "fewest parameters of the circuits that tie for the lowest BIC; ")
                + fitText;
        } else {
            const double d = r.bic - bestBic;
            r.reason = "BIC " + std::string(d >= 0 ? "+" : "") + fixed(d) + " against #1; " + fitText;
        }
        ranked.push_back(std::move(r));
    }
    return ranked;
}

namespace {

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
    // A top end inductive beyond the noise needs an L; a small L the DRT
    // finds, or a Z'' above 0 within the noise, may be there.
    const double zTop = std::abs(z[top]);
    result.inductance = z[top].imag() > 3 * result.noise * zTop ? Inductance::With
        : z[top].imag() > 0 || (d.seriesInductance > 0 && d.topReactance > kInductanceShare) ? Inductance::Either
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
    // while the best of them leaves residuals above the noise by more than
    // chance explains, or is one of the largest tried.
    int most = options.maxProcesses > 0 ? options.maxProcesses : std::max(result.peaks + 1, 2);
    std::vector<Ranked> g;
    std::vector<std::size_t> refined;
    for (;;) {
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (!done[i] && list[i].shape.processes() <= most)
                which.push_back(i);
        const bool screen = options.screenStarts > 0 && options.screenStarts < options.starts;
        fitAll(which, screen ? options.screenStarts : options.starts);
        g = rankCandidates(list, fits, result.noise, options.tieMargin, options.penalty);
        if (screen) {
            // The best of the screening (and what they reduce to) search on.
            std::vector<std::size_t> again;
            auto add = [&](std::size_t i) {
                if (std::find(again.begin(), again.end(), i) == again.end()
                    && std::find(refined.begin(), refined.end(), i) == refined.end())
                    again.push_back(i);
            };
            for (std::size_t k = 0; k < g.size() && k < static_cast<std::size_t>(std::max(options.refine, 0)); ++k) {
                add(static_cast<std::size_t>(g[k].index));
                if (g[k].reducedTo >= 0)
                    add(static_cast<std::size_t>(g[k].reducedTo));
            }
            fitAll(again, options.starts);
            refined.insert(refined.end(), again.begin(), again.end());
            g = rankCandidates(list, fits, result.noise, options.tieMargin, options.penalty);
        }
        result.largest = most;
        bool fitsNoise = false;
        if (!g.empty()) {
            // chi2 within three standard deviations of its expectation.
            const double nu = std::max(1.0, static_cast<double>(fits[static_cast<std::size_t>(g.front().index)].K)
                    - static_cast<double>(g.front().parameters.size()));
            fitsNoise = g.front().chi2 <= nu + 3 * std::sqrt(2 * nu);
        }
        // A best circuit as large as those tried may have a larger rival.
        const bool atFrontier = !g.empty() && g.front().candidate.shape.processes() >= most;
        if (options.maxProcesses > 0 || (fitsNoise && !atFrontier) || most >= kMostProcesses)
            break;
        ++most;
    }
    // A chain that fits worse than another chain of as many units has missed
    // its minimum (a CPE can be a capacitor, a capacitor nearly one): the
    // best of the ranking search again from the better fit, unit by unit.
    if (options.carryOver > 0) {
        std::vector<std::size_t> top;
        for (std::size_t k = 0; k < g.size() && static_cast<int>(k) < options.carryOver; ++k)
            top.push_back(static_cast<std::size_t>(g[k].index));
        bool improved = false;
        for (std::size_t i : top) {
            std::size_t source = i;
            for (std::size_t j = 0; j < list.size(); ++j)
                if (fits[j].ok && fits[j].S < fits[source].S * (1 - 1e-3) && !carriedOver(list[i], list[j], fits[j]).empty())
                    source = j;
            if (source == i)
                continue;
            const std::vector<double> start = carriedOver(list[i], list[source], fits[source]);
            Fit again = fitCandidate(list[i], s, d, peaks, 2, &start);
            if (again.ok && again.S < fits[i].S) {
                fits[i] = std::move(again);
                improved = true;
            }
        }
        if (improved)
            g = rankCandidates(list, fits, result.noise, options.tieMargin, options.penalty);
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        if (done[i]) {
            ++result.tried;
            if (!fits[i].ok)
                ++result.failed;
        }

    result.ranked = std::move(g);
    return result;
}

} // namespace nosk::suggest
