// Profile-likelihood and bootstrap intervals, each against a reference
// worked out here without the engine's walk: the covariance interval of a
// linear model, a brute-force grid of S, a model that cannot bound one side,
// and the bootstrap's seed.
#include "engine/Intervals.h"

#include "EngineTestSupport.h"
#include "results/PntoutlReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace nosk::engine;

namespace {

// y = a + b t, residuals y_obs - y.
class LineProblem : public LeastSquaresProblem {
public:
    LineProblem(std::vector<double> t, std::vector<double> y) : m_t(std::move(t)), m_y(std::move(y)) {}
    int valueCount() const override { return static_cast<int>(m_t.size()); }
    int variableCount() const override { return 2; }
    void residuals(const double* x, double* r) override
    {
        for (std::size_t i = 0; i < m_t.size(); ++i)
            r[i] = m_y[i] - (x[0] + x[1] * m_t[i]);
    }
    std::vector<double> m_t, m_y;
};

// y = a exp(-b t): S is far from quadratic in b with few, noisy points.
class DecayProblem : public LeastSquaresProblem {
public:
    DecayProblem(std::vector<double> t, std::vector<double> y) : m_t(std::move(t)), m_y(std::move(y)) {}
    int valueCount() const override { return static_cast<int>(m_t.size()); }
    int variableCount() const override { return 2; }
    void residuals(const double* x, double* r) override
    {
        for (std::size_t i = 0; i < m_t.size(); ++i)
            r[i] = m_y[i] - x[0] * std::exp(-x[1] * m_t[i]);
    }
    std::vector<double> m_t, m_y;
};

// y = a t / (t + k) measured only where t >> k: any k down to 0 fits as
// well, so the profile of k is open below.
class SaturationProblem : public LeastSquaresProblem {
public:
    SaturationProblem(std::vector<double> t, std::vector<double> y) : m_t(std::move(t)), m_y(std::move(y)) {}
    int valueCount() const override { return static_cast<int>(m_t.size()); }
    int variableCount() const override { return 2; }
    void residuals(const double* x, double* r) override
    {
        // x[1] is ln k: k stays positive.
        const double k = std::exp(x[1]);
        for (std::size_t i = 0; i < m_t.size(); ++i)
            r[i] = m_y[i] - x[0] * m_t[i] / (m_t[i] + k);
    }
    std::vector<double> m_t, m_y;
};

double sumOfSquares(LeastSquaresProblem& p, const std::vector<double>& x)
{
    std::vector<double> r(p.valueCount());
    p.residuals(x.data(), r.data());
    double s = 0;
    for (double v : r)
        s += v * v;
    return s;
}

FitSettings tightSettings()
{
    FitSettings s;
    s.maxFunctionEvaluations = 500;
    return s;
}

ProfileAxis linearAxis(double estimate, double scale)
{
    ProfileAxis a;
    a.variableOf = [](double v) { return v; };
    a.estimate = estimate;
    a.scale = scale;
    return a;
}

} // namespace

// For a linear model S is exactly quadratic, so the profile interval is
// b +- t(nu) sd, with sd from the normal equations solved here by hand and
// t(18, 0.975) from a table.
TEST(ProfileIntervals, LinearModelGivesTheCovarianceInterval)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::vector<double> t, y;
    for (int i = 0; i < 20; ++i) {
        t.push_back(0.5 * i);
        y.push_back(1.5 - 0.8 * t.back() + noise(random));
    }
    LineProblem line(t, y);
    const int n = 20, nu = n - 2;
    double st = 0, sy = 0, stt = 0, sty = 0;
    for (int i = 0; i < n; ++i)
        st += t[i], sy += y[i], stt += t[i] * t[i], sty += t[i] * y[i];
    const double det = n * stt - st * st;
    const double b = (n * sty - st * sy) / det, a = (sy - b * st) / n;
    const std::vector<double> xHat{a, b};
    const double S0 = sumOfSquares(line, xHat);
    const double s2 = S0 / nu;
    const double sdA = std::sqrt(s2 * stt / det), sdB = std::sqrt(s2 * n / det);
    const double tq = 2.10092204024096;
    EXPECT_NEAR(studentQuantile(nu, 0.95), tq, 1e-10);

    const double threshold = profileThreshold(S0, nu, 0.95);
    // A walk that starts from a poor guess of the scale still ends there.
    const ParameterInterval ia = profileInterval(line, xHat, 0, linearAxis(a, 3 * sdA), S0, threshold, tightSettings());
    const ParameterInterval ib = profileInterval(line, xHat, 1, linearAxis(b, 0.2 * sdB), S0, threshold, tightSettings());
    EXPECT_NEAR(ia.low, a - tq * sdA, 1e-6 * sdA);
    EXPECT_NEAR(ia.high, a + tq * sdA, 1e-6 * sdA);
    EXPECT_NEAR(ib.low, b - tq * sdB, 1e-6 * sdB);
    EXPECT_NEAR(ib.high, b + tq * sdB, 1e-6 * sdB);
    EXPECT_STREQ(boundedness(ib), "bounded");
    // The profile's points run in order of the value, through the fit.
    ASSERT_GE(ib.profileValue.size(), 3u);
    for (std::size_t i = 1; i < ib.profileValue.size(); ++i)
        EXPECT_LT(ib.profileValue[i - 1], ib.profileValue[i]);
}

