#include "analysis/kk/KramersKronig.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <istream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace nosk::kk {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// Least squares A x = b through a complete orthogonal decomposition, with the
// columns scaled to unit length first: the inductance and capacitance columns
// are many decades larger or smaller than the resistance columns, and a rank
// decision on unscaled columns would drop them.
Eigen::VectorXd solve(Eigen::MatrixXd a, const Eigen::VectorXd& b)
{
    Eigen::VectorXd scale(a.cols());
    for (Eigen::Index c = 0; c < a.cols(); ++c) {
        double n = a.col(c).norm();
        scale(c) = n > 0 ? n : 1;
        a.col(c) /= scale(c);
    }
    Eigen::VectorXd x = a.completeOrthogonalDecomposition().solve(b);
    return x.cwiseQuotient(scale);
}

struct Columns {
    // Positions in the unknown vector; -1 when the term is not fitted.
    int r0 = -1, firstRc = -1, l = -1, c = -1, count = 0;
};

// The real and imaginary parts of each term at each point, divided by |Z|.
struct Design {
    Eigen::MatrixXd re, im;
};

Design design(const std::vector<double>& omega, const std::vector<double>& modulus,
              const std::vector<double>& tau, bool withL, bool withC)
{
    const Eigen::Index n = static_cast<Eigen::Index>(omega.size());
    const Eigen::Index m = static_cast<Eigen::Index>(tau.size());
    const Eigen::Index cols = 1 + m + 2;  // R0, RC elements, L, 1/C
    Design d{Eigen::MatrixXd::Zero(n, cols), Eigen::MatrixXd::Zero(n, cols)};
    for (Eigen::Index i = 0; i < n; ++i) {
        const double w = omega[i];
        const double s = 1.0 / modulus[i];
        d.re(i, 0) = s;
        for (Eigen::Index k = 0; k < m; ++k) {
            const double wt = w * tau[k];
            const double den = 1 + wt * wt;
            d.re(i, 1 + k) = s / den;
            d.im(i, 1 + k) = -s * wt / den;
        }
        if (withL)
            d.im(i, 1 + m) = s * w;
        if (withC)
            d.im(i, 2 + m) = -s / w;
    }
    return d;
}

// Picks the listed columns of a matrix.
Eigen::MatrixXd pick(const Eigen::MatrixXd& a, const std::vector<Eigen::Index>& cols)
{
    Eigen::MatrixXd out(a.rows(), static_cast<Eigen::Index>(cols.size()));
    for (std::size_t j = 0; j < cols.size(); ++j)
        out.col(static_cast<Eigen::Index>(j)) = a.col(cols[j]);
    return out;
}

void checkInput(const std::vector<double>& f, const std::vector<std::complex<double>>& z)
{
    if (f.size() != z.size())
        throw std::invalid_argument("frequencies and impedances differ in number");
    if (f.size() < 3)
        throw std::invalid_argument("at least 3 points are needed");
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (!(f[i] > 0) || !std::isfinite(f[i]))
            throw std::invalid_argument("frequencies must be positive and finite");
        if (!std::isfinite(z[i].real()) || !std::isfinite(z[i].imag()) || std::abs(z[i]) == 0)
            throw std::invalid_argument("impedances must be finite and not zero");
    }
    auto [lo, hi] = std::minmax_element(f.begin(), f.end());
    if (*lo == *hi)
        throw std::invalid_argument("the frequencies span no range");
}

