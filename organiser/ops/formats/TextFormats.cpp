// The text formats of the instruments: each family is a text table read by
// the shared reader (TextTable.cpp) and told apart by its first lines, its
// extension or the names of its columns.

#include "ops/formats/InstrumentFormats.h"

namespace nosk::formats {

namespace {

bool starts(std::string_view s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

std::string_view first(const TextClues& c)
{
    return c.firstLines.empty() ? std::string_view() : c.firstLines.front();
}

} // namespace

std::string extensionOf(const std::string& fileName)
{
    const std::size_t dot = fileName.find_last_of("./");
    if (dot == std::string::npos || fileName[dot] != '.')
        return {};
    std::string ext = fileName.substr(dot + 1);
    for (char& ch : ext)
        ch = char(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return ext;
}

bool startsLikeGamry(const TextClues& c)
{
    return starts(first(c), "EXPLAIN") || extensionOf(c.fileName) == "dta";
}

bool startsLikeEcLab(const TextClues& c)
{
    return starts(first(c), "EC-Lab ASCII FILE");
}

bool headedLikeEcLab(const TextClues& c)
{
    return c.header.find("-Im(Z)/Ohm") != std::string_view::npos;
}

bool startsLikeZPlot(const TextClues& c)
{
    return starts(first(c), "ZPLOT2 ASCII") || extensionOf(c.fileName) == "z";
}

bool startsLikeAutolab(const TextClues& c)
{
    return first(c).find("Data File:") != std::string_view::npos;
}

bool startsLikeVersaStudio(const TextClues& c)
{
    return starts(first(c), "<Application>") || extensionOf(c.fileName) == "par";
}

bool startsLikeChInstruments(const TextClues& c)
{
    for (std::string_view line : c.firstLines)
        if (line == "A.C. Impedance" || starts(line, "Instrument Model:  CHI"))
            return true;
    return false;
}

bool headedLikePowerSuite(const TextClues& c)
{
    return c.header.find("Zimg") != std::string_view::npos;
}

bool headedLikeParstat(const TextClues& c)
{
    return c.header.find("Zre (ohms)") != std::string_view::npos &&
           c.header.find("Elapsed Time") != std::string_view::npos;
}

} // namespace nosk::formats
