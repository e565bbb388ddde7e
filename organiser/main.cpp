// noskrun. The analyses that need neither a window nor the engine (--kk,
// --zhit, --drt: the analysis table), the circuit suggestion (--suggest,
// --batch --suggest) and --help run here without loading Qt, whose libraries take
// longer to load than these analyses take to run; everything else is the
// window program (COrganiserApp) in the module noskrun_window.so, opened
// only then. The module lies beside this program in the build tree and in
// the installed library folder (NOSK_WINDOW_RELDIR, relative to the
// program's folder); a copy of the program elsewhere finds the one installed
// under the configured prefix (NOSK_WINDOW_INSTALLED).

#include "Analyses.h"
#include "CommandLine.h"
#include "HeadlessCommands.h"
#include "SuggestCommand.h"
#include "core/DataFiles.h"
#include "core/WorkFolderLock.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <exception>
#include <cstdio>
#include <string>
#include <vector>

#ifndef NOSK_WINDOW_RELDIR
#define NOSK_WINDOW_RELDIR "../lib/nosk"
#endif

namespace {

constexpr const char* kWindowModule = "noskrun_window.so";

int runWindowProgram(int argc, char** argv)
{
    std::vector<std::string> candidates;
    const std::string folder = nosk::datafiles::programDir();
    if (!folder.empty()) {
        candidates.push_back(folder + "/" + kWindowModule);
        candidates.push_back(folder + "/" NOSK_WINDOW_RELDIR "/" + kWindowModule);
    }
#ifdef NOSK_WINDOW_INSTALLED
    candidates.push_back(std::string(NOSK_WINDOW_INSTALLED "/") + kWindowModule);
#endif
    std::string error = std::string(kWindowModule) + " was not found";
    for (const std::string& path : candidates) {
        // Never closed: the window program runs until the process ends.
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            // A module that is there but cannot be loaded says why.
            if (::access(path.c_str(), F_OK) == 0)
                if (const char* e = ::dlerror())
                    error = e;
            continue;
        }
        using Entry = int (*)(int, char**);
        if (auto entry = reinterpret_cast<Entry>(::dlsym(handle, "nosk_organiser_main")))
            return entry(argc, argv);
        error = path + ": not the window module of this noskrun";
    }
    std::fprintf(stderr, "noskrun: cannot start the window program: %s\n", error.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    using nosk::CommandLine;
    CommandLine cl;
    try {
        cl = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "noskrun: %s\n\n%s", e.what(), CommandLine::usage());
        return 2;
    }
    if (cl.mode == CommandLine::Mode::Run) {
        // --run handles SIGINT, SIGTERM and SIGHUP from here on: held back
        // while the window module loads, taken by the run's own catcher as
        // soon as it is installed (before the job is read).
        sigset_t held;
        sigemptyset(&held);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&held, sig);
        ::sigprocmask(SIG_BLOCK, &held, nullptr);
    }
    if (cl.mode == CommandLine::Mode::Help) {
        std::fputs(CommandLine::usage(), stdout);
        return 0;
    }
    if (const nosk::analyses::Analysis* analysis = nosk::analyses::ofMode(cl.mode)) {
        // A write beyond the file-size limit fails and is reported instead of
        // killing the program; what killed runs of ours left behind goes.
        std::signal(SIGXFSZ, SIG_IGN);
        nosk::sweepStaleTemporaries(".");
        return nosk::runAnalysisCommand(*analysis, cl.file, nosk::analyses::settingsOf(cl));
    }
    // The circuit suggestion needs the engine's library, not the window.
    if (cl.mode == CommandLine::Mode::Suggest)
        return nosk::runSuggestCommand(cl);
    if (cl.mode == CommandLine::Mode::Batch && cl.suggest)
        return nosk::runBatchSuggestCommand(cl);
    return runWindowProgram(argc, argv);
}
