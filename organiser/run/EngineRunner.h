#pragma once

#include "core/Exception.h"
#include "core/Reason.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdint>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace nosk {

// What the status line adds when "Load OUTIN file after fitting stops." is
// on but the job's IRE keeps OUTIN from being loaded.
inline constexpr char kOutinNotLoaded[] =
    "; not loaded: \"Load OUTIN file after fitting stops.\" acts only when Residual weighting (IRE) is below 0";

class FitJob;
class Timer;
class WorkFolderLock;

// How a run ended, in words for the user.
struct RunEnd {
    enum class Kind { Finished, Failed, Stopped };
    Kind kind = Kind::Finished;
    // The status line: "Fit finished: S = ..., n function evaluations" with
    // the test that was met, and where the fitted values are; "Fit ended
    // early (stopped at MAXFEV): ..." for a fit that did not converge;
    // "Fit stopped." when the user stopped it.
    std::string status;
    // For a failed run: "Fitting process failed!", the engine's reason and,
    // when the reason names a parameter or a field, where to change it. For
    // a finished run: what went wrong after it (solartron.fra not written).
    std::string message;
    // For a finished fit: every free parameter that is undetermined or at a
    // bound or limit, and what the others' std devs are conditional on
    // (parameterNote, results/FitStatistics.h); empty when all are determined.
    std::string parameters;
    // The fitted parameters are to be loaded from OUTIN (IRE < 0 and the
    // option to load them is on).
    bool reloadOutin = false;
    // The engine's reason line: why it refused the job, or how the fit
    // ended (kind None from an engine that writes none).
    Reason reason;
    // Results were read, but the fit ended before one of its convergence
    // tests was met.
    bool endedEarly() const { return kind == Kind::Finished && reason && !reason.normalEnd(); }
};

// Why the engine could not be started: the text ("Cannot run NOSK!" with the
// engine file tried and why) and the bundled engine to offer instead.
class StartFailure : public exception {
public:
    explicit StartFailure(std::string message, std::string bundled = {})
        : exception(Text{}, std::move(message)), bundledEngine(std::move(bundled))
    {
    }

    std::string bundledEngine;  // empty when there is none to offer
};

// Holds one run of the engine while it lasts: the work folder's lock, the
// engine's process, the timer that watches it and its progress line; reads
// the results at the end and tells its owner how the run ended. Who starts a
// run goes through run::startRun (RunSequence.h).
class EngineRunner {
public:
    struct Settings {
        // Run in the foreground of a terminal (the headless run): no
        // arguments, the console output inherited. Otherwise the engine's
        // console output is appended to NOSKWIN.LOG (and shown in a terminal
        // window when there is one).
        bool foreground = false;
        bool closeEngineWindow = false;
        std::string terminal;  // a terminal emulator; empty for none
        bool loadOutinAfterRun = false;
        bool notifyViewer = false;
        std::string program;  // the engine to run; empty: the usual look-up
        int pollIntervalMs = 1000;  // how often the engine is looked at
        int starts = 1;  // the engine's search from this many starts (--starts)
        std::vector<std::string> engineOptions;  // further arguments (run::intervalArguments)
    };

    explicit EngineRunner(std::unique_ptr<Timer> timer);
    ~EngineRunner();

    // The watch timer (ticks once a second while the engine runs).
    void setTimer(std::unique_ptr<Timer> timer);
    Timer& timer() { return *m_timer; }

    // Why the engine would refuse the job, with what to change; empty when it
    // can run. Nothing is written.
    static std::string checkJob(const FitJob& job);
    // The hint for an engine's reason: where the parameter, field, data row,
    // DE or circuit line it names is changed; empty when it names none.
    static std::string hintFor(const Reason& reason, const FitJob& job);

    // Takes the work folder's lock for a run, waiting for another run to end
    // when `waiting` is given (it is told once why it waits); throws a
    // nosk::exception naming the other run when the folder is busy. The
    // lock is held until the run has ended (the engine shares it), or until
    // releaseFolder(). writeInput() and start() take it when it is not held.
    // `stop`: given, a wait for the lock ends (throwing) once it is true.
    void lockFolder(const std::string& purpose, const std::function<void(const std::string&)>& waiting = {},
                    const std::atomic<bool>* stop = nullptr);
    void releaseFolder();
    // Deletes the last run's output and writes INFL and ADD.BIN; throws
    // nosk::exception when they cannot be written.
    void writeInput(const FitJob& job);
    // Starts the engine on the input written; throws StartFailure when it
    // cannot be started. The job must stay alive until the run has ended.
    // The engine's earlier OUTIN is deleted first, so that only this run's
    // parameters can be read after it.
    void start(const FitJob& job, const Settings& settings);
    // Asks the running engine to end; the end is reported as "stopped".
    void stop();
    // Passes a signal the organiser received on to the engine (which runs in
    // a session of its own); the end is reported as "stopped".
    void forward(int sig);

    bool running() const { return m_engine != nullptr; }
    // Seconds since the start of the running engine.
    double elapsedSeconds() const;
    // The latest line the engine wrote to NOSKWIN.LOG during this run.
    const std::string& progressLine() const { return m_progress; }
    // "Fitting ... 12 s: <latest line>" while running.
    std::string runningStatus() const;

    // One look at the engine (the timer's tick): reports progress while it
    // runs, and finishes the run once it has ended.
    void poll();

    // Called on every tick while the engine runs.
    std::function<void()> onProgress;
    // Called once when the run has ended, after the results were read.
    std::function<void(const RunEnd&)> onEnd;

private:
    void readProgress();
    void finish(int exitCode);

    std::unique_ptr<Timer> m_timer;
    std::unique_ptr<WorkFolderLock> m_lock;
    std::unique_ptr<ChildProcess> m_engine;
    const FitJob* m_job = nullptr;
    Settings m_settings;
    std::chrono::steady_clock::time_point m_started;
    std::uintmax_t m_logOffset = 0;
    std::string m_progress;
    bool m_stopRequested = false;
};

} // namespace nosk
