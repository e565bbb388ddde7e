#include "ops/Spectrum.h"

#include "core/Exception.h"
#include "job/FitJob.h"
#include "job/Immittance.h"
#include "ops/InstrumentImport.h"

#include <algorithm>
#include <cctype>

namespace nosk {

std::string Spectrum::meta(std::string_view name) const
{
    for (const auto& [key, value] : metadata)
        if (key == name)
            return value;
    return {};
}

std::string metadataText(const Metadata& metadata, std::initializer_list<std::string_view> only, bool names)
{
    std::string text;
    for (const auto& [key, value] : metadata) {
        if (value.empty() || (only.size() && std::find(only.begin(), only.end(), key) == only.end()))
            continue;
        // Values may hold commas ("0.0255V, Ampl: 10mV"): semicolons between the entries.
        text += (text.empty() ? "" : "; ") + (names ? key + " " : std::string()) + value;
    }
    return text;
}

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

InstrumentFile readSpectrumFile(const std::string& path)
{
    if (!isJobFile(path))
        return readInstrumentFile(path);
    FitJob job;
    job.load(path);
    const Spectrum s = spectrumOf(job);
    InstrumentFile file;
    file.format = "job";
    ImportedSpectrum& one = file.spectra.emplace_back();
    one.label = job.description;
    one.freq = s.frequencyHz;
    for (const std::complex<double>& z : s.z) {
        one.re.push_back(z.real());
        one.im.push_back(z.imag());
    }
    return file;
}

Spectrum spectrumAt(const InstrumentFile& file, int index)
{
    if (index < 0 || index >= int(file.spectra.size()))
        throw exception("There is no spectrum %d in the file (it holds %d).", index + 1, int(file.spectra.size()));
    const ImportedSpectrum& from = file.spectra[size_t(index)];
    Spectrum s;
    s.frequencyHz = from.freq;
    s.z.reserve(from.freq.size());
    for (std::size_t i = 0; i < from.freq.size(); ++i)
        s.z.emplace_back(from.re[i], from.im[i]);
    s.metadata = file.metadata;
    return s;
}

Spectrum loadSpectrum(const std::string& path, int index, std::string* summary)
{
    const InstrumentFile file = readSpectrumFile(path);
    if (summary && file.format != "job")
        *summary = selectSpectrum(file, path, index).summary();
    return spectrumAt(file, index);
}

} // namespace nosk
