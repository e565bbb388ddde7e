#include "BatchRun.h"
#include "EngineLaunch.h"
#include "core/WorkFolderFiles.h"

#include "Analyses.h"
#include "core/Reason.h"
#include "ops/KramersKronigRun.h"

#include "core/CsvText.h"
#include "core/Exception.h"
#include "core/NumberText.h"
#include "job/FitJob.h"
#include "ops/InstrumentImport.h"
#include "platform/Process.h"
#include "core/RegularFile.h"
#include "model/ParameterNames.h"
#include "results/PntoutlReader.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace nosk::batch {
namespace {

namespace fs = std::filesystem;

// Names compared with runs of digits as numbers: "soc2" < "soc10".
bool naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t i2 = i, j2 = j;
            while (i2 < a.size() && std::isdigit(static_cast<unsigned char>(a[i2])))
                ++i2;
            while (j2 < b.size() && std::isdigit(static_cast<unsigned char>(b[j2])))
                ++j2;
            std::string na = a.substr(i, i2 - i), nb = b.substr(j, j2 - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = i2;
            j = j2;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// A temporary work folder of our own; removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        // A TMPDIR that is no folder: the system's own temporary folder.
        std::error_code ec;
        fs::path base = fs::temp_directory_path(ec);
        if (ec)
            base = "/tmp";
        // The process's number in the name: a folder left by a killed batch
        // is swept by the next one (sweepStaleTemporaries).
        std::string pattern = (base / ("nosk-batch-" + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool ok() const { return !m_path.empty(); }
    std::string file(const char* name) const { return (fs::path(m_path) / name).string(); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

FitJob makeJob(const std::string& file, const FitJob* templ)
{
    FitJob job;
    if (!templ || isJobFile(file)) {
        job.load(file);
        return job;
    }
    const ImportResult data = importInstrumentFile(file);
    job = *templ;
    data.fill(job);
    // Weight lines of the template cannot fit new data: proportional ones.
    if (job.hasWeights())
        job.weightsFromData();
    return job;
}

namespace {

void waitFor(ChildProcess& child)
{
    // A fit of a small spectrum takes milliseconds: poll often at first,
    // then less often, so that long fits cost no CPU time here.
    std::chrono::microseconds pause(100);
    while (child.running()) {
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 3 / 2, std::chrono::microseconds(3000));
    }
}

// The verdicts of the validation tests asked for, on the job's data.
void checkData(const FitJob& job, const Settings& settings, Row& row)
{
    if (settings.checks.empty())
        return;
    Spectrum spectrum;
    std::string why;
    try {
        spectrum = kkrun::spectrumOf(job);
    } catch (const std::exception& e) {
        why = std::string("not tested: ") + e.what();
    }
    for (const analyses::Analysis* check : settings.checks) {
        try {
            row.verdicts.push_back(why.empty() ? check->verdict(spectrum) : why);
        } catch (const std::exception& e) {
            row.verdicts.push_back(std::string("not tested: ") + e.what());
        }
    }
}

Row runOne(const std::string& file, const FitJob* templ, const Row* previous, ProcessLauncher& launcher,
           const Settings& settings)
{
    const std::string& engine = settings.engine;
    const std::string& circuitsFile = settings.circuitsFile;
    const int starts = settings.starts;
    Row row;
    row.file = file;
    row.status = -1;
    FitJob job;
    try {
        job = makeJob(file, templ);
    } catch (const std::exception& e) {
        row.reason = e.what();
        row.verdicts.assign(settings.checks.size(), "not tested: " + row.reason);
        return row;
    }
    row.model = job.FUN;
    checkData(job, settings, row);
    if (!run::runnable(job)) {
        row.reason = run::notRunnableReason(job);
        return row;
    }
    if (previous && previous->ok) {
        // Chaining: the fitted parameters of the previous spectrum are this
        // one's start values; fixed ones stay as the job has them, and so
        // does one the previous fit held at a bound or a limit (from there
        // the next fit could not move it).
        for (int i = 0; i < job.N && i < static_cast<int>(previous->value.size()); ++i) {
            const bool held = i < static_cast<int>(previous->heldAtBound.size()) && previous->heldAtBound[i];
            if (job.NFREE[i] != 0 && !held)
                job.P[i] = previous->value[static_cast<std::size_t>(i)];
        }
    }
    TempFolder dir;
    if (!dir.ok()) {
        row.reason = "Cannot create a temporary work folder!";
        return row;
    }
    try {
        job.save(dir.file(workfiles::kInput));
    } catch (const std::exception& e) {
        row.reason = e.what();
        return row;
    }
    std::error_code copyError;
    if (!circuitsFile.empty() && !fs::copy_file(circuitsFile, dir.file(workfiles::kCircuits), copyError)) {
        row.reason = "Cannot copy CIRCUITS into the spectrum's work folder!";
        return row;
    }
    ProcessSpec spec;
    spec.program = engine;
    if (starts > 1)
        spec.arguments = {"--starts", std::to_string(starts)};
    spec.arguments.insert(spec.arguments.end(), settings.engineOptions.begin(), settings.engineOptions.end());
    spec.workingDirectory = dir.path();
    spec.outputFile = dir.file(workfiles::kEngineLog);
    int error = 0;
    std::unique_ptr<ChildProcess> child = launcher.start(spec, error);
    if (!child) {
        char text[80];
        std::snprintf(text, sizeof text, "Cannot run NOSK! Last error #%i", error);
        row.reason = text;
        return row;
    }
    waitFor(*child);
    row.status = child->exitCode();
    // The engine's reason line: in its report, or on its console when it
    // could not write one.
    const std::string console = readRegularFile(dir.file(workfiles::kEngineLog), kMaxResultFile).value_or("");
    const EngineAccount account = readEngineAccount(dir.file(workfiles::kReport), console);
    const std::optional<Reason>& why = account.reason;
    if (why) {
        row.end = why->refused() ? std::string("refused (") + reasonKindName(why->kind) + ")" : reasonSummary(*why);
        row.converged = why->normalEnd();
    }
    if (row.status != 0) {
        if (why && why->refused())
            row.reason = why->text;
        else
            row.reason = account.consoleLastLine;
        if (row.reason.empty())
            row.reason = "engine exit status " + std::to_string(row.status);
        return row;
    }
    if (!fs::exists(dir.file(workfiles::kTable))) {
        row.reason = "Fitting process failed!";
        return row;
    }
    FitJob out;
    try {
        out.loadHeader(dir.file(workfiles::kNextInput));
    } catch (const std::exception& e) {
        row.reason = e.what();
        return row;
    }
    const int n = std::min(job.N, FitJob::kMaxParams);
    row.value.assign(out.P, out.P + n);
    row.stdDev.assign(static_cast<std::size_t>(n), std::numeric_limits<double>::quiet_NaN());
    if (job.MAXFEV > 2) {
        FitStatistics stats;
        try {
            readPntoutl(stats, dir.file(workfiles::kReport));
        } catch (const std::exception&) {
            row.reason = "Fitting process failed!";
            return row;
        }
        row.fit = true;
        row.S = stats.sumOfSquares;
        row.sigma = stats.sigma;
        // A parameter the data do not determine has no std dev (NaN: an
        // empty cell) and is named in the end and reason columns, apart
        // from those at a bound or a limit, on which the others' std devs
        // are conditional.
        row.heldAtBound.assign(static_cast<std::size_t>(n), false);
        for (const FreeParameter& p : stats.freeParameters) {
            if (p.number < 1 || p.number > n)
                continue;
            const bool known = p.status == ParameterStatus::Determined;
            row.stdDev[static_cast<std::size_t>(p.number - 1)] =
                known ? p.stdDev : std::numeric_limits<double>::quiet_NaN();
            std::string& list = atBound(p.status) ? row.atBound : row.undetermined;
            if (atBound(p.status))
                row.heldAtBound[static_cast<std::size_t>(p.number - 1)] = true;
            if (!known)
                list += (list.empty() ? "P" : " P") + std::to_string(p.number);
        }
        row.given = givenText(stats);
        row.search = searchNote(stats.search);
        row.searchUnfinished = stats.search.unfinished();
        if (!stats.intervals.empty()) {
            row.intervalLow.assign(static_cast<std::size_t>(n), std::numeric_limits<double>::quiet_NaN());
            row.intervalHigh = row.intervalLow;
            for (const ReportedInterval& iv : stats.intervals)
                if (iv.number >= 1 && iv.number <= n) {
                    row.intervalLow[static_cast<std::size_t>(iv.number - 1)] = iv.low;
                    row.intervalHigh[static_cast<std::size_t>(iv.number - 1)] = iv.high;
                }
        }
    }
    // Every value against the physical range of its role in the circuit.
    const std::vector<model::ParameterKind> kinds =
        model::parameterKinds(job.FUN, row.value.data(), n, settings.circuitsFile);
    for (int i = 0; i < n; ++i) {
        const model::ParameterKind kind = kinds[static_cast<std::size_t>(i)];
        if (model::withinPhysicalRange(kind, row.value[static_cast<std::size_t>(i)]))
            continue;
        char text[96];
        std::snprintf(text, sizeof text, "P%i = %.6g outside %s", i + 1, row.value[static_cast<std::size_t>(i)],
            model::physicalRangeText(kind));
        row.unphysical += (row.unphysical.empty() ? "" : ", ") + std::string(text);
    }
    row.ok = true;
    return row;
}

using nosk::csvTextCell;

std::string number(double v)
{
    if (std::isnan(v))
        return {};
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// How the fit ended, and the parameters it left undetermined or at a bound.
std::string endText(const Row& r)
{
    std::string text = r.end;
    if (!r.undetermined.empty())
        text += (text.empty() ? "" : "; ") + std::string("undetermined: ") + r.undetermined;
    if (!r.atBound.empty())
        text += (text.empty() ? "" : "; ") + std::string("at bound: ") + r.atBound;
    if (!r.search.empty() && !r.searchUnfinished)
        text += (text.empty() ? "" : "; ") + r.search;
    return text;
}

// "ok" only for a converged fit with every parameter determined and within
// its physical range; else what is wrong.
std::string reasonText(const Row& r)
{
    if (!r.ok)
        return r.reason;
    std::vector<std::string> parts;
    if (!r.converged && !r.end.empty())
        parts.push_back(r.end);
    if (!r.undetermined.empty())
        parts.push_back("not determined: " + r.undetermined);
    if (!r.atBound.empty())
        parts.push_back("at bound: " + r.atBound + (r.given.empty() ? "" : " (std devs " + r.given + ")"));
    if (!r.unphysical.empty())
        parts.push_back("unphysical: " + r.unphysical);
    if (r.searchUnfinished)
        parts.push_back(r.search);
    if (parts.empty())
        return "ok";
    std::string text = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i)
        text += "; " + parts[i];
    return text;
}

} // namespace

std::vector<std::string> collectInputs(const std::vector<std::string>& inputs, bool withTemplate)
{
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            files.push_back(input);
            continue;
        }
        std::vector<std::string> found;
        for (const fs::directory_entry& e : fs::directory_iterator(input, ec)) {
            if (!e.is_regular_file(ec))
                continue;
            const std::string name = e.path().string();
            if (isJobFile(name) || withTemplate)
                found.push_back(name);
        }
        std::sort(found.begin(), found.end(), naturalLess);
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

double seriesNumber(const std::string& file)
{
    const std::string stem = fs::path(file).stem().string();
    std::size_t end = stem.size();
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(stem[end - 1])))
        --end;
    if (end == 0)
        return std::numeric_limits<double>::quiet_NaN();
    std::size_t start = end;
    while (start > 0 && (std::isdigit(static_cast<unsigned char>(stem[start - 1])) || stem[start - 1] == '.'))
        --start;
    while (start < end && stem[start] == '.')
        ++start;
    if (start > 0 && stem[start - 1] == '-' && (start == 1 || !std::isalnum(static_cast<unsigned char>(stem[start - 2]))))
        --start;
    return readNumber(std::string_view(stem).substr(start, end - start), kTypedNumber)
        .value_or(std::numeric_limits<double>::quiet_NaN());
}

std::vector<Row> run(const Settings& settings, ProcessLauncher& launcher, std::ostream& progress,
                     bool progressOnOneLine)
{
    const std::vector<std::string> files = collectInputs(settings.inputs, !settings.templateFile.empty());
    std::vector<Row> rows(files.size());
    std::unique_ptr<FitJob> templ;
    std::string templateError;
    if (!settings.templateFile.empty()) {
        templ = std::make_unique<FitJob>();
        try {
            templ->load(settings.templateFile);
        } catch (const std::exception& e) {
            templateError = std::string("template: ") + e.what();
        }
    }

    std::mutex lock;
    std::size_t done = 0, failed = 0, interrupted = 0;
    auto report = [&](const Row& row) {
        std::lock_guard<std::mutex> guard(lock);
        ++done;
        if (row.reason == kInterrupted)
            ++interrupted;
        else if (!row.ok)
            ++failed;
        if (!row.ok && row.reason != kInterrupted) {
            if (progressOnOneLine)
                progress << '\r';
            progress << "FAILED " << row.file << ": " << row.reason << '\n';
        }
        const std::size_t step = std::max<std::size_t>(1, files.size() / 20);
        if (progressOnOneLine || done % step == 0 || done == files.size()) {
            if (progressOnOneLine)
                progress << '\r';
            progress << done << '/' << files.size() << " done, " << failed << " failed";
            if (interrupted > 0)
                progress << ", " << interrupted << " interrupted";
            progress << (progressOnOneLine && done < files.size() ? "" : "\n");
            progress.flush();
        }
    };

    auto one = [&](std::size_t i, const Row* previous) {
        Row row;
        if (settings.stop && settings.stop->load()) {
            row.file = files[i];
            row.status = -1;
            row.reason = kInterrupted;
        } else if (!templateError.empty()) {
            row.file = files[i];
            row.status = -1;
            row.reason = templateError;
        } else {
            row = runOne(files[i], templ.get(), previous, launcher, settings);
        }
        const double s = seriesNumber(files[i]);
        row.series = std::isnan(s) ? static_cast<double>(i + 1) : s;
        rows[i] = std::move(row);
        report(rows[i]);
    };

    if (settings.chain) {
        // Along a series each spectrum waits for the one before it.
        const Row* previous = nullptr;
        for (std::size_t i = 0; i < files.size(); ++i) {
            one(i, previous);
            if (rows[i].ok)
                previous = &rows[i];
        }
        return rows;
    }
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++)
            one(i, nullptr);
    };
    const int threads = std::max(1, std::min<int>(settings.jobs, static_cast<int>(files.size())));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    return rows;
}

