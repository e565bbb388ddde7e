#include "RunOptions.h"

#include "core/AtomicFileWriter.h"
#include "core/RegularFile.h"

#include <cstdint>
#include <sstream>

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
    auto bytes = readRegularFile(path, 64 + kMaxSeriesChoices);
    if (!bytes)
        return;
    std::istringstream in(*bytes);
    int n = starts, method = intervals, level = intervalLevel;
    readInt(in, closeEngineWindow) && readInt(in, notifyViewer) && readInt(in, loadOutinAfterRun)
        && readInt(in, promptStoreOutin) && readInt(in, n) && readInt(in, method) && readInt(in, level);
    // A value out of range (a damaged file) keeps the current one.
    if (n >= 1 && n <= kMaxStarts)
        starts = n;
    if (method >= 0 && method <= 2)
        intervals = method;
    if (level >= 500 && level <= 999)
        intervalLevel = level;
    // The series dialog's choices: a length that the rest of the file holds.
    int length = 0;
    if (readInt(in, length) && length > 0 && static_cast<std::size_t>(length) <= kMaxSeriesChoices) {
        std::string text(static_cast<std::size_t>(length), '\0');
        if (in.read(text.data(), length))
            seriesChoices = std::move(text);
    }
}

bool RunOptions::write(const std::string& path) const
{
    std::ostringstream out;
    writeInt(out, closeEngineWindow);
    writeInt(out, notifyViewer);
    writeInt(out, loadOutinAfterRun);
    writeInt(out, promptStoreOutin);
    writeInt(out, starts);
    writeInt(out, intervals);
    writeInt(out, intervalLevel);
    if (!seriesChoices.empty() && seriesChoices.size() <= kMaxSeriesChoices) {
        writeInt(out, static_cast<int>(seriesChoices.size()));
        out << seriesChoices;
    }
    try {
        replaceFile(path, out.str(), AtomicFileWriter::Links::Replace);  // our own file: never through a link
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace nosk
