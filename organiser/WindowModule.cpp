// The entry of noskrun_window.so: the window program and every command that
// needs Qt or the engine, opened by noskrun (main.cpp) when asked for them.

#include "COrganiserApp.h"

extern "C" __attribute__((visibility("default"))) int nosk_organiser_main(int argc, char** argv)
{
    nosk::COrganiserApp app;
    return app.run(argc, argv);
}
