// The series result as `noskrun --series --json` wrote it (a fit of five
// temperatures: P1 shared, P4 Arrhenius, P5 and P6 local): read whole,
// every damage refused with a message, and the band of each function
// against finite differences of the function at its coefficients.
#include "results/SeriesCurve.h"
#include "results/SeriesResultReader.h"

#include "core/Exception.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace nosk {
namespace {

using ::testing::HasSubstr;

const char* const kFixture = NOSK_SOURCE_DIR "/tests/data/series/SERIES.json";

std::string fixtureText()
{
    std::ifstream in(kFixture, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(SeriesResultReader, ReadsTheCommandsResult)
{
    const SeriesResultFile r = readSeriesResult(kFixture);
    EXPECT_EQ(r.covariateName, "T");
    EXPECT_EQ(r.covariateUnit, "degC");
    EXPECT_TRUE(r.converged);
    EXPECT_EQ(r.K, 310);
    EXPECT_EQ(r.nu, 297);
    EXPECT_EQ(r.parameters, (std::vector<std::string>{"P1", "P4", "P5", "P6"}));
    EXPECT_EQ(r.roles, (std::vector<std::string>{"shared", "arrhenius", "local", "local"}));
    ASSERT_EQ(r.coefficients.size(), 3u);
    const std::vector<int> p4 = r.coefficientsOf("P4");
    ASSERT_EQ(p4.size(), 2u);
    const SeriesCoefficient& ea = r.coefficients[static_cast<std::size_t>(p4[1])];
    EXPECT_EQ(ea.name, "P4.Ea");
    EXPECT_EQ(ea.coefficient, "Ea");
    EXPECT_DOUBLE_EQ(ea.value, 0.49985520804702216);
    EXPECT_DOUBLE_EQ(ea.high, 0.50047023456956952);
    // The correlations follow the coefficients by name.
    EXPECT_DOUBLE_EQ(r.correlation[static_cast<std::size_t>(p4[0])][static_cast<std::size_t>(p4[1])],
        -0.9987656791915519);
    ASSERT_EQ(r.spectra.size(), 5u);
    EXPECT_EQ(r.spectra[4].file, "cell_320.TST");
    EXPECT_DOUBLE_EQ(r.spectra[0].covariate, 6.85);
    EXPECT_TRUE(r.spectra[0].hasIndependent);
    ASSERT_EQ(r.spectra[0].independent.size(), 4u);
    EXPECT_EQ(r.spectra[0].joint[1].status, "determined");
    ASSERT_TRUE(r.tests.available);
    EXPECT_THAT(r.tests.verdict, HasSubstr("agrees with the independent fits"));
    ASSERT_EQ(r.tests.parameters.size(), 2u);
    EXPECT_EQ(r.tests.parameters[0].name, "P1");
    // The Student t of the file's intervals (297 degrees of freedom).
    EXPECT_NEAR(seriesTFactor(r), 1.968, 1e-3);
}

TEST(SeriesResultReader, RefusesEveryDamage)
{
    const std::string text = fixtureText();
    // Cut anywhere: an error, never a crash or a result read half.
    int refused = 0;
    for (std::size_t n = 0; n + 1 < text.size(); n += 7) {
        try {
            parseSeriesResult(text.substr(0, n));
        } catch (const exception&) {
            ++refused;
        }
    }
    EXPECT_EQ(refused, int((text.size() - 2) / 7) + 1);

    const struct {
        std::string text, message;
    } bad[] = {
        {replaced(text, "\"P4.Ea\"", "\"P4.Eb\""), "coefficients of P4 (arrhenius) are incomplete"},
        {replaced(text, "\"role\": \"arrhenius\"", "\"role\": \"sigmoid\""), "unknown role \"sigmoid\""},
        {replaced(text, "\"K\": 310", "\"K\": \"310\""), "\"K\" in the result is no number"},
        {replaced(text, "\"spectra\": [", "\"spectra\": [{}, "), "no \"file\" in spectrum 1"},
        {replaced(text, "{\"P1\": {\"value\"", "{\"P9\": {\"value\""), "no parameter P9 in the independent fit of spectrum 1"},
        {replaced(text, "\"matrix\": [[1, ", "\"matrix\": [[1, 1, "), "row 1 of the correlations"},
        {replaced(text, "\"names\": [\"P1\"", "\"names\": [\"P7\""), "correlations name P7"},
        {replaced(text, "0.0070226584309315068", "NaN"), "a value expected"},
        {"[]", "no JSON object"},
    };
    for (const auto& b : bad) {
        try {
            parseSeriesResult(b.text);
            ADD_FAILURE() << "read: " << b.message;
        } catch (const exception& e) {
            EXPECT_THAT(e.what(), HasSubstr(b.message));
        }
    }
    try {
        readSeriesResult("no-such-SERIES");
        ADD_FAILURE();
    } catch (const exception& e) {
        EXPECT_THAT(e.what(), HasSubstr("no-such-SERIES: cannot read"));
    }
}

// A result with one function parameter over x, made by hand.
SeriesResultFile oneFunction(const std::string& role, const std::vector<double>& c, const std::vector<double>& sd,
    const std::vector<std::vector<double>>& corr, const std::string& unit, const std::vector<double>& x)
{
    SeriesResultFile r;
    r.covariateName = "x";
    r.covariateUnit = unit;
    r.parameters = {"P2"};
    r.roles = {role};
    const std::vector<std::string> names = seriesCoefficientNames(role);
    for (std::size_t k = 0; k < c.size(); ++k) {
        SeriesCoefficient co;
        co.parameter = "P2";
        co.coefficient = names[k];
        co.name = names[k].empty() ? "P2" : "P2." + names[k];
        co.role = role;
        co.value = c[k];
        co.stdDev = sd[k];
        co.low = c[k] - 2 * sd[k];
        co.high = c[k] + 2 * sd[k];
        r.coefficients.push_back(co);
    }
    r.correlation = corr;
    for (double v : x) {
        SeriesSpectrum s;
        s.covariate = v;
        s.joint = {{1, 0.1, "determined"}};
        r.spectra.push_back(s);
    }
    return r;
}

TEST(SeriesCurve, BandIsTheDeltaMethodOfTheFunction)
{
    const struct {
        std::string role, unit;
        std::vector<double> c, sd;
        std::vector<std::vector<double>> corr;
        std::vector<double> x;
    } cases[] = {
        {"arrhenius", "degC", {2e-7, 0.45}, {3e-8, 0.004}, {{1, -0.998}, {-0.998, 1}}, {-20, 0, 25, 60}},
        {"vft", "K", {0.5, 800, 150}, {0.05, 30, 4}, {{1, -0.6, 0.4}, {-0.6, 1, -0.8}, {0.4, -0.8, 1}}, {250, 300, 340}},
        {"linear", "V", {3, -2}, {0.1, 0.2}, {{1, 0.3}, {0.3, 1}}, {0, 0.5, 1}},
        {"quadratic", "h", {1, 0.5, -0.02}, {0.1, 0.05, 0.003}, {{1, 0.2, -0.1}, {0.2, 1, -0.9}, {-0.1, -0.9, 1}},
            {0, 10, 20}},
        {"exponential", "V", {4, 3}, {0.2, 0.4}, {{1, -0.7}, {-0.7, 1}}, {0.1, 0.2, 0.4}},
        {"shared", "V", {7}, {0.3}, {{1}}, {0.1, 0.4}},
    };
    for (const auto& k : cases) {
        const SeriesResultFile r = oneFunction(k.role, k.c, k.sd, k.corr, k.unit, k.x);
        const SeriesPlotData d = seriesPlotData(r, "P2", 9);
        ASSERT_EQ(d.curveX.size(), 9u) << k.role;
        EXPECT_EQ(d.arrhenius, k.role == "arrhenius" || k.role == "vft") << k.role;
        const double t = seriesTFactor(r);
        EXPECT_NEAR(t, 2, 1e-12) << k.role;
        for (std::size_t s = 0; s < d.curveX.size(); ++s) {
            const double x = d.arrhenius ? 1000 / d.curveX[s] : d.curveX[s];  // K on temperature axes
            // dp/dc by central differences, and its variance.
            const std::size_t n = k.c.size();
            std::vector<double> g(n);
            for (std::size_t a = 0; a < n; ++a) {
                const double h = 1e-6 * std::max(std::abs(k.c[a]), 1e-3);
                std::vector<double> up = k.c, down = k.c;
                up[a] += h;
                down[a] -= h;
                g[a] = (seriesFunctionValue(k.role, up, x) - seriesFunctionValue(k.role, down, x)) / (2 * h);
            }
            double var = 0;
            for (std::size_t a = 0; a < n; ++a)
                for (std::size_t b = 0; b < n; ++b)
                    var += g[a] * g[b] * k.sd[a] * k.sd[b] * k.corr[a][b];
            const double p = seriesFunctionValue(k.role, k.c, x), sp = std::sqrt(var);
            if (d.arrhenius) {
                EXPECT_NEAR(d.curve[s], std::log(p), 1e-12) << k.role;
                EXPECT_NEAR((d.bandHigh[s] - d.curve[s]) / t, sp / p, 1e-5 * sp / p) << k.role << " at " << x;
                EXPECT_NEAR((d.curve[s] - d.bandLow[s]) / t, sp / p, 1e-5 * sp / p) << k.role;
            } else if (k.role == "exponential") {
                EXPECT_NEAR(std::log(d.bandHigh[s] / d.curve[s]) / t, sp / p, 1e-5 * sp / p) << k.role;
                EXPECT_NEAR(std::log(d.curve[s] / d.bandLow[s]) / t, sp / p, 1e-5 * sp / p) << k.role;
            } else {
                EXPECT_NEAR(d.curve[s], p, 1e-12 * std::abs(p)) << k.role;
                EXPECT_NEAR((d.bandHigh[s] - d.curve[s]) / t, sp, 1e-5 * sp) << k.role << " at " << x;
            }
        }
        // The curve spans the spectra's covariate (in K for temperatures).
        const double first = d.arrhenius ? 1000 / (*seriesKelvin(k.x.front(), k.unit)) : k.x.front();
        EXPECT_NEAR(d.curveX.front(), first, 1e-9) << k.role;
    }
    // A coefficient without a std dev: the curve without a band, said so.
    SeriesResultFile r = oneFunction("linear", {3, -2}, {0.1, 0.2}, {{1, 0.3}, {0.3, 1}}, "V", {0, 1});
    r.coefficients[1].stdDev = std::nan("");
    const SeriesPlotData d = seriesPlotData(r, "P2");
    EXPECT_THAT(d.note, HasSubstr("no band"));
    EXPECT_TRUE(std::isfinite(d.curve[3]));
    EXPECT_TRUE(std::isnan(d.bandHigh[3]));
    // Temperature axes over a covariate that is no temperature.
    r = oneFunction("arrhenius", {1, 0.3}, {0.1, 0.01}, {{1, 0}, {0, 1}}, "V", {0, 1});
    EXPECT_THROW(seriesPlotData(r, "P2"), exception);
}

} // namespace
} // namespace nosk
