#include "ops/OutputSummary.h"

#include "TextUtil.h"
#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/AtomicFileWriter.h"
#include "core/WorkFolderFiles.h"
#include "job/FitJob.h"
#include "job/PhysicalConstants.h"
#include "core/RegularFile.h"
#include "results/PntoutlReader.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>

namespace nosk {

using opsdetail::appendf;
using lines::nextLine;

namespace {

// Removes both temporary files when the command ends, on every path.
class TempFilesGuard {
public:
    ~TempFilesGuard()
    {
        removeFile(kRawSummaryFile);
        removeFile(kTidySummaryFile);
    }

private:
    // A folder of the user's that happens to carry the name is left alone.
    static void removeFile(const char* name)
    {
        std::error_code ec;
        if (!std::filesystem::is_directory(name, ec))
            std::filesystem::remove(name, ec);
    }
};

// The engine's parameters are doubles; the summary prints a few cut to
// integers. Values beyond the int range are clamped instead of overflowing.
int truncateToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

void writeText(std::ostream& out, const std::string& text)
{
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Phase 1: the raw summary from the report's parts and the job.
void writeRawSummary(const ReportSections& report, std::ostream& out, const FitJob& job,
                     const std::string& testFileName, const std::tm& now)
{
    std::string text = testFileName;
    appendf(text, " %i/%02i/%02i %02i:%02i:%02i\n", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour,
            now.tm_min, now.tm_sec);

    for (const std::string& line : report.heading)
        text += line + "\n";

    appendf(text, "\n\tMODE=%i IGACC=%i ATEMP=%.5g\n", job.MODE, job.IGACC, job.ATEMP);
    appendf(text, "\tFREEQ=%s DFIT=%c PFIT=%c IRE=%i\n", job.FREEQ == ' ' ? "_(ANG)" : "F(ORD)", job.DFIT,
            job.PFIT, job.IRE);
    appendf(text, "\tM=%i IRCH=%i CELCAP=%.6E\n", job.M, job.IRCH, job.CELCAP);

    // The start parameters; the last one stays open so that the P10 note of
    // model O lands at its end.
    for (std::size_t i = 0; i < report.startParameters.size(); ++i)
        text += i == 0 ? report.startParameters[i] + "\n" : "\n" + report.startParameters[i];

    if (job.FUN == 'O')
        appendf(text, " P10=%i P20=%i P25=%i\n", truncateToInt(job.P[9]), truncateToInt(job.P[19]),
                truncateToInt(job.P[24]));

    // The fit statistics and the parameter table, without the correlation
    // matrix.
    for (const std::string& line : report.results)
        text += line + "\n";
    writeText(out, text);

    text.clear();
    appendf(text, "    First data line:\n    %.15E %.15E %.15E\n\n", valueAt(job.FREQ, 0), valueAt(job.DATA1, 0),
            valueAt(job.DATA2, 0));
    text += "\n";
    writeText(out, text);
    for (const std::string& line : report.tail) {
        writeText(out, line);
        out.put('\n');
    }

    if (job.FUN == 'O' && job.P[9] == 35) {
        DerivedQuantities q = deriveQuantities(job);
        text.clear();
        appendf(text, "\tETAU=%.5g\n\tECINF=%.5g\n\tEINF=%.5g\n\tE0=%.5g\n\tDELTAE=%.5g\n", q.ETAU, q.ECINF, q.EINF,
                q.E0, q.DELTAE);
        writeText(out, text);
    }
}

// Phase 2: drop the engine's "**" marker lines and fold runs of empty lines.
void writeTidySummary(std::istream& in, std::ostream& out)
{
    bool lastEmpty = false;
    while (auto line = nextLine(in)) {
        if (line->find(report::kBannerMarker) != std::string::npos)
            continue;
        const bool empty = line->empty();
        if (empty && lastEmpty)
            continue;
        lastEmpty = empty;
        writeText(out, *line);
        out.put('\n');
    }
}

} // namespace

double lnGamma(double x)
{
    static const double c[6] = {76.18009173, -86.50532033, 24.01409822, -1.231739516, 0.00120858003, -5.36382e-06};
    const double y = x - 1.0;
    const double s = y + 5.5;
    double sum = 1.0;
    for (int j = 1; j <= 6; ++j)
        sum += c[j - 1] / (y + j);
    return (y + 0.5) * std::log(s) - s + std::log(2.50662827465 * sum);
}

DerivedQuantities deriveQuantities(const FitJob& job)
{
    const double* P = job.P;
    const double C = job.CELCAP == kVacuumPermittivityAsStored ? kVacuumPermittivity : job.CELCAP;
    const double t = P[5] / (C * P[4]);
    DerivedQuantities q{};
    q.ETAU = t;
    if (job.MODE == -1) {
        q.ECINF = 6 * t;
        if (P[0] != 0)
            q.ECINF = 6 * P[5] * P[4] / ((P[0] + P[4]) * (P[0] + P[4]) * kVacuumPermittivity);
        q.EINF = q.ECINF + P[1];
        const double b = P[8];
        const double g1 = std::exp(lnGamma(1 / b));
        const double g2 = std::exp(lnGamma(2 / b));
        q.E0 = q.ECINF * b * g2 / (g1 * g1) + P[1];
        q.DELTAE = q.E0 - q.EINF;
    } else {
        q.ECINF = 0;
        q.EINF = P[1];
        q.E0 = 6 * t + P[1];
        q.DELTAE = 6 * t;
    }
    return q;
}

void writeOutputSummary(const FitJob& job, const std::string& testFileName, bool print, TextFileHandler& handler,
                        const LocalClock& clock)
{
    if (job.M == 0 || job.N == 0)
        throw exception("The user should load an input file\n and then run fitting!");

    // The engine's report of the largest job is a few megabytes; a device or
    // a FIFO under the name is no report.
    constexpr std::size_t kMaxReport = 256u << 20;
    auto bytes = readRegularFile(workfiles::kReport, kMaxReport);
    if (!bytes)
        throw exception("Cannot open file '%s'!", workfiles::kReport);
    TempFilesGuard cleanup;
    std::istringstream in(std::move(*bytes));
    const std::optional<ReportSections> report = splitReport(in);
    if (!report)
        throw exception("Wrong format of PNTOUTL file!");
    // Both files are made fresh: a link planted under either name is
    // replaced, never written through.
    std::ostringstream raw;
    writeRawSummary(*report, raw, job, testFileName, clock ? clock() : localNow());
    replaceFile(kRawSummaryFile, raw.str(), AtomicFileWriter::Links::Replace);
    std::istringstream rawIn(raw.str());
    std::ostringstream tidy;
    writeTidySummary(rawIn, tidy);
    replaceFile(kTidySummaryFile, tidy.str(), AtomicFileWriter::Links::Replace);

    if (print)
        handler.print(kTidySummaryFile);
    else
        handler.view(kTidySummaryFile);
}

} // namespace nosk
