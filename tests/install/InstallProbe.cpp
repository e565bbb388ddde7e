// Copied into an installed bin/ folder by the install test: prints where a
// program installed there finds its help pages and example jobs, using the
// programs' own lookup code.
#include "core/DataFiles.h"

#include <QCoreApplication>

#include <cstdio>

#ifdef NOSK_PROBE_HELP
#include "platform/Help.h"
#endif
#ifdef NOSK_PROBE_EXAMPLES
#include "Locations.h"
#endif

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
#ifdef NOSK_PROBE_HELP
    std::printf("help=%s\n", nosk::HtmlHelp::findHelpFolder().toLocal8Bit().constData());
#endif
#ifdef NOSK_PROBE_EXAMPLES
    std::printf("examples=%s\n", nosk::locations::bundledExamplesDir().c_str());
#endif
    std::printf("circuits=%s\n", nosk::datafiles::find("circuits.txt").c_str());
    return 0;
}