std::string formatTable(const std::vector<Row>& rows, const std::vector<std::string>& names,
                        const std::vector<const analyses::Analysis*>& checks)
{
    std::size_t n = 0;
    for (const Row& r : rows)
        n = std::max(n, r.value.size());
    bool intervals = false;
    for (const Row& r : rows)
        intervals = intervals || !r.intervalLow.empty();
    std::string out = "index,file,series,S,sigmaf";
    for (std::size_t i = 0; i < n; ++i) {
        const std::string name = i < names.size() && !names[i].empty() ? names[i] : "P" + std::to_string(i + 1);
        out += "," + csvTextCell(name) + "," + csvTextCell(name + " std dev");
        if (intervals)
            out += "," + csvTextCell(name + " low") + "," + csvTextCell(name + " high");
    }
    out += ",end,status,reason";
    for (const analyses::Analysis* check : checks)
        out += std::string(",") + check->verdictColumn;
    out += "\n";
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Row& r = rows[k];
        out += std::to_string(k + 1) + "," + csvTextCell(r.file) + "," + number(r.series) + ",";
        out += (r.fit ? number(r.S) : std::string()) + "," + (r.fit ? number(r.sigma) : std::string());
        for (std::size_t i = 0; i < n; ++i) {
            const bool has = r.ok && i < r.value.size();
            out += "," + (has ? number(r.value[i]) : std::string());
            out += "," + (has ? number(r.stdDev[i]) : std::string());
            if (intervals) {
                for (const std::vector<double>* end : {&r.intervalLow, &r.intervalHigh}) {
                    const double v = has && i < end->size() ? (*end)[i] : std::numeric_limits<double>::quiet_NaN();
                    out += "," + (std::isinf(v) ? std::string("none") : std::isnan(v) ? std::string() : number(v));
                }
            }
        }
        out += "," + csvTextCell(endText(r)) + "," + std::to_string(r.status) + "," + csvTextCell(reasonText(r));
        // An interrupted spectrum has no verdicts.
        for (std::size_t c = 0; c < checks.size(); ++c)
            out += "," + csvTextCell(c < r.verdicts.size() ? r.verdicts[c] : std::string());
        out += "\n";
    }
    return out;
}

} // namespace nosk::batch
