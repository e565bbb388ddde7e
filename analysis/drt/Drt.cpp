#include "Drt.h"
#include "Nnls.h"
#include "analysis/Thinned.h"

#include <Eigen/Dense>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <istream>
#include <limits>
#include <numbers>
#include <random>
#include <sstream>
#include <stdexcept>

namespace nosk::drt {

using std::numbers::pi;

namespace {

// The modified GCV's weight of the effective parameter count (Cummins,
// Filloon and Nychka 2001 found 1.3 to 1.4 robust for small samples).
constexpr double kRho = 1.3;
// The lambda search: this many grid points per decade over this range.
// Noise-free data (a model curve, numbers rounded to six digits) drive the
// criterion to ever smaller lambda, where gamma breaks into spikes: below
// 1e-6 the peaks of such data are no longer single.
constexpr int kGridPerDecade = 4;
constexpr double kLambdaMin = 1e-6, kLambdaMax = 1e1;
// With the adaptive penalty: lambda is the largest whose criterion is within
// this fraction of the minimum, and the penalty's weight falls to one half
// where the derivative penalised reaches this many times its RMS over the
// measured range.
constexpr double kLambdaSlack = 0.05;
constexpr double kCurvatureScale = 2;
// The re-weighting stops when no weight of gamma moves by more than this
// fraction of the largest.
constexpr double kSettled = 1e-3;

// Everything the computation needs, in scaled units: rows divided by |Z|,
// unknowns divided by the largest |Z| (so that lambda does not depend on
// the size of the impedance).
struct Problem {
    int points = 0;
    std::vector<double> omega;
    double zScale = 1, omegaMin = 1, omegaMax = 1;
    std::vector<double> u;        // ln tau of the basis nodes
    double shape = 1;             // epsilon of exp(-(epsilon v)^2)
    Eigen::MatrixXd a;            // 2N x n: the Gaussians' kernels
    Eigen::MatrixXd s;            // 2N x p: R_inf, L, 1/C as chosen
    bool hasL = false, hasC = false;
    Eigen::VectorXd b;            // 2N
    Eigen::MatrixXd m;            // n x n penalty
    std::vector<double> wq, ev;   // the kernels' quadrature: weights, e^v
};

// Above this many points the lambda search runs on a thinned copy of the
// spectrum, and the final problem is formed from every point's rows a block
// at a time, never as a whole matrix; spectra of up to this many points are
// untouched.
constexpr std::size_t kSearchPoints = 2000;

// The kernels of one point at angular frequency omega, scaled by wt: the
// real parts into re[k], the imaginary parts into im[k], k over the basis.
void kernelRow(const Problem& p, double omega, double wt, double* re, double* im)
{
    const int n = static_cast<int>(p.u.size());
    for (int k = 0; k < n; ++k) {
        const double ex = omega * std::exp(p.u[k]);
        double sr = 0, si = 0;
        for (std::size_t j = 0; j < p.wq.size(); ++j) {
            const double t = ex * p.ev[j];
            const double d = p.wq[j] / (1 + t * t);
            sr += d;
            si -= d * t;
        }
        re[k] = wt * p.zScale * sr;
        im[k] = wt * p.zScale * si;
    }
}

// The series terms of one point (R_inf; L, C as chosen), scaled by wt: the
// real row into re, the imaginary row into im.
void seriesRow(const Problem& p, double omega, double wt, double* re, double* im)
{
    const int cols = 1 + (p.hasL ? 1 : 0) + (p.hasC ? 1 : 0);
    for (int c = 0; c < cols; ++c)
        re[c] = im[c] = 0;
    re[0] = wt;
    int c = 1;
    if (p.hasL)
        im[c++] = wt * omega / p.omegaMax;
    if (p.hasC)
        im[c] = -wt * p.omegaMin / omega;
}

// exp(-(e v)^2) and its derivatives.
double basisDerivative(double v, double e, int order)
{
    const double g = std::exp(-(e * v) * (e * v));
    if (order == 1)
        return -2 * e * e * v * g;
    if (order == 2)
        return (4 * e * e * e * e * v * v - 2 * e * e) * g;
    return g;
}

bool wantsCapacitance(const std::vector<double>& f, const std::vector<std::complex<double>>& z, Capacitance c)
{
    if (c != Capacitance::Automatic)
        return c == Capacitance::Always;
    // The three lowest frequencies: -Z'' growing as f^-s with s >= 0.4 (a
    // finite-space diffusion turns from s = 1/2 towards the capacitor's 1).
    std::vector<std::size_t> order(f.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return f[x] < f[y]; });
    const std::size_t lo = order[0], hi = order[std::min<std::size_t>(2, order.size() - 1)];
    const double y0 = -z[lo].imag(), y1 = -z[hi].imag();
    if (!(y0 > 0) || !(y1 > 0) || f[hi] <= f[lo])
        return false;
    const double slope = std::log(y1 / y0) / std::log(f[hi] / f[lo]);
    // A capacitive branch also dominates the real part there.
    return slope <= -0.4 && y0 > 0.5 * std::abs(z[lo].real() - z[order.back()].real());
}

// Refuses what gives no DRT: too few points, a frequency or an impedance
// that is no usable number, all frequencies equal, a derivative not 1 or 2.
void checkInput(const std::vector<double>& f, const std::vector<std::complex<double>>& z, const Options& o)
{
    if (f.size() != z.size())
        throw std::invalid_argument("frequencies and impedances differ in number");
    if (f.size() < 5)
        throw std::invalid_argument("the DRT needs at least 5 points");
    double fMin = f[0], fMax = f[0];
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (!std::isfinite(f[i]) || f[i] <= 0)
            throw std::invalid_argument("a frequency is not positive and finite");
        // A subnormal modulus has lost its digits, and its scale would make
        // every number of the problem overflow.
        if (!std::isfinite(z[i].real()) || !std::isfinite(z[i].imag()) || !std::isnormal(std::abs(z[i]))) {
            char text[160];
            std::snprintf(text, sizeof text,
                "the impedance of point %zu (%g%+gi ohm) is zero, subnormal (below 2.2e-308 in modulus) or not finite",
                i + 1, z[i].real(), z[i].imag());
            throw std::invalid_argument(text);
        }
        fMin = std::min(fMin, f[i]);
        fMax = std::max(fMax, f[i]);
    }
    if (fMax <= fMin * (1 + 1e-12))
        throw std::invalid_argument("all frequencies are equal");
    if (o.derivative != 1 && o.derivative != 2)
        throw std::invalid_argument("the penalised derivative is of order 1 or 2");
}

