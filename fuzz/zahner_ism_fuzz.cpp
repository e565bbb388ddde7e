// Feeds arbitrary bytes to the Zahner .ism reader: it must answer with its
// message or with one spectrum of matching finite columns at frequencies
// above 0 and metadata of printable text, within the memory the bytes
// justify.
#include "ops/InstrumentImport.h"

#include "core/Exception.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const nosk::InstrumentFile file = nosk::parseInstrumentFile(bytes, "x.ism");
        if (file.spectra.size() != 1)
            __builtin_trap();
        const nosk::ImportedSpectrum& s = file.spectra[0];
        if (s.freq.empty() || s.re.size() != s.freq.size() || s.im.size() != s.freq.size())
            __builtin_trap();
        for (size_t i = 0; i < s.freq.size(); ++i)
            if (!(s.freq[i] > 0) || !std::isfinite(s.freq[i]) || !std::isfinite(s.re[i]) || !std::isfinite(s.im[i]))
                __builtin_trap();
        for (const auto& [name, value] : file.metadata)
            for (char c : value)
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
                    __builtin_trap();
    } catch (const nosk::exception&) {
    }
    return 0;
}
