#include "ZhitRun.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace nosk::zhitrun {

std::string summary(const kkrun::Spectrum& s, const zhit::Result& r)
{
    std::string out;
    char line[240];
    const auto [lo, hi] = std::minmax_element(s.frequencyHz.begin(), s.frequencyHz.end());
    std::snprintf(line, sizeof line, "Points: %zu, %.6g Hz to %.6g Hz\n", s.frequencyHz.size(), *lo, *hi);
    out += line;
    std::snprintf(line, sizeof line, "Offset fitted from %.6g Hz to %.6g Hz\n", r.offsetFromHz, r.offsetToHz);
    out += line;
    std::size_t worst = 0;
    double sum = 0;
    for (std::size_t i = 0; i < r.deviation.size(); ++i) {
        sum += r.deviation[i] * r.deviation[i];
        if (std::abs(r.deviation[i]) > std::abs(r.deviation[worst]))
            worst = i;
    }
    std::snprintf(line, sizeof line, "Deviation of |Z|: RMS %.4f %%, largest %+.4f %% at %.6g Hz\n",
                  std::sqrt(sum / r.deviation.size()), r.deviation[worst], r.frequencyHz[worst]);
    out += line;
    out += "Verdict: " + r.verdict.text() + "\n";
    return out;
}

zhit::Result runAndWrite(const kkrun::Spectrum& s, const std::string& tablePath, const std::string& head)
{
    zhit::Result r;
    try {
        r = zhit::test(s.frequencyHz, s.z);
    } catch (const std::invalid_argument& e) {
        throw exception("Z-HIT test: %s!", e.what());
    }
    // A table of ours under a fixed name in the work folder: a link planted
    // under that name is replaced, never written through.
    AtomicFileWriter out(tablePath, AtomicFileWriter::Links::Replace);
    out.buffer() = head + zhit::formatTable(r);
    out.commit();
    return r;
}

} // namespace nosk::zhitrun