Problem setUp(const std::vector<double>& f, const std::vector<std::complex<double>>& z, const Options& o)
{
    checkInput(f, z, o);
    Problem p;
    p.points = static_cast<int>(f.size());
    double fMin = f[0], fMax = f[0];
    for (std::size_t i = 0; i < f.size(); ++i) {
        fMin = std::min(fMin, f[i]);
        fMax = std::max(fMax, f[i]);
        p.zScale = i == 0 ? std::abs(z[i]) : std::max(p.zScale, std::abs(z[i]));
        p.omega.push_back(2 * pi * f[i]);
    }
    p.omegaMin = 2 * pi * fMin;
    p.omegaMax = 2 * pi * fMax;

    const int perDecade = std::clamp(o.basisPerDecade, 2, 50);
    const double h = std::log(10.0) / perDecade;
    const double uLo = std::log(1 / p.omegaMax) - std::max(0.0, o.extendDecadesFast) * std::log(10.0);
    const double uHi = std::log(1 / p.omegaMin) + o.extendDecades * std::log(10.0);
    const int n = static_cast<int>(std::ceil((uHi - uLo) / h - 1e-9)) + 1;
    for (int k = 0; k < n; ++k)
        p.u.push_back(uLo + k * h);
    p.shape = 2 * std::sqrt(std::log(2.0)) / (std::clamp(o.basisWidth, 0.5, 5.0) * h);
    const double e = p.shape;

    // The kernels by the trapezoidal rule in v = ln tau - u_k, exact to
    // rounding for the smooth integrands; no exp() inside the loop.
    const double dv = std::min(0.1, 0.25 / e), vMax = 6.5 / e;
    const int half = static_cast<int>(std::ceil(vMax / dv));
    for (int j = -half; j <= half; ++j) {
        p.wq.push_back(dv * basisDerivative(j * dv, e, 0));
        p.ev.push_back(std::exp(j * dv));
    }
    const int rows = 2 * p.points;
    p.a.resize(rows, n);
    p.b.resize(rows);
    std::vector<double> re(n), im(n);
    for (int i = 0; i < p.points; ++i) {
        const double wt = 1 / std::abs(z[i]);
        p.b(i) = wt * z[i].real();
        p.b(p.points + i) = wt * z[i].imag();
        kernelRow(p, p.omega[i], wt, re.data(), im.data());
        for (int k = 0; k < n; ++k) {
            p.a(i, k) = re[k];
            p.a(p.points + i, k) = im[k];
        }
    }

    p.hasL = o.inductance;
    p.hasC = wantsCapacitance(f, z, o.capacitance);
    const int cols = 1 + (p.hasL ? 1 : 0) + (p.hasC ? 1 : 0);
    p.s = Eigen::MatrixXd::Zero(rows, cols);
    double sr[3], si[3];
    for (int i = 0; i < p.points; ++i) {
        seriesRow(p, p.omega[i], p.zScale / std::abs(z[i]), sr, si);
        for (int c = 0; c < cols; ++c) {
            p.s(i, c) = sr[c];
            p.s(p.points + i, c) = si[c];
        }
    }

    // The penalty: the integral over all ln tau of the squared derivative of
    // gamma, in closed form. Equal Gaussians g(u - a), g(u - b) give
    // integral g^(m)(u - a) g^(m)(u - b) du = (-1)^m G^(2m)(a - b), with
    // G(d) = sqrt(pi / 2) / e exp(-e^2 d^2 / 2) their autocorrelation.
    p.m.resize(n, n);
    const double s2 = e * e, g0 = std::sqrt(pi / 2) / e;
    for (int j = 0; j < n; ++j) {
        for (int k = j; k < n; ++k) {
            const double dd = p.u[j] - p.u[k], x = s2 * dd * dd;
            const double g = g0 * std::exp(-0.5 * x);
            const double v = o.derivative == 1 ? g * s2 * (1 - x) : g * s2 * s2 * (x * x - 6 * x + 3);
            p.m(j, k) = p.m(k, j) = v;
        }
    }
    // A tiny ridge keeps the penalty definite (a first derivative spares
    // a constant, a second one a straight line).
    p.m.diagonal().array() += 1e-10 * p.m.trace() / n;
    return p;
}

// The unconstrained ridge problem in the eigenbasis of the penalty, for the
// criterion at any lambda in O(n).
struct Ridge {
    Eigen::VectorXd eigen, c;  // squared singular values, data along them
    double outside = 0;  // |b|^2 outside the range of the model
    int rows = 0, fixed = 0;

