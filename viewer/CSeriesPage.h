#pragma once

#include "CViewerPage.h"
#include "results/SeriesCurve.h"

#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QTextEdit;

namespace nosk {

class SeriesChartView;

// "Series": a series fitted as one (the work folder's SERIES): the picture
// of one parameter along the covariate, or all of them, with the fitted
// function and its band; the tests of the roles in words; the shared values
// and the functions' coefficients with std dev and 95 % interval. A file
// that cannot be read shows why and nothing else; a spectrum of the series
// changed after the fit marks the page "OUT OF DATE".
class CSeriesPage : public CViewerPage {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Series";
    static constexpr int kHelpContext = 10047;

    explicit CSeriesPage(QWidget* parent = nullptr);
    ~CSeriesPage() override;

    bool HasGraphs() const override { return m_result.has_value(); }
    QSize ownPictureSize() const override;
    void drawOwnPicture(QPainter& painter, const QRect& area) const override;

    // Why the file could not be read (empty when it was).
    const std::string& errorText() const { return m_error; }
    const std::optional<SeriesResultFile>& result() const { return m_result; }
    // Whether a spectrum changed after the fit, and the banner that says so.
    bool stale() const { return m_stale; }
    QString bannerText() const;
    // The tests, the fit and the coefficients as the page shows them (plain text).
    QString reportText() const;
    QComboBox* parameterChoice() const { return m_choice; }
    // The numbers of the parameter shown (none while "All parameters").
    const SeriesPlotData* shownData() const;

    // The text of the page's right-hand side (HTML), and the lines printed
    // under the picture.
    static QString reportHtml(const SeriesResultFile& result);
    static QStringList verdictLines(const SeriesResultFile& result);

private:
    void choose(int index);

    std::optional<SeriesResultFile> m_result;
    std::vector<SeriesPlotData> m_panels;  // per parameter; empty when one fails
    std::string m_error;
    bool m_stale = false;
    QLabel* m_banner = nullptr;
    QComboBox* m_choice = nullptr;
    SeriesChartView* m_chart = nullptr;
    QTextEdit* m_text = nullptr;
};

} // namespace nosk
