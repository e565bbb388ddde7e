#pragma once

#include "GraphSettings.h"

namespace nosk {

// The program: the graph settings kept in NOSKVIEW.OPT, the main window run
// modally, and the headless image export.
class CViewerApp {
public:
    // Runs the program on its command line; returns the exit status.
    int run(int argc, char** argv);

    GraphSettings settings;

    static const char* usage();
};

} // namespace nosk
