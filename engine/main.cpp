// noskwin: the bundled CNLS engine. Started in the work folder with no
// argument or with "S" (stay: wait for Enter at the end when run in a
// terminal). Reads INFL, writes PNTOUTL, AUXPNTL and OUTIN.
#include "core/WorkFolderLock.h"
#include "engine/EngineRun.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    const bool stay = argc == 2 && std::strcmp(argv[1], "S") == 0;
    if (argc > 2 || (argc == 2 && !stay)) {
        std::cerr << "usage: noskwin [S]\n"
                     "  runs the job of INFL in the current folder; S waits for Enter at the end\n";
        return 1;
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
    const int status = nosk::engine::runEngine(std::cout, std::cerr);
    lock.unlock();
    if (stay && ::isatty(STDIN_FILENO)) {
        std::cout << "Press Enter to close" << std::endl;
        std::string line;
        std::getline(std::cin, line);
    }
    return status;
}
