#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace nosk {

struct FitJob;

// Which spectrum an analysis' table belongs to, and whether that is the
// spectrum of the run the viewer shows. A table the organiser wrote begins
// with its data stamp (job/DataStamp.h): the checksum of the job's data lines,
// compared with that of the run's INFL, and the spectrum's name. A table
// without one (written before the stamp existed) is compared by what it
// holds: the Kramers-Kronig and Z-HIT tables list every frequency tested,
// the DRT table its measured range of tau (the data's 1/(2 pi f) widened by
// the analysis' margin).
namespace origin {

// The frequencies a table was made from, as far as it tells them.
struct Span {
    std::size_t points = 0;  // 0: not known (the DRT's table)
    double fMinHz = 0, fMaxHz = 0;
};

// The job's data frequencies in Hz, whatever representation the job holds
// them in; nothing when its X values are no frequencies or it has no data.
std::optional<std::vector<double>> jobFrequenciesHz(const FitJob& job, int xVariable);

// The span of a list of frequencies (points and range); nothing for an empty
// list or one without a positive finite frequency.
std::optional<Span> spanOf(const std::vector<double>& frequenciesHz);
// The span a DRT table's measured range of tau stands for.
std::optional<Span> spanOfDrtRange(double tauMin, double tauMax);

// "41 points, 100 mHz to 100 kHz" (or without the count when unknown).
std::string spanText(const Span& span);

// Whether the frequencies of a table are those of the job's data: the same
// count and each frequency within the tables' six printed digits, in any
// order.
bool sameFrequencies(const std::vector<double>& tableHz, const std::vector<double>& jobHz);
// Whether a span without a count (the DRT's) matches the job's data range.
bool sameRange(const Span& table, const std::vector<double>& jobHz);

// What names a table's spectrum: "NAME; 41 points, 100 mHz to 100 kHz", the
// name or the span alone when only one is known.
std::string describe(const std::string& name, const std::optional<Span>& span);

// The banner of a page whose results belong to another spectrum (`which`:
// what describe() says of it).
std::string staleBanner(const std::string& which);

} // namespace origin
} // namespace nosk