    explicit Ridge(const Problem& p)
    {
        rows = static_cast<int>(p.b.size());
        fixed = static_cast<int>(p.s.cols());
        // The series terms are not penalised: project them out.
        const Eigen::HouseholderQR<Eigen::MatrixXd> qr(p.s);
        const Eigen::MatrixXd q = qr.householderQ() * Eigen::MatrixXd::Identity(rows, fixed);
        const Eigen::MatrixXd at = p.a - q * (q.transpose() * p.a);
        const Eigen::VectorXd bt = p.b - q * (q.transpose() * p.b);
        // In standard form: z = L' x with M = L L', the matrix A L^-T, whose
        // singular values and the data's coordinates along them give the
        // residual and the trace of the hat matrix at every lambda.
        const Eigen::LLT<Eigen::MatrixXd> llt(p.m);
        const Eigen::MatrixXd standard = llt.matrixL().solve(at.transpose()).transpose();
        const Eigen::BDCSVD<Eigen::MatrixXd> svd(standard, Eigen::ComputeThinU);
        const Eigen::VectorXd sv = svd.singularValues();
        const Eigen::VectorXd beta = svd.matrixU().transpose() * bt;
        const double floor = sv.size() > 0 ? 1e-13 * sv(0) : 0;
        outside = bt.squaredNorm();
        for (int i = 0; i < sv.size(); ++i) {
            if (sv(i) <= floor)
                continue;
            eigen.conservativeResize(eigen.size() + 1);
            c.conservativeResize(c.size() + 1);
            eigen(eigen.size() - 1) = sv(i) * sv(i);
            c(c.size() - 1) = beta(i);
            outside -= beta(i) * beta(i);
        }
        outside = std::max(0.0, outside);
    }

    double traceH(double lambda) const
    {
        double t = fixed;
        for (int i = 0; i < eigen.size(); ++i)
            t += eigen(i) / (eigen(i) + lambda);
        return t;
    }

    double criterion(double lambda) const
    {
        double rss = outside;
        for (int i = 0; i < eigen.size(); ++i) {
            const double q = lambda / (eigen(i) + lambda);
            rss += c(i) * c(i) * q * q;
        }
        const double free = rows - kRho * traceH(lambda);
        if (free <= 0)
            return std::numeric_limits<double>::infinity();
        return rows * rss / (free * free);
    }
};

// The minimum of the criterion; with a slack above 0, the largest lambda
// (towards kLambdaMax) whose criterion stays within (1 + slack) of it.
double searchLambda(const Ridge& ridge, double start, double& best, double slack)
{
    if (!(start > 0) || !std::isfinite(start))
        start = 1e-3;
    const int kLo = static_cast<int>(std::ceil(kGridPerDecade * std::log10(kLambdaMin / start)));
    const int kHi = static_cast<int>(std::floor(kGridPerDecade * std::log10(kLambdaMax / start)));
    auto lambdaOf = [&](double k) { return start * std::pow(10.0, k / kGridPerDecade); };
    int bestK = kLo;
    best = std::numeric_limits<double>::infinity();
    for (int k = kLo; k <= kHi; ++k) {
        const double v = ridge.criterion(lambdaOf(k));
        if (v < best) {
            best = v;
            bestK = k;
        }
    }
    // Golden section in log lambda between the neighbours of the grid's best.
    double lo = std::max<double>(bestK - 1, kLo), hi = std::min<double>(bestK + 1, kHi);
    const double gr = (std::sqrt(5.0) - 1) / 2;
    double x1 = hi - gr * (hi - lo), x2 = lo + gr * (hi - lo);
    double f1 = ridge.criterion(lambdaOf(x1)), f2 = ridge.criterion(lambdaOf(x2));
    for (int it = 0; it < 30 && hi - lo > 1e-3; ++it) {
        if (f1 < f2) {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - gr * (hi - lo);
            f1 = ridge.criterion(lambdaOf(x1));
        } else {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + gr * (hi - lo);
            f2 = ridge.criterion(lambdaOf(x2));
        }
    }
    double k = (lo + hi) / 2;
    const double v = ridge.criterion(lambdaOf(k));
    if (v <= best)
        best = v;
    else
        k = bestK;
    if (slack > 0) {
        // Up the grid while within the limit, then bisection on the crossing.
        const double limit = best * (1 + slack);
        double a = k, b = k + 1;
        while (b <= kHi && ridge.criterion(lambdaOf(b)) <= limit) {
            a = b;
            b += 1;
        }
        if (b <= kHi) {
            for (int it = 0; it < 40 && b - a > 1e-3; ++it) {
                const double mid = (a + b) / 2;
                (ridge.criterion(lambdaOf(mid)) <= limit ? a : b) = mid;
            }
        }
        k = a;
        best = ridge.criterion(lambdaOf(k));
    }
    return lambdaOf(k);
}

// The penalty weighted along ln tau: the integral of w(u) (D gamma)^2 by the
// rectangle rule on a grid of eight points per basis spacing reaching past
// the Gaussians' ends, as D' diag(w du) D. A Gaussian's derivative is below
// 1e-9 of its largest beyond 5 / shape: each point of the grid sees only the
// few weights within that reach, and the product is banded.
struct WeightedPenalty {
    int n = 0;
    double du = 0;
    std::vector<int> first;            // per grid point: the first weight it sees
    std::vector<std::vector<double>> d;  // D of those weights' Gaussians there
    int inner0 = 0, inner1 = 0;        // the grid points within the measured range

    WeightedPenalty(const Problem& p, int order)
    {
        n = static_cast<int>(p.u.size());
        const double h = p.u[1] - p.u[0];
        du = h / 8;
        const double reach = 5 / p.shape;
        const int count = static_cast<int>(std::floor((p.u.back() - p.u.front() + 2 * reach) / du)) + 1;
        const double lo = std::log(1 / p.omegaMax), hi = std::log(1 / p.omegaMin);
        inner0 = count;
        for (int i = 0; i < count; ++i) {
            const double u = p.u.front() - reach + i * du;
            if (u >= lo && u <= hi) {
                inner0 = std::min(inner0, i);
                inner1 = i + 1;
            }
            const int j0 = std::max(0, static_cast<int>(std::ceil((u - reach - p.u.front()) / h)));
            const int j1 = std::min(n - 1, static_cast<int>(std::floor((u + reach - p.u.front()) / h)));
            first.push_back(j0);
            d.emplace_back();
            for (int j = j0; j <= j1; ++j)
                d.back().push_back(basisDerivative(u - p.u[j], p.shape, order));
        }
        if (inner1 <= inner0) {
            inner0 = 0;
            inner1 = count;
        }
    }

