#pragma once

#include "CViewerPage.h"

#include <vector>

class QGroupBox;

namespace nosk {

class CZuGraph;

// "Z-HIT": the deviation of the measured |Z| from its reconstruction from the
// phase (the work folder's table ZHITTEST) against frequency, in percent,
// with the band within which the verdict calls a deviation valid, and the
// verdict in the caption. Prints and exports like the other graph pages.
class CZhitPage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Z-HIT";
    static constexpr const char* kTableFile = "ZHITTEST";
    static constexpr int kHelpId = 10301;

    CZhitPage(int textHeight, QWidget* parent = nullptr);

    bool HasGraphs() const override { return true; }
    void GetPageGraphs(PageGraphs& list) const override;

    void ensureBuilt();
    CZuGraph* graph() const { return m_graph; }
    QGroupBox* groupBox() const { return m_group; }
    int pointCount() const { return static_cast<int>(m_f.size()); }

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
    std::vector<double> m_f, m_re;
    std::vector<double> m_bandX, m_bandUp, m_bandDown, m_pad;
};

} // namespace nosk
