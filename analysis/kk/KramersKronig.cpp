#include "analysis/kk/KramersKronig.h"
#include "analysis/Thinned.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <istream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <utility>

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

// The terms of the series at each point, real and imaginary part, divided by
// the modulus of what is fitted (|Z|, or |Y| for the admittance).
//   impedance:  R0, M RC elements R/(1 + i w tau), i w L, 1/(i w C)
//   admittance: G0, M series-RC branches g i w tau/(1 + i w tau), i w C
struct Design {
    Eigen::MatrixXd re, im;
    Eigen::Index colL = -1, colC = -1;  // -1: not fitted
};

Design design(const std::vector<double>& omega, const std::vector<double>& modulus,
              const std::vector<double>& tau, Representation rep, bool withL, bool withC)
{
    const Eigen::Index n = static_cast<Eigen::Index>(omega.size());
    const Eigen::Index m = static_cast<Eigen::Index>(tau.size());
    Design d;
    Eigen::Index cols = 1 + m;
    if (rep == Representation::Admittance) {
        d.colC = cols++;
    } else {
        if (withL)
            d.colL = cols++;
        if (withC)
            d.colC = cols++;
    }
    d.re = Eigen::MatrixXd::Zero(n, cols);
    d.im = Eigen::MatrixXd::Zero(n, cols);
    for (Eigen::Index i = 0; i < n; ++i) {
        const double w = omega[i];
        const double s = 1.0 / modulus[i];
        d.re(i, 0) = s;
        for (Eigen::Index k = 0; k < m; ++k) {
            const double wt = w * tau[k];
            const double den = 1 + wt * wt;
            if (rep == Representation::Admittance) {
                d.re(i, 1 + k) = s * wt * wt / den;
                d.im(i, 1 + k) = s * wt / den;
            } else {
                d.re(i, 1 + k) = s / den;
                d.im(i, 1 + k) = -s * wt / den;
            }
        }
        if (rep == Representation::Admittance) {
            d.im(i, d.colC) = s * w;
        } else {
            if (d.colL >= 0)
                d.im(i, d.colL) = s * w;
            if (d.colC >= 0)
                d.im(i, d.colC) = -s / w;
        }
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
        // A subnormal modulus has lost its digits: 1/|Z| overflows and the
        // residuals would be NaN.
        if (!std::isnormal(std::abs(z[i])))
            throw std::invalid_argument("impedances must not be subnormal (below 2.2e-308 in modulus)");
    }
    auto [lo, hi] = std::minmax_element(f.begin(), f.end());
    if (*lo == *hi)
        throw std::invalid_argument("the frequencies span no range");
}

