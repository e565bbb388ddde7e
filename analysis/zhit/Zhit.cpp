#include "analysis/zhit/Zhit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <istream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace nosk::zhit {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kGamma = -kPi / 6;
constexpr int kHalfWindow = 3;  // neighbours on each side in the phase smoothing
// At the ends the slope comes from a cubic through the last kEndWindow points:
// the smoothing's quadratic, extrapolated to the edge of its shifted window,
// misses a phase that still bends there (an inductive top end) by several
// percent of |Z| after the factor gamma.
constexpr int kEndWindow = 5;
// The first term the two-term formula leaves out: gamma3 d3phi/d ln w3.
constexpr double kGamma3 = -kPi * kPi * kPi / 360;

void checkInput(const std::vector<double>& f, const std::vector<std::complex<double>>& z)
{
    if (f.size() != z.size())
        throw std::invalid_argument("frequencies and impedances differ in number");
    if (f.size() < 5)
        throw std::invalid_argument("at least 5 points are needed");
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (!(f[i] > 0) || !std::isfinite(f[i]))
            throw std::invalid_argument("frequencies must be positive and finite");
        if (!std::isfinite(z[i].real()) || !std::isfinite(z[i].imag()) || !std::isnormal(std::abs(z[i])))
            throw std::invalid_argument("impedances must be finite, not zero and not subnormal");
    }
}

// Value and slope at x[k] of the least-squares quadratic through the points
// of the window around k (shifted inwards at the ends).
void localQuadratic(const std::vector<double>& x, const std::vector<double>& y, std::size_t k, double& value,
                    double& slope)
{
    const std::size_t n = x.size();
    const std::size_t width = std::min<std::size_t>(n, 2 * kHalfWindow + 1);
    std::size_t first = k >= kHalfWindow ? k - kHalfWindow : 0;
    first = std::min(first, n - width);
    // Normal equations in u = x - x[k]; 3x3, solved by Cramer's rule.
    double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
    for (std::size_t j = first; j < first + width; ++j) {
        const double u = x[j] - x[k];
        double p = 1;
        for (int m = 0; m < 5; ++m) {
            if (m < 3)
                t[m] += p * y[j];
            s[m] += p;
            p *= u;
        }
    }
    auto det3 = [](double a, double b, double c, double d, double e, double f, double g, double h, double i) {
        return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    };
    const double d = det3(s[0], s[1], s[2], s[1], s[2], s[3], s[2], s[3], s[4]);
    if (width < 3 || !(std::abs(d) > 0)) {
        value = y[k];
        slope = 0;
        return;
    }
    value = det3(t[0], s[1], s[2], t[1], s[2], s[3], t[2], s[3], s[4]) / d;
    slope = det3(s[0], t[0], s[2], s[1], t[1], s[3], s[2], t[2], s[4]) / d;
}

// The first derivatives at x[k], up to the `degree`th, of the least-squares
// polynomial of that degree through the points [first, first + width).
std::vector<double> localPolynomial(const std::vector<double>& x, const std::vector<double>& y, std::size_t k,
                                    std::size_t first, std::size_t width, int degree)
{
    const int m = degree + 1;
    std::vector<std::vector<double>> a(m, std::vector<double>(m + 1, 0.0));
    for (std::size_t j = first; j < first + width; ++j) {
        const double u = x[j] - x[k];
        std::vector<double> p(m, 1.0);
        for (int i = 1; i < m; ++i)
            p[i] = p[i - 1] * u;
        for (int r = 0; r < m; ++r) {
            for (int c = 0; c < m; ++c)
                a[r][c] += p[r] * p[c];
            a[r][m] += p[r] * y[j];
        }
    }
    // Gauss-Jordan with partial pivoting on the small normal equations.
    for (int c = 0; c < m; ++c) {
        int pivot = c;
        for (int r = c + 1; r < m; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        std::swap(a[c], a[pivot]);
        if (!(std::abs(a[c][c]) > 0))
            return std::vector<double>(m, 0.0);
        for (int r = 0; r < m; ++r) {
            if (r == c)
                continue;
            const double factor = a[r][c] / a[c][c];
            for (int q = c; q <= m; ++q)
                a[r][q] -= factor * a[c][q];
        }
    }
    std::vector<double> d(m);
    double factorial = 1;
    for (int i = 0; i < m; ++i) {
        if (i > 1)
            factorial *= i;
        d[i] = a[i][m] / a[i][i] * factorial;
    }
    return d;
}

} // namespace

