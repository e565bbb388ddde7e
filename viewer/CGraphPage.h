#pragma once

#include "CViewerPage.h"
#include "GraphPageLayout.h"

#include <array>
#include <vector>

class QGroupBox;

namespace nosk {

class CZuGraph;
class ViewerRun;

// "Graphics": up to four graphs of the run against the X axis: first and
// second component (data and model), and for a fit the residuals and the
// relative residuals. Which graphs exist follows DATTYP and whether the run
// is shown as a fit.
class CGraphPage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10029;

    CGraphPage(const QString& title, const ViewerRun& run, GraphSettings& settings, bool withResiduals,
               int textHeight, QWidget* parent = nullptr);

    bool HasGraphs() const override;
    void GetPageGraphs(PageGraphs& list) const override;
    void SaveGraphSettings(GraphSettings& settings, char dattyp) const override;

    // Builds the graphs for the page's present size (once; also on first show).
    void ensureBuilt();
    CZuGraph* graph(int n) const { return m_graphs[n - 1]; }   // graph 1 to 4, or null
    QGroupBox* groupBox(int n) const { return m_groups[n - 1]; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Places groups and graphs for the page's present size.
    void relayout();
    void buildGraph(int n, const LayoutRect& group);
    void onGraphResized(int restored, CZuGraph* graph);
    void onLegend(CZuGraph* graph);

    const ViewerRun& m_run;
    GraphSettings& m_settings;
    bool m_withResiduals;
    int m_textHeight;
    bool m_built = false;
    int m_enlarged = -1;  // index of the enlarged graph, or -1
    std::array<QGroupBox*, 4> m_groups{};
    std::array<CZuGraph*, 4> m_graphs{};
    // Graph 4's traces of the residuals in percent of |model| point into these.
    std::vector<double> m_modulusRe, m_modulusIm;
};

} // namespace nosk
