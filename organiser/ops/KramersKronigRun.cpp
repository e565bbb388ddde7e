#include "KramersKronigRun.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace nosk::kkrun {

std::string summary(const Spectrum& s, const kk::Result& r, const kk::Options& o)
{
    std::string out;
    char line[240];
    double fMin = s.frequencyHz.front(), fMax = fMin;
    for (double f : s.frequencyHz) {
        fMin = std::min(fMin, f);
        fMax = std::max(fMax, f);
    }
    std::snprintf(line, sizeof line, "Points: %zu, %.6g Hz to %.6g Hz\n", s.frequencyHz.size(), fMin, fMax);
    out += line;
    char mu[40];
    if (r.muUndefined())
        std::snprintf(mu, sizeof mu, "mu undefined");
    else
        std::snprintf(mu, sizeof mu, "mu = %.4f", r.mu);
    if (o.elements > 0)
        std::snprintf(line, sizeof line, "RC elements: M = %d (fixed), %s\n", r.elements, mu);
    else if (o.rule == kk::Rule::Cutoff)
        std::snprintf(line, sizeof line, "RC elements: M = %d, %s (cutoff %.2f)\n", r.elements, mu, o.cutoff);
    else
        std::snprintf(line, sizeof line, "RC elements: M = %d, %s (the series describes the data from M = %d; cutoff %.2f)\n",
                      r.elements, mu, r.describedFrom, o.cutoff);
    out += line;
    if (r.muUndefined())
        out += "  (no RC element has a positive resistance: inductive or negative-resistance data)\n";
    out += "Fitted as: " + r.representationText() + "\n";
    auto describe = [&](const char* name, const std::vector<double>& v) {
        std::size_t worst = 0;
        double sum = 0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            sum += v[i] * v[i];
            if (std::abs(v[i]) > std::abs(v[worst]))
                worst = i;
        }
        std::snprintf(line, sizeof line, "%-15s RMS %.4f %%, largest %+.4f %% at %.6g Hz\n", name,
                      std::sqrt(sum / v.size()), v[worst], s.frequencyHz[worst]);
        out += line;
    };
    describe("Real part:", r.residualReal);
    describe("Imaginary part:", r.residualImag);
    out += "Verdict: " + r.verdict.text() + "\n";
    return out;
}

kk::Result runAndWrite(const Spectrum& s, const kk::Options& o, const std::string& tablePath, const std::string& head)
{
    kk::Result r;
    try {
        r = kk::test(s.frequencyHz, s.z, o);
    } catch (const std::invalid_argument& e) {
        throw exception("Kramers-Kronig test: %s!", e.what());
    }
    // A table of ours under a fixed name in the work folder: a link planted
    // under that name is replaced, never written through.
    AtomicFileWriter out(tablePath, AtomicFileWriter::Links::Replace);
    out.buffer() = head + kk::formatTable(s.frequencyHz, r);
    out.commit();
    return r;
}

} // namespace nosk::kkrun
