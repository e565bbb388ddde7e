// noskwin: the bundled CNLS engine. Started in the work folder with no
// argument or with "S" (stay: wait for Enter at the end when run in a
// terminal). Reads INFL, writes PNTOUTL, AUXPNTL and OUTIN.
#include "engine/EngineRun.h"

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
    const int status = nosk::engine::runEngine(std::cout, std::cerr);
    if (stay && ::isatty(STDIN_FILENO)) {
        std::cout << "Press Enter to close" << std::endl;
        std::string line;
        std::getline(std::cin, line);
    }
    return status;
}