// One fit with M = tau.size() elements, on data scaled so that the largest
// |Z| is 1 (the caller scales the values back).
Result fitOnce(const std::vector<double>& f, const std::vector<std::complex<double>>& z,
               const std::vector<double>& tau, const Options& o, Representation rep)
{
    const std::size_t n = f.size();
    const Eigen::Index m = static_cast<Eigen::Index>(tau.size());
    const bool admittance = rep == Representation::Admittance;
    std::vector<double> omega(n), modulus(n);
    Eigen::VectorXd bRe(n), bIm(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::complex<double> v = admittance ? 1.0 / z[i] : z[i];
        omega[i] = kTwoPi * f[i];
        modulus[i] = std::abs(v);
        bRe(i) = v.real() / modulus[i];
        bIm(i) = v.imag() / modulus[i];
    }
    const Design d = design(omega, modulus, tau, rep, o.inductance, o.capacitance);
    std::vector<Eigen::Index> rc;
    for (Eigen::Index k = 0; k < m; ++k)
        rc.push_back(1 + k);
    std::vector<Eigen::Index> series;
    if (d.colL >= 0)
        series.push_back(d.colL);
    if (d.colC >= 0)
        series.push_back(d.colC);

    Eigen::VectorXd x = Eigen::VectorXd::Zero(d.re.cols());
    auto scatter = [&x](const std::vector<Eigen::Index>& cols, const Eigen::VectorXd& v) {
        for (std::size_t j = 0; j < cols.size(); ++j)
            x(cols[j]) = v(static_cast<Eigen::Index>(j));
    };
    const FitPart part = admittance ? FitPart::Complex : o.part;
    if (part == FitPart::Complex) {
        std::vector<Eigen::Index> cols{0};
        cols.insert(cols.end(), rc.begin(), rc.end());
        cols.insert(cols.end(), series.begin(), series.end());
        Eigen::MatrixXd a(2 * n, static_cast<Eigen::Index>(cols.size()));
        a << pick(d.re, cols), pick(d.im, cols);
        Eigen::VectorXd b(2 * n);
        b << bRe, bIm;
        scatter(cols, solve(std::move(a), b));
    } else if (part == FitPart::Real) {
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
    r.representation = rep;
    r.unknowns = static_cast<int>(1 + m + static_cast<Eigen::Index>(series.size()));
    r.seriesResistance = x(0);
    for (Eigen::Index k = 0; k < m; ++k)
        r.resistance.push_back(x(1 + k));
    r.seriesInductance = d.colL >= 0 ? x(d.colL) : 0;
    r.inverseCapacitance = d.colC >= 0 ? x(d.colC) : 0;
    r.mu = overfitMeasure(r.resistance);

    const Eigen::VectorXd fitRe = d.re * x, fitIm = d.im * x;
    r.model.resize(n);
    r.residualReal.resize(n);
    r.residualImag.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::complex<double> fitted(fitRe(i) * modulus[i], fitIm(i) * modulus[i]);
        r.model[i] = admittance ? 1.0 / fitted : fitted;
        // Residuals of Z in percent of |Z| in both representations.
        const std::complex<double> e = (z[i] - r.model[i]) / std::abs(z[i]);
        r.residualReal[i] = 100 * e.real();
        r.residualImag[i] = 100 * e.imag();
    }
    return r;
}

// The noise s(M) a fit leaves, percent of |Z| (rule step 1).
double noiseOf(const Result& r)
{
    double sum = 0;
    for (std::size_t i = 0; i < r.residualReal.size(); ++i)
        sum += r.residualReal[i] * r.residualReal[i] + r.residualImag[i] * r.residualImag[i];
    const double dof = std::max(1.0, 2.0 * static_cast<double>(r.residualReal.size()) - r.unknowns);
    return std::sqrt(sum / dof);
}

// Values of the scaled fit back in the units of the data.
void unscale(Result& r, double scale)
{
    if (r.representation == Representation::Admittance) {
        r.seriesResistance /= scale;
        for (double& g : r.resistance)
            g /= scale;
        r.inverseCapacitance /= scale;  // the parallel capacitance
    } else {
        r.seriesResistance *= scale;
        for (double& v : r.resistance)
            v *= scale;
        r.seriesInductance *= scale;
        r.inverseCapacitance *= scale;
    }
    for (auto& v : r.model)
        v *= scale;
}

constexpr double kDescribedMargin = 0.15;  // rule step 2
// Above this many points the automatic and classic rules choose M on a
// thinned copy of the spectrum (each fit of the choice costs time and memory
// in proportion to the points); spectra of up to this many are untouched.
constexpr std::size_t kSearchPoints = 2000;
// The sweep ends when s has not fallen by kSweepGain for kSweepPatience elements.
constexpr double kSweepGain = 0.05;
constexpr int kSweepPatience = 10;
constexpr double kBetterBy = 0.10;         // a variant replaces the one before it
constexpr double kVerdictNoiseFactor = 5;  // the verdict's threshold in noise levels

