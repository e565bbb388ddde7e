#include "AnalysisPages.h"

#include "CDrtPage.h"
#include "CKramersKronigPage.h"
#include "CZhitPage.h"

#include <filesystem>

namespace nosk {

CViewerPage* createAnalysisPage(workfiles::Analysis analysis, int textHeight, const ViewerRun* run)
{
    switch (analysis) {
    case workfiles::Analysis::Kk: return new CKramersKronigPage(textHeight);
    case workfiles::Analysis::Zhit: return new CZhitPage(textHeight);
    case workfiles::Analysis::Drt: return new CDrtPage(textHeight, run);
    }
    return nullptr;
}

bool anyAnalysisTable()
{
    std::error_code ec;
    for (const workfiles::AnalysisOutput& analysis : workfiles::kAnalyses)
        if (std::filesystem::exists(analysis.file, ec))
            return true;
    return false;
}

bool isAnalysisPage(std::string_view title)
{
    for (const workfiles::AnalysisOutput& analysis : workfiles::kAnalyses)
        if (title == analysis.pageTitle)
            return true;
    return false;
}

} // namespace nosk
