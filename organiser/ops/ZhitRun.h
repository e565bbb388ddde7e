#pragma once

#include "analysis/zhit/Zhit.h"
#include "core/WorkFolderFiles.h"
#include "ops/KramersKronigRun.h"

#include <string>

namespace nosk::zhitrun {

constexpr const char* kTableFile = workfiles::kZhitTable;

// The lines printed for a finished Z-HIT test: points and range, where the
// offset was fitted, the RMS and the largest deviation with its frequency,
// and the verdict ("Verdict: ...").
std::string summary(const kkrun::Spectrum& spectrum, const zhit::Result& result);

// Tests the data and writes the table (ZHITTEST format) to `tablePath`
// safely. Throws nosk::exception for data the test refuses or a table that
// cannot be written.
// `head` (the table's stamp line, job/DataStamp.h) goes before the table.
zhit::Result runAndWrite(const kkrun::Spectrum& spectrum, const std::string& tablePath, const std::string& head = {});

} // namespace nosk::zhitrun
