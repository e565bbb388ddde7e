// bench_large_spectrum [POINTS]
//
// The analyses and the start-value guess on the longest spectrum a job holds
// (99 999 points by default): the battery job's circuit T at its start
// values over 1e-2 ... 1e6 Hz with 0.5 % noise. Each runs in a child process
// of its own, so that its peak memory (the child's maximum resident set) is
// its own; printed are the wall time and that peak. Goals: 5 s and 300 MB
// for --kk, --zhit and --drt, 10 s for --guess. Not run by the tests.
#include "analysis/drt/Drt.h"
#include "analysis/kk/KramersKronig.h"
#include "analysis/zhit/Zhit.h"
#include "engine/StartGuess.h"
#include "support/SyntheticData.h"
#include "job/FitJob.h"

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace nosk;

namespace {

FitJob batteryJob(int points)
{
    FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST");
    double truth[FitJob::kMaxParams];
    std::copy(job.P, job.P + FitJob::kMaxParams, truth);
    job.IRCH = 3;
    test::fillSyntheticData(job, truth, test::logSpaced(1e6, 1e-2, points), 5e-3, 7);
    return job;
}

void spectrumOf(const FitJob& job, std::vector<double>& f, std::vector<std::complex<double>>& z)
{
    for (int i = 0; i < job.M; ++i) {
        const auto k = static_cast<std::size_t>(i);
        f.push_back((*job.FREQ)[k]);
        z.emplace_back((*job.DATA1)[k], (job.NEG == 'N' ? -1 : 1) * (*job.DATA2)[k]);
    }
}

// Runs `work` in a child; prints its wall time and peak resident memory.
void measure(const char* name, const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", name, e.what());
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-8s %7.2f s wall  %7.2f s CPU  %6.0f MB peak%s\n", name, seconds,
                usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec),
                usage.ru_maxrss / 1024.0, WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "  FAILED");
}

} // namespace

int main(int argc, char** argv)
{
    const int points = argc > 1 ? std::atoi(argv[1]) : 99999;
    const FitJob job = batteryJob(points);
    std::vector<double> f;
    std::vector<std::complex<double>> z;
    spectrumOf(job, f, z);
    std::printf("%d points, circuit T, 1e-2 ... 1e6 Hz\n", points);
    measure("--kk", [&] { kk::test(f, z); });
    measure("--zhit", [&] { zhit::test(f, z); });
    measure("--drt", [&] { drt::compute(f, z); });
    measure("--guess", [&] { engine::guessStartValues(job); });
    return 0;
}
