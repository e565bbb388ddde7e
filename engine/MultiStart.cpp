#include "MultiStart.h"

#include "JobProblem.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

namespace nosk::engine {

using model::ParameterRole;
using model::parameterRoles;

namespace {

constexpr double kReachedTolerance = 1e-6;
constexpr double kSameTolerance = 1e-10;
// Capped runs this close to the lowest S go on with the full MAXFEV.
constexpr double kContinueWithin = 1e-2;
// Minima closer than this in S count as one for the number of minima (runs
// end in a flat valley at slightly different S).
constexpr double kDistinctTolerance = 1e-4;
// A run away is ended once S fell by less than this fraction since the
// previous Jacobian.
constexpr double kSettledReduction = 1e-3;

// The additive recurrence of the generalised golden ratio: point n of
// dimension d is frac(1/2 + n a_d) with a_d = phi^-(d+1), phi the positive
// root of x^(D+1) = x + 1. Any number of dimensions, no table, and low
// discrepancy in every projection.
class GoldenSequence {
public:
    explicit GoldenSequence(int dimensions) : m_alpha(dimensions)
    {
        double phi = 2.0;
        for (int i = 0; i < 60; ++i)
            phi = std::pow(1.0 + phi, 1.0 / (dimensions + 1));
        double a = 1.0;
        for (int d = 0; d < dimensions; ++d) {
            a /= phi;
            m_alpha[d] = a;
        }
    }
    double at(long n, int d) const
    {
        const double v = 0.5 + static_cast<double>(n) * m_alpha[d];
        return v - std::floor(v);
    }

private:
    std::vector<double> m_alpha;
};

enum class Kind { Log, Signed, Exponent, DeShape };

// The first box draws exponents over (kExponentLow, 1], and the share
// kSmallExponentShare of them from kSmallExponentLow up to kExponentLow.
constexpr double kSmallExponentLow = 0.03;

struct Limits {
    double lower = -std::numeric_limits<double>::infinity();
    double upper = std::numeric_limits<double>::infinity();
};

// The limits of free parameter j (none: infinite).
Limits limitsOf(const PreparedJob& job, int j)
{
    const ParameterMap& map = job.parameterMap(j);
    return {map.lower(), map.upper()};
}

double sumOfSquares(JobProblem& problem, const std::vector<double>& x, int K)
{
    std::vector<double> r(K);
    problem.residuals(x.data(), r.data());
    if (!problem.stopReason().empty())
        return std::numeric_limits<double>::infinity();
    double s = 0;
    for (double v : r)
        s += v * v;
    return std::isfinite(s) ? s : std::numeric_limits<double>::infinity();
}

} // namespace

bool isCpeExponent(const std::string& role)
{
    return role.find("Q (alpha)") != std::string::npos;
}

namespace {

// The box the starts of a search are drawn from: around `centre` (the
// parameters p1 ... p50), each free parameter by its role, cut to its limits.
class StartBox {
public:
    StartBox(const PreparedJob& job, const double* centre, double decades, bool aroundMinimum = false,
        double smallShare = kSmallExponentShare)
        : m_job(job), m_share(smallShare)
    {
        const int F = job.freeCount();
        std::copy(centre, centre + PreparedJob::kMaxParams, m_centre);
        // What each free parameter is, from its role in the circuit (and the
        // job's own start: an exponent started outside (0, 1] is not one).
        std::vector<std::string> roleOf(PreparedJob::kMaxParams);
        for (const ParameterRole& r : parameterRoles(job.model().definition()))
            if (r.number >= 1 && r.number <= PreparedJob::kMaxParams)
                roleOf[r.number - 1] = r.role;
        std::vector<Kind> kind(F);
        for (int j = 0; j < F; ++j) {
            const std::string& role = roleOf[job.freeParam(j)];
            const double p0 = job.startParams()[job.freeParam(j)];
            const bool dePhi = role.find("DE (PHI)") != std::string::npos;
            if ((isCpeExponent(role) || dePhi) && p0 > 0 && p0 <= 1)
                kind[j] = Kind::Exponent;
            else if (role.find("DE (U)") != std::string::npos || dePhi)
                kind[j] = Kind::DeShape;
            else
                kind[j] = job.freePositive(j) ? Kind::Log : Kind::Signed;
        }

        // The starts are drawn as parameter values in each parameter's box
        // and turned into the fitter's variables by the job, whatever
        // variable carries each parameter.
        const double span = decades * std::log(10.0);
        m_low.resize(F);
        m_high.resize(F);
        m_logScale.assign(F, true);
        m_smallLow.assign(F, 0.0);
        for (int j = 0; j < F; ++j) {
            const double p0 = centre[job.freeParam(j)];
            switch (kind[j]) {
            case Kind::Log:
            case Kind::Signed:
                m_low[j] = p0 * std::exp(-span);
                m_high[j] = p0 * std::exp(span);
                break;
            // Over the physical range (0.3, 1]; a DE whose range is narrower
            // refuses some of these starts, which are skipped. (Reaching down
            // to a decade below a start under 0.3 was tried: 92 instead of 84 %
            // on one problem, 82 instead of 100 % on another.)
            // Around a minimum: from a third of its value (a tenth below 0.3)
            // to 1, so that a minimum at a small exponent is searched too.
            // The first box draws a share of its exponents below 0.3 as well,
            // evenly in ln p down to a tenth of that (and to a third of a
            // start below 0.09): a minimum at a small exponent, with the
            // element's T run far down, is reached only from there.
            case Kind::Exponent:
                m_low[j] = aroundMinimum && p0 > 0 ? std::min(kExponentLow, p0 / (p0 < 0.3 ? 10 : 3)) : kExponentLow;
                m_high[j] = 1.0;
                m_logScale[j] = false;
                if (!aroundMinimum && m_share > 0)
                    m_smallLow[j] = std::min(kSmallExponentLow, p0 / 3);
                break;
            // Other shape parameters of DEs have ranges of their own: a factor
            // of two either way; a start outside is skipped.
            case Kind::DeShape:
                m_low[j] = p0 / 2;
                m_high[j] = p0 * 2;
                break;
            }
            if (m_low[j] > m_high[j])
                std::swap(m_low[j], m_high[j]);
            const Limits limits = limitsOf(job, j);
            if (std::max(m_low[j], limits.lower) < std::min(m_high[j], limits.upper)) {
                m_low[j] = std::max(m_low[j], limits.lower);
                m_high[j] = std::min(m_high[j], limits.upper);
            } else {
                // The limits leave nothing of the exponent's range (0.3, 1]:
                // the box of any parameter around its start, within the
                // limits. (Drawn from the range, every start would sit on the
                // limit.)
                const double a = p0 * std::exp(-span), b = p0 * std::exp(span);
                m_low[j] = std::max(std::min(a, b), limits.lower);
                m_high[j] = std::min(std::max(a, b), limits.upper);
                m_logScale[j] = true;
            }
            if (!(m_low[j] > 0) && !(m_high[j] < 0))
                m_logScale[j] = false;
            // The small exponents within the limits: none when a limit
            // leaves nothing of them.
            if (m_smallLow[j] > 0) {
                m_smallLow[j] = std::max(m_smallLow[j], limits.lower);
                if (!(m_smallLow[j] < m_low[j] && m_low[j] == kExponentLow && m_smallLow[j] > 0))
                    m_smallLow[j] = 0;
            }
        }
    }