    // The weights from a solution: a Cauchy (Student t) weight of the
    // derivative against its RMS over the measured range, normalised to a
    // geometric mean of one there so that lambda keeps its scale.
    Eigen::MatrixXd reweighted(const Eigen::VectorXd& x) const
    {
        const int count = static_cast<int>(d.size());
        std::vector<double> curve(count, 0.0);
        for (int i = 0; i < count; ++i)
            for (std::size_t j = 0; j < d[i].size(); ++j)
                curve[i] += d[i][j] * x(first[i] + static_cast<int>(j));
        double sq = 0;
        for (int i = inner0; i < inner1; ++i)
            sq += curve[i] * curve[i];
        const double rms = std::sqrt(sq / (inner1 - inner0));
        std::vector<double> w(count, 1.0);
        if (rms > 0 && std::isfinite(rms)) {
            double logSum = 0;
            for (int i = 0; i < count; ++i) {
                const double t = curve[i] / (kCurvatureScale * rms);
                w[i] = 1 / (1 + t * t);
                if (i >= inner0 && i < inner1)
                    logSum += std::log(w[i]);
            }
            const double norm = std::exp(-logSum / (inner1 - inner0));
            for (double& v : w)
                v *= norm;
        }
        Eigen::MatrixXd m = Eigen::MatrixXd::Zero(n, n);
        for (int i = 0; i < count; ++i) {
            const int b = static_cast<int>(d[i].size());
            for (int j = 0; j < b; ++j) {
                const double v = w[i] * du * d[i][j];
                for (int k = j; k < b; ++k)
                    m(first[i] + j, first[i] + k) += v * d[i][k];
            }
        }
        for (int j = 0; j < n; ++j)
            for (int k = j + 1; k < n; ++k)
                m(k, j) = m(j, k);
        m.diagonal().array() += 1e-10 * m.trace() / n;
        return m;
    }
};

// A standard normal variate above `a`.
double truncatedNormal(double a, std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    if (a < 0.45) {
        for (;;) {
            const double x = normal(rng);
            if (x >= a)
                return x;
        }
    }
    // Robert (1995): an exponential proposal shifted to a.
    const double rate = (a + std::sqrt(a * a + 4)) / 2;
    for (;;) {
        const double x = a - std::log(1 - uniform(rng)) / rate;
        if (uniform(rng) <= std::exp(-(x - rate) * (x - rate) / 2))
            return x;
    }
}

std::string formatNumber(double v)
{
    char s[40];
    std::snprintf(s, sizeof s, "%.6E", v);
    return s;
}

// Hands visit(rows, b, first) the scaled rows [A S] of the points from
// `first` on, a block at a time (the real and imaginary row of each point
// next to each other), with the problem's basis and scales.
template <class Visit>
void forEachBlock(const Problem& p, const std::vector<double>& f, const std::vector<std::complex<double>>& z,
                  Visit visit)
{
    const int n = static_cast<int>(p.u.size());
    const int q = static_cast<int>(p.s.cols());
    constexpr int kBlock = 256;
    const int points = static_cast<int>(f.size());
    std::vector<double> re(n), im(n);
    double sr[3], si[3];
    for (int first = 0; first < points; first += kBlock) {
        const int count = std::min(kBlock, points - first);
        Eigen::MatrixXd rows(2 * count, n + q);
        Eigen::VectorXd b(2 * count);
        for (int i = 0; i < count; ++i) {
            const std::complex<double> zi = z[static_cast<std::size_t>(first + i)];
            const double omega = 2 * pi * f[static_cast<std::size_t>(first + i)];
            const double wt = 1 / std::abs(zi);
            kernelRow(p, omega, wt, re.data(), im.data());
            seriesRow(p, omega, p.zScale / std::abs(zi), sr, si);
            for (int k = 0; k < n; ++k) {
                rows(2 * i, k) = re[k];
                rows(2 * i + 1, k) = im[k];
            }
            for (int k = 0; k < q; ++k) {
                rows(2 * i, n + k) = sr[k];
                rows(2 * i + 1, n + k) = si[k];
            }
            b(2 * i) = wt * zi.real();
            b(2 * i + 1) = wt * zi.imag();
        }
        visit(rows, b, first);
    }
}

} // namespace

std::vector<double> criterionCurve(const std::vector<double>& f, const std::vector<std::complex<double>>& z,
                                   const Options& o, const std::vector<double>& lambdas)
{
    const Problem p = setUp(f, z, o);
    const Ridge ridge(p);
    std::vector<double> out;
    for (double l : lambdas)
        out.push_back(ridge.criterion(l));
    return out;
}