Result test(const std::vector<double>& f, const std::vector<std::complex<double>>& z)
{
    checkInput(f, z);
    const std::size_t n = f.size();
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&f](std::size_t a, std::size_t b) { return f[a] < f[b]; });
    std::vector<double> x(n), phi(n), lnMod(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        x[k] = std::log(2 * kPi * f[i]);
        phi[k] = std::arg(z[i]);
        lnMod[k] = std::log(std::abs(z[i]));
        if (k > 0 && !(x[k] > x[k - 1]))
            throw std::invalid_argument("two points have the same frequency");
    }
    std::vector<double> smooth(n), slope(n), allowance(n, 0.0), endAllowance(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        localQuadratic(x, phi, k, smooth[k], slope[k]);
        // The error the formula itself makes here, in percent of |Z|: the
        // first term it leaves out, from a local cubic over nine points,
        // and at the ends how far the two estimates of the slope part.
        const std::size_t width = std::min<std::size_t>(n, 9);
        const std::size_t first = std::min(k >= 4 ? k - 4 : 0, n - width);
        if (width >= 5)
            allowance[k] = 100 * std::abs(kGamma3 * localPolynomial(x, phi, k, first, width, 3)[3]);
        const bool end = k < kHalfWindow || k + kHalfWindow >= n;
        if (end && n >= kEndWindow + 2) {
            const std::size_t from = k < kHalfWindow ? 0 : n - kEndWindow;
            const double endSlope = localPolynomial(x, phi, k, from, kEndWindow, 3)[1];
            endAllowance[k] = 100 * std::abs(kGamma * (endSlope - slope[k]));
            allowance[k] += endAllowance[k];
            slope[k] = endSlope;
        }
    }
    // The integral of the smoothed phase from the lowest frequency: the
    // trapezoid with the end correction of the slopes (exact for cubics).
    std::vector<double> shape(n), integral(n, 0.0);
    for (std::size_t k = 1; k < n; ++k) {
        const double h = x[k] - x[k - 1];
        integral[k] = integral[k - 1] + h * (smooth[k - 1] + smooth[k]) / 2 + h * h * (slope[k - 1] - slope[k]) / 12;
    }
    std::vector<double> offset(n);
    for (std::size_t k = 0; k < n; ++k) {
        shape[k] = 2 / kPi * integral[k] + kGamma * slope[k];
        offset[k] = lnMod[k] - shape[k];
    }
    // The offset: over runs of a third of the points, the spread of the
    // offsets each point asks for.
    const std::size_t run = std::max<std::size_t>(3, n / 3);
    std::vector<double> spread, mean;
    for (std::size_t a = 0; a + run <= n; ++a) {
        double s = 0, s2 = 0;
        for (std::size_t k = a; k < a + run; ++k)
            s += offset[k];
        const double m = s / run;
        for (std::size_t k = a; k < a + run; ++k)
            s2 += (offset[k] - m) * (offset[k] - m);
        spread.push_back(std::sqrt(s2 / run));
        mean.push_back(m);
    }
    const double least = *std::min_element(spread.begin(), spread.end());
    std::size_t chosen = 0;
    for (std::size_t a = 0; a < spread.size(); ++a)
        if (spread[a] <= 2 * least + 1e-12)
            chosen = a;  // the highest such run
    const double c = mean[chosen];

    Result r;
    r.frequencyHz = f;
    r.modulus.resize(n);
    r.reconstructed.resize(n);
    r.deviation.resize(n);
    r.phaseDeg.resize(n);
    r.smoothedPhaseDeg.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        r.modulus[i] = std::exp(lnMod[k]);
        r.reconstructed[i] = std::exp(c + shape[k]);
        r.deviation[i] = 100 * (r.modulus[i] - r.reconstructed[i]) / r.reconstructed[i];
        r.phaseDeg[i] = phi[k] * 180 / kPi;
        r.smoothedPhaseDeg[i] = smooth[k] * 180 / kPi;
        if (!std::isfinite(r.deviation[i]))
            throw std::invalid_argument("the reconstruction gave no finite result for these data");
    }
    r.offsetFromHz = f[order[chosen]];
    r.offsetToHz = f[order[chosen + run - 1]];
    r.allowance.resize(n);
    std::vector<double> pointAllowance(n);
    for (std::size_t k = 0; k < n; ++k) {
        r.allowance[order[k]] = allowance[k];
        // The change of slope estimate shows between an end point and its
        // inner neighbour.
        double allowed = endAllowance[k];
        if (k > 0)
            allowed = std::max(allowed, endAllowance[k - 1]);
        if (k + 1 < n)
            allowed = std::max(allowed, endAllowance[k + 1]);
        pointAllowance[order[k]] = allowed;
    }
    r.verdict = kk::judgeDeviation(f, r.deviation, kVerdictFloor, r.allowance, pointAllowance);
    return r;
}

std::string formatTable(const Result& r)
{
    std::string out;
    char line[240];
    out += "# Z-HIT: |Z| reconstructed from the smoothed phase; frequency (Hz), deviation of |Z| from the "
           "reconstruction (%), |Z|, reconstructed |Z|, phase and smoothed phase (degrees)\r\n";
    std::snprintf(line, sizeof line, "# Offset fitted from %.6g Hz to %.6g Hz\r\n", r.offsetFromHz, r.offsetToHz);
    out += line;
    out += "# Verdict: " + r.verdict.text() + "\r\n";
    out += kk::formatPointLines(r.verdict);
    for (std::size_t i = 0; i < r.frequencyHz.size(); ++i) {
        std::snprintf(line, sizeof line, "%.8E %.6E %.8E %.8E %.5f %.5f\r\n", r.frequencyHz[i], r.deviation[i],
                      r.modulus[i], r.reconstructed[i], r.phaseDeg[i], r.smoothedPhaseDeg[i]);
        out += line;
    }
    return out;
}

Table readTable(std::istream& in)
{
    Table t;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '#') {
            const std::string verdict = "# Verdict: ";
            if (line.rfind(verdict, 0) == 0)
                t.verdict = line.substr(verdict.size());
            kk::Outlier point;
            if (kk::readPointLine(line, point))
                t.points.push_back(point);
            continue;
        }
        std::istringstream fields(line);
        double f, d;
        if (!(fields >> f >> d))
            continue;
        double m = std::numeric_limits<double>::quiet_NaN(), rec = m;
        fields >> m >> rec;
        t.frequencyHz.push_back(f);
        t.deviation.push_back(d);
        t.modulus.push_back(m);
        t.reconstructed.push_back(rec);
    }
    return t;
}

} // namespace nosk::zhit
