// Feeds arbitrary bytes to the PNTOUTL reader: it must end with the
// statistics or a nosk::exception, never crash, hang or run out of memory.
#include "core/Exception.h"
#include "results/PntoutlReader.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    nosk::FitStatistics statistics;
    try {
        nosk::readPntoutl(in, statistics);
    } catch (const nosk::exception&) {
    }
    return 0;
}
