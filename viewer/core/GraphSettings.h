#pragma once

#include "core/WorkFolderFiles.h"

#include <array>
#include <cstdint>
#include <string>

namespace nosk {

// The viewer's graph settings: trace colours and styles and the axis choices of
// the five graphs, kept between sessions in NOSKVIEW.OPT as one raw 320-byte
// block (integers 32-bit, doubles 64-bit IEEE, both little-endian).
struct TraceSlots {
    std::int32_t color1 = 0;  // RGB with red in the low byte
    std::int32_t style1 = 0;  // trace style flags of the chart
    std::int32_t color2 = 0;
    std::int32_t style2 = 0;
};

struct AxisSettings {
    std::int32_t autoScale = 1;
    std::int32_t logScale = 0;
    double rangeMin = 0.0;
    double rangeMax = 1000.0;
};

struct GraphAxisSettings {
    AxisSettings horizontal;
    AxisSettings vertical;
};

struct GraphSettings {
    static constexpr int kGraphs = 5;
    static constexpr std::size_t kBytes = 320;
    static constexpr const char* kFileName = workfiles::kViewerOptions;

    GraphSettings();  // the defaults used when NOSKVIEW.OPT is missing

    std::array<TraceSlots, kGraphs> traces;        // graphs 1 to 5 at index 0 to 4
    std::array<GraphAxisSettings, kGraphs> axes;

    std::array<unsigned char, kBytes> toBytes() const;
    // Overwrites only what the given bytes hold (a short file keeps the rest).
    void fromBytes(const unsigned char* bytes, std::size_t count);

    // Reads the first 320 bytes of the file over the block; a missing or short
    // file is no error. Returns whether the file could be opened.
    bool load(const std::string& path = kFileName);
    // Writes the block (created or truncated); false when that failed.
    bool save(const std::string& path = kFileName) const;
};

// Colour conversions between the stored RGB value (red in the low byte) and 0xRRGGBB.
inline std::uint32_t storedColorToRgb(std::int32_t c)
{
    auto u = static_cast<std::uint32_t>(c);
    return ((u & 0xFFu) << 16) | (u & 0xFF00u) | ((u >> 16) & 0xFFu);
}
inline std::int32_t rgbToStoredColor(std::uint32_t rgb)
{
    return static_cast<std::int32_t>(((rgb >> 16) & 0xFFu) | (rgb & 0xFF00u) | ((rgb & 0xFFu) << 16));
}

} // namespace nosk
