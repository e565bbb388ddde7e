#include "KramersKronigRun.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "job/Immittance.h"
#include "ops/InstrumentImport.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace nosk::kkrun {

bool isJobFile(const std::string& path)
{
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "tst";
}

Spectrum spectrumOf(const FitJob& job)
{
    if (job.M <= 0 || !job.FREQ || !job.DATA1 || !job.DATA2)
        throw exception("No data lines to test!");
    if (job.DATTYP != 'C')
        throw exception("The Kramers-Kronig test needs complex data (DATTYP C)!");
    const int n = job.M;
    std::vector<double> omega(*job.FREQ), first(*job.DATA1), second(*job.DATA2);
    omega.resize(n);
    first.resize(n);
    second.resize(n);
    if (job.FREEQ == 'F')
        ToAngular(omega.data(), n);
    if (job.NEG == 'N') {
        for (double& v : second)
            v = -v;
    }
    TransformArrays(omega.data(), first.data(), second.data(), n, job.DINP, job.PINP, 'Z', 'R', job.CELCAP);
    Spectrum s;
    for (int i = 0; i < n; ++i) {
        s.frequencyHz.push_back(omega[i] / (2 * kPi));
        s.z.emplace_back(first[i], second[i]);
    }
    return s;
}

Spectrum spectrumOfFile(const std::string& path, std::string* imported)
{
    Spectrum spectrum;
    if (isJobFile(path)) {
        FitJob job;
        job.load(path);
        return spectrumOf(job);
    }
    const ImportResult data = importInstrumentFile(path);
    if (imported)
        *imported = data.summary();
    spectrum.frequencyHz = data.freq;
    for (std::size_t i = 0; i < data.re.size(); ++i)
        spectrum.z.emplace_back(data.re[i], data.im[i]);
    return spectrum;
}

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

kk::Result runAndWrite(const Spectrum& s, const kk::Options& o, const std::string& tablePath)
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
    out.buffer() = kk::formatTable(s.frequencyHz, r);
    out.commit();
    return r;
}

} // namespace nosk::kkrun