    // The start of point n (from 1) of the sequence.
    std::vector<double> at(const GoldenSequence& sequence, long n) const
    {
        double p[PreparedJob::kMaxParams];
        std::copy(m_centre, m_centre + PreparedJob::kMaxParams, p);
        for (int j = 0; j < m_job.freeCount(); ++j) {
            const double u = sequence.at(n, j);
            double& v = p[m_job.freeParam(j)];
            if (m_logScale[j]) {
                const double sign = m_low[j] < 0 ? -1.0 : 1.0;
                const double a = std::log(std::abs(m_low[j])), b = std::log(std::abs(m_high[j]));
                v = sign
                    * std::exp(std::clamp(a + u * (b - a), PreparedJob::kMinLogParam, PreparedJob::kMaxLogParam));
            } else if (m_smallLow[j] > 0 && u < m_share) {
                const double a = std::log(m_smallLow[j]), b = std::log(m_low[j]);
                v = std::exp(a + u / m_share * (b - a));
            } else {
                // Above the share of small exponents (if any), (low, high]
                // evenly from its top.
                const double w = m_smallLow[j] > 0 ? (u - m_share) / (1 - m_share) : u;
                v = m_high[j] - w * (m_high[j] - m_low[j]);
            }
        }
        return m_job.paramsToVariables(p);
    }

private:
    const PreparedJob& m_job;
    double m_share;
    double m_centre[PreparedJob::kMaxParams];
    std::vector<double> m_low, m_high;
    std::vector<bool> m_logScale;
    // The lower end of an exponent's small values (0: none drawn).
    std::vector<double> m_smallLow;
};

// The problem of one run of the search: the job's, watched for a run away.
// When a Jacobian shows a parameter fitted as ln p far from where the run
// started it, with a column that no longer changes the residuals, the next
// evaluation ends the fit (at its last accepted point) as degenerate.
class WatchedProblem : public LeastSquaresProblem {
public:
    WatchedProblem(const PreparedJob& job, JobProblem& inner, const std::vector<double>& start, bool watch)
        : m_job(job), m_inner(inner), m_start(start), m_watch(watch)
    {
    }
    int valueCount() const override { return m_inner.valueCount(); }
    int variableCount() const override { return m_inner.variableCount(); }
    void residuals(const double* x, double* r) override { m_inner.residuals(x, r); }
    std::string stopReason() const override
    {
        return m_runaway >= 0 ? std::string("degenerate: a parameter ran away") : m_inner.stopReason();
    }
    void jacobian(const double* x, const double* r0, double* J, int ld) override
    {
        m_inner.jacobian(x, r0, J, ld);
        if (!m_watch || m_runaway >= 0)
            return;
        // Only once S has come to its floor along the valley: its S is then
        // that of the valley, to be weighed against the other runs' minima.
        double s = 0;
        for (int i = 0; i < m_inner.valueCount(); ++i)
            s += r0[i] * r0[i];
        const bool settled = s >= m_lastS * (1 - kSettledReduction);
        m_lastS = s;
        if (settled)
            m_runaway = runawayParameter(m_job, m_start.data(), x, r0, J, ld);
    }
    double step(int j, double x) const override { return m_inner.step(j, x); }
    int runaway() const { return m_runaway; }

private:
    const PreparedJob& m_job;
    JobProblem& m_inner;
    const std::vector<double>& m_start;
    bool m_watch;
    int m_runaway = -1;
    double m_lastS = std::numeric_limits<double>::infinity();
};

} // namespace

int runawayParameter(const PreparedJob& job, const double* start, const double* x, const double* r0,
    const double* J, int ld)
{
    const int K = job.valueCount(), F = job.freeCount();
    double rr = 0;
    for (int i = 0; i < K; ++i)
        rr += r0[i] * r0[i];
    const double far = kRunawayDecades * std::log(10.0), negligible = kNegligibleColumn * std::sqrt(rr);
    for (int j = 0; j < F; ++j) {
        // Above 1 as well: a value that climbs from the bottom of ln p stays
        // as negligible as it was, without running off. (Measured on the
        // parameter itself, whatever variable its limits give it.)
        if (!job.freePositive(j))
            continue;
        const ParameterMap& map = job.parameterMap(j);
        const double p = map.param(x[j]), p0 = map.param(start[j]);
        if (!(p > 1) || !(p0 > 0) || !(std::log(p) - std::log(p0) > far))
            continue;
        double cc = 0;
        for (int i = 0; i < K; ++i)
            cc += J[static_cast<std::size_t>(j) * ld + i] * J[static_cast<std::size_t>(j) * ld + i];
        if (!(std::sqrt(cc) > negligible))
            return j;
    }
    return -1;
}

std::vector<std::vector<double>> startVariables(const PreparedJob& job, int count, double decades)
{
    std::vector<std::vector<double>> starts;
    starts.push_back(job.startVariables());
    if (count <= 1 || job.freeCount() == 0)
        return starts;
    const GoldenSequence sequence(job.freeCount());
    const StartBox box(job, job.startParams(), decades);
    for (int n = 1; n < count; ++n)
        starts.push_back(box.at(sequence, n));
    return starts;
}

namespace {

// Runs task(0) ... task(n - 1) on up to `threads` threads.
void runAll(int n, int threads, const std::function<void(int)>& task)
{
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < n; i = next++)
            task(i);
    };
    std::thread helper;
    if (threads > 1 && n > 1)
        helper = std::thread(worker);
    worker();
    if (helper.joinable())
        helper.join();
}

