#pragma once

#include "core/WorkFolderFiles.h"

#include <string_view>

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
// Whether the title is an analysis' page.
bool isAnalysisPage(std::string_view title);

} // namespace nosk
