#pragma once

#include "CViewerPage.h"

#include <vector>

class QGroupBox;

namespace nosk {

class CZuGraph;

// "DRT": the work folder's distribution of relaxation times (the table DRT
// of noskrun --drt or Run -> "DRT..."): gamma against tau on a logarithmic
// axis, the credible band when it was computed, the peaks marked. Prints and
// exports like the other graph pages.
class CDrtPage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "DRT";
    static constexpr const char* kTableFile = "DRT";
    static constexpr int kHelpId = 10046;  // help/10046.html

    CDrtPage(int textHeight, QWidget* parent = nullptr);

    bool HasGraphs() const override { return true; }
    void GetPageGraphs(PageGraphs& list) const override;

    void ensureBuilt();
    CZuGraph* graph() const { return m_graph; }
    QGroupBox* groupBox() const { return m_group; }
    int pointCount() const { return static_cast<int>(m_tau.size()); }
    int peakCount() const { return static_cast<int>(m_peakTau.size()); }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutGraph();

    int m_textHeight;
    bool m_built = false;
    QGroupBox* m_group = nullptr;
    CZuGraph* m_graph = nullptr;
    // The graph's traces point into these.
    std::vector<double> m_tau, m_gamma, m_low, m_high, m_peakTau, m_peakGamma;
};

} // namespace nosk