// The automatic rule for one representation and extension; the Result of the
// M chosen with the histories of s and mu.
Result chooseM(const std::vector<double>& f, const std::vector<std::complex<double>>& z, const Options& o,
               Representation rep, double extend, double fLo, double fHi, int largest)
{
    std::vector<double> noise, mu;
    std::vector<Result> fits;
    double best = std::numeric_limits<double>::infinity();
    int lastGain = 0;
    for (int m = 1; m <= largest && m - lastGain <= kSweepPatience; ++m) {
        fits.push_back(fitOnce(f, z, timeConstants(fLo, fHi, m, extend), o, rep));
        noise.push_back(noiseOf(fits.back()));
        mu.push_back(fits.back().mu);
        const double s = noise.back();
        if (std::isfinite(s) && s < best) {
            if (s < (1 - kSweepGain) * best)
                lastGain = m;
            best = s;
        }
    }
    const int tried = static_cast<int>(fits.size());
    int described = tried;
    for (int m = 1; m <= tried; ++m) {
        if (noise[m - 1] <= (1 + kDescribedMargin) * best) {
            described = m;
            break;
        }
    }
    int chosen = described;
    for (int m = described; m <= tried; ++m) {
        if (!(mu[m - 1] > o.cutoff)) {
            chosen = m;
            break;
        }
    }
    Result r = std::move(fits[chosen - 1]);
    r.muHistory = std::move(mu);
    r.noiseHistory = std::move(noise);
    r.describedFrom = described;
    r.extendDecades = extend;
    return r;
}

} // namespace

std::vector<double> timeConstants(double fMinHz, double fMaxHz, int count, double extendDecades)
{
    std::vector<double> tau;
    if (count <= 0)
        return tau;
    const double widen = std::pow(10.0, extendDecades);
    const double tMin = 1 / (kTwoPi * fMaxHz) / widen;
    const double tMax = widen / (kTwoPi * fMinHz);
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

namespace {

// The fit the options ask for on data scaled to a largest |Z| of 1: a fixed
// M, the classic rule, or the automatic rule over its variants.
Result search(const std::vector<double>& f, const std::vector<std::complex<double>>& z, const Options& o,
              int largest)
{
    auto [lo, hi] = std::minmax_element(f.begin(), f.end());
    Result r;
    if (o.elements > 0) {
        r = fitOnce(f, z, timeConstants(*lo, *hi, o.elements, o.extendDecades), o, o.representation);
        r.muHistory = {r.mu};
        r.noiseHistory = {noiseOf(r)};
        r.describedFrom = o.elements;
        r.extendDecades = o.extendDecades;
    } else if (o.rule == Rule::Cutoff) {
        std::vector<double> history, noise;
        for (int m = 1; m <= largest; ++m) {
            r = fitOnce(f, z, timeConstants(*lo, *hi, m, o.extendDecades), o, o.representation);
            history.push_back(r.mu);
            noise.push_back(noiseOf(r));
            if (!(r.mu > o.cutoff))
                break;
        }
        r.muHistory = std::move(history);
        r.noiseHistory = std::move(noise);
        r.describedFrom = 0;
        r.extendDecades = o.extendDecades;
    } else {
        // Capacitive at the lowest frequency: the admittance is tried too.
        const std::size_t lowest = static_cast<std::size_t>(lo - f.begin());
        const bool capacitive = -z[lowest].imag() > std::abs(z[lowest].real());
        std::vector<std::pair<Representation, double>> variants{{Representation::Impedance, 0.0},
                                                                {Representation::Impedance, 1.0}};
        if (capacitive && o.part == FitPart::Complex) {
            variants.emplace_back(Representation::Admittance, 0.0);
            variants.emplace_back(Representation::Admittance, 1.0);
        }
        double bestNoise = 0;
        for (const auto& [rep, extend] : variants) {
            Result candidate = chooseM(f, z, o, rep, extend, *lo, *hi, largest);
            const double s = candidate.noiseHistory[candidate.elements - 1];
            if (r.elements == 0 || s < (1 - kBetterBy) * bestNoise) {
                r = std::move(candidate);
                bestNoise = s;
            }
        }
    }
    return r;
}

} // namespace

Result test(const std::vector<double>& f, const std::vector<std::complex<double>>& zIn, const Options& o)
{
    checkInput(f, zIn);
    // Scaled to a largest |Z| of 1: tiny or huge impedances fit alike.
    double scale = 0;
    for (const auto& v : zIn)
        scale = std::max(scale, std::abs(v));
    std::vector<std::complex<double>> z(zIn);
    for (auto& v : z)
        v /= scale;
    auto [lo, hi] = std::minmax_element(f.begin(), f.end());
    // The unknowns may not outnumber the equations.
    const int equations = static_cast<int>(o.part == FitPart::Complex ? 2 * f.size() : f.size());
    const int seriesTerms = 1 + (o.inductance ? 1 : 0) + (o.capacitance ? 1 : 0);
    const int largest = std::max(1, std::min(o.maxElements, equations - seriesTerms));

    if (o.elements < 0 || o.elements > largest) {
        char text[200];
        std::snprintf(text, sizeof text,
            "%d RC elements asked for; these %zu points take 1 to %d (the automatic choice goes no higher)",
            o.elements, f.size(), largest);
        throw std::invalid_argument(text);
    }
    Result r;
    if (o.elements == 0 && f.size() > kSearchPoints) {
        // A long spectrum: M, the representation and the time constants'
        // reach are chosen on a thinned copy (the same lowest and highest
        // frequency, so the same time constants), then that fit is made on
        // every point.
        std::vector<double> fs;
        std::vector<std::complex<double>> zs;
        analysis::thinned(f, z, kSearchPoints, fs, zs);
        const Result chosen = search(fs, zs, o, largest);
        Options fixed = o;
        fixed.representation = chosen.representation;
        r = fitOnce(f, z, timeConstants(*lo, *hi, chosen.elements, chosen.extendDecades), fixed,
                    chosen.representation);
        r.muHistory = chosen.muHistory;
        r.noiseHistory = chosen.noiseHistory;
        r.describedFrom = chosen.describedFrom;
        r.extendDecades = chosen.extendDecades;
    } else {
        r = search(f, z, o, largest);
    }
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (!std::isfinite(r.residualReal[i]) || !std::isfinite(r.residualImag[i]))
            throw std::invalid_argument("the fit gave no finite residuals for these data");
    }
    unscale(r, scale);
    r.verdict = judge(f, r.residualReal, r.residualImag);
    return r;
}

