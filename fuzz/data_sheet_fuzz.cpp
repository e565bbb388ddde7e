// Feeds arbitrary bytes to the data-sheet and weights readers: they must
// answer with their message or with rows, never crash or run away.
#include "ops/DataSheetImport.h"

#include "core/Exception.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::istringstream in(bytes);
        try {
            nosk::SheetRows rows = nosk::readDataSheet(in);
            if (rows.freq.empty() || rows.freq.size() != rows.data1.size() || rows.freq.size() != rows.data2.size())
                __builtin_trap();
        } catch (const nosk::exception&) {
        }
    }
    {
        std::istringstream in(bytes);
        const int rows = size == 0 ? 0 : data[0] % 16;
        try {
            nosk::WeightRows w = nosk::readWeights(in, rows);
            if (static_cast<int>(w.weight1.size()) != rows || w.weight2.size() != w.weight1.size())
                __builtin_trap();
        } catch (const nosk::exception&) {
        }
    }
    return 0;
}
