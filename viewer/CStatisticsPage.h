#pragma once

#include "CViewerPage.h"

#include <array>
#include <memory>

class QGroupBox;
class QLabel;

namespace nosk {

class CZuGrid;
class CZuGridModel;
struct FitStatistics;

// "Numerical data": the statistics of a fit as the engine's report gives
// them, the free parameters with their uncertainties and their correlation
// matrix, in two read-only grids.
class CStatisticsPage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 10032;

    CStatisticsPage(const QString& title, const FitStatistics& statistics, QWidget* parent = nullptr);
    ~CStatisticsPage() override;

    // The eight value texts in the order of the page.
    QString valueText(int i) const;
    // How the fit ended, from the report's reason line: "Converged (FTOL)",
    // "Ended early: stopped at MAXFEV. ...", empty for a report without one.
    QString endText() const;
    // The text for an end: what endText() shows.
    static QString endTextFor(const FitStatistics& statistics);
    CZuGrid* parameterGrid() const { return m_parameterGrid; }
    CZuGrid* correlationGrid() const { return m_correlationGrid; }
    CZuGridModel* parameterModel() const;
    CZuGridModel* correlationModel() const;

    // The texts of the value fields and cells.
    static QString generalText(double v);   // 15 significant digits
    static QString parameterText(double v); // "%e"
    static QString correlationText(double v); // "%.4f"

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QFont normalFont() const;
    void buildGrids();
    void placeGrids();

    struct Values;

    const FitStatistics& m_statistics;
    std::unique_ptr<Values> m_data;
    std::array<QLabel*, 8> m_values{};
    QLabel* m_end = nullptr;
    std::array<QGroupBox*, 4> m_groups{};
    CZuGrid* m_parameterGrid = nullptr;
    CZuGrid* m_correlationGrid = nullptr;
};

} // namespace nosk
