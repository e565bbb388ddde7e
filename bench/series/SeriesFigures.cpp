// The figures of fits over a series (bench/series_bench.sh runs them):
//   bench_series accuracy [DRAWS]   coverage and width of the 95 % intervals
//                                   of two activation energies, joint fit
//                                   against the two-step method
//   bench_series write FOLDER N     N job files of the speed design and
//                                   their list, for timing noskrun --series
#include "engine/series/SeriesRun.h"
#include "support/SyntheticData.h"

#include "job/FitJob.h"

#include <boost/math/distributions/students_t.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace nosk;
using series::kBoltzmannEv;
using series::Role;

namespace {

constexpr double kEa1 = 0.45, kEa2 = 0.60;

double arrhenius(double at300, double ea, double T)
{
    return at300 * std::exp(ea / kBoltzmannEv * (1.0 / T - 1.0 / 300.0));
}

// R0 + (R1 || CPE1) + (R2 || CPE2): circuit S without inductance and third CPE.
FitJob accuracySpectrum(double T, unsigned seed)
{
    FitJob job = impedanceFitJob('S', 11, "accuracy");
    job.IRCH = 3;  // sigma proportional to |Z|, as the noise is
    const double truth[11] = {10, 0, 0, arrhenius(100, kEa1, T), 1e-6, 0.85, arrhenius(300, kEa2, T), 1e-5, 0.75,
        0, 1};
    const int codes[11] = {1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0};
    for (int i = 0; i < 11; ++i) {
        job.P[i] = truth[i];
        job.NFREE[i] = codes[i];
    }
    test::fillSyntheticData(job, job.P, test::logSpaced(1, 1e5, 26), 0.01, seed);
    job.P[0] *= 1.3;
    job.P[3] *= 0.6;
    job.P[6] *= 1.5;
    job.P[5] = 0.8;
    job.P[8] = 0.8;
    return job;
}

// The two-step method: a straight line through ln R against 1/(kB T),
// weighted by the independent fits' std devs of ln R, its slope's interval
// from the residual scatter with n - 2 degrees of freedom.
bool twoStep(const std::vector<double>& T, const std::vector<double>& R, const std::vector<double>& sR, double& slope,
    double& halfWidth)
{
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    const int n = static_cast<int>(T.size());
    for (int i = 0; i < n; ++i) {
        if (!(R[i] > 0) || !(sR[i] > 0) || !std::isfinite(sR[i]))
            return false;
        const double w = (R[i] / sR[i]) * (R[i] / sR[i]);
        const double x = 1 / (kBoltzmannEv * T[i]), y = std::log(R[i]);
        sw += w;
        sx += w * x;
        sy += w * y;
        sxx += w * x * x;
        sxy += w * x * y;
    }
    const double d = sw * sxx - sx * sx;
    slope = (sw * sxy - sx * sy) / d;
    const double icpt = (sy - slope * sx) / sw;
    double chi2 = 0;
    for (int i = 0; i < n; ++i) {
        const double w = (R[i] / sR[i]) * (R[i] / sR[i]);
        const double r = std::log(R[i]) - icpt - slope / (kBoltzmannEv * T[i]);
        chi2 += w * r * r;
    }
    const double s2 = chi2 / (n - 2);
    const double t = boost::math::quantile(boost::math::complement(boost::math::students_t(n - 2), 0.025));
    halfWidth = t * std::sqrt(s2 * sw / d);
    return true;
}

int accuracy(int draws)
{
    struct Tally {
        int covered = 0, count = 0;
        double width = 0, sum = 0, sumSquares = 0, sd = 0;
        void add(double estimate, double truth, double low, double high, double stdDev)
        {
            ++count;
            covered += low <= truth && truth <= high;
            width += high - low;
            sum += estimate - truth;
            sumSquares += (estimate - truth) * (estimate - truth);
            sd += stdDev;
        }
    } joint[2], two[2];
    const auto started = std::chrono::steady_clock::now();
    int failed = 0;
    for (int draw = 0; draw < draws; ++draw) {
        series::SeriesSetup setup;
        std::vector<double> T;
        for (int i = 0; i < 10; ++i) {
            T.push_back(250.0 + 100.0 * i / 9);
            setup.jobs.push_back(accuracySpectrum(T.back(), 1000u * draw + i + 1));
            setup.labels.push_back(std::to_string(T.back()));
        }
        setup.covariate = T;
        setup.unit = "K";
        setup.roles.assign(9, Role::Local);
        setup.roles[0] = setup.roles[5] = setup.roles[8] = Role::Shared;
        setup.roles[3] = setup.roles[6] = Role::Arrhenius;
        setup.starts = 4;
        setup.testEachParameter = false;
        series::SeriesResult r;
        try {
            r = series::fitSeries(setup);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "draw %d: %s\n", draw, e.what());
            ++failed;
            continue;
        }
        if (std::getenv("SERIES_BENCH_TRACE"))  // a line per draw, for a draw that stands out
            std::fprintf(stderr, "draw %d: %s S %.4g (independent %.4g) nu %d Ea %.4f %.4f\n", draw, r.fit.end.c_str(),
                r.fit.S, r.tests.Sindependent, r.statistics.nu, r.statistics.coefficients[2].value,
                r.statistics.coefficients[5].value);
        const char* names[2] = {"P4.Ea", "P7.Ea"};
        const double truth[2] = {kEa1, kEa2};
        const int freeIndex[2] = {1, 4};  // R1 and R2 among the free P1 P4 P5 P6 P7 P8 P9
        for (int k = 0; k < 2; ++k) {
            for (const series::Coefficient& c : r.statistics.coefficients)
                if (c.name == names[k] && std::isfinite(c.stdDev))
                    joint[k].add(c.value, truth[k], c.low, c.high, c.stdDev);
            std::vector<double> R, sR;
            for (const series::IndependentFit& f : r.independent) {
                R.push_back(f.value[freeIndex[k]]);
                sR.push_back(f.stdDev[freeIndex[k]]);
            }
            double slope = 0, half = 0;
            if (twoStep(T, R, sR, slope, half))
                two[k].add(slope, truth[k], slope - half, slope + half, half / 2.306);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%d draws (%d failed), 10 temperatures 250-350 K, 26 frequencies 1 Hz-100 kHz, 1 %% noise, "
                "%.1f s\n", draws, failed, seconds);
    std::printf("%-6s %-9s %-22s %-22s %s\n", "Ea", "truth", "joint: covered, width", "two-step: covered, width",
        "width ratio");
    const char* labels[2] = {"R1", "R2"};
    const double truth[2] = {kEa1, kEa2};
    for (int k = 0; k < 2; ++k) {
        const double jw = joint[k].width / std::max(joint[k].count, 1);
        const double tw = two[k].width / std::max(two[k].count, 1);
        std::printf("%-6s %-9.2f %5.1f %% %9.4f eV    %5.1f %% %9.4f eV    %.2f\n", labels[k], truth[k],
            100.0 * joint[k].covered / std::max(joint[k].count, 1), jw,
            100.0 * two[k].covered / std::max(two[k].count, 1), tw, tw / jw);
    }
    std::printf("%-6s %-26s %-26s\n", "Ea", "joint: bias, scatter, sd", "two-step: bias, scatter");
    for (int k = 0; k < 2; ++k) {
        auto line = [](const Tally& t) {
            const double n = std::max(t.count, 1);
            const double mean = t.sum / n;
            return std::vector<double>{mean, std::sqrt(std::max(t.sumSquares / n - mean * mean, 0.0)), t.sd / n};
        };
        const std::vector<double> j = line(joint[k]), w = line(two[k]);
        std::printf("%-6s %+8.5f %8.5f %8.5f    %+8.5f %8.5f\n", labels[k], j[0], j[1], j[2], w[0], w[1]);
    }
    return 0;
}

// 8 free parameters: R0, L and alpha1 shared, R1 Arrhenius, Q1, R2, Q2 and
// alpha2 local: 4 N + 5 unknowns; 60 frequencies 1 Hz-1 MHz.
int writeSeries(const std::string& folder, int n)
{
    std::ofstream list(folder + "/list.csv");
    list << "file,T/K\n";
    for (int i = 0; i < n; ++i) {
        const double T = 250.0 + 100.0 * i / std::max(n - 1, 1);
        FitJob job = impedanceFitJob('S', 11, "speed");
        job.IRCH = 3;
        const double truth[11] = {10, 0, 2e-6, arrhenius(100, kEa1, T), 1e-6, 0.85, 300 * (1 + 0.5 * std::sin(i)),
            1e-5, 0.75, 0, 1};
        const int codes[11] = {1, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0};
        for (int k = 0; k < 11; ++k) {
            job.P[k] = truth[k];
            job.NFREE[k] = codes[k];
        }
        test::fillSyntheticData(job, job.P, test::logSpaced(1, 1e6, 60), 0.01, static_cast<unsigned>(i + 1));
        job.P[0] *= 1.3;
        job.P[3] *= 0.6;
        job.P[6] *= 1.5;
        char name[32];
        std::snprintf(name, sizeof name, "s%04d.TST", i);
        job.save(folder + "/" + name);
        list << name << "," << T << "\n";
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "accuracy")
        return accuracy(argc > 2 ? std::atoi(argv[2]) : 50);
    if (mode == "write" && argc > 3)
        return writeSeries(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: bench_series accuracy [DRAWS] | write FOLDER N\n");
    return 2;
}
