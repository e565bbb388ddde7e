#include "results/SeriesCurve.h"

#include "core/Exception.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace nosk {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool logarithmic(std::string_view role)
{
    return role == "arrhenius" || role == "vft" || role == "exponential";
}

} // namespace

double seriesFunctionValue(std::string_view role, const std::vector<double>& c, double x, std::vector<double>* grad)
{
    const std::size_t n = seriesCoefficientNames(role).size();
    if (n == 0 || c.size() != n || !std::isfinite(x))
        return kNaN;
    std::vector<double> g(n, kNaN);
    double p = kNaN;
    if (role == "shared") {
        p = c[0];
        g[0] = 1;
    } else if (role == "arrhenius" || role == "exponential") {
        // p = A exp(Ea / (kB T)) or A exp(b x).
        if (role == "arrhenius" && !(x > 0))
            return kNaN;
        const double u = role == "arrhenius" ? 1.0 / (kSeriesBoltzmannEv * x) : x;
        const double e = std::exp(c[1] * u);
        p = c[0] * e;
        g[0] = e;
        g[1] = p * u;
    } else if (role == "vft") {
        // p = A exp(B / (T - T0)).
        const double d = x - c[2];
        if (!(d > 0))
            return kNaN;
        const double e = std::exp(c[1] / d);
        p = c[0] * e;
        g[0] = e;
        g[1] = p / d;
        g[2] = p * c[1] / (d * d);
    } else if (role == "linear") {
        p = c[0] + c[1] * x;
        g = {1, x};
    } else if (role == "quadratic") {
        p = c[0] + c[1] * x + c[2] * x * x;
        g = {1, x, x * x};
    }
    if (grad)
        *grad = g;
    return p;
}

bool seriesTemperatureRole(std::string_view role)
{
    return role == "arrhenius" || role == "vft";
}

std::optional<double> seriesKelvin(double x, std::string_view unit)
{
    std::string u(unit);
    for (char& ch : u)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (unit == "K")
        return x;
    if (u == "degc" || u == "c" || u == "\xc2\xb0" "c" || u == "celsius")
        return x + 273.15;
    return std::nullopt;
}

double seriesTFactor(const SeriesResultFile& result)
{
    for (const SeriesCoefficient& c : result.coefficients) {
        if (!(c.stdDev > 0) || !std::isfinite(c.low) || !std::isfinite(c.high))
            continue;
        // The writer gives a positive value's interval either symmetric or
        // symmetric in ln (value exp(+-t s/value)).
        const double below = c.value - c.low, above = c.high - c.value;
        if (std::abs(below - above) <= 1e-9 * (above + below))
            return (above + below) / (2 * c.stdDev);
        if (c.value > 0 && c.low > 0)
            return std::log(c.high / c.low) / 2 * c.value / c.stdDev;
    }
    return 1.96;
}

std::vector<double> seriesCoefficientCovariance(const SeriesResultFile& result, std::string_view parameter)
{
    const std::vector<int> k = result.coefficientsOf(parameter);
    const std::size_t n = k.size();
    std::vector<double> cov(n * n);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            const SeriesCoefficient& ca = result.coefficients[static_cast<std::size_t>(k[a])];
            const SeriesCoefficient& cb = result.coefficients[static_cast<std::size_t>(k[b])];
            const double r = a == b ? 1.0
                : result.correlation[static_cast<std::size_t>(k[a])][static_cast<std::size_t>(k[b])];
            const double v = ca.stdDev * cb.stdDev * r;
            if (!std::isfinite(v))
                return {};
            cov[a * n + b] = v;
        }
    return n ? cov : std::vector<double>{};
}

