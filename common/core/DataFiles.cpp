#include "DataFiles.h"

#include "LineReader.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace nosk::datafiles {
namespace {

namespace fs = std::filesystem;

std::string existing(const fs::path& p)
{
    std::error_code ec;
    if (!fs::exists(p, ec))
        return {};
    fs::path canonical = fs::weakly_canonical(p, ec);
    return (ec ? p : canonical).string();
}

// The value of "<name>=<path>" in the build's map file, empty when absent.
std::string mappedPath(const fs::path& mapFile, const std::string& name)
{
    std::ifstream in(mapFile);
    std::string line;
    const std::string key = name + '=';
    while (lines::nextLine(in, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return line.substr(key.size());
    }
    return {};
}

} // namespace

std::string programDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}

std::string findFrom(const std::string& programDir, const char* dataDirVariable,
                     const std::string& name)
{
    if (name.empty())
        return {};
    if (dataDirVariable && *dataDirVariable)
        return existing(fs::path(dataDirVariable) / name);
    if (programDir.empty())
        return {};
    const fs::path dir(programDir);
    if (std::string installed = existing(dir / ".." / "share" / "nosk" / name); !installed.empty())
        return installed;
    const std::string mapped = mappedPath(dir / "nosk-data-dir", name);
    return mapped.empty() ? std::string() : existing(mapped);
}

std::string find(const std::string& name)
{
    return findFrom(programDir(), std::getenv("NOSK_DATA_DIR"), name);
}

} // namespace nosk::datafiles
