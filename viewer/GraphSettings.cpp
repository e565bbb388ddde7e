#include "GraphSettings.h"

#include "core/AtomicFileWriter.h"
#include "core/RegularFile.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>

namespace nosk {

namespace {

constexpr std::int32_t kRed = 255;
constexpr std::int32_t kBlue = 16711680;
constexpr std::int32_t kDot = 2;
constexpr std::int32_t kLine = 1;
constexpr std::int32_t kLineDot = 3;

void putInt(unsigned char* p, std::int32_t v)
{
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(u >> (8 * i));
}

void putDouble(unsigned char* p, double v)
{
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(u >> (8 * i));
}

std::int32_t getInt(const unsigned char* p)
{
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t(p[i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

double getDouble(const unsigned char* p)
{
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u |= std::uint64_t(p[i]) << (8 * i);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
}

void putAxis(unsigned char* p, const AxisSettings& a)
{
    putInt(p, a.autoScale);
    putInt(p + 4, a.logScale);
    putDouble(p + 8, a.rangeMin);
    putDouble(p + 16, a.rangeMax);
}

void getAxis(const unsigned char* p, AxisSettings& a)
{
    a.autoScale = getInt(p);
    a.logScale = getInt(p + 4);
    a.rangeMin = getDouble(p + 8);
    a.rangeMax = getDouble(p + 16);
}

} // namespace

GraphSettings::GraphSettings()
{
    for (int g = 0; g < kGraphs; ++g) {
        bool residual = g == 2 || g == 3;
        traces[g] = {kRed, residual ? kLineDot : kDot, kBlue, residual ? kLineDot : kLine};
        if (g < 4)
            axes[g].horizontal = {1, 1, 0.01, 1000.0};
        else
            axes[g].horizontal = {1, 0, 0.0, 1000.0};
        axes[g].vertical = {1, 0, 0.0, 1000.0};
    }
}

std::array<unsigned char, GraphSettings::kBytes> GraphSettings::toBytes() const
{
    std::array<unsigned char, kBytes> b{};
    for (int g = 0; g < kGraphs; ++g) {
        unsigned char* t = b.data() + 16 * g;
        putInt(t, traces[g].color1);
        putInt(t + 4, traces[g].style1);
        putInt(t + 8, traces[g].color2);
        putInt(t + 12, traces[g].style2);
        unsigned char* a = b.data() + 80 + 48 * g;
        putAxis(a, axes[g].horizontal);
        putAxis(a + 24, axes[g].vertical);
    }
    return b;
}

void GraphSettings::fromBytes(const unsigned char* bytes, std::size_t count)
{
    // Merge over the current bytes so that a short file changes only what it holds.
    auto b = toBytes();
    std::memcpy(b.data(), bytes, count < kBytes ? count : kBytes);
    for (int g = 0; g < kGraphs; ++g) {
        const unsigned char* t = b.data() + 16 * g;
        traces[g] = {getInt(t), getInt(t + 4), getInt(t + 8), getInt(t + 12)};
        const unsigned char* a = b.data() + 80 + 48 * g;
        getAxis(a, axes[g].horizontal);
        getAxis(a + 24, axes[g].vertical);
    }
}

bool GraphSettings::load(const std::string& path)
{
    std::FILE* f = openRegularStream(path);
    if (!f)
        return false;
    unsigned char buf[kBytes];
    const std::size_t got = std::fread(buf, 1, kBytes, f);
    std::fclose(f);
    fromBytes(buf, got);
    return true;
}

bool GraphSettings::save(const std::string& path) const
{
    // The close is where a full disk shows: only a file renamed into place
    // counts as saved.
    auto b = toBytes();
    try {
        replaceFile(path, std::string_view(reinterpret_cast<const char*>(b.data()), kBytes),
                    AtomicFileWriter::Links::Replace);  // our own file: never through a link
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace nosk
