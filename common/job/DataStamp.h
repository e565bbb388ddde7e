#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nosk {

class FitJob;

// Which data an analysis table (KKTEST, ZHITTEST, DRT) was made from. The
// organiser writes it as the table's first line,
//
//   # Data: 9f3a61c0d2e4b817 Imported from cell7.mpr, spectrum 2
//
// the checksum of the job's data lines (dataChecksum) and the spectrum's
// name; the viewer compares the checksum with that of the INFL it shows, so
// that a page made from other data says so. An analysis of an instrument
// file run from the terminal has no job: its checksum is "-" and matches no
// job. A table without the line was written before the line existed; where
// its data came from is unknown.
struct DataStamp {
    std::string checksum;  // 16 lower-case hex digits, or kNoJobChecksum
    std::string source;    // the spectrum's name, one line
};

inline constexpr char kDataStampTag[] = "# Data: ";
inline constexpr char kNoJobChecksum[] = "-";

// The checksum of what a job's data lines say: each frequency and value as
// the input file writes it (so the job in memory and the same job read back
// from its file agree), and the fields that decide how they are read
// (DINP, DATTYP, FREEQ, NEG, the X variable). 64-bit FNV-1a as 16 hex digits.
// A job without data lines has the checksum of its empty rows.
std::string dataChecksum(const FitJob& job);

// The name a stamp gives a job's data: its description without the blanks
// around it; else the name of its file (`path` without its folders); else
// "the job's data lines".
std::string spectrumName(const FitJob& job, const std::string& path);

// "# Data: <checksum> <source>\r\n"; line breaks in the source become blanks.
std::string stampLine(const DataStamp& stamp);

// The stamp of one line of a table; nullopt when the line is none.
std::optional<DataStamp> readStampLine(std::string_view line);

// The stamp of a table file: its leading comment lines are searched.
// nullopt when the file has none or cannot be read.
std::optional<DataStamp> readStamp(const std::string& path);

} // namespace nosk