// The winner among the runs so far: the first run within a hair of the
// lowest S of the runs that did not run away, so that a search from a start
// that was good already keeps that run's result. A degenerate point wins
// only when it lies lower than every other run's (or no other run has a
// finite S); -1 while no run has one.
int winnerOf(const std::vector<StartRunResult>& runs, bool& degenerate)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    double lowest = inf, lowestDegenerate = inf;
    for (const StartRunResult& r : runs)
        (r.degenerate ? lowestDegenerate : lowest) = std::min(r.degenerate ? lowestDegenerate : lowest, r.S);
    degenerate = lowestDegenerate < lowest * (1 - kReachedTolerance) || (lowest == inf && lowestDegenerate < inf);
    const double target = degenerate ? lowestDegenerate : lowest;
    if (target == inf)
        return -1;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (runs[i].degenerate == degenerate && runs[i].S <= target * (1 + kSameTolerance))
            return static_cast<int>(i);
    return -1;
}

// Runs within the tolerance of the winner's S (its own kind only).
int reachedOf(const std::vector<StartRunResult>& runs, int best)
{
    if (best < 0)
        return 0;
    const double s = runs[best].S;
    int reached = 0;
    for (const StartRunResult& r : runs)
        if (r.degenerate == runs[best].degenerate && (r.S <= s * (1 + kReachedTolerance) || r.S == s))
            ++reached;
    return reached;
}

