#pragma once

#include "core/WorkFolderFiles.h"
#include "job/Starts.h"

#include <cstddef>
#include <string>

namespace nosk {

// The organiser's program options, kept in NOSKRUN.OPT in the work folder:
// the values as 32-bit little-endian signed integers in this order, no
// header: 28 bytes, then the series dialog's choices when there are any.
// The first four make the 16-byte file of earlier versions, which read
// those and ignore the rest; a 16-byte file keeps the default number of
// starts, a 20-byte file no intervals.
struct RunOptions {
    int closeEngineWindow = 0;   // 1: the engine closes its window when done
    int notifyViewer = 1;        // broadcast "NOSK_COMM" after a run
    int loadOutinAfterRun = 1;   // reload OUTIN after a run when IRE < 0
    int promptStoreOutin = 0;    // offer to keep the old OUTIN before a run
    int starts = kDefaultStarts; // the budget of the engine's search from several starts (1: one fit)
    int intervals = 0;           // the engine's intervals: 0 none, 1 profile, 2 bootstrap
    int intervalLevel = 950;     // their level in thousandths (500 to 999)
    // The last choices of Run -> "Fit series..." (lines NAME=VALUE), after
    // the integers as a 32-bit length and the bytes; none while empty, so
    // the file stays 28 bytes until a series is fitted.
    std::string seriesChoices;

    // The search stops as soon as three runs agree, so a large budget costs
    // only the problems that need it (README, "Several starts").
    static constexpr int kDefaultStarts = 64;
    static constexpr int kMaxStarts = nosk::kMaxStarts;
    static constexpr std::size_t kMaxSeriesChoices = 32768;
    static constexpr const char* kFileName = workfiles::kOrganiserOptions;

    // Values the file does not hold keep their current value; a missing or
    // unreadable file changes nothing and reports nothing.
    void read(const std::string& path = kFileName);
    // Returns false when the file cannot be written (the caller stays silent).
    bool write(const std::string& path = kFileName) const;
};

} // namespace nosk
