// Feeds arbitrary bytes to the instrument-file importer under each kind of
// file name: it must answer with its message or with spectra whose columns
// match and hold measured (finite) values at frequencies above 0.
#include "ops/InstrumentImport.h"

#include "core/Exception.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const char* const names[] = {"x.csv", "x.z", "x.DTA", "x.mpt", "x.par", "x.txt"};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const char* name = names[size == 0 ? 0 : data[size - 1] % 6];
    try {
        const nosk::InstrumentFile file = nosk::parseInstrumentText(text, name);
        if (file.spectra.empty() || file.format.empty())
            __builtin_trap();
        for (size_t k = 0; k < file.spectra.size(); ++k) {
            const nosk::ImportedSpectrum& s = file.spectra[k];
            if (s.freq.empty() || s.re.size() != s.freq.size() || s.im.size() != s.freq.size())
                __builtin_trap();
            for (size_t i = 0; i < s.freq.size(); ++i)
                if (!(s.freq[i] > 0) || !std::isfinite(s.freq[i]) || !std::isfinite(s.re[i]) || !std::isfinite(s.im[i]))
                    __builtin_trap();
            const nosk::ImportResult r = nosk::selectSpectrum(file, name, int(k));
            if (r.summary().empty())
                __builtin_trap();
        }
    } catch (const nosk::exception&) {
    }
    return 0;
}
