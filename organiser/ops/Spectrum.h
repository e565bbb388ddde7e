#pragma once

#include <complex>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nosk {

class FitJob;
struct InstrumentFile;

// What a file says about its measurement, as name/value pairs in the order
// the file gives them: "technique", "date", "potential", "current",
// "temperature", "time", "system", "comment", "electrode area", ...
using Metadata = std::vector<std::pair<std::string, std::string>>;

// One impedance spectrum, whatever file it came from: ordinary frequency
// (Hz) and Z = Z' + jZ'' in ohm, and what the file says about it.
struct Spectrum {
    std::vector<double> frequencyHz;
    std::vector<std::complex<double>> z;
    Metadata metadata;

    // The value of a metadata entry, empty when the file does not name it.
    std::string meta(std::string_view name) const;
};

// "technique PEIS; date 02/04/18": the entries on one line (only those
// named in `only` when it names any; "PEIS; 02/04/18" without `names`),
// empty for none.
std::string metadataText(const Metadata& metadata, std::initializer_list<std::string_view> only = {},
                         bool names = true);

// A job file (.TST, any case) rather than an instrument file.
bool isJobFile(const std::string& path);

// A job's data as impedance in Hz, whatever level, format, frequency form
// and sign its data lines have. Throws nosk::exception when the job has no
// complex data lines.
Spectrum spectrumOf(const FitJob& job);

// The one loader of spectra: a job file (.TST) as one spectrum (format
// "job", its description the label), every other file through the
// instrument formats (text tables, Solartron .fra, EC-Lab .mpr, Zahner
// .ism). Throws nosk::exception with the reason.
InstrumentFile readSpectrumFile(const std::string& path);

// Spectrum `index` (from 0) of a file read before, with the file's metadata.
// Throws nosk::exception when there is no such spectrum.
Spectrum spectrumAt(const InstrumentFile& file, int index);

// readSpectrumFile and spectrumAt in one step; `summary` receives the
// importer's summary line of an instrument file (nothing for a job).
Spectrum loadSpectrum(const std::string& path, int index = 0, std::string* summary = nullptr);

} // namespace nosk