Result compute(const std::vector<double>& f, const std::vector<std::complex<double>>& z, const Options& o)
{
    // A long spectrum: the basis, the scales and lambda from a thinned copy
    // (its lowest and highest frequency the spectrum's, the series
    // capacitance decided on every point); the data term of the final
    // problem from every point. The data term grows with the points, so
    // lambda grows with them: the thinned problem's lambda times their ratio.
    const bool thin = f.size() > kSearchPoints;
    std::vector<double> fs;
    std::vector<std::complex<double>> zs;
    Options os = o;
    if (thin) {
        checkInput(f, z, o);  // refuses what the whole spectrum cannot give, as for a short one
        analysis::thinned(f, z, kSearchPoints, fs, zs);
        os.capacitance = wantsCapacitance(f, z, o.capacitance) ? Capacitance::Always : Capacitance::Never;
    }
    const Problem p = thin ? setUp(fs, zs, os) : setUp(f, z, o);
    const double ratio = thin ? static_cast<double>(f.size()) / static_cast<double>(fs.size()) : 1.0;
    const int points = static_cast<int>(f.size());
    Result r;
    const int n = static_cast<int>(p.u.size());
    const int q = static_cast<int>(p.s.cols());
    const Ridge ridge(p);
    const int passes = std::clamp(o.adaptivePasses, 0, 100);
    double searchLambdaValue = 0;  // lambda of the problem the ridge is made of
    if (o.lambda > 0) {
        r.lambda = o.lambda;
        searchLambdaValue = o.lambda / ratio;
        r.criterion = ridge.criterion(searchLambdaValue);
    } else {
        searchLambdaValue = searchLambda(ridge, o.lambdaStart, r.criterion, passes > 0 ? kLambdaSlack : 0);
        r.lambda = searchLambdaValue * ratio;
    }

    // The non-negative problem on [A S; sqrt(lambda) D 0] through its cross products.
    Eigen::MatrixXd full;
    Eigen::MatrixXd kData;
    Eigen::VectorXd c;
    if (!thin) {
        full.resize(p.a.rows(), n + q);
        full << p.a, p.s;
        kData = full.transpose() * full;
        c = full.transpose() * p.b;
    } else {
        kData = Eigen::MatrixXd::Zero(n + q, n + q);
        c = Eigen::VectorXd::Zero(n + q);
        forEachBlock(p, f, z, [&](const Eigen::MatrixXd& rows, const Eigen::VectorXd& b, int) {
            kData.selfadjointView<Eigen::Lower>().rankUpdate(rows.transpose());
            c.noalias() += rows.transpose() * b;
        });
        kData.triangularView<Eigen::StrictlyUpper>() = kData.transpose();
    }
    Eigen::MatrixXd k = kData;
    k.topLeftCorner(n, n) += r.lambda * p.m;
    std::vector<bool> free(n + q, false);
    free[n] = true;  // R_inf
    if (p.hasL)
        free[n + 1] = true;
    NnlsResult sol = nnlsNormal(k, c, free);
    if (passes > 0 && n >= 3) {
        // The locally adaptive penalty: re-weighted from the last solution,
        // at the same lambda, until gamma's weights settle (a fixed point;
        // each pass starts from the last one's passive set).
        const WeightedPenalty wp(p, o.derivative);
        for (int pass = 0; pass < passes; ++pass) {
            k = kData;
            k.topLeftCorner(n, n) += r.lambda * wp.reweighted(sol.x.head(n));
            std::vector<bool> warm(n + q);
            for (int j = 0; j < n + q; ++j)
                warm[j] = sol.x(j) > 0;
            const Eigen::VectorXd last = sol.x.head(n);
            sol = nnlsNormal(k, c, free, warm);
            const double top = sol.x.head(n).cwiseAbs().maxCoeff();
            if ((sol.x.head(n) - last).cwiseAbs().maxCoeff() <= kSettled * top)
                break;
        }
    }
    const Eigen::VectorXd& y = sol.x;

    r.shape = p.shape;
    for (int j = 0; j < n; ++j) {
        r.basisTau.push_back(std::exp(p.u[j]));
        r.weights.push_back(p.zScale * y(j));
    }
    r.seriesResistance = p.zScale * y(n);
    int col = n + 1;
    if (p.hasL) {
        r.seriesInductance = p.zScale * y(col++) / p.omegaMax;
        const std::size_t top = static_cast<std::size_t>(
            std::max_element(p.omega.begin(), p.omega.end()) - p.omega.begin());
        r.topReactance = p.omegaMax * r.seriesInductance / std::abs(z[top]);
    }
    if (p.hasC && y(col) > 0)
        r.seriesCapacitance = 1 / (p.zScale * y(col) * p.omegaMin);

    double sum = 0;
    if (!thin) {
        const Eigen::VectorXd fitted = full * y;
        for (int i = 0; i < p.points; ++i) {
            const double mag = std::abs(z[i]);
            r.model.emplace_back(fitted(i) * mag, fitted(p.points + i) * mag);
            const double dr = fitted(i) - p.b(i), di = fitted(p.points + i) - p.b(p.points + i);
            sum += dr * dr + di * di;
        }
    } else {
        r.model.resize(f.size());
        forEachBlock(p, f, z, [&](const Eigen::MatrixXd& rows, const Eigen::VectorXd& b, int first) {
            const Eigen::VectorXd fitted = rows * y;
            for (Eigen::Index i = 0; i < fitted.size() / 2; ++i) {
                const double mag = std::abs(z[static_cast<std::size_t>(first + i)]);
                r.model[static_cast<std::size_t>(first + i)] = {fitted(2 * i) * mag, fitted(2 * i + 1) * mag};
            }
            sum += (fitted - b).squaredNorm();
        });
    }
    r.residualRms = std::sqrt(sum / (2 * points));

    // The table: the basis range, at least outputPerDecade points per decade.
    const double decades = (p.u.back() - p.u.front()) / std::log(10.0);
    const int outN = static_cast<int>(std::ceil(decades * std::max(1, o.outputPerDecade) - 1e-9)) + 1;
    std::vector<std::vector<double>> phi(outN, std::vector<double>(n));
    for (int i = 0; i < outN; ++i) {
        // (One Gaussian alone, over a range of no width, is one point.)
        const double u = outN > 1 ? p.u.front() + (p.u.back() - p.u.front()) * i / (outN - 1) : p.u.front();
        r.tau.push_back(std::exp(u));
        double g = 0;
        for (int j = 0; j < n; ++j) {
            phi[i][j] = basisDerivative(u - p.u[j], p.shape, 0);
            g += r.weights[j] * phi[i][j];
        }
        r.gamma.push_back(g);
    }
    r.tauMin = 1 / p.omegaMax / kRangeMargin;
    r.tauMax = 1 / p.omegaMin * kRangeMargin;
    r.peaks = peaksInRange(r.tau, r.gamma, r.tauMin, r.tauMax, r.polarisation);
    for (std::size_t i = 0; i + 1 < r.tau.size(); ++i) {
        if (std::sqrt(r.tau[i] * r.tau[i + 1]) <= r.tauMax)
            continue;
        r.areaAbove += 0.5 * (r.gamma[i] + r.gamma[i + 1]) * std::log(r.tau[i + 1] / r.tau[i]);
        if (r.gamma[i + 1] > 0 && (r.tauAbove == 0 || r.gamma[i + 1] > gammaAt(r, r.tauAbove)))
            r.tauAbove = r.tau[i + 1];
    }
    // The table's grid places a peak to a fraction of its spacing; the
    // expansion itself is smooth: its maximum near there, by golden section.
    const double spacing = outN > 1 ? (p.u.back() - p.u.front()) / (outN - 1) : 1 / p.shape;
    for (Peak& pk : r.peaks) {
        double lo = std::log(pk.tau) - spacing, hi = std::log(pk.tau) + spacing;
        const double gr = (std::sqrt(5.0) - 1) / 2;
        double x1 = hi - gr * (hi - lo), x2 = lo + gr * (hi - lo);
        double g1 = gammaAt(r, std::exp(x1)), g2 = gammaAt(r, std::exp(x2));
        while (hi - lo > 1e-5) {
            if (g1 > g2) {
                hi = x2, x2 = x1, g2 = g1;
                x1 = hi - gr * (hi - lo);
                g1 = gammaAt(r, std::exp(x1));
            } else {
                lo = x1, x1 = x2, g1 = g2;
                x2 = lo + gr * (hi - lo);
                g2 = gammaAt(r, std::exp(x2));
            }
        }
        const double g = gammaAt(r, std::exp((lo + hi) / 2));
        if (g >= gammaAt(r, pk.tau)) {
            pk.tau = std::exp((lo + hi) / 2);
            pk.frequencyHz = 1 / (2 * pi * pk.tau);
            pk.gamma = g;
        }
    }

    if (o.bandSamples > 0) {
        // The posterior exp(-(|b - F y|^2 + lambda |D y|^2) / (2 sigma^2)), y_gamma >= 0,
        // with sigma^2 the residual variance; the series terms are unconstrained.
        const double dof = std::max(1.0, 2.0 * points - ridge.traceH(searchLambdaValue));
        const double sigma = std::sqrt(std::max(sum / dof, 1e-300));
        std::vector<bool> bounded(n + q, true);
        bounded[n] = false;
        if (p.hasL)
            bounded[n + 1] = false;
        std::mt19937_64 rng(o.seed);
        std::normal_distribution<double> normal;
        Eigen::VectorXd x = y;
        Eigen::VectorXd g = k * x;
        const int burnIn = 200, thin = 3;
        std::vector<std::vector<double>> samples(outN);
        for (auto& s : samples)
            s.reserve(o.bandSamples);
        for (int sweep = 0; sweep < burnIn + thin * o.bandSamples; ++sweep) {
            for (int j = 0; j < n + q; ++j) {
                const double kjj = k(j, j);
                if (!(kjj > 0))
                    continue;
                const double mean = x(j) + (c(j) - g(j)) / kjj;
                const double sd = sigma / std::sqrt(kjj);
                const double v = bounded[j] ? mean + sd * truncatedNormal(-mean / sd, rng) : mean + sd * normal(rng);
                const double step = v - x(j);
                if (step != 0) {
                    g += k.col(j) * step;
                    x(j) = v;
                }
            }
            if (sweep >= burnIn && (sweep - burnIn) % thin == 0) {
                for (int i = 0; i < outN; ++i) {
                    double gm = 0;
                    for (int j = 0; j < n; ++j)
                        gm += x(j) * phi[i][j];
                    samples[i].push_back(p.zScale * gm);
                }
            }
        }
        const double tail = (1 - std::clamp(o.bandLevel, 0.0, 1.0)) / 2;
        for (auto& s : samples) {
            const std::size_t lo = static_cast<std::size_t>(tail * (s.size() - 1));
            const std::size_t hi = static_cast<std::size_t>((1 - tail) * (s.size() - 1));
            std::nth_element(s.begin(), s.begin() + lo, s.end());
            r.bandLow.push_back(s[lo]);
            std::nth_element(s.begin(), s.begin() + hi, s.end());
            r.bandHigh.push_back(s[hi]);
        }
    }
    return r;
}

