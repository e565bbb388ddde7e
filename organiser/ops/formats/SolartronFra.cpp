// Solartron's frequency-response file (.fra), the one the organiser writes
// and the analysers' software writes: every block of points a spectrum.

#include "ops/formats/InstrumentFormats.h"

#include "results/SolartronFile.h"

#include <algorithm>
#include <cmath>

namespace nosk::formats {

bool isSolartronFra(std::string_view bytes, const std::string& fileName)
{
    // The trailer "HTFN" and a file of records; text never ends that way
    // with the extension.
    return extensionOf(fileName) == "fra" && bytes.size() >= 4 && bytes.substr(bytes.size() - 4) == "HTFN";
}

InstrumentFile readSolartronFra(std::string_view bytes, const std::string&)
{
    const SolartronFile fra = SolartronFile::parse(bytes);
    InstrumentFile file;
    file.format = "Solartron FRA";
    int first = 1;
    for (std::size_t b = 0; b < fra.blocks.size(); ++b) {
        const SolartronBlock& block = fra.blocks[b];
        ImportedSpectrum s;
        for (const SolartronPoint& p : block.points) {
            if (!(p.frequency > 0) || !std::isfinite(p.frequency) || !std::isfinite(p.impedanceRe) ||
                !std::isfinite(p.impedanceIm)) {
                ++s.rowsSkipped;
                continue;
            }
            s.freq.push_back(p.frequency);
            s.re.push_back(p.impedanceRe);
            s.im.push_back(p.impedanceIm);
        }
        s.label = "Block #" + std::to_string(b + 1) + ", points " + std::to_string(first) + "-" +
                  std::to_string(first + block.pointCount() - 1);
        first += block.pointCount();
        if (!s.freq.empty())
            file.spectra.push_back(std::move(s));
    }
    if (file.spectra.empty())
        throw exception("No points with a frequency above 0.");
    if (std::string description = fra.header.description.substr(0, 32); !description.empty()) {
        description.resize(std::min(description.size(), description.find('\0')));
        for (char& c : description)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
                c = '?';
        while (!description.empty() && description.back() == ' ')
            description.pop_back();
        if (!description.empty())
            file.metadata.emplace_back("description", description);
    }
    return file;
}

} // namespace nosk::formats