std::string Result::representationText() const
{
    std::string text = representation == Representation::Admittance ? "admittance" : "impedance";
    if (extendDecades > 0) {
        char buf[80];
        std::snprintf(buf, sizeof buf, ", time constants %g decade%s beyond the measured range", extendDecades,
                      extendDecades == 1 ? "" : "s");
        text += buf;
    }
    return text;
}

namespace {

// The verdict on one or two residuals per point (`im` null: one, a
// deviation of |Z|).
Verdict judgeResiduals(const std::vector<double>& f, const std::vector<double>& re, const std::vector<double>* im,
                       double floor, const std::vector<double>& allowance,
                       const std::vector<double>& pointAllowance)
{
    Verdict v;
    v.floor = floor;
    std::size_t n = std::min(f.size(), re.size());
    if (im)
        n = std::min(n, im->size());
    v.count = static_cast<int>(n);
    if (n < static_cast<std::size_t>(kMinJudgedPoints)) {
        v.judged = v.valid = false;
        return v;
    }
    const int parts = im ? 2 : 1;
    auto part = [&](int p, std::size_t i) { return p == 0 ? re[i] : (*im)[i]; };
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&f](std::size_t a, std::size_t b) { return f[a] < f[b]; });
    // The noise: second differences along frequency cancel what varies
    // smoothly (the systematic part, drift included) and leave 6 sigma^2 of
    // white noise; the median keeps single outliers out.
    std::vector<double> second;
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const std::size_t a = order[k - 1], i = order[k], b = order[k + 1];
        for (int p = 0; p < parts; ++p)
            second.push_back(std::abs(part(p, a) - 2 * part(p, i) + part(p, b)));
    }
    if (!second.empty()) {
        auto mid = second.begin() + static_cast<std::ptrdiff_t>(second.size() / 2);
        std::nth_element(second.begin(), mid, second.end());
        v.noise = 1.4826 * *mid / std::sqrt(6.0);
    }

    // Single points: what a point's residuals leave of the line (in log
    // frequency) through the nearest points on each side that do not stand
    // apart themselves, or through the next two on one side at an end. White
    // noise leaves sigma sqrt(1 + w1^2 + w2^2) there, w the line's weights
    // (sqrt(3/2) inside, sqrt(6) at an end). The point furthest apart is
    // taken out first, then the others are judged again without it, so that
    // a point apart does not drag its neighbours' lines along and make them
    // look apart too.
    std::vector<double> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = std::log(f[order[k]]);
    std::vector<bool> apart(n, false);
    auto seen = [&](std::size_t j, int p) { return part(p, order[j]); };
    // The reference of point k from the points not apart, and the variance
    // it adds in noise units; false when there are too few such points.
    auto reference = [&](std::size_t k, auto&& valueOf, double* ref, double& added) {
        std::size_t a = k, b = k;
        bool left = false, right = false;
        while (a > 0 && !left)
            left = !apart[--a];
        while (b + 1 < n && !right)
            right = !apart[++b];
        std::size_t p1, p2;
        double w1, w2;
        if (left && right) {
            const double t = x[b] > x[a] ? (x[k] - x[a]) / (x[b] - x[a]) : 0.5;
            p1 = a, p2 = b, w1 = 1 - t, w2 = t;
        } else {
            // One side: the nearest two there, extrapolated.
            std::size_t c = left ? a : b;
            bool found = false;
            std::size_t d = c;
            if (left)
                while (d > 0 && !found)
                    found = !apart[--d];
            else
                while (d + 1 < n && !found)
                    found = !apart[++d];
            if (!(left || right) || !found)
                return false;
            const double t = x[c] != x[d] ? (x[k] - x[c]) / (x[c] - x[d]) : 1.0;
            p1 = c, p2 = d, w1 = 1 + t, w2 = -t;
        }
        for (int p = 0; p < parts; ++p)
            ref[p] = w1 * valueOf(p1, p) + w2 * valueOf(p2, p);
        added = w1 * w1 + w2 * w2;
        return true;
    };
    struct Judged {
        double off = 0, ratio = 0;
        bool beyond = false;
    };
    auto judgePoint = [&](std::size_t k) {
        Judged out;
        double ref[2] = {0, 0}, added = 0;
        if (!reference(k, seen, ref, added))
            return out;
        double off2 = 0, largest = 0;
        for (int p = 0; p < parts; ++p) {
            const double d = seen(k, p) - ref[p];
            off2 += d * d;
            largest = std::max(largest, std::abs(d));
        }
        const double level = v.noise * std::sqrt(1 + added);
        const double allowed = order[k] < pointAllowance.size() ? pointAllowance[order[k]] : 0.0;
        out.off = std::sqrt(off2);
        out.ratio = largest / level;
        out.beyond = largest > kPointNoiseFactor * level + allowed && out.off >= std::max(floor / 3, kPointFloor);
        return out;
    };
    std::vector<Outlier> found;
    if (n >= 5 && v.noise > 0) {
        constexpr int kSpan = 3;  // the points whose lines a point apart can reach
        std::vector<Judged> judged(n);
        for (int round = 0;; ++round) {
            std::vector<std::size_t> candidates;
            for (std::size_t k = 0; k < n; ++k) {
                if (apart[k])
                    continue;
                judged[k] = judgePoint(k);
                if (judged[k].beyond)
                    candidates.push_back(k);
            }
            if (candidates.empty())
                break;
            if (round >= 4 * kMaxNamedPoints) {
                // Many points apart: the rest are counted, not taken out one by one.
                for (std::size_t k : candidates)
                    found.push_back({f[order[k]], judged[k].off, judged[k].ratio});
                break;
            }
            // Which one to take out: the one after whose removal its
            // neighbours stand least apart (a point apart, not a neighbour
            // whose line it drags), then the one furthest apart.
            std::size_t best = candidates.front();
            double bestLeft = std::numeric_limits<double>::infinity();
            for (std::size_t c : candidates) {
                apart[c] = true;
                double left = 0;
                for (std::size_t j = c >= kSpan ? c - kSpan : 0; j < n && j <= c + kSpan; ++j)
                    if (!apart[j])
                        left = std::max(left, judgePoint(j).ratio);
                apart[c] = false;
                if (left < bestLeft * (1 - 1e-9) ||
                    (left <= bestLeft * (1 + 1e-9) && judged[c].ratio > judged[best].ratio)) {
                    best = c;
                    bestLeft = left;
                }
            }
            apart[best] = true;
            found.push_back({f[order[best]], judged[best].off, judged[best].ratio});
        }
    }
    std::sort(found.begin(), found.end(), [](const Outlier& a, const Outlier& b) { return a.size > b.size; });
    v.apart = static_cast<int>(found.size());
    if (found.size() > static_cast<std::size_t>(kMaxNamedPoints))
        found.resize(kMaxNamedPoints);
    v.points = std::move(found);
    std::vector<double> resid(n * 2, 0.0);  // in ascending frequency, per part
    for (std::size_t k = 0; k < n; ++k)
        for (int p = 0; p < parts; ++p)
            resid[2 * k + p] = part(p, order[k]);

    // The systematic part: the RMS of the residuals of a point and its two
    // neighbours on each side, a point apart counting as the mean of its
    // neighbours.
    auto value = [&](std::size_t k, int p) {
        if (!apart[k])
            return resid[2 * k + p];
        double ref[2] = {0, 0}, added = 0;
        if (!reference(k, [&](std::size_t j, int q) { return resid[2 * j + q]; }, ref, added))
            return 0.0;
        return ref[p];
    };
    const double base = std::max(kVerdictNoiseFactor * v.noise, floor);
    std::vector<double> smooth(n), threshold(n, base);
    std::size_t worst = 0;
    double worstExcess = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0, allow = 0;
        int count = 0;
        for (std::size_t j = k >= 2 ? k - 2 : 0; j < n && j <= k + 2; ++j) {
            for (int p = 0; p < parts; ++p)
                sum += value(j, p) * value(j, p) / parts;
            if (order[j] < allowance.size())
                allow = std::max(allow, allowance[order[j]]);
            ++count;
        }
        smooth[k] = std::sqrt(sum / count);
        threshold[k] = base + allow;
        if (smooth[k] - threshold[k] > worstExcess) {
            worstExcess = smooth[k] - threshold[k];
            worst = k;
        }
    }
    v.worst = *std::max_element(smooth.begin(), smooth.end());
    v.valid = v.points.empty();
    if (!(worstExcess > 0))
        return v;
    // The stretch above the threshold around the worst point.
    v.valid = false;
    v.systematic = true;
    v.worst = smooth[worst];
    std::size_t first = worst, last = worst;
    while (first > 0 && smooth[first - 1] > threshold[first - 1])
        --first;
    while (last + 1 < n && smooth[last + 1] > threshold[last + 1])
        ++last;
    v.at = f[order[worst]];
    const bool lowEnd = first == 0, highEnd = last + 1 == n;
    if (lowEnd && !highEnd)
        v.below = f[order[last]];
    else if (highEnd && !lowEnd)
        v.above = f[order[first]];
    else if (!lowEnd && !highEnd) {
        v.from = f[order[first]];
        v.to = f[order[last]];
    }
    return v;
}

} // namespace

