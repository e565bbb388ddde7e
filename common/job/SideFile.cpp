#include "job/SideFile.h"

#include "core/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "core/RegularFile.h"

#include <cstdio>

namespace nosk {

void writeSideFile(unsigned char first, unsigned char second, const std::string& path)
{
    const char bytes[2] = {static_cast<char>(first), static_cast<char>(second)};
    try {
        replaceFile(path, std::string_view(bytes, 2), AtomicFileWriter::Links::Replace);
    } catch (const std::exception&) {
        // as documented: passed over
    }
}

void readSideFile(unsigned char& first, unsigned char& second, const std::string& path)
{
    unsigned char bytes[2] = {1, 1};
    if (std::FILE* f = openRegularStream(path)) {
        std::size_t got = std::fread(bytes, 1, 2, f);
        std::fclose(f);
        for (std::size_t i = got; i < 2; ++i)
            bytes[i] = 1;
    }
    first = bytes[0] >= 1 && bytes[0] <= 4 ? bytes[0] : 1;
    second = bytes[1] >= 1 && bytes[1] <= 3 ? bytes[1] : 1;
}

const char* xVariableName(int code)
{
    switch (code) {
    case 1: return "Frequency";
    case 2: return "Time";
    case 3: return "Temperature";
    case 4: return "Inv. Temperature";
    default: return "";
    }
}

void FitJob::saveWithSideFile(const std::string& path) const
{
    save(path, AtomicFileWriter::Links::Replace);
    writeSideFile(xVariable, xVariable);
}

} // namespace nosk
