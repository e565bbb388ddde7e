#pragma once

#include "analysis/kk/KramersKronig.h"
#include "core/WorkFolderFiles.h"

#include <complex>
#include <string>
#include <vector>

namespace nosk {

class FitJob;

// The Kramers-Kronig test of a job's data lines, as the organiser runs it.
namespace kkrun {

constexpr const char* kTableFile = workfiles::kKkTable;

// A job's data as impedance: ordinary frequency (Hz) and Z in rectangular
// form, whatever level, format, frequency form and sign the data lines have.
struct Spectrum {
    std::vector<double> frequencyHz;
    std::vector<std::complex<double>> z;
};

// A job file (.TST, any case) rather than an instrument file.
bool isJobFile(const std::string& path);

// Throws nosk::exception when the job has no complex data lines.
Spectrum spectrumOf(const FitJob& job);

// The spectrum of a job file (.TST) or of an instrument file (its first
// spectrum); `imported` receives the importer's summary line for the
// latter. Throws what loading or importing throws.
Spectrum spectrumOfFile(const std::string& path, std::string* imported = nullptr);

// The lines printed for a finished test: points and range, M and mu (and
// how M was chosen), the representation, the RMS and the largest residual of
// each part with its frequency, and the verdict ("Verdict: ...").
std::string summary(const Spectrum& spectrum, const kk::Result& result, const kk::Options& options);

// Tests the data and writes the table (KKTEST format) to `tablePath` safely.
// Throws nosk::exception for data the test refuses or a table that cannot
// be written.
kk::Result runAndWrite(const Spectrum& spectrum, const kk::Options& options, const std::string& tablePath);

} // namespace kkrun
} // namespace nosk