Verdict judge(const std::vector<double>& f, const std::vector<double>& re, const std::vector<double>& im,
              double floor)
{
    return judgeResiduals(f, re, &im, floor, {}, {});
}

Verdict judgeDeviation(const std::vector<double>& f, const std::vector<double>& deviation, double floor,
                       const std::vector<double>& allowance, const std::vector<double>& pointAllowance)
{
    return judgeResiduals(f, deviation, nullptr, floor, allowance, pointAllowance);
}

std::string Verdict::pointsText() const
{
    if (points.empty())
        return {};
    char buf[160];
    std::string out;
    if (points.size() == 1) {
        const Outlier& p = points.front();
        std::snprintf(buf, sizeof buf, "one point at %.3g Hz is %.2g %% off (%.0fx the noise)", p.frequencyHz,
                      p.size, p.ratio);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%d points are far off the noise:", apart);
    out = buf;
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s %.3g Hz (%.2g %%)", i ? "," : "", points[i].frequencyHz, points[i].size);
        out += buf;
    }
    if (apart > static_cast<int>(points.size()))
        out += ", ...";
    return out;
}

std::string Verdict::text() const
{
    char buf[240];
    if (!judged) {
        std::snprintf(buf, sizeof buf, "too few points to judge (%d; the test needs at least %d)", count,
                      kMinJudgedPoints);
        return buf;
    }
    if (!systematic) {
        std::snprintf(buf, sizeof buf, "valid: largest %.3g %%, within %.0fx the noise (%.2g %%) or %.2g %%", worst,
                      kVerdictNoiseFactor, noise, floor);
        if (points.empty())
            return buf;
        return "suspicious: " + pointsText() + "; the rest " + buf;
    }
    char where[100];
    if (below == 0 && above == 0 && from == 0)
        std::snprintf(where, sizeof where, "over the whole range, most near %.4g Hz", at);
    else if (below > 0)
        std::snprintf(where, sizeof where, "below %.4g Hz", below);
    else if (above > 0)
        std::snprintf(where, sizeof where, "above %.4g Hz", above);
    else
        std::snprintf(where, sizeof where, "between %.4g Hz and %.4g Hz", from, to);
    std::snprintf(buf, sizeof buf, "suspicious %s: up to %.3g %% of |Z|, %.0fx the noise (%.2g %%)", where, worst,
                  noise > 0 ? worst / noise : 0.0, noise);
    if (points.empty())
        return buf;
    return std::string(buf) + "; and " + pointsText();
}

