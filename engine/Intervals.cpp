#include "Intervals.h"

#include "JobProblem.h"
#include "PreparedJob.h"
#include "ReportWriter.h"

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace nosk::engine {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The walk of a profile gives up on a side after this many std devs (or
// this much in ln value): S has not risen enough anywhere near the fit.
constexpr double kMaxSteps = 200;
constexpr double kMaxLogDistance = 23;  // a factor 1e10
constexpr int kMaxWalk = 40;
constexpr int kMaxRefine = 30;

double sumOfSquares(const std::vector<double>& r)
{
    double s = 0;
    for (double v : r)
        s += v * v;
    return s;
}

// The problem with one variable held: the fitter sees the others.
class HeldProblem : public LeastSquaresProblem {
public:
    HeldProblem(LeastSquaresProblem& base, int held)
        : m_base(base)
        , m_held(held)
        , m_full(base.variableCount())
        , m_jacobian(static_cast<std::size_t>(base.valueCount()) * base.variableCount())
    {
    }
    void hold(double x) { m_full[m_held] = x; }
    int valueCount() const override { return m_base.valueCount(); }
    int variableCount() const override { return m_base.variableCount() - 1; }
    void residuals(const double* x, double* r) override
    {
        expand(x);
        m_base.residuals(m_full.data(), r);
    }
    void jacobian(const double* x, const double* r0, double* J, int ld) override
    {
        expand(x);
        const int K = valueCount();
        m_base.jacobian(m_full.data(), r0, m_jacobian.data(), K);
        for (int j = 0, c = 0; j < m_base.variableCount(); ++j) {
            if (j == m_held)
                continue;
            std::copy_n(m_jacobian.data() + static_cast<std::size_t>(j) * K, K, J + static_cast<std::size_t>(c) * ld);
            ++c;
        }
    }
    double step(int j, double x) const override { return m_base.step(j < m_held ? j : j + 1, x); }
    std::string stopReason() const override { return m_base.stopReason(); }

    std::vector<double> full(const std::vector<double>& x)
    {
        expand(x.data());
        return m_full;
    }
    std::vector<double> reduced(const std::vector<double>& full) const
    {
        std::vector<double> x;
        for (int j = 0; j < static_cast<int>(full.size()); ++j)
            if (j != m_held)
                x.push_back(full[j]);
        return x;
    }

private:
    void expand(const double* x)
    {
        for (int j = 0, c = 0; j < static_cast<int>(m_full.size()); ++j)
            if (j != m_held)
                m_full[j] = x[c++];
    }

    LeastSquaresProblem& m_base;
    int m_held;
    std::vector<double> m_full, m_jacobian;
};

// A point of a profile: how far out (t), the held value, S of the refit and
// the others' variables there.
struct ProfilePoint {
    double t = 0, value = 0, S = 0;
    std::vector<double> x;
};

class Profiler {
public:
    Profiler(LeastSquaresProblem& problem, const std::vector<double>& xHat, int j, const ProfileAxis& axis,
        double S0, double threshold, const FitSettings& settings)
        : m_held(problem, j)
        , m_axis(axis)
        , m_S0(S0)
        , m_threshold(threshold)
        , m_settings(settings)
        , m_r(problem.valueCount())
    {
        m_settings.progress = nullptr;
        m_settings.printEvery = 0;
        m_settings.maxFunctionEvaluations = std::max(settings.maxFunctionEvaluations, 200);
        m_origin.x = m_held.reduced(xHat);
        m_origin.value = axis.estimate;
        m_origin.S = S0;
        // Without a std dev (a parameter not determined, or held by a
        // limit) the walk starts with a tenth of the value, or of ln p.
        const bool known = std::isfinite(axis.scale) && axis.scale > 0;
        if (axis.logSteps)
            m_scale = std::clamp(known && axis.estimate > 0 ? axis.scale / axis.estimate : 0.1, 1e-8, 1.0);
        else
            m_scale = known ? axis.scale : 0.1 * std::max(std::fabs(axis.estimate), 1.0);
    }

    // The end of the interval on one side (direction -1 or +1); infinite
    // with that sign when S never rises enough.
    double side(int direction, std::vector<ProfilePoint>& visited)
    {
        ProfilePoint inside = m_origin;
        double t = direction;
        double limitT = direction * limitDistance(direction);
        for (int walk = 0; walk < kMaxWalk; ++walk) {
            bool atLimit = false;
            if (std::fabs(t) >= std::fabs(limitT)) {
                t = limitT;
                atLimit = true;
            }
            ProfilePoint p = refit(t, inside);
            if (!std::isfinite(p.S)) {
                // The model cannot be evaluated there (a DE's range): the
                // range of the parameter ends before it.
                limitT = inside.t + 0.5 * (t - inside.t);
                if (std::fabs(limitT - inside.t) < 1e-6 * std::max(1.0, std::fabs(inside.t)))
                    return direction * kUnbounded;
                t = limitT;
                continue;
            }
            visited.push_back(p);
            const double d = rise(p.S);
            if (d >= 1)
                return refine(inside, p, visited);
            if (atLimit || std::fabs(t) >= kMaxSteps)
                return direction * kUnbounded;
            inside = p;
            // Where a quadratic S would reach the threshold, a little beyond,
            // at least 1.2 and at most 4 times as far.
            const double aim = d > 0 ? std::fabs(t) / std::sqrt(d) * 1.05 : 4 * std::fabs(t);
            t = direction * std::clamp(aim, 1.2 * std::fabs(t), 4 * std::fabs(t));
        }
        return direction * kUnbounded;
    }

private:
    // sqrt((S - S0) / (threshold - S0)): linear in t where S is quadratic.
    double rise(double S) const
    {
        const double d = (S - m_S0) / (m_threshold - m_S0);
        return d > 0 ? d : 0;
    }

    double valueAt(double t) const
    {
        return m_axis.logSteps ? m_axis.estimate * std::exp(t * m_scale) : m_axis.estimate + t * m_scale;
    }

    // How far (in t) the range of the parameter lets the walk go.
    double limitDistance(int direction) const
    {
        const double limit = direction < 0 ? m_axis.lower : m_axis.upper;
        double far = m_axis.logSteps ? kMaxLogDistance / m_scale : kMaxSteps;
        far = std::min(far, kMaxSteps);
        if (!std::isfinite(limit))
            return far;
        double distance;
        if (m_axis.logSteps)
            distance = limit > 0 ? std::fabs(std::log(limit / m_axis.estimate)) / m_scale : far;
        else
            distance = std::fabs(limit - m_axis.estimate) / m_scale;
        return std::min(far, distance);
    }

    ProfilePoint refit(double t, const ProfilePoint& from)
    {
        ProfilePoint p;
        p.t = t;
        p.value = valueAt(t);
        m_held.hold(m_axis.variableOf(p.value));
        if (m_held.variableCount() == 0) {
            p.x = {};
            m_held.residuals(p.x.data(), m_r.data());
        } else {
            const FitOutcome out = fitLevenbergMarquardt(m_held, from.x, m_settings);
            p.x = out.x;
            m_held.residuals(p.x.data(), m_r.data());
        }
        p.S = sumOfSquares(m_r);
        return p;
    }

    // The crossing between a point inside and one at or beyond the
    // threshold: regula falsi on sqrt of the rise (linear in t where S is
    // quadratic), with the Illinois halving so that a far outer point cannot
    // hold it back. Each refit starts from the inner point.
    double refine(ProfilePoint in, ProfilePoint out, std::vector<ProfilePoint>& visited)
    {
        double gIn = std::sqrt(rise(in.S)) - 1, gOut = std::sqrt(rise(out.S)) - 1;
        int kept = 0;  // -1: the inner end moved last, +1 the outer
        for (int i = 0; i < kMaxRefine; ++i) {
            if (std::fabs(out.t - in.t) <= 1e-9 * std::max(1.0, std::fabs(out.t)))
                break;
            double t = (in.t * gOut - out.t * gIn) / (gOut - gIn);
            const double lo = std::min(in.t, out.t), hi = std::max(in.t, out.t);
            if (!(t > lo && t < hi))
                t = 0.5 * (in.t + out.t);
            ProfilePoint p = refit(t, in);
            double g = 1;
            if (std::isfinite(p.S)) {
                visited.push_back(p);
                g = std::sqrt(rise(p.S)) - 1;
                if (std::fabs(g) < 1e-7)
                    return p.value;
            }
            if (g < 0) {
                in = std::move(p);
                gIn = g;
                if (kept < 0)
                    gOut /= 2;
                kept = -1;
            } else {
                out = std::move(p);
                out.t = t;
                gOut = g;
                if (kept > 0)
                    gIn /= 2;
                kept = +1;
            }
        }
        return valueAt(0.5 * (in.t + out.t));
    }

    HeldProblem m_held;
    ProfileAxis m_axis;
    double m_S0, m_threshold;
    FitSettings m_settings;
    ProfilePoint m_origin;
    double m_scale = 1;
    std::vector<double> m_r;
};

// The residuals of data made from the fitted model and the noise e: those
// of the problem at x plus the difference the noise makes, e - r(xHat).
class ResampledProblem : public LeastSquaresProblem {
public:
    ResampledProblem(LeastSquaresProblem& base, std::vector<double> offset)
        : m_base(base)
        , m_offset(std::move(offset))
    {
    }
    int valueCount() const override { return m_base.valueCount(); }
    int variableCount() const override { return m_base.variableCount(); }
    void residuals(const double* x, double* r) override
    {
        m_base.residuals(x, r);
        for (int k = 0; k < valueCount(); ++k)
            r[k] += m_offset[k];
    }
    void jacobian(const double* x, const double*, double* J, int ld) override
    {
        // The base's Jacobian needs its own residuals at x.
        m_r0.resize(valueCount());
        m_base.residuals(x, m_r0.data());
        m_base.jacobian(x, m_r0.data(), J, ld);
    }
    double step(int j, double x) const override { return m_base.step(j, x); }
    std::string stopReason() const override { return m_base.stopReason(); }

private:
    LeastSquaresProblem& m_base;
    std::vector<double> m_offset, m_r0;
};

int threadCount(int asked, int work)
{
    int threads = asked > 0 ? asked : static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(std::min(threads, work), 1, 2);
}

// Runs task(i) for i in [0, count) on `threads` threads, each with its own
// problem; which thread runs which i does not change any result.
void forEach(int count, int threads, const std::function<std::unique_ptr<LeastSquaresProblem>()>& makeProblem,
    const std::function<void(LeastSquaresProblem&, int)>& task)
{
    std::atomic<int> next{0};
    auto worker = [&] {
        std::unique_ptr<LeastSquaresProblem> problem = makeProblem();
        for (int i = next++; i < count; i = next++)
            task(*problem, i);
    };
    std::thread helper;
    if (threads > 1)
        helper = std::thread(worker);
    worker();
    if (helper.joinable())
        helper.join();
}

double percentile(const std::vector<double>& sorted, double q)
{
    const double at = q * static_cast<double>(sorted.size() - 1);
    const std::size_t i = static_cast<std::size_t>(std::floor(at));
    if (i + 1 >= sorted.size())
        return sorted.back();
    return sorted[i] + (at - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
}

// A 64-bit mix of the seed and the replicate, so that each replicate's noise
// depends on nothing else.
std::uint64_t mix(std::uint64_t seed, std::uint64_t b)
{
    std::uint64_t z = seed + 0x9E3779B97F4A7C15ULL * (b + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace

const char* intervalMethodName(IntervalMethod method)
{
    switch (method) {
    case IntervalMethod::Profile: return "profile";
    case IntervalMethod::Bootstrap: return "bootstrap";
    case IntervalMethod::None: break;
    }
    return "none";
}

bool parseIntervalMethod(const std::string& text, IntervalMethod& method)
{
    for (IntervalMethod m : {IntervalMethod::None, IntervalMethod::Profile, IntervalMethod::Bootstrap})
        if (text == intervalMethodName(m)) {
            method = m;
            return true;
        }
    return false;
}

const char* boundedness(const ParameterInterval& interval)
{
    const bool low = std::isfinite(interval.low), high = std::isfinite(interval.high);
    if (std::isnan(interval.low) && std::isnan(interval.high))
        return "no interval";
    if (low && high)
        return "bounded";
    if (low || high)
        return "bounded on one side only";
    return "not bounded";
}

double studentQuantile(int nu, double level)
{
    if (nu < 1 || !(level > 0 && level < 1))
        return kNaN;
    const boost::math::students_t t(nu);
    return boost::math::quantile(boost::math::complement(t, (1 - level) / 2));
}

double profileThreshold(double S0, int nu, double level)
{
    const double t = studentQuantile(nu, level);
    return S0 * (1 + t * t / nu);
}

ParameterInterval profileInterval(LeastSquaresProblem& problem, const std::vector<double>& xHat, int j,
    const ProfileAxis& axis, double S0, double threshold, const FitSettings& settings)
{
    ParameterInterval result;
    Profiler profiler(problem, xHat, j, axis, S0, threshold, settings);
    std::vector<ProfilePoint> visited;
    result.low = profiler.side(-1, visited);
    result.high = profiler.side(+1, visited);
    ProfilePoint origin;
    origin.value = axis.estimate;
    origin.S = S0;
    visited.push_back(origin);
    std::sort(visited.begin(), visited.end(), [](const ProfilePoint& a, const ProfilePoint& b) {
        return a.value < b.value;
    });
    for (const ProfilePoint& p : visited) {
        result.profileValue.push_back(p.value);
        result.profileS.push_back(p.S);
    }
    return result;
}

IntervalResult bootstrapIntervals(const std::function<std::unique_ptr<LeastSquaresProblem>()>& makeProblem,
    const std::vector<double>& xHat, const std::function<std::vector<double>(const std::vector<double>&)>& valuesOf,
    int nu, const FitSettings& settings, const IntervalSettings& how)
{
    IntervalResult result;
    result.method = IntervalMethod::Bootstrap;
    result.level = how.level;
    result.replicates = std::max(how.replicates, 0);
    std::unique_ptr<LeastSquaresProblem> first = makeProblem();
    const int K = first->valueCount(), F = first->variableCount();
    std::vector<double> rHat(K);
    first->residuals(xHat.data(), rHat.data());
    result.S = sumOfSquares(rHat);
    result.parameters.resize(F);
    if (F == 0 || nu < 1 || result.replicates == 0)
        return result;

    // The residuals to draw from: centred, and widened by sqrt(K / nu) for
    // what the fit took out of them.
    double mean = 0;
    for (double r : rHat)
        mean += r / K;
    std::vector<double> pool(K);
    const double widen = std::sqrt(static_cast<double>(K) / nu);
    for (int k = 0; k < K; ++k)
        pool[k] = (rHat[k] - mean) * widen;
    const double sigma = std::sqrt(result.S / nu);

    FitSettings quiet = settings;
    quiet.progress = nullptr;
    quiet.printEvery = 0;
    const int B = result.replicates;
    std::vector<std::vector<double>> values(B);
    forEach(B, threadCount(how.threads, B), makeProblem, [&](LeastSquaresProblem& problem, int b) {
        std::mt19937_64 random(mix(how.seed, static_cast<std::uint64_t>(b)));
        std::vector<double> offset(K);
        if (how.parametric) {
            std::normal_distribution<double> noise(0.0, sigma);
            for (int k = 0; k < K; ++k)
                offset[k] = noise(random) - rHat[k];
        } else {
            std::uniform_int_distribution<int> pick(0, K - 1);
            for (int k = 0; k < K; ++k)
                offset[k] = pool[pick(random)] - rHat[k];
        }
        ResampledProblem resampled(problem, std::move(offset));
        const FitOutcome out = fitLevenbergMarquardt(resampled, xHat, quiet);
        bool ok = out.info >= 1 && out.info <= 8 && out.info != 5;
        for (double x : out.x)
            ok = ok && std::isfinite(x);
        if (ok)
            values[b] = valuesOf(out.x);
    });

    std::vector<std::vector<double>> byParameter(F);
    for (const std::vector<double>& v : values) {
        if (v.empty())
            continue;
        ++result.replicatesUsed;
        for (int j = 0; j < F; ++j)
            byParameter[j].push_back(v[j]);
    }
    // Fewer than 20 refits give no percentile worth the name.
    if (result.replicatesUsed < 20)
        return result;
    for (int j = 0; j < F; ++j) {
        std::sort(byParameter[j].begin(), byParameter[j].end());
        result.parameters[j].low = percentile(byParameter[j], (1 - how.level) / 2);
        result.parameters[j].high = percentile(byParameter[j], (1 + how.level) / 2);
    }
    return result;
}

IntervalResult computeIntervals(const PreparedJob& job, const FitRecord& fit, const FitSettings& settings,
    const IntervalSettings& how)
{
    const int F = job.freeCount();
    const int nu = fit.statistics.nu;
    const std::vector<double>& xHat = fit.outcome.x;
    auto makeProblem = [&job]() -> std::unique_ptr<LeastSquaresProblem> {
        return std::make_unique<JobProblem>(job);
    };
    if (how.method == IntervalMethod::Bootstrap) {
        auto valuesOf = [&job, F](const std::vector<double>& x) {
            std::vector<double> v(F);
            for (int j = 0; j < F; ++j)
                v[j] = job.parameterMap(j).param(x[j]);
            return v;
        };
        return bootstrapIntervals(makeProblem, xHat, valuesOf, nu, settings, how);
    }

    IntervalResult result;
    result.method = how.method;
    result.level = how.level;
    result.parameters.resize(F);
    if (how.method != IntervalMethod::Profile || F == 0 || nu < 1)
        return result;
    {
        JobProblem problem(job);
        std::vector<double> r(job.valueCount());
        problem.residuals(xHat.data(), r.data());
        result.S = sumOfSquares(r);
    }
    result.threshold = profileThreshold(result.S, nu, how.level);
    forEach(F, threadCount(how.threads, F), makeProblem, [&](LeastSquaresProblem& problem, int j) {
        const ParameterMap& map = job.parameterMap(j);
        ProfileAxis axis;
        axis.variableOf = [&map](double value) { return map.variable(value); };
        axis.estimate = fit.finalParams[job.freeParam(j)];
        axis.scale = fit.statistics.stdDev[j];
        axis.logSteps = job.freePositive(j) && axis.estimate > 0;
        axis.lower = map.lower();
        axis.upper = map.upper();
        if (axis.logSteps)
            axis.lower = std::max(axis.lower, 0.0);
        result.parameters[j] = profileInterval(problem, xHat, j, axis, result.S, result.threshold, settings);
    });
    return result;
}

} // namespace nosk::engine
