#pragma once

#include "EngineRunner.h"

#include <string>

namespace nosk {

class FitJob;

namespace run {

// The window and "noskrun --run" start the engine through one sequence:
//   1. the job has data to fit (runnable),
//   2. the engine would accept it (EngineRunner::checkJob),
//   3. its input is written (EngineRunner::writeInput),
//   4. the engine starts (EngineRunner::start), and when the chosen engine
//      cannot and the bundled one could, the bundled one if the caller agrees.
// The caller adds what only it does between the steps, and tells the user
// how the sequence ended.
class RunFront {
public:
    virtual ~RunFront() = default;
    // Before the input is written: the terminal run waits here for the
    // work folder's lock. Without it, writing the input takes the lock.
    virtual void beforeInput(EngineRunner&) {}
    // After the input was written, before the engine starts: how to run it.
    virtual EngineRunner::Settings beforeStart() = 0;
    // The engine could not be started and the bundled engine could be run
    // instead: whether to run it.
    virtual bool runBundledInstead(const StartFailure&) { return false; }
};

struct StartOutcome {
    enum class Step {
        Started,      // the engine runs
        NotRunnable,  // no data to fit
        Refused,      // the engine would refuse the job
        NotWritten,   // the input could not be written (or the folder is busy)
        NotStarted,   // the engine could not be started
        Declined,     // the user did not want the bundled engine instead
    };
    Step step = Step::Started;
    // Why the job was not run; for Declined, why the engine did not start.
    std::string message;
    bool started() const { return step == Step::Started; }
};

// Runs the steps above. When the engine did not start, the work folder's
// lock is released again.
StartOutcome startRun(EngineRunner& runner, const FitJob& job, RunFront& front);

} // namespace run
} // namespace nosk