// The ends of the profile interval of b against a fine grid of b where the
// best a is solved in closed form (S is linear in a): the interval is
// asymmetric, which the covariance interval cannot be.
TEST(ProfileIntervals, AsymmetricCaseMatchesABruteForceGridOfS)
{
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 0.15);
    std::vector<double> t, y;
    for (int i = 0; i < 8; ++i) {
        t.push_back(0.4 * i);
        y.push_back(2.0 * std::exp(-1.3 * t.back()) + noise(random));
    }
    DecayProblem decay(t, y);
    const FitOutcome fit = fitLevenbergMarquardt(decay, {1.0, 1.0}, tightSettings());
    const std::vector<double>& xHat = fit.x;
    const double S0 = sumOfSquares(decay, xHat);
    const int nu = 6;
    const double threshold = profileThreshold(S0, nu, 0.95);

    auto profileS = [&](double b) {
        double ey = 0, ee = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const double e = std::exp(-b * t[i]);
            ey += e * y[i];
            ee += e * e;
        }
        return sumOfSquares(decay, {ey / ee, b});
    };
    // Walk the grid out from the estimate to the first crossing each way.
    auto crossing = [&](int direction) {
        const double h = 1e-5;
        double b = xHat[1], s = profileS(b);
        for (int step = 0; step < 10000000; ++step) {
            const double nb = b + direction * h, ns = profileS(nb);
            if (ns >= threshold)
                return b + direction * h * (threshold - s) / (ns - s);
            b = nb, s = ns;
        }
        return std::numeric_limits<double>::quiet_NaN();
    };
    const double gridLow = crossing(-1), gridHigh = crossing(+1);

    ProfileAxis axis;
    axis.variableOf = [](double v) { return v; };
    axis.estimate = xHat[1];
    axis.scale = 0.1;
    const ParameterInterval ib = profileInterval(decay, xHat, 1, axis, S0, threshold, tightSettings());
    EXPECT_NEAR(ib.low, gridLow, 1e-5);
    EXPECT_NEAR(ib.high, gridHigh, 1e-5);
    // Not symmetric: the two sides differ by more than a tenth.
    const double below = xHat[1] - ib.low, above = ib.high - xHat[1];
    EXPECT_GT(std::fabs(above - below), 0.1 * std::min(above, below)) << below << " " << above;
}

// k of a saturation curve measured only far above k: S rises when k grows
// but never when it falls to 0, so the interval is open below and says so.
TEST(ProfileIntervals, OneSidedCaseIsOpenBelow)
{
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<double> t, y;
    for (int i = 0; i < 15; ++i) {
        t.push_back(1.0 + i);
        y.push_back(3.0 * t.back() / (t.back() + 0.001) + noise(random));
    }
    SaturationProblem saturation(t, y);
    const FitOutcome fit = fitLevenbergMarquardt(saturation, {3.0, std::log(0.001)}, tightSettings());
    const double S0 = sumOfSquares(saturation, fit.x);
    const double threshold = profileThreshold(S0, 13, 0.95);
    ProfileAxis axis;
    axis.variableOf = [](double k) { return std::log(k); };
    axis.estimate = std::exp(fit.x[1]);
    axis.scale = 0.5 * axis.estimate;
    axis.logSteps = true;
    axis.lower = 0;
    const ParameterInterval ik = profileInterval(saturation, fit.x, 1, axis, S0, threshold, tightSettings());
    EXPECT_TRUE(std::isinf(ik.low) && ik.low < 0) << ik.low;
    ASSERT_TRUE(std::isfinite(ik.high));
    EXPECT_GT(ik.high, axis.estimate);
    EXPECT_STREQ(boundedness(ik), "bounded on one side only");
    // At the upper end S is the threshold indeed.
    double ey = 0, ee = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double e = t[i] / (t[i] + ik.high);
        ey += e * y[i];
        ee += e * e;
    }
    EXPECT_NEAR(sumOfSquares(saturation, {ey / ee, std::log(ik.high)}), threshold, 1e-6 * threshold);
}

