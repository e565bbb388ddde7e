#pragma once

#include "AnalysisOrigin.h"
#include "core/WorkFolderFiles.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nosk {

class CViewerPage;
class ViewerRun;

// The pages of the analyses (core/WorkFolderFiles.h, kAnalyses), which show
// the work folder's tables and need no run.

// The page of an analysis; `run` is the loaded run (or null), whose fitted
// circuit the DRT page draws beside the data's.
CViewerPage* createAnalysisPage(workfiles::Analysis analysis, int textHeight, const ViewerRun* run);
// Whether the work folder holds the table of any analysis.
bool anyAnalysisTable();
// Which spectrum an analysis' table belongs to (`which`, as the page names it)
// and whether it is the data of the run shown (`same`; nothing without a run
// to compare with): by the table's data stamp when it has one, else by
// `compare`, what the table holds against the run's frequencies in Hz.
struct TableSpectrum {
    std::string which;
    std::optional<bool> same;
};
TableSpectrum tableSpectrum(const char* tableFile, const ViewerRun* run, const std::optional<origin::Span>& span,
                            const std::function<bool(const std::vector<double>& runHz)>& compare);
// The same for a table that lists the spectrum's frequencies (Hz): compared
// with the run's frequency by frequency.
TableSpectrum tableSpectrum(const char* tableFile, const ViewerRun* run, const std::vector<double>& tableHz);
// Whether the title is an analysis' page.
bool isAnalysisPage(std::string_view title);

} // namespace nosk
