#pragma once

#include "CSingleGraphPage.h"
#include "core/WorkFolderFiles.h"

#include <vector>

namespace nosk {

class ViewerRun;

// "Z-HIT": the deviation of the measured |Z| from its reconstruction from the
// phase (the work folder's table ZHITTEST) against frequency, in percent,
// with the band within which the verdict calls a deviation valid, and the
// verdict in the caption. Prints and exports like the other graph pages.
class CZhitPage : public CSingleGraphPage {
    Q_OBJECT
public:
    static constexpr const workfiles::AnalysisOutput& kAnalysis = workfiles::analysis(workfiles::Analysis::Zhit);
    static constexpr const char* kTitle = kAnalysis.pageTitle;
    static constexpr const char* kTableFile = kAnalysis.file;
    static constexpr int kHelpId = kAnalysis.pageHelpId;

    // `run`: the run shown, whose data the table is compared with, or null.
    CZhitPage(int textHeight, const ViewerRun* run = nullptr, QWidget* parent = nullptr);

    int pointCount() const { return static_cast<int>(m_f.size()); }

protected:
    void build() override;

private:
    const ViewerRun* m_run;
    // The graph's traces point into these.
    std::vector<double> m_f, m_re;
    std::vector<double> m_markX, m_markY;  // the points apart, ringed
};

} // namespace nosk
