#pragma once

#include <string>

namespace nosk {

// The organiser's program options, kept in NOSKRUN.OPT in the work folder:
// exactly 16 bytes, the four values as 32-bit little-endian signed integers
// in this order, no header.
struct RunOptions {
    int closeEngineWindow = 0;   // 1: the engine closes its window when done
    int notifyViewer = 1;        // broadcast "NOSK_COMM" after a run
    int loadOutinAfterRun = 1;   // reload OUTIN after a run when IRE < 0
    int promptStoreOutin = 0;    // offer to keep the old OUTIN before a run

    static constexpr const char* kFileName = "NOSKRUN.OPT";

    // Values the file does not hold keep their current value; a missing or
    // unreadable file changes nothing and reports nothing.
    void read(const std::string& path = kFileName);
    // Returns false when the file cannot be written (the caller stays silent).
    bool write(const std::string& path = kFileName) const;
};

} // namespace nosk
