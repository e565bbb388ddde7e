#include "results/SolartronFile.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

namespace nosk {

namespace {

constexpr std::size_t kHeaderSize = 696;
constexpr std::size_t kRecordSize = 84;
constexpr std::size_t kTrailerSize = 4;
constexpr char kTrailer[] = "HTFN";

std::uint64_t loadLe(const unsigned char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

double loadDouble(const unsigned char* p)
{
    return std::bit_cast<double>(loadLe(p, 8));
}

std::int16_t loadInt16(const unsigned char* p)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(loadLe(p, 2)));
}

// A blank-padded text field: up to the first zero byte, trailing blanks off.
std::string loadText(const unsigned char* p, std::size_t size)
{
    std::string s(reinterpret_cast<const char*>(p), size);
    s.resize(std::min(s.find('\0'), s.size()));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

void storeLe(std::string& out, std::size_t at, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<char>(v & 0xff);
        v >>= 8;
    }
}

void storeDouble(std::string& out, std::size_t at, double v)
{
    storeLe(out, at, std::bit_cast<std::uint64_t>(v), 8);
}

void storeText(std::string& out, std::size_t at, std::size_t size, std::string_view text)
{
    for (std::size_t i = 0; i < size; ++i)
        out[at + i] = i < text.size() ? text[i] : ' ';
}

SolartronPoint loadPoint(const unsigned char* r)
{
    SolartronPoint p;
    p.date = loadDouble(r + 0);
    p.number = loadInt16(r + 8);
    p.frequency = loadDouble(r + 10);
    p.unit = loadInt16(r + 18);
    p.channel = loadInt16(r + 20);
    p.step = loadInt16(r + 22);
    p.stepRepeat = loadInt16(r + 24);
    p.scheduleRepeat = loadInt16(r + 26);
    p.value1Re = loadDouble(r + 28);
    p.value1Im = loadDouble(r + 36);
    p.value2Re = loadDouble(r + 44);
    p.value2Im = loadDouble(r + 52);
    p.impedanceRe = loadDouble(r + 60);
    p.impedanceIm = loadDouble(r + 68);
    p.magnitude = loadDouble(r + 76);
    return p;
}

} // namespace

SolartronFile SolartronFile::read(const std::string& path)
{
    std::error_code error;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, error))
        in.open(path, std::ios::binary);
    if (!in.is_open())
        throw exception("Cannot open file '%s'!", path.c_str());
    // The trailer and the size are checked before the records are loaded, so
    // a large file of another kind is refused without reading it.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        throw exception("Cannot open file '%s'!", path.c_str());
    char trailer[kTrailerSize] = {};
    if (size >= static_cast<std::streamoff>(kTrailerSize)) {
        in.seekg(size - static_cast<std::streamoff>(kTrailerSize));
        in.read(trailer, kTrailerSize);
    }
    if (!in || std::string_view(trailer, kTrailerSize) != std::string_view(kTrailer, kTrailerSize))
        throw exception("Wrong signature of file!");
    const auto bytes = static_cast<std::size_t>(size);
    if (bytes < kHeaderSize + kTrailerSize || (bytes - kHeaderSize - kTrailerSize) % kRecordSize != 0)
        throw exception("File is bad or currupted!");

    std::string content(bytes, '\0');
    in.seekg(0);
    in.read(content.data(), size);
    if (!in)
        throw exception("Cannot open file '%s'!", path.c_str());
    return parse(content);
}

SolartronFile SolartronFile::parse(std::string_view bytes)
{
    const std::size_t size = bytes.size();
    if (size < kTrailerSize || bytes.substr(size - kTrailerSize) != std::string_view(kTrailer, kTrailerSize))
        throw exception("Wrong signature of file!");
    if (size < kHeaderSize + kTrailerSize || (size - kHeaderSize - kTrailerSize) % kRecordSize != 0)
        throw exception("File is bad or currupted!");
    const std::size_t records = (size - kHeaderSize - kTrailerSize) / kRecordSize;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());

    SolartronFile file;
    // Records before the first one numbered 1 belong to no block.
    for (std::size_t k = 0; k < records; ++k) {
        const unsigned char* record = data + kHeaderSize + k * kRecordSize;
        const SolartronPoint point = loadPoint(record);
        if (point.number == 1)
            file.blocks.emplace_back();
        if (file.blocks.empty())
            continue;
        SolartronBlock& block = file.blocks.back();
        block.points.push_back(point);
        block.unit = point.unit;
        block.channel = point.channel;
        block.step = point.step;
        block.stepRepeat = point.stepRepeat;
        block.scheduleRepeat = point.scheduleRepeat;
    }
    if (file.blocks.empty())
        throw exception("File is bad or currupted!");

    file.header.title = loadText(data + 0, 32);
    file.header.version = loadText(data + 32, 16);
    file.header.date = loadDouble(data + 48);
    file.header.description = loadText(data + 56, 32);
    return file;
}

std::string SolartronFile::blockDescription(const SolartronBlock& b)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "Unit #%i\r\nChannel #%i\r\nStep #%i\r\nStep Repeat #%i\r\nSchedule Repeat Number #%i\r\nData point #%i\r\n",
                  b.unit, b.channel, b.step, b.stepRepeat, b.scheduleRepeat, b.pointCount());
    return text;
}

double oleDateNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // The local wall-clock time counted as if it were UTC, from 1970; OLE
    // dates count days from 30 December 1899, 25569 days earlier.
    const std::time_t wall = timegm(&local);
    return static_cast<double>(wall) / 86400.0 + 25569.0;
}

void writeSolartronPoints(const std::string& path, const double* frequency, const double* re,
                          const double* im, std::size_t count)
{
    const double now = oleDateNow();
    std::string out(kHeaderSize + count * kRecordSize + kTrailerSize, '\0');
    storeText(out, 0, 32, "CellTest_Fra");
    storeText(out, 32, 16, "4");
    storeDouble(out, 48, now);
    storeText(out, 56, 32, "NOSK_FIT");
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = kHeaderSize + i * kRecordSize;
        const double x = re ? re[i] : 0.0;
        const double y = im ? im[i] : 0.0;
        storeDouble(out, r + 0, now);
        storeLe(out, r + 8, static_cast<std::uint16_t>(i + 1), 2);
        storeDouble(out, r + 10, frequency ? frequency[i] : 0.0);
        // unit, channel, step, step repeat and schedule repeat stay 0
        storeDouble(out, r + 28, x);
        storeDouble(out, r + 36, y);
        storeDouble(out, r + 44, 1.0);
        storeDouble(out, r + 52, 0.0);
        storeDouble(out, r + 60, x);
        storeDouble(out, r + 68, y);
        storeDouble(out, r + 76, std::sqrt(x * x + y * y));
    }
    storeText(out, out.size() - kTrailerSize, kTrailerSize, kTrailer);

    // solartron.fra is the organiser's own output: a link planted under its
    // name is replaced, never written through.
    AtomicFileWriter file(path, AtomicFileWriter::Links::Replace);
    file.buffer() = std::move(out);
    file.commit();
}

} // namespace nosk