// The same seed gives the same intervals to the bit, whatever the number
// of threads; another seed gives others; the intervals hold the estimate.
TEST(BootstrapIntervals, SeedDeterminesTheResult)
{
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 0.05);
    std::vector<double> t, y;
    for (int i = 0; i < 25; ++i) {
        t.push_back(0.2 * i);
        y.push_back(2.0 * std::exp(-1.3 * t.back()) + noise(random));
    }
    auto make = [&]() -> std::unique_ptr<LeastSquaresProblem> { return std::make_unique<DecayProblem>(t, y); };
    DecayProblem decay(t, y);
    const std::vector<double> xHat = fitLevenbergMarquardt(decay, {1.0, 1.0}, tightSettings()).x;
    auto values = [](const std::vector<double>& x) { return x; };
    IntervalSettings how;
    how.method = IntervalMethod::Bootstrap;
    how.replicates = 200;
    how.seed = 42;
    how.threads = 1;
    const IntervalResult one = bootstrapIntervals(make, xHat, values, 23, tightSettings(), how);
    how.threads = 2;
    const IntervalResult two = bootstrapIntervals(make, xHat, values, 23, tightSettings(), how);
    how.seed = 43;
    const IntervalResult other = bootstrapIntervals(make, xHat, values, 23, tightSettings(), how);
    how.parametric = true;
    const IntervalResult parametric = bootstrapIntervals(make, xHat, values, 23, tightSettings(), how);
    EXPECT_EQ(one.replicatesUsed, 200);
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(one.parameters[j].low, two.parameters[j].low);
        EXPECT_EQ(one.parameters[j].high, two.parameters[j].high);
        EXPECT_NE(one.parameters[j].low, other.parameters[j].low);
        for (const IntervalResult* r : {&one, &other, &parametric}) {
            EXPECT_LT(r->parameters[j].low, xHat[j]);
            EXPECT_GT(r->parameters[j].high, xHat[j]);
        }
    }
}

// A whole run with --intervals profile: the report carries one interval
// line per free parameter, which the report's reader takes together with
// the statistics it read before; a well-determined parameter's profile
// interval lies close to its covariance interval.
TEST(EngineIntervals, ProfileIntervalsReachTheReport)
{
    nosk::test::TempWorkDir dir;
    nosk::FitJob job = nosk::test::makeTestJob('A', 15,
        {{1, 20.0, 0}, {6, 500.0, 1}, {7, 2e-6, 1}, {10, 1, 0}, {12, 3e-4, 1}, {14, 0.7, 2}, {15, 2, 0}}, 40);
    const nosk::FitJob truth = job;
    nosk::test::fillSyntheticData(job, truth.P, nosk::test::logSpaced(1e-2, 1e5, 40), 0.01, 9);
    job.save("INFL");
    IntervalSettings how;
    how.method = IntervalMethod::Profile;
    std::ostringstream out, err;
    ASSERT_EQ(runEngine(out, err, 1, kAgreeingRuns, how), 0) << err.str();

    nosk::FitStatistics s;
    nosk::readPntoutl(s);
    ASSERT_EQ(s.freeCount, 4);
    ASSERT_EQ(s.intervals.size(), 4u) << out.str();
    const double tq = studentQuantile(s.degreesOfFreedom, 0.95);
    for (int j = 0; j < 4; ++j) {
        const nosk::FreeParameter& p = s.freeParameters[j];
        const nosk::ReportedInterval& iv = s.intervals[j];
        EXPECT_EQ(iv.number, p.number);
        EXPECT_EQ(iv.method, "profile");
        EXPECT_DOUBLE_EQ(iv.level, 0.95);
        EXPECT_LT(iv.low, p.estimate);
        EXPECT_GT(iv.high, p.estimate);
        EXPECT_NEAR(iv.high - iv.low, 2 * tq * p.stdDev, 0.2 * 2 * tq * p.stdDev) << "P" << p.number;
    }
    ASSERT_EQ(s.profiles.size(), 4u);
    EXPECT_EQ(s.profiles[0].number, s.freeParameters[0].number);
    EXPECT_EQ(s.end.kind, nosk::Reason::Kind::Converged);

    // The printed summary shows the intervals with the parameter table and
    // leaves the profiles' points to the viewer.
    std::ifstream report("PNTOUTL");
    const std::optional<nosk::ReportSections> parts = nosk::splitReport(report);
    ASSERT_TRUE(parts.has_value());
    int intervalLines = 0;
    for (const std::string& line : parts->results)
        intervalLines += line.find("@INTERVAL P") != std::string::npos;
    EXPECT_EQ(intervalLines, 4);
    for (const std::string& line : parts->tail)
        EXPECT_EQ(line.find("@PROFILE"), std::string::npos) << line;
}
