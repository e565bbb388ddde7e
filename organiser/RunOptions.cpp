#include "RunOptions.h"

#include <cstdint>
#include <fstream>

namespace nosk {
namespace {

bool readInt(std::istream& in, int& value)
{
    unsigned char b[4];
    if (!in.read(reinterpret_cast<char*>(b), 4))
        return false;
    std::uint32_t u = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16
        | std::uint32_t(b[3]) << 24;
    value = static_cast<std::int32_t>(u);
    return true;
}

void writeInt(std::ostream& out, int value)
{
    auto u = static_cast<std::uint32_t>(value);
    const char b[4] = {char(u & 0xff), char(u >> 8 & 0xff), char(u >> 16 & 0xff), char(u >> 24 & 0xff)};
    out.write(b, 4);
}

} // namespace

void RunOptions::read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;
    readInt(in, closeEngineWindow) && readInt(in, notifyViewer) && readInt(in, loadOutinAfterRun)
        && readInt(in, promptStoreOutin);
}

bool RunOptions::write(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    writeInt(out, closeEngineWindow);
    writeInt(out, notifyViewer);
    writeInt(out, loadOutinAfterRun);
    writeInt(out, promptStoreOutin);
    return bool(out.flush());
}

} // namespace nosk
