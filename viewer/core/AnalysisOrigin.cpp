#include "AnalysisOrigin.h"

#include "ViewerTexts.h"
#include "analysis/drt/Drt.h"
#include "job/FitJob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace nosk::origin {

namespace {
// The tables print six significant digits (%.6E): two values that print alike
// may differ by half a unit in the last of them.
constexpr double kPrinted = 2e-6;

bool close(double a, double b)
{
    return std::abs(a - b) <= kPrinted * std::max(std::abs(a), std::abs(b));
}

// A frequency with an SI prefix: "100 mHz", "2.5 kHz".
std::string frequencyText(double hz)
{
    struct Prefix {
        double scale;
        const char* name;
    };
    static constexpr Prefix kPrefixes[] = {{1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1, "Hz"},
                                           {1e-3, "mHz"}, {1e-6, "uHz"}};
    const Prefix* p = &kPrefixes[std::size(kPrefixes) - 1];
    for (const Prefix& candidate : kPrefixes)
        if (std::abs(hz) >= candidate.scale * (1 - 5e-5)) {
            p = &candidate;
            break;
        }
    char text[48];
    std::snprintf(text, sizeof text, "%.4g %s", hz / p->scale, p->name);
    return text;
}
} // namespace

std::optional<std::vector<double>> jobFrequenciesHz(const FitJob& job, int xVariable)
{
    if (xVariable != kXFrequency || !job.FREQ || job.M <= 0)
        return std::nullopt;
    std::vector<double> f(job.FREQ->begin(), job.FREQ->begin() + std::min<std::ptrdiff_t>(job.M, job.FREQ->size()));
    if (job.FREEQ == ' ')
        for (double& v : f)
            v /= 2 * std::numbers::pi;
    return f;
}

std::optional<Span> spanOf(const std::vector<double>& frequenciesHz)
{
    Span s;
    bool any = false;
    for (double f : frequenciesHz) {
        if (!(std::isfinite(f) && f > 0))
            continue;
        s.fMinHz = any ? std::min(s.fMinHz, f) : f;
        s.fMaxHz = any ? std::max(s.fMaxHz, f) : f;
        any = true;
    }
    if (!any)
        return std::nullopt;
    s.points = frequenciesHz.size();
    return s;
}

std::optional<Span> spanOfDrtRange(double tauMin, double tauMax)
{
    if (!(std::isfinite(tauMin) && std::isfinite(tauMax) && tauMin > 0 && tauMax >= tauMin))
        return std::nullopt;
    // tauMin = 1 / (2 pi fMax) / margin, tauMax = margin / (2 pi fMin)
    Span s;
    s.fMaxHz = 1 / (2 * std::numbers::pi * tauMin * drt::kRangeMargin);
    s.fMinHz = drt::kRangeMargin / (2 * std::numbers::pi * tauMax);
    return s;
}

std::string spanText(const Span& span)
{
    std::string text;
    if (span.points > 0)
        text = std::to_string(span.points) + (span.points == 1 ? " point, " : " points, ");
    return text + frequencyText(span.fMinHz) + " to " + frequencyText(span.fMaxHz);
}

bool sameFrequencies(const std::vector<double>& tableHz, const std::vector<double>& jobHz)
{
    if (tableHz.size() != jobHz.size())
        return false;
    std::vector<double> a = tableHz, b = jobHz;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!close(a[i], b[i]))
            return false;
    return true;
}

bool sameRange(const Span& table, const std::vector<double>& jobHz)
{
    const std::optional<Span> job = spanOf(jobHz);
    // The range went through 1/(2 pi f) and the margin: a few printed digits.
    auto near = [](double a, double b) { return std::abs(a - b) <= 1e-5 * std::max(std::abs(a), std::abs(b)); };
    return job && near(table.fMinHz, job->fMinHz) && near(table.fMaxHz, job->fMaxHz);
}

std::string describe(const std::string& name, const std::optional<Span>& span)
{
    if (!span)
        return name;
    return name.empty() ? spanText(*span) : name + "; " + spanText(*span);
}

std::string staleBanner(const std::string& which)
{
    return "These results belong to another spectrum (" + which + "); run the analysis again";
}

} // namespace nosk::origin
