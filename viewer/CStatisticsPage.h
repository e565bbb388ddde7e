#pragma once

#include "CViewerPage.h"

#include <array>
#include <memory>

#include <QStringList>

class QGroupBox;
class QLabel;

namespace nosk {

class CZuGrid;
class CZuGridModel;
struct FitStatistics;

// "Numerical data": the statistics of a fit as the engine's report gives
// them, the free parameters with their uncertainties and their correlation
// matrix, in two read-only grids.
// What the "Fit quality factor" is, for its tooltip.
inline constexpr const char* kQualityFactorText =
    "The RMS relative misfit: sqrt(sum(((observed - model) / observed)^2) / degrees of freedom) over the fitted "
    "values, whatever the weighting. 0.01 means the model misses the data by about 1 % on average.";

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
    // The parameters to be careful with, one line each with its reason:
    // not determined (undetermined, at the ln p bound, at a limit), a
    // relative std dev above 1, a correlation above 0.99 in magnitude.
    static QStringList cautionLines(const FitStatistics& statistics);
    // The lines shown under the parameter grid.
    QString cautionText() const;
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
    void makeParameterGrid(int visibleCols);
    void makeCorrelationGrid(int visibleRows, int visibleCols);
    void placeGrids();
    int freeCount() const;

    struct Values;

    const FitStatistics& m_statistics;
    std::unique_ptr<Values> m_data;
    std::array<QLabel*, 8> m_values{};
    QLabel* m_end = nullptr;
    QLabel* m_caution = nullptr;
    std::array<QGroupBox*, 4> m_groups{};
    CZuGrid* m_parameterGrid = nullptr;
    CZuGrid* m_correlationGrid = nullptr;
};

} // namespace nosk
