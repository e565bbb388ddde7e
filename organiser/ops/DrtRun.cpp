#include "DrtRun.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace nosk::drtrun {

std::string peakTable(const drt::Result& r)
{
    std::string out = "Peak   tau (s)        frequency (Hz)  area (Ohm)\n";
    char line[160];
    for (std::size_t i = 0; i < r.peaks.size(); ++i) {
        const drt::Peak& p = r.peaks[i];
        std::snprintf(line, sizeof line, "%4zu   %-13.5E  %-14.5E  %.5E%s\n", i + 1, p.tau, p.frequencyHz, p.area,
                      p.ripple ? "  (ripple?)" : "");
        out += line;
    }
    if (r.peaks.empty())
        out += "(no peaks)\n";
    return out;
}

std::string summary(const kkrun::Spectrum& s, const drt::Result& r)
{
    std::string out;
    char line[200];
    const auto [lo, hi] = std::minmax_element(s.frequencyHz.begin(), s.frequencyHz.end());
    std::snprintf(line, sizeof line, "Points: %zu, %.6g Hz to %.6g Hz\n", s.frequencyHz.size(), *lo, *hi);
    out += line;
    std::snprintf(line, sizeof line, "lambda: %.4E, R_inf: %.6E Ohm, L: %.4E H\n", r.lambda, r.seriesResistance,
                  r.seriesInductance);
    out += line;
    if (r.seriesCapacitance > 0) {
        std::snprintf(line, sizeof line, "Series capacitance (blocking branch): %.6E F\n", r.seriesCapacitance);
        out += line;
    }
    std::snprintf(line, sizeof line, "Residual RMS: %.4f %% of |Z|\n", 100 * r.residualRms);
    out += line;
    std::snprintf(line, sizeof line,
                  "Peaks of at least %.0f %% of the polarisation resistance (%.6E Ohm) between %.4E s and %.4E s:\n",
                  100 * drt::kPeakAreaShare, r.polarisation, r.tauMin, r.tauMax);
    out += line + peakTable(r);
    for (const std::string& note : drt::notes(r))
        out += "Note: " + note + "\n";
    return out;
}

drt::Result runAndWrite(const kkrun::Spectrum& s, const drt::Options& o, const std::string& tablePath,
                        const std::string& head)
{
    drt::Result r;
    try {
        r = drt::compute(s.frequencyHz, s.z, o);
    } catch (const std::invalid_argument& e) {
        throw exception("DRT: %s!", e.what());
    }
    // A table of ours under a fixed name in the work folder: a link planted
    // under that name is replaced, never written through.
    AtomicFileWriter out(tablePath, AtomicFileWriter::Links::Replace);
    out.buffer() = head + drt::formatTable(r, o);
    out.commit();
    return r;
}

} // namespace nosk::drtrun
