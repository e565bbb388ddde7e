#include "AnalysisPages.h"

#include "CDrtPage.h"
#include "CKramersKronigPage.h"
#include "CZhitPage.h"
#include "AnalysisOrigin.h"
#include "ViewerRun.h"
#include "job/DataStamp.h"

#include <filesystem>

namespace nosk {

CViewerPage* createAnalysisPage(workfiles::Analysis analysis, int textHeight, const ViewerRun* run)
{
    switch (analysis) {
    case workfiles::Analysis::Kk: return new CKramersKronigPage(textHeight, run);
    case workfiles::Analysis::Zhit: return new CZhitPage(textHeight, run);
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

TableSpectrum tableSpectrum(const char* tableFile, const ViewerRun* run, const std::optional<origin::Span>& span,
                            const std::function<bool(const std::vector<double>& runHz)>& compare)
{
    TableSpectrum t;
    const std::optional<DataStamp> stamp = readStamp(tableFile);
    t.which = origin::describe(stamp ? stamp->source : std::string(), span);
    if (!run || !run->hasResults())
        return t;
    if (stamp) {
        t.same = stamp->checksum == run->dataChecksum();
        return t;
    }
    if (!span)
        return t;
    if (const auto runHz = origin::jobFrequenciesHz(run->job(), run->job().xVariable))
        t.same = compare(*runHz);
    return t;
}

TableSpectrum tableSpectrum(const char* tableFile, const ViewerRun* run, const std::vector<double>& tableHz)
{
    return tableSpectrum(tableFile, run, origin::spanOf(tableHz), [&tableHz](const std::vector<double>& runHz) {
        return origin::sameFrequencies(tableHz, runHz);
    });
}

bool isAnalysisPage(std::string_view title)
{
    for (const workfiles::AnalysisOutput& analysis : workfiles::kAnalyses)
        if (title == analysis.pageTitle)
            return true;
    return false;
}

} // namespace nosk
