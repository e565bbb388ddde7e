// Feeds arbitrary text to both AUXPNTL readers. The first byte picks the
// reader and data type (fit 'C', 'R', 'I' or the simulation's table), the
// second the number of points; the rest is the file.
#include "core/Exception.h"
#include "results/AuxpntlReader.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int mode = data[0] % 4;
    const std::size_t count = data[1] % 64;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 2), size - 2));
    std::vector<std::vector<double>> v(8, std::vector<double>(count, 0.0));
    try {
        if (mode == 3) {
            nosk::readAuxpntlModel(in, count, v[1].data(), v[5].data());
        } else {
            const char dattyp = "CRI"[mode];
            nosk::AuxpntlFitColumns c;
            if (dattyp != 'I') {
                c.obs1 = v[0].data();
                c.model1 = v[1].data();
                c.extra1a = v[2].data();
                c.extra1b = v[3].data();
            }
            if (dattyp != 'R') {
                c.obs2 = v[4].data();
                c.model2 = v[5].data();
                c.extra2a = v[6].data();
                c.extra2b = v[7].data();
            }
            nosk::readAuxpntlFit(in, dattyp, count, c);
        }
    } catch (const nosk::exception&) {
    }
    return 0;
}
