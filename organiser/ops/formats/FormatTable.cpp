// The instrument formats, a row each: a new format is a reader (or, for a
// text family, a detector) in a file of its own and a row here.

#include "ops/formats/InstrumentFormats.h"

namespace nosk::formats {

const std::vector<InstrumentFormat>& instrumentFormats()
{
    static const std::vector<InstrumentFormat> table = {
        // name, filter, extensions, detect, read, startsLike, headedLike
        {"CSV", "CSV and text tables (*.csv *.tsv *.txt *.dat)", "csv tsv txt dat", nullptr, nullptr, nullptr, nullptr},
        {"Gamry DTA", "Gamry (*.dta)", "dta", nullptr, nullptr, startsLikeGamry, nullptr},
        {"EC-Lab text", "EC-Lab text (*.mpt *.txt)", "mpt txt", nullptr, nullptr, startsLikeEcLab, headedLikeEcLab},
        {"ZPlot", "ZPlot (*.z)", "z", nullptr, nullptr, startsLikeZPlot, nullptr},
        {"Autolab text", nullptr, "txt", nullptr, nullptr, startsLikeAutolab, nullptr},
        {"VersaStudio PAR", "VersaStudio (*.par)", "par", nullptr, nullptr, startsLikeVersaStudio, nullptr},
        {"CH Instruments text", "Autolab, CH Instruments, Parstat, PowerSuite text (*.txt)", "txt", nullptr, nullptr,
         startsLikeChInstruments, nullptr},
        {"PowerSuite text", nullptr, "txt", nullptr, nullptr, nullptr, headedLikePowerSuite},
        {"Parstat text", nullptr, "txt", nullptr, nullptr, nullptr, headedLikeParstat},
        {"EC-Lab MPR", "EC-Lab binary (*.mpr)", "mpr", isEcLabMpr, readEcLabMpr, nullptr, nullptr},
        {"Zahner ISM", "Zahner (*.ism)", "ism", isZahnerIsm, readZahnerIsm, nullptr, nullptr},
        {"Solartron FRA", "Solartron (*.fra)", "fra", isSolartronFra, readSolartronFra, nullptr, nullptr},
    };
    return table;
}

} // namespace nosk::formats
