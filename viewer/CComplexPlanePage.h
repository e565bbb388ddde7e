#pragma once

#include "CViewerPage.h"

class QGroupBox;

namespace nosk {

class CZuSquareGraph;
class ViewerRun;

// "Complex-plane plot": the imaginary part of data and model against the real
// part, on a square graph whose axes span the same range (complex data only).
class CComplexPlanePage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10034;

    CComplexPlanePage(const QString& title, const ViewerRun& run, GraphSettings& settings, int textHeight,
                      QWidget* parent = nullptr);

    bool HasGraphs() const override;
    void GetPageGraphs(PageGraphs& list) const override;
    void SaveGraphSettings(GraphSettings& settings, char dattyp) const override;

    void ensureBuilt();
    CZuSquareGraph* graph() const { return m_graph; }
    QGroupBox* groupBox() const { return m_group; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void centre();

    const ViewerRun& m_run;
    GraphSettings& m_settings;
    int m_textHeight;
    bool m_built = false;
    QGroupBox* m_group = nullptr;
    CZuSquareGraph* m_graph = nullptr;
};

} // namespace nosk