double gammaAt(const Result& r, double tau)
{
    double g = 0;
    const double u = std::log(tau);
    for (std::size_t j = 0; j < r.weights.size(); ++j)
        g += r.weights[j] * basisDerivative(u - std::log(r.basisTau[j]), r.shape, 0);
    return g;
}

std::vector<Peak> findPeaks(const std::vector<double>& tau, const std::vector<double>& gamma, double minProminence)
{
    std::vector<Peak> peaks;
    const std::size_t n = std::min(tau.size(), gamma.size());
    if (n < 3)
        return peaks;
    const double top = *std::max_element(gamma.begin(), gamma.begin() + n);
    if (!(top > 0))
        return peaks;
    // A maximum counts when it stands out of the valleys that part it from
    // any higher ground (its topographic prominence): the ripples that noise
    // leaves on the flank of a peak belong to that peak.
    std::vector<std::size_t> at;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (!(gamma[i] > gamma[i - 1] && gamma[i] >= gamma[i + 1]))
            continue;
        double leftLow = gamma[i], rightLow = gamma[i];
        std::size_t j = i;
        while (j > 0 && gamma[j - 1] <= gamma[i])
            leftLow = std::min(leftLow, gamma[--j]);
        j = i;
        while (j + 1 < n && gamma[j + 1] <= gamma[i])
            rightLow = std::min(rightLow, gamma[++j]);
        if (gamma[i] - std::max(leftLow, rightLow) >= minProminence * top)
            at.push_back(i);
    }
    // The valleys: the lowest point between neighbouring peaks, the ends outside.
    std::vector<std::size_t> valley{0};
    for (std::size_t m = 0; m + 1 < at.size(); ++m)
        valley.push_back(static_cast<std::size_t>(
            std::min_element(gamma.begin() + at[m], gamma.begin() + at[m + 1] + 1) - gamma.begin()));
    valley.push_back(n - 1);
    for (std::size_t m = 0; m < at.size(); ++m) {
        const std::size_t i = at[m];
        const double l0 = std::log(tau[i - 1]), l1 = std::log(tau[i]), l2 = std::log(tau[i + 1]);
        const double g0 = gamma[i - 1], g1 = gamma[i], g2 = gamma[i + 1];
        const double curv = g0 - 2 * g1 + g2;
        double shift = curv < 0 ? 0.5 * (g0 - g2) / curv : 0;
        shift = std::clamp(shift, -0.5, 0.5);
        const double step = shift < 0 ? l1 - l0 : l2 - l1;
        Peak pk;
        pk.tau = std::exp(l1 + shift * step);
        pk.frequencyHz = 1 / (2 * pi * pk.tau);
        pk.gamma = curv < 0 ? g1 - 0.125 * (g0 - g2) * (g0 - g2) / curv : g1;
        for (std::size_t j = valley[m]; j < valley[m + 1]; ++j)
            pk.area += 0.5 * (gamma[j] + gamma[j + 1]) * (std::log(tau[j + 1]) - std::log(tau[j]));
        peaks.push_back(pk);
    }
    return peaks;
}