SeriesPlotData seriesPlotData(const SeriesResultFile& result, std::string_view parameter, int samples)
{
    const int j = result.parameterIndex(parameter);
    if (j < 0)
        throw exception("the series result has no parameter %s", std::string(parameter).c_str());
    const std::string role = result.roles[static_cast<std::size_t>(j)];
    SeriesPlotData d;
    const std::string name(parameter);
    d.title = role == "local" ? name : name + " (" + role + ")";
    d.arrhenius = seriesTemperatureRole(role);
    const std::string unit = result.covariateUnit;
    const std::string quantity = unit.empty() ? result.covariateName : result.covariateName + "/" + unit;
    if (d.arrhenius) {
        d.xTitle = "1000/T (1/K)";
        d.yTitle = "ln " + name;
    } else {
        d.xTitle = quantity;
        d.yTitle = name;
    }
    // The covariate as the function takes it (K for temperatures) and on
    // the plot's axis.
    auto argument = [&](double x) {
        if (!d.arrhenius)
            return x;
        const std::optional<double> k = seriesKelvin(x, unit);
        if (!k || !(*k > 0))
            throw exception("%s follows %s, but the covariate %s is no temperature above 0 K", name.c_str(),
                role.c_str(), quantity.c_str());
        return *k;
    };
    auto onAxis = [&](double t) { return d.arrhenius ? 1000.0 / t : t; };
    // A value with its std dev on the plot's axis: ln p with s/p.
    auto put = [&](const SeriesValue& v, std::vector<double>& y, std::vector<double>& e) {
        if (d.arrhenius) {
            y.push_back(v.value > 0 ? std::log(v.value) : kNaN);
            e.push_back(v.value > 0 ? v.stdDev / v.value : kNaN);
        } else {
            y.push_back(v.value);
            e.push_back(v.stdDev);
        }
    };
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const SeriesSpectrum& s : result.spectra) {
        const double t = argument(s.covariate);
        lo = std::min(lo, t);
        hi = std::max(hi, t);
        d.x.push_back(onAxis(t));
        put(s.joint[static_cast<std::size_t>(j)], d.joint, d.jointErr);
        if (s.independent.size() == result.parameters.size()) {
            put(s.independent[static_cast<std::size_t>(j)], d.independent, d.independentErr);
        } else {
            d.independent.push_back(kNaN);
            d.independentErr.push_back(kNaN);
        }
    }
    if (role == "local")
        return d;

    // The function over the range, and its band from the covariance.
    std::vector<double> c;
    for (int k : result.coefficientsOf(parameter))
        c.push_back(result.coefficients[static_cast<std::size_t>(k)].value);
    const std::vector<double> cov = seriesCoefficientCovariance(result, parameter);
    if (cov.empty())
        d.note = "no band: a coefficient of " + name + " has no std dev";
    const double t95 = seriesTFactor(result);
    const std::size_t n = c.size();
    samples = std::max(samples, 2);
    std::vector<double> g;
    for (int s = 0; s < samples; ++s) {
        // Even steps in 1/T on temperature axes, in x otherwise.
        const double f = static_cast<double>(s) / (samples - 1);
        const double x = d.arrhenius ? 1.0 / (1.0 / lo + f * (1.0 / hi - 1.0 / lo)) : lo + f * (hi - lo);
        const double p = seriesFunctionValue(role, c, x, &g);
        double sd = kNaN;
        if (!cov.empty() && std::isfinite(p)) {
            double var = 0;
            for (std::size_t a = 0; a < n; ++a)
                for (std::size_t b = 0; b < n; ++b)
                    var += g[a] * cov[a * n + b] * g[b];
            sd = std::sqrt(std::max(var, 0.0));
        }
        d.curveX.push_back(onAxis(x));
        if (d.arrhenius) {
            // ln p, its std dev s/p.
            const double y = p > 0 ? std::log(p) : kNaN;
            d.curve.push_back(y);
            d.bandLow.push_back(y - t95 * sd / p);
            d.bandHigh.push_back(y + t95 * sd / p);
        } else if (logarithmic(role) && p > 0) {
            // A positive function's band stays positive: +-t s/p in ln p.
            d.curve.push_back(p);
            d.bandLow.push_back(p * std::exp(-t95 * sd / p));
            d.bandHigh.push_back(p * std::exp(t95 * sd / p));
        } else {
            d.curve.push_back(p);
            d.bandLow.push_back(p - t95 * sd);
            d.bandHigh.push_back(p + t95 * sd);
        }
    }
    return d;
}

} // namespace nosk
