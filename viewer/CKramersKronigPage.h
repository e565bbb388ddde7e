#pragma once

#include "CSingleGraphPage.h"
#include "core/WorkFolderFiles.h"

#include <vector>

namespace nosk {

class ViewerRun;

// "Kramers-Kronig": the residuals of the work folder's Kramers-Kronig test
// (the table KKTEST) against frequency, the real and the imaginary part in
// percent of |Z|, with the +-1 % band, and the verdict in the caption.
// Prints and exports like the other graph pages.
class CKramersKronigPage : public CSingleGraphPage {
    Q_OBJECT
public:
    static constexpr const workfiles::AnalysisOutput& kAnalysis = workfiles::analysis(workfiles::Analysis::Kk);
    static constexpr const char* kTitle = kAnalysis.pageTitle;
    static constexpr const char* kTableFile = kAnalysis.file;
    static constexpr int kHelpId = kAnalysis.pageHelpId;

    // `run`: the run shown, whose data the table is compared with, or null.
    CKramersKronigPage(int textHeight, const ViewerRun* run = nullptr, QWidget* parent = nullptr);

    int pointCount() const { return static_cast<int>(m_f.size()); }

protected:
    void build() override;

private:
    const ViewerRun* m_run;
    // The graph's traces point into these.
    std::vector<double> m_f, m_re, m_im;
    std::vector<double> m_markX, m_markY;  // the points apart, ringed
};

} // namespace nosk