std::vector<Peak> peaksInRange(const std::vector<double>& tau, const std::vector<double>& gamma, double tauMin,
                               double tauMax, double& polarisation)
{
    std::vector<double> t, g;
    for (std::size_t i = 0; i < tau.size() && i < gamma.size(); ++i) {
        if (tau[i] >= tauMin && tau[i] <= tauMax) {
            t.push_back(tau[i]);
            g.push_back(gamma[i]);
        }
    }
    polarisation = 0;
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        polarisation += 0.5 * (g[i] + g[i + 1]) * std::log(t[i + 1] / t[i]);
    // Every local maximum that stands out of the noise's ripples (1 % of the
    // highest), then only those that hold their share of the resistance.
    // A peak that rises less than half its height out of the higher of its
    // valleys is a ripple: it counts only by what it holds above that valley.
    const std::vector<Peak> all = findPeaks(t, g, 0.01);
    std::vector<Peak> kept;
    for (std::size_t m = 0; m < all.size(); ++m) {
        Peak pk = all[m];
        const double from = m > 0 ? all[m - 1].tau : t.front();
        const double to = m + 1 < all.size() ? all[m + 1].tau : t.back();
        double left = std::numeric_limits<double>::infinity(), right = left;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] >= from && t[i] <= pk.tau)
                left = std::min(left, g[i]);
            if (t[i] >= pk.tau && t[i] <= to)
                right = std::min(right, g[i]);
        }
        const double valley = std::max(left, right);
        pk.ripple = pk.gamma - valley < 0.5 * pk.gamma;
        // What it holds above the valley: from its top outwards while gamma
        // stays above that level.
        std::size_t top = 0;
        for (std::size_t i = 0; i < t.size(); ++i)
            if (std::abs(std::log(t[i] / pk.tau)) < std::abs(std::log(t[top] / pk.tau)))
                top = i;
        std::size_t lo = top, hi = top;
        while (lo > 0 && g[lo - 1] > valley)
            --lo;
        while (hi + 1 < t.size() && g[hi + 1] > valley)
            ++hi;
        double excess = 0;
        for (std::size_t i = lo; i < hi; ++i)
            excess += 0.5 * (g[i] + g[i + 1] - 2 * valley) * std::log(t[i + 1] / t[i]);
        const double holds = pk.ripple ? excess : pk.area;
        if (polarisation > 0 && holds >= kPeakAreaShare * polarisation)
            kept.push_back(pk);
    }
    return kept;
}

std::vector<std::string> notes(const Result& r)
{
    std::vector<std::string> out;
    char line[400];
    if (r.seriesResistance < 0) {
        std::snprintf(line, sizeof line,
                      "R_inf is negative (%.4g Ohm): no series resistance can be; gamma holds more resistance at "
                      "short tau than the data's top end leaves. Read the peaks' areas with care; measure to higher "
                      "frequencies or check the top end for artefacts (cables, reference electrode).",
                      r.seriesResistance);
        out.push_back(line);
    }
    if (r.topReactance < -0.01) {
        std::snprintf(line, sizeof line,
                      "L is negative (%.4g H): the top end is capacitive, not inductive (a stray capacitance, or "
                      "an arc that goes on above the highest frequency). R_inf is then only the real part there; "
                      "measure to higher frequencies or fit a circuit with that capacitance.",
                      r.seriesInductance);
        out.push_back(line);
    }
    if (r.polarisation > 0 && r.areaAbove >= kPeakAreaShare * r.polarisation) {
        std::snprintf(line, sizeof line,
                      "%.4g Ohm of gamma lie beyond the longest measured time constant (%.4g s, highest near "
                      "%.4g s): a process slower than the lowest frequency; its size and place are not known from "
                      "these data and it is in no peak.",
                      r.areaAbove, r.tauMax, r.tauAbove);
        out.push_back(line);
    }
    for (const Peak& pk : r.peaks) {
        if (!pk.ripple)
            continue;
        std::snprintf(line, sizeof line,
                      "The peak at %.4g s rises less than half its height above its valley: it may be ringing on "
                      "a broad tail (diffusion) rather than a process of its own.",
                      pk.tau);
        out.push_back(line);
    }
    return out;
}

