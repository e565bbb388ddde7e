#pragma once

#include "analysis/kk/KramersKronig.h"
#include "core/WorkFolderFiles.h"
#include "ops/Spectrum.h"

#include <complex>
#include <string>
#include <vector>

namespace nosk {

// The Kramers-Kronig test of a job's data lines, as the organiser runs it.
namespace kkrun {

constexpr const char* kTableFile = workfiles::kKkTable;

// The spectrum type and the job's spectrum live in ops/Spectrum.h; the
// window's code still names them here.
using Spectrum = nosk::Spectrum;
using nosk::spectrumOf;

// The lines printed for a finished test: points and range, M and mu (and
// how M was chosen), the representation, the RMS and the largest residual of
// each part with its frequency, and the verdict ("Verdict: ...").
std::string summary(const Spectrum& spectrum, const kk::Result& result, const kk::Options& options);

// Tests the data and writes the table (KKTEST format) to `tablePath` safely.
// Throws nosk::exception for data the test refuses or a table that cannot
// be written.
// `head` (the table's stamp line, job/DataStamp.h) goes before the table.
kk::Result runAndWrite(const Spectrum& spectrum, const kk::Options& options, const std::string& tablePath,
                       const std::string& head = {});

} // namespace kkrun
} // namespace nosk
