#pragma once

#include <atomic>
#include <initializer_list>
#include <vector>

namespace nosk {

// Catches termination signals (Ctrl+C, kill, a closed terminal) for as long
// as it lives, so that a headless command can finish cleanly: pass them on to
// the engine, keep its table, remove its temporary folders. One at a time;
// the signals' earlier handling comes back when it is destroyed. Signals
// the process held back (blocked) are let through once the handler is in
// place, so one that came meanwhile is caught, never lost.
class SignalCatcher {
public:
    explicit SignalCatcher(std::initializer_list<int> caught);
    ~SignalCatcher();
    SignalCatcher(const SignalCatcher&) = delete;
    SignalCatcher& operator=(const SignalCatcher&) = delete;

    // The signal received since the last take(), 0 for none; clears it.
    int take() const;
    // The first signal received, 0 for none.
    int first() const;
    // Set once any signal has been received.
    const std::atomic<bool>& received() const;
};

// Ignores SIGXFSZ: a write beyond the file-size limit then fails with EFBIG
// and is reported as "Cannot write file", instead of killing the program.
void ignoreFileSizeSignal();

} // namespace nosk
