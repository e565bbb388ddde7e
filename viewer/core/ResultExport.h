#pragma once

#include <string>
#include <vector>

namespace nosk {

class FitJob;
class ViewerRun;
struct FitStatistics;

// The viewer's result tables as CSV text (comma separated, a header line,
// numbers with ten significant digits, '.' as the decimal point).
namespace resultexport {

// One line per parameter of the job: number, name (`names[i]` when given,
// else P1, P2, ...), value, std dev, relative std dev, free or fixed. A free
// parameter's value is the fit's estimate; without statistics (a simulation)
// every value is the job's and the std devs are empty. Then, after a blank
// line, the statistics S, XS, sigmaf, nu and the quality factor.
std::string parameterTable(const FitJob& job, const FitStatistics* statistics,
                           const std::vector<std::string>& names = {});

// One line per point: the X value, observed, model and (for a fit) residual
// of both components, in the representation the viewer shows.
std::string dataTable(const ViewerRun& run);

} // namespace resultexport
} // namespace nosk