// One fit with M = tau.size() elements.
Result fitOnce(const std::vector<double>& f, const std::vector<std::complex<double>>& z,
               const std::vector<double>& tau, const Options& o)
{
    const std::size_t n = f.size();
    const Eigen::Index m = static_cast<Eigen::Index>(tau.size());
    std::vector<double> omega(n), modulus(n);
    Eigen::VectorXd bRe(n), bIm(n);
    for (std::size_t i = 0; i < n; ++i) {
        omega[i] = kTwoPi * f[i];
        modulus[i] = std::abs(z[i]);
        bRe(i) = z[i].real() / modulus[i];
        bIm(i) = z[i].imag() / modulus[i];
    }
    const Design d = design(omega, modulus, tau, o.inductance, o.capacitance);
    const Eigen::Index colL = 1 + m, colC = 2 + m;
    std::vector<Eigen::Index> rc;
    for (Eigen::Index k = 0; k < m; ++k)
        rc.push_back(1 + k);
    std::vector<Eigen::Index> series;
    if (o.inductance)
        series.push_back(colL);
    if (o.capacitance)
        series.push_back(colC);

    Eigen::VectorXd x = Eigen::VectorXd::Zero(d.re.cols());
    auto scatter = [&x](const std::vector<Eigen::Index>& cols, const Eigen::VectorXd& v) {
        for (std::size_t j = 0; j < cols.size(); ++j)
            x(cols[j]) = v(static_cast<Eigen::Index>(j));
    };
    if (o.part == FitPart::Complex) {
        std::vector<Eigen::Index> cols{0};
        cols.insert(cols.end(), rc.begin(), rc.end());
        cols.insert(cols.end(), series.begin(), series.end());
        Eigen::MatrixXd a(2 * n, static_cast<Eigen::Index>(cols.size()));
        a << pick(d.re, cols), pick(d.im, cols);
        Eigen::VectorXd b(2 * n);
        b << bRe, bIm;
        scatter(cols, solve(a, b));
    } else if (o.part == FitPart::Real) {
        std::vector<Eigen::Index> cols{0};
        cols.insert(cols.end(), rc.begin(), rc.end());
        scatter(cols, solve(pick(d.re, cols), bRe));
        // The series terms have no real part: they take what the elements
        // leave of the imaginary part.
        if (!series.empty()) {
            Eigen::VectorXd rest = bIm - d.im * x;
            scatter(series, solve(pick(d.im, series), rest));
        }
    } else {
        std::vector<Eigen::Index> cols = rc;
        cols.insert(cols.end(), series.begin(), series.end());
        scatter(cols, solve(pick(d.im, cols), bIm));
        // The series resistance has no imaginary part: the |Z|^-2 weighted
        // mean of what the elements leave of the real part.
        double num = 0, den = 0;
        const Eigen::VectorXd fitted = d.re * x;
        for (std::size_t i = 0; i < n; ++i) {
            const double w = 1.0 / (modulus[i] * modulus[i]);
            num += w * (z[i].real() - fitted(i) * modulus[i]);
            den += w;
        }
        x(0) = num / den;
    }

    Result r;
    r.elements = static_cast<int>(m);
    r.tau = tau;
    r.seriesResistance = x(0);
    for (Eigen::Index k = 0; k < m; ++k)
        r.resistance.push_back(x(1 + k));
    r.seriesInductance = o.inductance ? x(colL) : 0;
    r.inverseCapacitance = o.capacitance ? x(colC) : 0;
    r.mu = overfitMeasure(r.resistance);

    const Eigen::VectorXd fitRe = d.re * x, fitIm = d.im * x;
    r.model.resize(n);
    r.residualReal.resize(n);
    r.residualImag.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        r.model[i] = {fitRe(i) * modulus[i], fitIm(i) * modulus[i]};
        r.residualReal[i] = 100 * (bRe(i) - fitRe(i));
        r.residualImag[i] = 100 * (bIm(i) - fitIm(i));
    }
    return r;
}

} // namespace

std::vector<double> timeConstants(double fMinHz, double fMaxHz, int count)
{
    std::vector<double> tau;
    if (count <= 0)
        return tau;
    const double tMin = 1 / (kTwoPi * fMaxHz);
    const double tMax = 1 / (kTwoPi * fMinHz);
    if (count == 1)
        return {tMin};
    const double span = std::log10(tMax / tMin);
    for (int k = 0; k < count; ++k)
        tau.push_back(std::pow(10.0, std::log10(tMin) + span * k / (count - 1)));
    tau.front() = tMin;
    tau.back() = tMax;
    return tau;
}

double overfitMeasure(const std::vector<double>& resistances)
{
    double negative = 0, positive = 0;
    for (double r : resistances) {
        if (r < 0)
            negative -= r;
        else
            positive += r;
    }
    if (positive == 0)
        return negative > 0 ? -std::numeric_limits<double>::infinity() : 1.0;
    return 1 - negative / positive;
}

Result test(const std::vector<double>& f, const std::vector<std::complex<double>>& z, const Options& o)
{
    checkInput(f, z);
    auto [lo, hi] = std::minmax_element(f.begin(), f.end());
    // The unknowns may not outnumber the equations.
    const int equations = static_cast<int>(o.part == FitPart::Complex ? 2 * f.size() : f.size());
    const int seriesTerms = 1 + (o.inductance ? 1 : 0) + (o.capacitance ? 1 : 0);
    const int largest = std::max(1, std::min(o.maxElements, equations - seriesTerms));

    if (o.elements > 0) {
        Result r = fitOnce(f, z, timeConstants(*lo, *hi, o.elements), o);
        r.muHistory = {r.mu};
        return r;
    }
    Result r;
    std::vector<double> history;
    for (int m = 1; m <= largest; ++m) {
        r = fitOnce(f, z, timeConstants(*lo, *hi, m), o);
        history.push_back(r.mu);
        if (r.mu <= o.cutoff)
            break;
    }
    r.muHistory = std::move(history);
    return r;
}

std::string formatTable(const std::vector<double>& f, const Result& r)
{
    std::string out;
    char line[160];
    std::snprintf(line, sizeof line, "# Kramers-Kronig test: M = %d, mu = %.4f; frequency (Hz), "
                  "residual of Re Z and of Im Z in %% of |Z|\r\n", r.elements, r.mu);
    out += line;
    for (std::size_t i = 0; i < f.size() && i < r.residualReal.size(); ++i) {
        std::snprintf(line, sizeof line, "%.8E %.6E %.6E\r\n", f[i], r.residualReal[i], r.residualImag[i]);
        out += line;
    }
    return out;
}

Table readTable(std::istream& in)
{
    Table t;
    t.mu = std::numeric_limits<double>::quiet_NaN();
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '#') {
            int m = 0;
            double mu = 0;
            if (std::sscanf(line.c_str(), "# Kramers-Kronig test: M = %d, mu = %lf", &m, &mu) == 2) {
                t.elements = m;
                t.mu = mu;
            }
            continue;
        }
        std::istringstream fields(line);
        double f, re, im;
        if (fields >> f >> re >> im) {
            t.frequencyHz.push_back(f);
            t.residualReal.push_back(re);
            t.residualImag.push_back(im);
        }
    }
    return t;
}

} // namespace nosk::kk
