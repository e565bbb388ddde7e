#include "SyntheticData.h"

#include "model/ModelFunction.h"

#include "job/Immittance.h"

#include <cmath>
#include <cstdint>

namespace nosk::engine {

namespace {

// A small generator of our own, so that the example data come out the same
// with every standard library.
class Gaussian {
public:
    explicit Gaussian(unsigned seed) : m_state(seed * 2654435761u + 1u) {}

    double next()
    {
        // Box-Muller from two uniform numbers in (0, 1).
        const double u1 = (static_cast<double>(nextBits() >> 11) + 0.5) / 9007199254740992.0;
        const double u2 = (static_cast<double>(nextBits() >> 11) + 0.5) / 9007199254740992.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::uint64_t nextBits()
    {
        // xorshift64*
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 2685821657736338717ull;
    }

    std::uint64_t m_state;
};

} // namespace

void fillSyntheticData(FitJob& job, const double* truth, const std::vector<double>& frequencies, double noise,
    unsigned seed)
{
    double p[FitJob::kMaxParams] = {};
    int nfree[FitJob::kMaxParams] = {};
    for (int i = 0; i < job.N && i < FitJob::kMaxParams; ++i) {
        p[i] = truth[i];
        nfree[i] = job.NFREE[i];
    }
    const ModelFunction model(job.FUN, p, nfree, DeContext{job.CELCAP});
    const int m = static_cast<int>(frequencies.size());
    job.releaseData();
    job.allocateData(m, job.IRCH == 0);
    Gaussian gauss(seed);
    for (int i = 0; i < m; ++i) {
        double omega = frequencies[i];
        if (job.FREEQ == 'F')
            ToAngular(&omega, 1);
        Complex z = model.impedance(p, omega);
        if (noise > 0) {
            const double scale = std::abs(z) * noise;
            z += Complex(scale * gauss.next(), scale * gauss.next());
        }
        double a = z.real(), b = z.imag();
        ChangeLevel('Z', job.DINP, a, b, omega, job.CELCAP);
        const double modulus = std::hypot(a, b);
        FromRectangular(job.PINP, a, b);
        (*job.FREQ)[i] = frequencies[i];
        (*job.DATA1)[i] = a;
        (*job.DATA2)[i] = job.NEG == 'N' ? -b : b;
        if (job.IRCH == 0) {
            // The noise is that of the modulus, for both components.
            (*job.WEIGHT1)[i] = noise > 0 ? noise * modulus : 1.0;
            (*job.WEIGHT2)[i] = noise > 0 ? noise * modulus : 1.0;
        }
    }
}

FitJob impedanceFitJob(char fun, int n, const std::string& description)
{
    FitJob job;
    job.description = description;
    job.FUN = fun;
    job.N = n;
    job.DINP = job.DFIT = 'Z';
    job.PINP = job.PFIT = 'R';
    job.FREEQ = 'F';
    job.DATTYP = 'C';
    job.CELCAP = 1.0;
    job.MAXFEV = 500;
    job.IRCH = 1;
    return job;
}

std::vector<double> logSpaced(double from, double to, int n)
{
    std::vector<double> f(n);
    for (int i = 0; i < n; ++i)
        f[i] = n > 1 ? from * std::pow(to / from, static_cast<double>(i) / (n - 1)) : from;
    return f;
}

} // namespace nosk::engine
