// Feeds arbitrary bytes to the Solartron .fra block reader.
#include "core/Exception.h"
#include "results/SolartronFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const nosk::SolartronFile file =
            nosk::SolartronFile::parse(std::string_view(reinterpret_cast<const char*>(data), size));
        for (const nosk::SolartronBlock& block : file.blocks)
            (void)nosk::SolartronFile::blockDescription(block);
    } catch (const nosk::exception&) {
    }
    return 0;
}
