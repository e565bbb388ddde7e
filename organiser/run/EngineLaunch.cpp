#include "EngineLaunch.h"

#include "EngineOutputs.h"
#include "Locations.h"
#include "core/WorkFolderFiles.h"
#include "model/Circuit.h"
#include "engine/StartGuess.h"
#include "core/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "job/SideFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace nosk::run {

bool runnable(const FitJob& job)
{
    return job.M != 0 && job.N > 0 && job.FREQ && job.DATA1 && job.DATA2;
}

std::string notRunnableReason(const FitJob& job)
{
    if (runnable(job))
        return {};
    std::string what;
    if (job.M == 0 || !job.FREQ || !job.DATA1 || !job.DATA2)
        what = "the job has no data lines (M = " + std::to_string(job.M) + "; load data or set M on the \"Data lines\" page)";
    else
        what = "the job has no parameters (N = " + std::to_string(job.N) + "; set N on the \"Fitting options\" page)";
    return "Can not run this TEST configuration: " + what + "!";
}

void writeInput(const FitJob& job)
{
    // The new input first: when it cannot be written (a full disk), the old
    // INFL keeps its results and nothing of the last run is lost. Only then
    // go the old results, ADD.BIN with them, and the new ADD.BIN follows.
    job.save(workfiles::kInput, AtomicFileWriter::Links::Replace);
    ClearDirectory();
    writeSideFile(job.xVariable, job.xVariable);
}

std::vector<std::string> startsArguments(int starts)
{
    if (starts <= 1)
        return {};
    return {"--starts", std::to_string(starts)};
}

std::vector<std::string> intervalArguments(int method, int levelThousandths)
{
    if (method != 1 && method != 2)
        return {};
    char level[16];
    std::snprintf(level, sizeof level, "%.3g", levelThousandths / 1000.0);
    return {"--intervals", method == 1 ? "profile" : "bootstrap", "--level", level};
}

std::vector<std::string> engineArguments(bool closeEngineWindow, int starts)
{
    std::vector<std::string> args = startsArguments(starts);
    if (!closeEngineWindow)
        args.insert(args.begin(), "S");
    return args;
}

std::string resolveProgram(const std::string& program, int& error)
{
    error = 0;
    if (program.find('/') != std::string::npos) {
        if (::access(program.c_str(), X_OK) == 0)
            return program;
        error = errno;
        return {};
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    int firstError = ENOENT;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (dir.empty())
            dir = ".";
        std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (errno != ENOENT && firstError == ENOENT)
            firstError = errno;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    error = firstError;
    return {};
}

std::string terminalProgram()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        return {};
    for (const char* name : {"x-terminal-emulator", "xterm"}) {
        int error = 0;
        std::string p = resolveProgram(name, error);
        if (!p.empty())
            return p;
    }
    return {};
}

ProcessSpec engineSpec(const std::string& engine, bool closeEngineWindow, const std::string& terminal, int starts,
    const std::vector<std::string>& extra)
{
    ProcessSpec spec;
    std::vector<std::string> args = engineArguments(closeEngineWindow, starts);
    args.insert(args.end(), extra.begin(), extra.end());
    if (!terminal.empty()) {
        // The console shows the output and the log keeps it.
        spec.program = terminal;
        spec.arguments = {"-e", "/bin/sh", "-c", std::string("\"$0\" \"$@\" 2>&1 | tee -a ") + kLogFile, engine};
        spec.arguments.insert(spec.arguments.end(), args.begin(), args.end());
        return spec;
    }
    // No console: the shell replaces itself by the engine, so the exit status
    // is the engine's, and the engine's output is kept run after run.
    spec.program = "/bin/sh";
    std::string command = "exec \"$0\" \"$@\" </dev/null >>";
    command.append(kLogFile).append(" 2>&1");
    spec.arguments = {"-c", command, engine};
    spec.arguments.insert(spec.arguments.end(), args.begin(), args.end());
    return spec;
}

std::string guessIntoJob(FitJob& job, int starts)
{
    const model::CircuitLibrary circuits = model::CircuitLibrary::withOverrides(workfiles::kCircuits);
    const engine::GuessOutcome guess = engine::guessStartValues(job, &circuits, starts);
    int changed = 0;
    for (int i = 0; i < job.N; ++i) {
        if (guess.job.P[i] != job.P[i])
            ++changed;
        job.P[i] = guess.job.P[i];
    }
    char text[200];
    std::snprintf(text, sizeof text,
        "New start values of %d free parameters from the data: S = %.6E there; %d of %d starts of the search "
        "reached it.",
        changed, guess.S, guess.reached, guess.starts);
    return text;
}

} // namespace nosk::run
