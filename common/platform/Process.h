#pragma once

#include <memory>
#include <string>
#include <vector>

namespace nosk {

// What to start: a program (a path, or a bare name looked up in PATH), its
// arguments, the folder it runs in and where its console output goes.
struct ProcessSpec {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory;  // empty: the current folder
    std::string outputFile;        // empty: inherit; else stdout and stderr go there (created anew)
    // A descriptor the program keeps (the work folder's lock), -1 for none,
    // and variables added to its environment ("NAME=value").
    int keepDescriptor = -1;
    std::vector<std::string> environment;
};

// A started program that the caller polls; it is never waited for blocking.
// Dropping the object neither kills nor waits for the program.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // Looks at the program once: true while it runs.
    virtual bool running() = 0;
    // The exit status once running() has returned false; a program killed by
    // a signal gives 128 + the signal number.
    virtual int exitCode() const = 0;
    virtual long pid() const = 0;
    // Asks the program and everything it started (its session) to end
    // (SIGTERM); running() then reports its end.
    virtual void terminate() = 0;
    // Passes a signal on to the program and everything it started.
    virtual void signal(int sig) { (void)sig; terminate(); }
};

// Starts programs. The organiser's run and launch commands go through this,
// so tests can hand in a launcher of their own.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // The running program, or nullptr with error set to the system's error
    // number (ENOENT for a program that does not exist).
    virtual std::unique_ptr<ChildProcess> start(const ProcessSpec& spec, int& error) = 0;
    // Starts a program in a session of its own without keeping it; false with
    // error set when it cannot be started.
    virtual bool startDetached(const ProcessSpec& spec, int& error) = 0;
};

// The launcher of the programs: posix_spawn, so that a program that cannot
// be executed reports its error number at once.
class PosixProcessLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> start(const ProcessSpec& spec, int& error) override;
    bool startDetached(const ProcessSpec& spec, int& error) override;
};

} // namespace nosk
