#include "CircuitFamilies.h"

#include <algorithm>
#include <cmath>

namespace nosk::test {

namespace {

using C = std::complex<double>;
constexpr double kTwoPi = 6.283185307179586;

// splitmix64: the same draws with every standard library.
class Draws {
public:
    explicit Draws(std::uint64_t seed) : m_state(seed) {}
    double uniform(double a = 0, double b = 1)
    {
        return a + (b - a) * (static_cast<double>(bits() >> 11) + 0.5) / 9007199254740992.0;
    }
    double logUniform(double a, double b) { return std::exp(uniform(std::log(a), std::log(b))); }
    double gaussian() { return std::sqrt(-2 * std::log(uniform())) * std::cos(kTwoPi * uniform()); }

private:
    std::uint64_t bits()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t m_state;
};

// `count` time constants inside the measured range (a third of a decade in
// from its ends), at least a decade apart, fastest first.
std::vector<double> timeConstants(Draws& d, int count, double fMin, double fMax)
{
    const double lo = std::log10(1 / (kTwoPi * fMax)) + 0.33, hi = std::log10(1 / (kTwoPi * fMin)) - 0.33;
    const double gap = 1.0;
    const double slack = (hi - lo) - gap * (count - 1);
    std::vector<double> u(static_cast<std::size_t>(count));
    for (double& x : u)
        x = d.uniform(0, slack);
    std::sort(u.begin(), u.end());
    std::vector<double> tau;
    for (int k = 0; k < count; ++k)
        tau.push_back(std::pow(10.0, lo + u[static_cast<std::size_t>(k)] + gap * k));
    return tau;
}

} // namespace

const char* familyLabel(int family)
{
    static const char* const labels[kFamilyCount] = {"L-R-(RQ)", "L-R-(RQ)x2", "L-R-(RQ)x3", "(RQ)x2", "(RQ)x3",
        "(RQ)x4", "(RC)x2-(RQ)x2", "(RC)-Gx2", "R-Ws"};
    return family >= 0 && family < kFamilyCount ? labels[family] : "?";
}

C zarc(double w, double r, double q, double alpha)
{
    return r / (1.0 + r * q * std::pow(C(0, w), alpha));
}

C rc(double w, double r, double c)
{
    return r / C(1, w * r * c);
}

C gerischer(double w, double z0, double k)
{
    return z0 / std::sqrt(C(k, w));
}

C warburgTransmissive(double w, double r, double tau)
{
    const C s = std::sqrt(C(0, w * tau));
    return r * std::tanh(s) / s;
}

C warburgReflecting(double w, double r, double tau)
{
    const C s = std::sqrt(C(0, w * tau));
    return r / (std::tanh(s) * s);
}

LabelledSpectrum familySpectrum(int family, std::uint64_t index, double maxNoise, int points)
{
    Draws d(0x5EED0000ull + static_cast<std::uint64_t>(family) * 1000003ull + index * 7919ull);
    LabelledSpectrum out;
    out.family = family;
    const double fMin = 0.1, fMax = 1e5;
    const int drawn = static_cast<int>(std::lround(d.uniform(30, 80)));
    const int n = points > 1 ? points : drawn;
    for (int i = 0; i < n; ++i)
        out.frequencyHz.push_back(fMax * std::pow(fMin / fMax, static_cast<double>(i) / (n - 1)));
    out.noise = d.uniform(0, maxNoise);
    const double r0 = d.logUniform(1, 1000);
    const double rs = r0 * d.uniform(0.05, 1);
    // The cables' L of a battery cell: its reactance at the highest
    // frequency 0.05 to 2 R0.
    const double l = d.logUniform(0.05, 2) * r0 / (kTwoPi * fMax);
    const int arcs = family <= 2 ? family + 1 : family <= 5 ? family - 1 : family == 6 ? 4 : family == 7 ? 3 : 1;
    const std::vector<double> tau = timeConstants(d, arcs, fMin, fMax);
    std::vector<double> r(tau.size()), alpha(tau.size());
    for (std::size_t k = 0; k < tau.size(); ++k) {
        r[k] = r0 * d.uniform(0.2, 2);
        alpha[k] = d.uniform(0.65, 0.95);
    }
    const double rw = r0 * d.uniform(0.2, 2), tw = d.logUniform(1e-3, 1.0);
    for (double f : out.frequencyHz) {
        const double w = kTwoPi * f;
        C z = 0;
        switch (family) {
        case 0:
        case 1:
        case 2:
            z = rs + C(0, w * l);
            for (std::size_t k = 0; k < tau.size(); ++k)
                z += zarc(w, r[k], std::pow(tau[k], alpha[k]) / r[k], alpha[k]);
            break;
        case 3:
        case 4:
        case 5:
            for (std::size_t k = 0; k < tau.size(); ++k)
                z += zarc(w, r[k], std::pow(tau[k], alpha[k]) / r[k], alpha[k]);
            break;
        case 6:
            // The two R-C units at two of the four time constants, drawn
            // by the index so that either kind may be the faster.
            for (std::size_t k = 0; k < tau.size(); ++k)
                z += (k + index) % 2 == 0 ? rc(w, r[k], tau[k] / r[k])
                                          : zarc(w, r[k], std::pow(tau[k], alpha[k]) / r[k], alpha[k]);
            break;
        case 7:
            z = rc(w, r[0], tau[0] / r[0]);
            for (std::size_t k = 1; k < 3; ++k) {
                const double kg = 1 / tau[k];
                z += gerischer(w, r[k] * std::sqrt(kg), kg);
            }
            break;
        case 8: z = rs + warburgTransmissive(w, rw, tw); break;
        default: break;
        }
        out.z.push_back(z);
    }
    for (C& z : out.z) {
        const double m = std::abs(z) * out.noise;
        z += C(m * d.gaussian(), m * d.gaussian());
    }
    return out;
}

} // namespace nosk::test