std::string formatTable(const Result& r, const Options& o)
{
    std::string out;
    char line[240];
    std::snprintf(line, sizeof line,
                  "# method: Tikhonov, Gaussian basis %d per decade, %s derivative penalty%s, NNLS (gamma >= 0)\n",
                  std::clamp(o.basisPerDecade, 2, 50), o.derivative == 1 ? "first" : "second",
                  o.adaptivePasses > 0 ? " re-weighted from the solution" : "");
    out += line;
    out += "# lambda: " + formatNumber(r.lambda) +
           (o.lambda > 0                ? " (given)\n"
            : o.adaptivePasses > 0      ? " (modified GCV, the largest within 5 % of its minimum)\n"
                                        : " (modified GCV)\n");
    out += "# R_inf: " + formatNumber(r.seriesResistance) + " Ohm\n";
    out += "# L: " + formatNumber(r.seriesInductance) + " H\n";
    out += "# C: " + (r.seriesCapacitance > 0 ? formatNumber(r.seriesCapacitance) + " F\n" : std::string("none\n"));
    std::snprintf(line, sizeof line, "# residual RMS: %.6E (relative to |Z|)\n", r.residualRms);
    out += line;
    std::snprintf(line, sizeof line, "# peaks: %zu (tau s, frequency Hz, gamma Ohm, area Ohm)\n", r.peaks.size());
    out += line;
    for (const Peak& pk : r.peaks) {
        std::snprintf(line, sizeof line, "# peak: %.6E %.6E %.6E %.6E%s\n", pk.tau, pk.frequencyHz, pk.gamma, pk.area,
                      pk.ripple ? " ripple" : "");
        out += line;
    }
    std::snprintf(line, sizeof line, "# measured range: %.6E s to %.6E s, polarisation %.6E Ohm\n", r.tauMin,
                  r.tauMax, r.polarisation);
    out += line;
    std::snprintf(line, sizeof line, "# beyond the range: %.6E Ohm\n", r.areaAbove);
    out += line;
    for (const std::string& note : notes(r))
        out += "# note: " + note + "\n";
    const bool band = r.bandLow.size() == r.tau.size() && !r.tau.empty();
    out += band ? "# tau/s gamma/Ohm band_low/Ohm band_high/Ohm\n" : "# tau/s gamma/Ohm\n";
    for (std::size_t i = 0; i < r.tau.size(); ++i) {
        if (band)
            std::snprintf(line, sizeof line, "%.6E %.6E %.6E %.6E\n", r.tau[i], r.gamma[i], r.bandLow[i],
                          r.bandHigh[i]);
        else
            std::snprintf(line, sizeof line, "%.6E %.6E\n", r.tau[i], r.gamma[i]);
        out += line;
    }
    return out;
}

Table readTable(std::istream& in)
{
    Table t;
    std::string line;
    auto numbers = [](const std::string& text) {
        std::vector<double> v;
        std::istringstream s(text);
        s.imbue(std::locale::classic());
        double x;
        while (s >> x)
            v.push_back(x);
        return v;
    };
    auto after = [&](const std::string& key) -> std::string {
        return line.compare(0, key.size(), key) == 0 ? line.substr(key.size()) : std::string();
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '#') {
            std::vector<double> v;
            if (line.rfind("# method: ", 0) == 0) {
                t.method = after("# method: ");
            } else if (!(v = numbers(after("# lambda: "))).empty()) {
                t.lambda = v[0];
            } else if (!(v = numbers(after("# R_inf: "))).empty()) {
                t.seriesResistance = v[0];
            } else if (!(v = numbers(after("# L: "))).empty()) {
                t.seriesInductance = v[0];
            } else if (!(v = numbers(after("# C: "))).empty()) {
                t.seriesCapacitance = v[0];
            } else if (!(v = numbers(after("# residual RMS: "))).empty()) {
                t.residualRms = v[0];
            } else if ((v = numbers(after("# peak: "))).size() == 4) {
                t.peaks.push_back({v[0], v[1], v[2], v[3], line.find(" ripple") != std::string::npos});
            } else if (line.rfind("# measured range: ", 0) == 0) {
                // "# measured range: a s to b s, ..."
                std::istringstream s(after("# measured range: "));
                s.imbue(std::locale::classic());
                double lo = 0, hi = 0;
                std::string unit, to;
                if (s >> lo >> unit >> to >> hi && to == "to") {
                    t.tauMin = lo;
                    t.tauMax = hi;
                }
            } else if (line.rfind("# note: ", 0) == 0) {
                t.notes.push_back(after("# note: "));
            }
            continue;
        }
        const std::vector<double> v = numbers(line);
        if (v.size() < 2)
            continue;
        t.tau.push_back(v[0]);
        t.gamma.push_back(v[1]);
        if (v.size() >= 4) {
            t.bandLow.push_back(v[2]);
            t.bandHigh.push_back(v[3]);
        }
    }
    if (t.bandLow.size() != t.tau.size()) {
        t.bandLow.clear();
        t.bandHigh.clear();
    }
    return t;
}

} // namespace nosk::drt
