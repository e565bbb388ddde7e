// noskwin: the bundled CNLS engine. Started in the work folder with no
// argument, with "S" (stay: wait for Enter at the end when run in a
// terminal) and/or "--starts N" (the best of N fits from N starts). Reads
// INFL, writes PNTOUTL, AUXPNTL and OUTIN.
#include "core/WorkFolderLock.h"
#include "engine/EngineRun.h"

#include <charconv>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kMaxStarts = 10000;

int usage()
{
    std::cerr << "usage: noskwin [S] [--starts N]\n"
                 "  runs the job of INFL in the current folder; S waits for Enter at the end;\n"
                 "  --starts N fits from the job's start values and N-1 further starts and keeps the\n"
                 "  lowest S (1 to "
              << kMaxStarts << ", default 1)\n";
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    bool stay = false;
    int starts = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "S") == 0 && !stay) {
            stay = true;
        } else if (std::strcmp(argv[i], "--starts") == 0 && i + 1 < argc) {
            const char* text = argv[++i];
            const char* end = text + std::strlen(text);
            auto [ptr, ec] = std::from_chars(text, end, starts);
            if (ec != std::errc() || ptr != end || starts < 1 || starts > kMaxStarts)
                return usage();
        } else {
            return usage();
        }
    }
    // A file-size limit makes a write fail ("Cannot write file") instead of
    // killing the engine halfway through its outputs.
    std::signal(SIGXFSZ, SIG_IGN);
    // One run at a time in the folder; the organiser hands its lock down.
    nosk::WorkFolderLock lock;
    if (!lock.tryLockOrInherit("noskwin")) {
        std::cerr << (lock.error().empty() ? lock.busyMessage() + " Run the engine when it has finished."
                                           : lock.error())
                  << '\n';
        return 1;
    }
    const int status = nosk::engine::runEngine(std::cout, std::cerr, starts);
    lock.unlock();
    if (stay && ::isatty(STDIN_FILENO)) {
        std::cout << "Press Enter to close" << std::endl;
        std::string line;
        std::getline(std::cin, line);
    }
    return status;
}
