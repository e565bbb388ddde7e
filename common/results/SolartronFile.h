#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nosk {

// A Solartron frequency-response file (.fra): a 696-byte header, point
// records of 84 bytes, and the trailer "HTFN"; little-endian throughout,
// dates as OLE automation dates in local time.

struct SolartronPoint {
    double date = 0;
    std::int16_t number = 0;  // within its block, from 1
    double frequency = 0;     // Hz
    std::int16_t unit = 0, channel = 0, step = 0, stepRepeat = 0, scheduleRepeat = 0;
    double value1Re = 0, value1Im = 0;  // first complex value
    double value2Re = 0, value2Im = 0;  // second complex value
    double impedanceRe = 0, impedanceIm = 0;  // ohm
    double magnitude = 0;
};

// The points from one record numbered 1 up to the next such record or the
// trailer; the five numbers are those of its last point.
struct SolartronBlock {
    int unit = 0, channel = 0, step = 0, stepRepeat = 0, scheduleRepeat = 0;
    std::vector<SolartronPoint> points;

    int pointCount() const { return static_cast<int>(points.size()); }
};

struct SolartronHeader {
    std::string title;        // 32 bytes, blank-padded ("CellTest_Fra" when we write it)
    std::string version;      // 16 bytes ("4")
    double date = 0;          // creation date and time
    std::string description;  // 32 bytes, the file description ("NOSK_FIT")
};

class SolartronFile {
public:
    // Reads the header and the blocks of a file. Throws nosk::exception:
    // "Cannot open file '%s'!", "Wrong signature of file!", "File is bad or currupted!".
    static SolartronFile read(const std::string& path);
    // The same checks on the file's bytes.
    static SolartronFile parse(std::string_view bytes);

    // The text the block list shows for a block: unit, channel, step, step
    // repeat, schedule repeat and number of points, each on a CR LF line.
    static std::string blockDescription(const SolartronBlock& block);

    SolartronHeader header;
    std::vector<SolartronBlock> blocks;
};

// Writes one block of `count` points with the current local time: point
// number i + 1, frequency[i] in Hz, the first complex value and the
// impedance both (re[i], im[i]), the second complex value (1, 0). A null
// re or im counts as zeros. The file is written beside the target and moved
// over it, so a failed write leaves an old file intact.
// Throws "Cannot open file '%s'!" or "Cannot write file '%s'!".
void writeSolartronPoints(const std::string& path, const double* frequency, const double* re,
                          const double* im, std::size_t count);

// The current local time as an OLE automation date (days since 30 December 1899).
double oleDateNow();

} // namespace nosk
