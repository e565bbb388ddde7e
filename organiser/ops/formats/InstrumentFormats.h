#pragma once

#include "ops/InstrumentImport.h"

#include <string>
#include <string_view>
#include <vector>

namespace nosk::formats {

// What the text reader knows of a text file when it names its format: the
// first lines, the line that names the columns of the first table with such
// a line (empty when none does) and the file's name.
struct TextClues {
    std::vector<std::string_view> firstLines;  // up to 8
    std::string_view header;
    std::string fileName;
};

// One instrument format, a row of the table below. A binary format has a
// detector and a reader of its own; a text family is read by the shared
// text-table reader (ops/formats/TextTable.h), which names the family by its
// clues: first every row's `startsLike` in table order, then every row's
// `headedLike`.
struct InstrumentFormat {
    const char* name;        // as the import message names it
    const char* filter;      // the file dialog's row; null when the row of another format lists it
    const char* extensions;  // the filter's extensions, blank-separated, lower case
    bool (*detect)(std::string_view bytes, const std::string& fileName);
    InstrumentFile (*read)(std::string_view bytes, const std::string& fileName);
    bool (*startsLike)(const TextClues&);
    bool (*headedLike)(const TextClues&);
};

// Every format, in the order they are tried and their filters are listed.
const std::vector<InstrumentFormat>& instrumentFormats();

// The readers of the format families, one source file each.
bool isSolartronFra(std::string_view bytes, const std::string& fileName);
InstrumentFile readSolartronFra(std::string_view bytes, const std::string& fileName);
bool isEcLabMpr(std::string_view bytes, const std::string& fileName);
InstrumentFile readEcLabMpr(std::string_view bytes, const std::string& fileName);
bool isZahnerIsm(std::string_view bytes, const std::string& fileName);
InstrumentFile readZahnerIsm(std::string_view bytes, const std::string& fileName);

bool startsLikeGamry(const TextClues&);
bool startsLikeEcLab(const TextClues&);
bool headedLikeEcLab(const TextClues&);
bool startsLikeZPlot(const TextClues&);
bool startsLikeAutolab(const TextClues&);
bool startsLikeVersaStudio(const TextClues&);
bool startsLikeChInstruments(const TextClues&);
bool headedLikePowerSuite(const TextClues&);
bool headedLikeParstat(const TextClues&);

// The name of a file's extension in lower case ("dta"), empty when none.
std::string extensionOf(const std::string& fileName);

} // namespace nosk::formats
