#include "CViewerApp.h"

int main(int argc, char** argv)
{
    nosk::CViewerApp app;
    return app.run(argc, argv);
}
