// Feeds arbitrary bytes to the series result's reader (and what it read to
// the picture's numbers): it must end with the result or a
// nosk::exception, never crash, hang or run out of memory.
#include "core/Exception.h"
#include "results/SeriesCurve.h"
#include "results/SeriesResultReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const nosk::SeriesResultFile r =
            nosk::parseSeriesResult(std::string(reinterpret_cast<const char*>(data), size));
        for (const std::string& name : r.parameters)
            nosk::seriesPlotData(r, name, 8);
    } catch (const nosk::exception&) {
    }
    return 0;
}
