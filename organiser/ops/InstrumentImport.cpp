#include "ops/InstrumentImport.h"

#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"
#include "job/FitJob.h"
#include "ops/formats/InstrumentFormats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

namespace nosk {

namespace {

std::string hzText(double f)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", f);
    return text;
}

} // namespace

InstrumentFile readInstrumentFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw exception("Cannot open file '%s'!", path.c_str());
    if (!S_ISREG(st.st_mode))
        throw exception("Not a regular file (a folder, device or pipe).");
    if (std::uintmax_t(st.st_size) > kMaxInstrumentFileSize)
        throw exception("File is too large (over %d MB).", int(kMaxInstrumentFileSize >> 20));
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw exception("Cannot open file '%s'!", path.c_str());
    // The file may grow while we read: never more than the limit.
    std::string text(size_t(st.st_size), '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    if (in.bad())
        throw exception("Cannot read file '%s'!", path.c_str());
    const size_t slash = path.find_last_of('/');
    return parseInstrumentFile(text, slash == std::string::npos ? path : path.substr(slash + 1));
}

InstrumentFile parseInstrumentFile(std::string_view bytes, const std::string& fileName)
{
    for (const formats::InstrumentFormat& f : formats::instrumentFormats())
        if (f.detect && f.read && f.detect(bytes, fileName))
            return f.read(bytes, fileName);
    return parseInstrumentText(bytes, fileName);
}

ImportResult selectSpectrum(const InstrumentFile& file, const std::string& path, int index)
{
    if (index < 0 || index >= int(file.spectra.size()))
        throw exception("There is no spectrum %d in the file (it holds %d).", index + 1, int(file.spectra.size()));
    const ImportedSpectrum& s = file.spectra[size_t(index)];
    if (s.freq.size() > size_t(kMaxJobRows))
        throw exception("%zu rows: a job holds at most %d.", s.freq.size(), kMaxJobRows);
    ImportResult r;
    r.file = path;
    r.format = file.format;
    r.freq = s.freq;
    r.re = s.re;
    r.im = s.im;
    r.rowsRead = int(s.freq.size());
    r.rowsSkipped = s.rowsSkipped;
    r.spectrumIndex = index;
    r.spectrumCount = int(file.spectra.size());
    r.decimalCommas = file.decimalCommas;
    r.note = file.note;
    r.metadata = file.metadata;
    return r;
}

ImportResult importInstrumentFile(const std::string& path, int spectrumIndex)
{
    return selectSpectrum(readInstrumentFile(path), path, spectrumIndex);
}

void ImportResult::fill(FitJob& job, bool newJob) const
{
    if (newJob) {
        // Ready to fit: a limit the fits of a few dozen parameters stay far
        // below, and each value weighted by the modulus of its measured
        // impedance, which suits data spanning decades of |Z|.
        job.MAXFEV = kImportedMaxfev;
        job.IRCH = kImportedIrch;
    }
    job.releaseData();
    job.allocateData(int(freq.size()), job.IRCH == 0);
    *job.FREQ = freq;
    *job.DATA1 = re;
    *job.DATA2 = im;
    // Weight lines cannot be known for new data: proportional ones (weights
    // of zeros would leave every value out of the fit).
    if (job.IRCH == 0)
        job.weightsFromData();
    job.FREEQ = 'F';
    job.DINP = 'Z';
    job.PINP = 'R';
    job.NEG = ' ';
    const size_t slash = file.find_last_of('/');
    std::string description = "Imported from " + (slash == std::string::npos ? file : file.substr(slash + 1));
    if (spectrumCount > 1)
        description += ", spectrum " + std::to_string(spectrumIndex + 1);
    // The values alone: a description holds 81 characters.
    if (const std::string said = metadataText(metadata, {"technique", "date", "potential", "temperature"}, false);
        !said.empty())
        description += ": " + said;
    job.description = description.substr(0, 81);
}

std::string ImportResult::summary() const
{
    std::string s = format + ": " + std::to_string(rowsRead) + " rows read, " + std::to_string(rowsSkipped) + " skipped";
    if (!freq.empty()) {
        const auto [lo, hi] = std::minmax_element(freq.begin(), freq.end());
        s += ", " + hzText(*lo) + " to " + hzText(*hi);
    }
    if (spectrumCount > 1)
        s += ", spectrum " + std::to_string(spectrumIndex + 1) + " of " + std::to_string(spectrumCount);
    if (decimalCommas)
        s += " (decimal commas)";
    if (const std::string said = metadataText(metadata); !said.empty())
        s += "\n" + said;
    if (!note.empty())
        s += "\n" + note;
    return s;
}

std::vector<FileFilter> instrumentFileFilters()
{
    // Instruments write their extensions in either case ("cell.DTA").
    auto both = [](const std::string& extensions) {
        std::string patterns;
        size_t at = 0;
        while (at < extensions.size()) {
            size_t end = extensions.find(' ', at);
            if (end == std::string::npos)
                end = extensions.size();
            const std::string e = extensions.substr(at, end - at);
            std::string upper = e;
            for (char& ch : upper)
                ch = char(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
            if (patterns.find("*." + e + ";") == std::string::npos && !patterns.ends_with("*." + e))
                patterns += std::string(patterns.empty() ? "" : ";") + "*." + e + ";*." + upper;
            at = end + 1;
        }
        return patterns;
    };
    std::string all, shown;
    std::vector<FileFilter> rows;
    for (const formats::InstrumentFormat& f : formats::instrumentFormats()) {
        all += std::string(all.empty() ? "" : " ") + f.extensions;
        if (f.filter)
            rows.push_back({f.filter, both(f.extensions)});
    }
    // The first row names the extensions each family is known by.
    for (const char* e : {"csv", "txt", "dta", "mpt", "z", "par", "mpr", "ism", "fra"})
        shown += std::string(shown.empty() ? "" : " ") + "*." + e;
    rows.insert(rows.begin(), {"Instrument files (" + shown + ")", both(all)});
    rows.push_back({"All files (*.*)", "*"});
    return rows;
}

std::string readyToFitText()
{
    return "Ready to fit: at most " + std::to_string(kImportedMaxfev) + " evaluations (MAXFEV) and weighting by |Z| (IRCH " +
           std::to_string(kImportedIrch) + "), both on \"Fitting options\".";
}

bool importInstrument(FitJob& job, Prompt& prompt, SpectrumChooser& chooser, const RefreshPages& refresh, bool newJob)
{
    FileRequest request;
    request.title = "Import instrument file";
    request.filters = instrumentFileFilters();
    auto path = prompt.openFile(request);
    if (!path)
        return false;
    ImportResult result;
    try {
        const InstrumentFile file = readInstrumentFile(*path);
        int index = 0;
        if (file.spectra.size() > 1) {
            auto chosen = chooser.chooseSpectrum(file, *path);
            if (!chosen)
                return false;
            index = *chosen;
        }
        result = selectSpectrum(file, *path, index);
    } catch (const exception& e) {
        const size_t slash = path->find_last_of('/');
        const std::string name = slash == std::string::npos ? *path : path->substr(slash + 1);
        throw exception("Cannot import %s:\n%s", name.c_str(), e.what());
    }
    result.fill(job, newJob);
    if (refresh)
        refresh();
    prompt.message(result.summary() + (newJob ? "\n" + readyToFitText() : std::string()), "Import instrument file",
                   Buttons::Ok, Icon::Information);
    return true;
}

} // namespace nosk