std::string formatPointLines(const Verdict& v)
{
    std::string out;
    char line[120];
    for (const Outlier& p : v.points) {
        std::snprintf(line, sizeof line, "# Point apart: %.8E %.6E %.6E\r\n", p.frequencyHz, p.size, p.ratio);
        out += line;
    }
    return out;
}

bool readPointLine(const std::string& line, Outlier& p)
{
    return std::sscanf(line.c_str(), "# Point apart: %lf %lf %lf", &p.frequencyHz, &p.size, &p.ratio) == 3;
}

std::string formatTable(const std::vector<double>& f, const Result& r)
{
    std::string out;
    char line[200];
    std::snprintf(line, sizeof line, "# Kramers-Kronig test: M = %d, mu = %.4f; frequency (Hz), "
                  "residual of Re Z and of Im Z in %% of |Z|\r\n", r.elements, r.muUndefined() ? NAN : r.mu);
    out += line;
    if (r.muUndefined())
        out += "# mu is undefined: no RC element has a positive resistance (inductive or negative-resistance data)\r\n";
    out += "# Representation: " + r.representationText() + "\r\n";
    out += "# Verdict: " + r.verdict.text() + "\r\n";
    out += formatPointLines(r.verdict);
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
            const std::string verdict = "# Verdict: ";
            if (line.rfind(verdict, 0) == 0)
                t.verdict = line.substr(verdict.size());
            Outlier point;
            if (readPointLine(line, point))
                t.points.push_back(point);
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
