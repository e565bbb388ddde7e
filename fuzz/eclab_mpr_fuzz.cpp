// Feeds arbitrary bytes to the EC-Lab .mpr reader: it must answer with its
// message or with spectra whose columns match and hold finite values at
// frequencies above 0, and never read past the bytes or allocate more than
// they justify (libFuzzer's -malloc_limit_mb catches that).
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
        const nosk::InstrumentFile file = nosk::parseInstrumentFile(bytes, "x.mpr");
        if (file.spectra.empty())
            __builtin_trap();
        for (const nosk::ImportedSpectrum& s : file.spectra) {
            if (s.freq.empty() || s.re.size() != s.freq.size() || s.im.size() != s.freq.size())
                __builtin_trap();
            for (size_t i = 0; i < s.freq.size(); ++i)
                if (!(s.freq[i] > 0) || !std::isfinite(s.freq[i]) || !std::isfinite(s.re[i]) || !std::isfinite(s.im[i]))
                    __builtin_trap();
        }
    } catch (const nosk::exception&) {
    }
    return 0;
}
