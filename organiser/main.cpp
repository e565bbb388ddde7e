#include "COrganiserApp.h"

int main(int argc, char** argv)
{
    nosk::COrganiserApp app;
    return app.run(argc, argv);
}
