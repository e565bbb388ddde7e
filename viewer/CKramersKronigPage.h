#pragma once

#include "CViewerPage.h"

#include <vector>

class QGroupBox;

namespace nosk {

class CZuGraph;

// "Kramers-Kronig": the residuals of the work folder's Kramers-Kronig test
// (the table KKTEST) against frequency, the real and the imaginary part in
// percent of |Z|, with the +-1 % band, and the verdict in the caption.
// Prints and exports like the other graph pages.
class CKramersKronigPage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Kramers-Kronig";
    static constexpr const char* kTableFile = "KKTEST";
    static constexpr int kHelpId = 10300;

    CKramersKronigPage(int textHeight, QWidget* parent = nullptr);

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
    std::vector<double> m_f, m_re, m_im;
    std::vector<double> m_bandX, m_bandUp, m_bandDown, m_pad;
};

} // namespace nosk
