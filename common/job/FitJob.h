#pragma once

#include "core/AtomicFileWriter.h"
#include "job/PhysicalConstants.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace nosk {

// Everything the engine needs for one fitting run. The field names are the
// engine's own; the organiser's labels and the readers' messages use them too.
class FitJob {
public:
    static constexpr int kMaxParams = 50;
    static constexpr double kDefaultCelcap = kVacuumPermittivity;

    using Column = std::optional<std::vector<double>>;  // absent, or exactly M values

    FitJob() { reset(); }

    // Every field to its default; the arrays are left as they are.
    void reset();
    // Release all five arrays, then reset (the organiser's "New").
    void clear();
    // Release all five arrays and set M to 0.
    void releaseData();
    // M = count; FREQ, DATA1, DATA2 of count zeros, and the weights too when asked.
    void allocateData(int count, bool withWeights);
    void releaseWeights();
    // WEIGHT1/WEIGHT2 become copies of DATA1/DATA2.
    void weightsFromData();
    // Take the data rows of another job; weights only when both jobs weight by lines.
    void copyDataFrom(const FitJob& source);

    bool hasData() const { return FREQ.has_value(); }
    // Parameter i (0-based) has a lower or an upper limit.
    bool hasLimit(int i) const { return LOWER[i] != kNoLower || UPPER[i] != kNoUpper; }
    // Some parameter below N has a limit.
    bool hasLimits() const;
    bool hasWeights() const { return WEIGHT1.has_value() && WEIGHT2.has_value(); }

    // The input-file reader and writer (JobFile.cpp). They throw nosk::exception.
    // A failed load keeps the header fields read before the failure; the data
    // rows are kept only when complete (otherwise M is 0 and the arrays are
    // absent), and N never goes beyond the 50 parameters.
    void load(const std::string& path);
    // Lines 1-3, the parameters and the free codes; no data rows (M 0, arrays absent).
    void loadHeader(const std::string& path);
    // Writes a temporary file beside `path` and renames it over it, so a failed
    // save leaves the old file as it was. Lines end with CR LF. A value too wide
    // for its columns stops the save ("M does not fit its field in the input
    // file!"); so does N outside 0-50 ("Wrong parameters number!").
    // A link under the name is followed unless `links` says Replace; the file
    // is synced to the disk unless `durability` says NoSync.
    void save(const std::string& path, AtomicFileWriter::Links links = AtomicFileWriter::Links::Follow,
        AtomicFileWriter::Durability durability = AtomicFileWriter::Durability::Sync) const;
    // save, then ADD.BIN with (xVariable, xVariable) (SideFile.cpp). Both are
    // files of ours in the work folder: a link under either name is replaced,
    // never written through.
    void saveWithSideFile(const std::string& path) const;

    // --- the record ---
    std::string description;  // at most 81 characters
    int IOPT;
    char DINP, DFIT, PINP, PFIT, FREEQ, NEG, FUN;
    double CELCAP;
    char DATTYP;
    int IPAR;
    double ROE;
    int IFP;
    int IRE;
    double ECINF, EC0;
    int M;
    int N;
    int MAXFEV, NPRINT, IRCH, MODE, ICP, IPRINT, IGACC;
    double ATEMP, SDWC, SDRC;
    int mNegative;
    double P[kMaxParams];
    int NFREE[kMaxParams];
    // Limits of the parameters for the fit: -infinity and +infinity (the
    // defaults) mean none. The input file carries them after its data and
    // weight lines (see JobFile.cpp), where readers without limits stop.
    static constexpr double kNoLower = -std::numeric_limits<double>::infinity();
    static constexpr double kNoUpper = std::numeric_limits<double>::infinity();
    double LOWER[kMaxParams];
    double UPPER[kMaxParams];
    Column FREQ, DATA1, DATA2;
    Column WEIGHT1, WEIGHT2;  // present only while IRCH is 0
    unsigned char xVariable;  // 1 frequency, 2 time, 3 temperature, 4 inverse temperature
};

// A value of an array, or 0 where the array is missing or shorter.
inline double valueAt(const FitJob::Column& column, std::size_t i)
{
    return column && i < column->size() ? (*column)[i] : 0.0;
}

} // namespace nosk
