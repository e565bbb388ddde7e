// bench_drt            the figures: relative L2 error of gamma and the peaks on
//                      synthetic spectra with known DRTs, over 8 noise draws each,
//                      and the time of one DRT of 80 points (lambda search
//                      included) and of its credible band
// bench_drt FILE       the DRT of FILE (lines of frequency in Hz, Z', Z''): the
//                      whole process, for timing from the shell
#include "analysis/drt/Drt.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>

using namespace nosk::drt;
using cd = std::complex<double>;
using std::numbers::pi;

namespace {

struct Case {
    const char* name;
    std::function<cd(double)> z;
    std::function<double(double)> gamma;  // the exact DRT
};

double zarc(double r, double tau0, double phi, double tau)
{
    return r / (2 * pi) * std::sin((1 - phi) * pi) / (std::cosh(phi * std::log(tau / tau0)) - std::cos((1 - phi) * pi));
}

void spectrum(const Case& c, unsigned seed, double noise, std::vector<double>& f, std::vector<cd>& z)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal;
    f.clear();
    z.clear();
    for (int i = 0; i < 80; ++i) {
        const double fr = 1e6 * std::pow(10.0, -i / 10.0);
        const cd v = c.z(2 * pi * fr);
        const double e = noise * std::abs(v);
        f.push_back(fr);
        z.push_back(v + cd(e * normal(rng), e * normal(rng)));
    }
}

double relativeError(const Result& r, const std::vector<double>& f, const Case& c)
{
    const double lo = 1 / (2 * pi * f.front()), hi = 1 / (2 * pi * f.back());
    double num = 0, den = 0;
    for (std::size_t i = 0; i < r.tau.size(); ++i) {
        if (r.tau[i] < lo || r.tau[i] > hi)
            continue;
        const double g = c.gamma(r.tau[i]);
        num += (r.gamma[i] - g) * (r.gamma[i] - g);
        den += g * g;
    }
    return std::sqrt(num / den);
}

int oneFile(const char* path)
{
    std::ifstream in(path);
    std::vector<double> f;
    std::vector<cd> z;
    double a, b, c;
    while (in >> a >> b >> c) {
        f.push_back(a);
        z.emplace_back(b, c);
    }
    try {
        const Result r = compute(f, z);
        std::printf("lambda %.4g, %zu peaks\n", r.lambda, r.peaks.size());
        for (const Peak& p : r.peaks)
            std::printf("  tau %.5g s  f %.5g Hz  area %.5g Ohm\n", p.tau, p.frequencyHz, p.area);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_drt: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        return oneFile(argv[1]);
    const std::vector<Case> cases = {
        {"ZARC R=100 tau0=1e-3 phi=0.8", [](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.8, w); },
         [](double t) { return zarc(100, 1e-3, 0.8, t); }},
        {"ZARC phi=0.9", [](double w) { return 10.0 + zarcImpedance(100, 1e-3, 0.9, w); },
         [](double t) { return zarc(100, 1e-3, 0.9, t); }},
        {"HN alpha=0.7 beta=0.7", [](double w) { return 2.0 + havriliakNegamiImpedance(100, 1e-3, 0.7, 0.7, w); },
         [](double t) { return havriliakNegamiGamma(100, 1e-3, 0.7, 0.7, t); }},
        {"HN alpha=0.8 beta=0.6", [](double w) { return 2.0 + havriliakNegamiImpedance(100, 1e-3, 0.8, 0.6, w); },
         [](double t) { return havriliakNegamiGamma(100, 1e-3, 0.8, 0.6, t); }},
        {"two ZARCs 1e-5/1e-2 s, 100+50 Ohm, phi=0.85",
         [](double w) { return 5.0 + zarcImpedance(100, 1e-5, 0.85, w) + zarcImpedance(50, 1e-2, 0.85, w); },
         [](double t) { return zarc(100, 1e-5, 0.85, t) + zarc(50, 1e-2, 0.85, t); }},
    };
    std::vector<double> f;
    std::vector<cd> z;
    // The method as shipped, then plain Tikhonov (no re-weighting of the
    // penalty, lambda at the criterion's minimum) for comparison; the 8
    // draws of the figures, then 32 to see how far they generalise.
    Options plain;
    plain.adaptivePasses = 0;
    for (const Options& method : {Options{}, plain}) {
    std::printf("%s\n", method.adaptivePasses > 0 ? "adaptive penalty (as shipped):" : "plain Tikhonov:");
    for (const unsigned draws : {8u, 32u}) {
    std::printf("80 points, 1 MHz to 10 mHz, noise 0.2 %% of |Z| on both parts, seeds 1-%u\n", draws);
    for (const Case& c : cases) {
        double sum = 0, worst = 0, tauErr = 0;
        int peaksOk = 0;
        double areaErr = 0;
        for (unsigned seed = 1; seed <= draws; ++seed) {
            spectrum(c, seed, 0.002, f, z);
            const Result r = compute(f, z, method);
            const double e = relativeError(r, f, c);
            sum += e;
            worst = std::max(worst, e);
            if (!r.peaks.empty()) {
                // The highest peak against the exact one's place.
                std::size_t top = 0;
                for (std::size_t k = 0; k < r.peaks.size(); ++k)
                    if (r.peaks[k].gamma > r.peaks[top].gamma)
                        top = k;
                const double exact = std::string(c.name).rfind("two", 0) == 0 ? 1e-5 : 1e-3;
                if (std::string(c.name).rfind("HN", 0) != 0)
                    tauErr = std::max(tauErr, std::abs(r.peaks[top].tau / exact - 1));
            }
            if (std::string(c.name).rfind("two", 0) == 0 && r.peaks.size() == 2) {
                ++peaksOk;
                areaErr = std::max({areaErr, std::abs(r.peaks[0].area / 100 - 1), std::abs(r.peaks[1].area / 50 - 1)});
            }
        }
        std::printf("%-46s L2 error mean %.3f, worst %.3f", c.name, sum / draws, worst);
        if (std::string(c.name).rfind("HN", 0) != 0)
            std::printf(", peak tau worst %.1f %%", 100 * tauErr);
        if (std::string(c.name).rfind("two", 0) == 0)
            std::printf(", resolved %d/%u, areas worst %.1f %%", peaksOk, draws, 100 * areaErr);
        std::printf("\n");
    }
    }
    }

    spectrum(cases[0], 1, 0.002, f, z);
    const int reps = 20;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < reps; ++i)
        compute(f, z);
    auto t1 = std::chrono::steady_clock::now();
    Options o;
    o.bandSamples = 1000;
    compute(f, z, o);
    auto t2 = std::chrono::steady_clock::now();
    std::printf("one DRT of 80 points with the lambda search: %.1f ms; with the band (1000 samples): %.0f ms\n",
                std::chrono::duration<double, std::milli>(t1 - t0).count() / reps,
                std::chrono::duration<double, std::milli>(t2 - t1).count());
    return 0;
}