// The distinct minima found so far, lowest first: runs that ended by a
// convergence test (or were continued), one per level of S. `ended` counts
// those runs.
std::vector<int> distinctMinima(const std::vector<StartRunResult>& runs, int* ended = nullptr)
{
    std::vector<int> order;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const StartRunResult& r = runs[i];
        if (!r.degenerate && std::isfinite(r.S) && ((r.outcome.info >= 1 && r.outcome.info <= 4) || r.continued))
            order.push_back(static_cast<int>(i));
    }
    if (ended)
        *ended = static_cast<int>(order.size());
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return runs[a].S < runs[b].S; });
    std::vector<int> minima;
    for (int i : order)
        if (minima.empty() || runs[i].S > runs[minima.back()].S * (1 + kDistinctTolerance))
            minima.push_back(i);
    return minima;
}

} // namespace

MultiStartResult multiStartFit(const PreparedJob& job, const FitSettings& settings,
    const MultiStartSettings& search, const std::function<void(int, const StartRunResult&)>& runDone)
{
    const auto began = std::chrono::steady_clock::now();
    const int budget = std::max(1, search.starts);
    const int maxDraws = 2 * budget;
    const int F = job.freeCount(), K = job.valueCount();

    FitSettings capped = settings;
    capped.progress = nullptr;
    capped.printEvery = 0;
    // Enough for a run from a good start to converge (a few Jacobians),
    // not enough for one from a bad start to crawl.
    const int cap = search.runEvaluations > 0 ? search.runEvaluations : 20 + 4 * F;
    capped.maxFunctionEvaluations = std::min(settings.maxFunctionEvaluations, cap);
    FitSettings rest = settings;
    rest.progress = nullptr;
    rest.printEvery = 0;

    MultiStartResult result;
    result.needed = search.agree > 0 ? std::min(search.agree, budget) : 0;
    std::vector<std::vector<double>> startOf;
    std::mutex mutex;
    auto report = [&](int run) {
        if (!runDone)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        runDone(run, result.runs[run]);
    };
    FitSettings first = settings;
    if (settings.progress)
        first.progress = [&](int iteration, int evaluations, double s) {
            std::lock_guard<std::mutex> lock(mutex);
            settings.progress(iteration, evaluations, s);
        };

    // One fit from x0 of a run that started at `origin`.
    auto fitFrom = [&](StartRunResult& out, const std::vector<double>& origin, const std::vector<double>& x0,
                       const FitSettings& with, bool watch) {
        JobProblem problem(job);
        WatchedProblem watched(job, problem, origin, watch);
        out.outcome = fitLevenbergMarquardt(watched, x0, with);
        out.stop = problem.stop();
        out.degenerate = watched.runaway() >= 0;
        out.runaway = watched.runaway();
        out.S = sumOfSquares(problem, out.outcome.x, K);
    };
    auto runOne = [&](int run) {
        StartRunResult& out = result.runs[run];
        out.outcome.x = startOf[run];
        JobProblem problem(job);
        if (run > 0 && !std::isfinite(sumOfSquares(problem, startOf[run], K))) {
            // A start where the model cannot be evaluated (a DE's range).
            out.S = std::numeric_limits<double>::infinity();
        } else {
            fitFrom(out, startOf[run], startOf[run], run == 0 ? first : capped, search.endDegenerate);
        }
        report(run);
    };
    // A run stopped by its cap goes on with the full MAXFEV.
    auto goOn = [&](int run, bool watch) {
        StartRunResult& out = result.runs[run];
        StartRunResult more;
        fitFrom(more, startOf[run], out.outcome.x, rest, watch);
        out.continued = true;
        if (more.S <= out.S || out.degenerate) {
            more.outcome.functionEvaluations += out.outcome.functionEvaluations;
            more.outcome.jacobianEvaluations += out.outcome.jacobianEvaluations;
            out.outcome = std::move(more.outcome);
            out.S = more.S;
            out.stop = more.stop;
            if (watch) {
                out.degenerate = more.degenerate;
                out.runaway = more.runaway;
            }
        }
    };

    int threads = search.threads > 0 ? search.threads : static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, 2);
    const GoldenSequence sequence(F);
    const StartBox box(job, job.startParams(), search.decades, false, search.smallExponents);
    long boxIndex = 0, wideIndex = 0;
    const bool canContinue = capped.maxFunctionEvaluations < settings.maxFunctionEvaluations;
    int best = 0;
    bool bestDegenerate = false;
    double previousBest = std::numeric_limits<double>::infinity();
    for (;;) {
        int counted = 0;
        for (const StartRunResult& r : result.runs)
            counted += r.degenerate ? 0 : 1;
        const int drawn = static_cast<int>(result.runs.size());
        const int size = std::min({result.rounds == 0 ? search.firstRound : search.round, budget - counted,
            maxDraws - drawn});
        // The starts of this round: the job's own first, then the box's
        // sequence; once the runs disagree, every second start is drawn
        // around one of the three best minima, in a wider box.
        std::vector<StartBox> wide;
        if (search.widerDecades > 0 && result.rounds > 0) {
            const std::vector<int> minima = distinctMinima(result.runs);
            if (minima.size() >= 2)
                for (std::size_t m = 0; m < minima.size() && m < 3; ++m) {
                    double p[PreparedJob::kMaxParams];
                    job.variablesToParams(result.runs[minima[m]].outcome.x.data(), p);
                    wide.emplace_back(job, p, search.widerDecades, true);
                }
        }
        for (int i = 0; i < std::max(size, 1); ++i) {
            result.runs.emplace_back();
            if (drawn + i == 0) {
                startOf.push_back(job.startVariables());
            } else if (!wide.empty() && i % 2 == 1) {
                startOf.push_back(wide[wideIndex % wide.size()].at(sequence, wideIndex / wide.size() + 1));
                result.runs.back().wide = true;
                ++wideIndex;
            } else {
                startOf.push_back(box.at(sequence, ++boxIndex));
            }
        }
        runAll(std::max(size, 1), threads, [&](int i) { runOne(drawn + i); });
        ++result.rounds;

        // Capped runs near the lowest S go on, so that the runs that found
        // the best minimum say so to 1e-6.
        best = winnerOf(result.runs, bestDegenerate);
        if (best >= 0 && canContinue) {
            std::vector<int> more;
            const double near = result.runs[best].S * (1 + kContinueWithin);
            for (std::size_t r = 1; r < result.runs.size(); ++r) {
                const StartRunResult& run = result.runs[r];
                if (!run.degenerate && !run.continued && run.outcome.info == 5 && run.S <= near)
                    more.push_back(static_cast<int>(r));
            }
            runAll(static_cast<int>(more.size()), threads, [&](int i) { goOn(more[i], search.endDegenerate); });
            best = winnerOf(result.runs, bestDegenerate);
        }
        result.reached = reachedOf(result.runs, best);

        counted = 0;
        for (const StartRunResult& r : result.runs)
            counted += r.degenerate ? 0 : 1;
        // Agreement needs more than the runs at the lowest S: when every
        // run that ended found the same minimum, seven of them (n runs at one
        // minimum suggest (n - 1) / (n - 3) minima in all, at most 1.5); when
        // they found several, a round that found nothing lower.
        int ended = 0;
        const int k = static_cast<int>(distinctMinima(result.runs, &ended).size());
        const double bestS = best >= 0 ? result.runs[best].S : std::numeric_limits<double>::infinity();
        const bool stable = bestS >= previousBest * (1 - kReachedTolerance);
        previousBest = bestS;
        const bool enough = (k == 1 && ended >= 7) || (k > 1 && stable);
        if (result.needed > 0 && result.reached >= result.needed && enough && !bestDegenerate) {
            result.end = SearchEnd::Agreed;
            break;
        }
        if (counted >= budget || static_cast<int>(result.runs.size()) >= maxDraws) {
            result.end = result.needed > 0 ? SearchEnd::Budget : SearchEnd::Complete;
            break;
        }
        if (search.seconds > 0
            && std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count() >= search.seconds) {
            result.end = SearchEnd::Time;
            break;
        }
    }

    if (best < 0)
        best = 0;
    // A degenerate winner was ended early: it is finished, unwatched, with
    // the full MAXFEV.
    if (bestDegenerate)
        goOn(best, false);
    for (const StartRunResult& r : result.runs)
        result.degenerate += r.degenerate ? 1 : 0;
    result.reached = reachedOf(result.runs, best);
    result.bestRun = best;
    result.bestDegenerate = bestDegenerate;
    result.best = result.runs[best].outcome;
    return result;
}

} // namespace nosk::engine
