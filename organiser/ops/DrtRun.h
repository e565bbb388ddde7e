#pragma once

#include "analysis/drt/Drt.h"
#include "core/WorkFolderFiles.h"
#include "ops/KramersKronigRun.h"

#include <string>

namespace nosk {

// The distribution of relaxation times of a job's data lines, as the
// organiser computes it (the data as Z in Hz, see kkrun::spectrumOf).
namespace drtrun {

constexpr const char* kTableFile = workfiles::kDrtTable;

// The peak table: tau, frequency, area, one line per peak.
std::string peakTable(const drt::Result& result);

// The lines printed for a finished DRT: points and range, lambda, the series
// terms, the residual and the peak table.
std::string summary(const kkrun::Spectrum& spectrum, const drt::Result& result);

// Computes the DRT and writes the table to `tablePath` safely. Throws
// nosk::exception for data the method refuses or a table that cannot be
// written.
// `head` (the table's stamp line, job/DataStamp.h) goes before the table.
drt::Result runAndWrite(const kkrun::Spectrum& spectrum, const drt::Options& options, const std::string& tablePath,
                        const std::string& head = {});

} // namespace drtrun
} // namespace nosk
