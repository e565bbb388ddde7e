#include "CStatisticsPage.h"

#include "grid/CZuGrid.h"
#include "grid/CZuGridModel.h"
#include "results/FitStatistics.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QStyle>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace nosk {

namespace {

QString printfText(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return QString::fromLatin1(buf);
}

QString parameterTitle(int number)
{
    return QStringLiteral("p[%1] ").arg(number);
}

} // namespace

// The page's own font; the group boxes are bold, their contents are not.
QFont CStatisticsPage::normalFont() const
{
    QFont f = font();
    f.setWeight(QFont::Normal);
    return f;
}

QString CStatisticsPage::generalText(double v)
{
    return printfText("%.15g", v);
}

QString CStatisticsPage::parameterText(double v)
{
    return printfText("%e", v);
}

QString CStatisticsPage::correlationText(double v)
{
    return printfText("%.4f", v);
}

// The parameter grid's model: an interval's end that is not bounded reads
// "none", a parameter without an interval shows nothing there.
class IntervalColumnModel : public CZuColumnModel {
public:
    std::string GetText(int column, int row) override
    {
        if (row >= 3) {
            const double v = GetValue(row, column);
            if (std::isinf(v))
                return "none";
            if (std::isnan(v))
                return {};
        }
        return CZuColumnModel::GetText(column, row);
    }
};

// The grids' values: copies the page keeps, so that the models' pointers stay
// valid for the page's life whatever happens to the result set.
struct CStatisticsPage::Values {
    // estimate, std dev, relative std dev, and the interval's ends when the
    // run gave intervals
    std::vector<std::array<double, 5>> parameters;
    std::vector<std::vector<double>> correlation;
    std::vector<double*> correlationRows;
    IntervalColumnModel parameterModel;
    CZuGridModel correlationModel;
};

CStatisticsPage::CStatisticsPage(const QString& title, const FitStatistics& statistics, QWidget* parent)
    : CViewerPage(title, kHelpContext, parent), m_statistics(statistics), m_data(std::make_unique<Values>())
{
    QFont bold = font();
    bold.setWeight(QFont::DemiBold);
    const char* groupTitles[4] = {"Evaluations", "Fit quality", "Free parameters",
                                  "Correlation matrix of parameters"};
    for (int i = 0; i < 4; ++i) {
        m_groups[i] = new QGroupBox(QString::fromLatin1(groupTitles[i]), this);
        m_groups[i]->setFont(bold);
    }

    const FitStatistics& s = m_statistics;
    const QString values[8] = {
        generalText(s.l2Norm),       QString::number(s.functionEvaluations),
        QString::number(s.jacobianEvaluations), generalText(s.sumOfSquares),
        generalText(s.sigmaSquared), generalText(s.sigma),
        generalText(s.qualityFactor), QString::number(s.degreesOfFreedom),
    };
    const char* labels[8] = {"Final L2 norm of the residuals", "Number of function evaluations",
                             "Number of jacobian evaluations", "Weighted sum of squares, S",
                             "Sigmaf squared estimate, XS",    "Sigmaf estimate",
                             "Fit quality factor",             "No. degrees of freedom"};
    QGridLayout* layouts[2] = {new QGridLayout(m_groups[0]), new QGridLayout(m_groups[1])};
    for (int i = 0; i < 8; ++i) {
        QGridLayout* l = layouts[i < 3 ? 0 : 1];
        const int row = i < 3 ? i : i - 3;
        auto* label = new QLabel(QString::fromLatin1(labels[i]), m_groups[i < 3 ? 0 : 1]);
        label->setFont(normalFont());
        m_values[i] = new QLabel(values[i], m_groups[i < 3 ? 0 : 1]);
        m_values[i]->setFont(normalFont());
        m_values[i]->setAlignment(Qt::AlignCenter);
        m_values[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_values[i]->setMinimumWidth(160);
        m_values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->addWidget(label, row, 0);
        l->addWidget(m_values[i], row, 1);
        if (i == 6) {
            const QString why = QString::fromLatin1(kQualityFactorText);
            label->setToolTip(why);
            m_values[i]->setToolTip(why);
        }
    }
    m_end = new QLabel(endTextFor(s), m_groups[0]);
    m_end->setFont(normalFont());
    m_end->setWordWrap(true);
    m_end->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if ((!s.end.normalEnd() && s.end) || s.search.unfinished())
        m_end->setStyleSheet(QStringLiteral("color: #b00000"));
    layouts[0]->addWidget(m_end, 3, 0, 1, 2);
    layouts[0]->setRowStretch(4, 1);
    buildGrids();
}

CStatisticsPage::~CStatisticsPage()
{
    // The grids go before the models they read.
    delete m_parameterGrid;
    delete m_correlationGrid;
}

CZuGridModel* CStatisticsPage::parameterModel() const
{
    return &m_data->parameterModel;
}

CZuGridModel* CStatisticsPage::correlationModel() const
{
    return &m_data->correlationModel;
}

QString CStatisticsPage::valueText(int i) const
{
    return m_values[i]->text();
}

QString CStatisticsPage::endText() const
{
    return m_end->text();
}

QString CStatisticsPage::cautionText() const
{
    return m_caution->text();
}

QStringList CStatisticsPage::cautionLines(const FitStatistics& s)
{
    QStringList lines;
    const int n = std::min<int>(s.freeCount, static_cast<int>(s.freeParameters.size()));
    auto name = [&](int i) { return QStringLiteral("p[%1]").arg(s.freeParameters[i].number); };
    auto determined = [&](int i) { return s.freeParameters[i].status == ParameterStatus::Determined; };
    // The std devs of the others hold only given the values of those at a
    // bound: their columns are marked '*'.
    const std::string given = givenText(s);
    if (!given.empty()) {
        QString text = QString::fromStdString(given);
        text.replace(QRegularExpression(QStringLiteral("P(\\d+)")), QStringLiteral("p[\\1]"));
        lines << QStringLiteral("*: the std devs and correlations hold only %1 (parameters at a bound, "
                                "taken as fixed there).").arg(text);
    }
    for (int i = 0; i < n; ++i) {
        const FreeParameter& p = s.freeParameters[i];
        if (!determined(i))
            lines << name(i) + QStringLiteral(": ") + QString::fromLatin1(parameterStatusText(p.status)) + QLatin1Char('.');
        else if (p.relStdDev > 1)
            lines << name(i) + QStringLiteral(": relative std dev %1 is above 1: the data hardly fix its value.")
                                   .arg(p.relStdDev, 0, 'g', 3);
    }
    if (!s.intervals.empty()) {
        const ReportedInterval& first = s.intervals.front();
        lines << QStringLiteral("Intervals: %1 at level %2.")
                     .arg(first.method == "bootstrap" ? QStringLiteral("bootstrap percentiles")
                                                      : QStringLiteral("profile likelihood"))
                     .arg(first.level, 0, 'g', 4);
        for (const ReportedInterval& iv : s.intervals) {
            const bool low = std::isfinite(iv.low), high = std::isfinite(iv.high);
            if (std::isnan(iv.low) || (low && high))
                continue;
            lines << QStringLiteral("p[%1]: %2: S never rises enough %3 within its range (\"none\").")
                         .arg(iv.number)
                         .arg(low || high ? QStringLiteral("bounded on one side only") : QStringLiteral("not bounded"))
                         .arg(low ? QStringLiteral("above it") : high ? QStringLiteral("below it") : QStringLiteral("on either side"));
        }
    }
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            if (!determined(i) || !determined(j) || i >= static_cast<int>(s.correlation.size())
                || j >= static_cast<int>(s.correlation[i].size()))
                continue;
            const double c = s.correlation[i][j];
            if (std::abs(c) > 0.99)
                lines << name(i) + QStringLiteral(" and ") + name(j)
                        + QStringLiteral(": correlation %1: the data fix little more than a combination of the two.")
                              .arg(c, 0, 'f', 4);
        }
    return lines;
}

QString CStatisticsPage::endTextFor(const FitStatistics& s)
{
    if (!s.end)
        return {};
    const QString summary = QString::fromStdString(reasonSummary(s.end));
    // A search from several starts: how many runs reached the lowest S and
    // why it stopped.
    QString search = QString::fromStdString(searchNote(s.search));
    if (!search.isEmpty())
        search = QStringLiteral(". ") + search.left(1).toUpper() + search.mid(1) + QLatin1Char('.');
    if (s.end.normalEnd())
        return QStringLiteral("Fit ended: ") + summary + search;
    return QStringLiteral("Fit ended early: ") + summary + QStringLiteral(". The values are those of the last "
                                                                           "accepted step, not a converged fit")
        + (search.isEmpty() ? QStringLiteral(".") : search);
}

namespace {
// The sizes of the grids' parts in the page's normal font.
struct GridSizes {
    int rowHeight, paramHeader, paramCell, corrHeader, corrCell;
    explicit GridSizes(const QFont& font)
    {
        const QFontMetrics fm(font);
        rowHeight = fm.height() + 2;
        paramHeader = fm.horizontalAdvance(QStringLiteral("Std dev of parameters ")) + 5;
        paramCell = fm.horizontalAdvance(QStringLiteral("-0.000000e-000 ")) + 6;
        corrHeader = fm.horizontalAdvance(QStringLiteral("p[00] ")) + 5;
        corrCell = fm.horizontalAdvance(QStringLiteral("-0.0000")) + 6;
    }
};

// How many cells of `cell` pixels (and a one-pixel line) fit beside a header
// of `header` and a scroll bar of `bar` in `room` pixels: at least one, at
// most `count` (a grid as large as its table needs no scrolling).
int cellsThatFit(int room, int header, int bar, int cell, int count)
{
    const int fit = (room - header - bar - 4) / (cell + 1);
    return std::max(1, std::min(count, fit));
}
} // namespace

int CStatisticsPage::freeCount() const
{
    const FitStatistics& s = m_statistics;
    return std::max(0, std::min<int>(s.freeCount, static_cast<int>(s.freeParameters.size())));
}

void CStatisticsPage::buildGrids()
{
    const FitStatistics& s = m_statistics;
    const int n = freeCount();

    Values& d = *m_data;
    d.parameters.resize(n);
    std::vector<double*> columns;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < n; ++i) {
        const FreeParameter& p = s.freeParameters[i];
        d.parameters[i] = {p.estimate, p.stdDev, p.relStdDev, nan, nan};
        for (const ReportedInterval& iv : s.intervals)
            if (iv.number == p.number) {
                d.parameters[i][3] = iv.low;
                d.parameters[i][4] = iv.high;
            }
        columns.push_back(d.parameters[i].data());
    }
    d.parameterModel.setColumns(columns);
    d.parameterModel.SetFormat("%e");

    d.correlation.assign(n, std::vector<double>(n, 0.0));
    for (int r = 0; r < n && r < static_cast<int>(s.correlation.size()); ++r)
        for (int c = 0; c < n && c < static_cast<int>(s.correlation[r].size()); ++c)
            d.correlation[r][c] = s.correlation[r][c];
    d.correlationRows.clear();
    for (auto& row : d.correlation)
        d.correlationRows.push_back(row.data());
    d.correlationModel.SetSource(d.correlationRows.empty() ? nullptr : d.correlationRows.data());
    d.correlationModel.SetFormat("%.4f");

    makeParameterGrid(std::min(n, 6));
    m_caution = new QLabel(cautionLines(s).join(QLatin1Char('\n')), m_groups[2]);
    m_caution->setFont(normalFont());
    m_caution->setWordWrap(true);
    m_caution->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_caution->setStyleSheet(QStringLiteral("color: #b00000"));
    m_caution->setVisible(!m_caution->text().isEmpty());

    makeCorrelationGrid(std::min(n, 14), std::min(n, 7));
    placeGrids();
}

// A grid has the size of its visible block: a panel of another size gets a
// new grid over the same model.
void CStatisticsPage::makeParameterGrid(int visibleCols)
{
    const FitStatistics& s = m_statistics;
    const int n = freeCount();
    const GridSizes z(normalFont());
    delete m_parameterGrid;
    m_parameterGrid = new CZuGrid(m_groups[2]);
    m_parameterGrid->setFont(normalFont());
    const int rows = s.intervals.empty() ? 3 : 5;
    m_parameterGrid->rowHeaderWidth = z.paramHeader;
    m_parameterGrid->colHeaderHeight = z.rowHeight;
    m_parameterGrid->cellWidth = z.paramCell;
    m_parameterGrid->cellHeight = z.rowHeight;
    m_parameterGrid->rowCount = rows;
    m_parameterGrid->colCount = n;
    m_parameterGrid->visibleRows = rows;
    m_parameterGrid->visibleCols = std::max(1, visibleCols);
    m_parameterGrid->Create(10, 25, m_groups[2], 1500, &m_data->parameterModel);
    m_parameterGrid->setFont(normalFont());  // not the group box's bold font
    m_parameterGrid->SetReadOnly(true);
    m_parameterGrid->SetRowTitle(QStringLiteral("Parameter estimates "), 0);
    m_parameterGrid->SetRowTitle(QStringLiteral("Std dev of parameters "), 1);
    m_parameterGrid->SetRowTitle(QStringLiteral("Relative std dev "), 2);
    if (rows == 5) {
        m_parameterGrid->SetRowTitle(QStringLiteral("Interval from "), 3);
        m_parameterGrid->SetRowTitle(QStringLiteral("Interval to "), 4);
    }
    for (int i = 0; i < n; ++i)
        m_parameterGrid->SetColumnTitle(parameterTitle(s.freeParameters[i].number)
                + (s.freeParameters[i].status != ParameterStatus::Determined ? QStringLiteral("? ")
                        : s.given.empty()                                   ? QString()
                                                                            : QStringLiteral("* ")),
            i);
    m_parameterGrid->show();
}

void CStatisticsPage::makeCorrelationGrid(int visibleRows, int visibleCols)
{
    const FitStatistics& s = m_statistics;
    const int n = freeCount();
    const GridSizes z(normalFont());
    delete m_correlationGrid;
    m_correlationGrid = new CZuGrid(m_groups[3]);
    m_correlationGrid->setFont(normalFont());
    m_correlationGrid->rowHeaderWidth = z.corrHeader;
    m_correlationGrid->colHeaderHeight = z.rowHeight;
    m_correlationGrid->cellWidth = z.corrCell;
    m_correlationGrid->cellHeight = z.rowHeight;
    m_correlationGrid->rowCount = n;
    m_correlationGrid->colCount = n;
    m_correlationGrid->visibleRows = std::max(1, visibleRows);
    m_correlationGrid->visibleCols = std::max(1, visibleCols);
    m_correlationGrid->Create(10, 25, m_groups[3], 1500, &m_data->correlationModel);
    m_correlationGrid->setFont(normalFont());
    m_correlationGrid->SetReadOnly(true);
    for (int i = 0; i < n; ++i) {
        m_correlationGrid->SetRowTitle(parameterTitle(s.freeParameters[i].number), i);
        m_correlationGrid->SetColumnTitle(parameterTitle(s.freeParameters[i].number), i);
    }
    m_correlationGrid->show();
}

void CStatisticsPage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    placeGrids();
}

// Evaluations and fit quality side by side at the top, the parameter grid's
// group below them and the correlation matrix's group in the rest.
void CStatisticsPage::placeGrids()
{
    const int W = std::max(width(), 400);
    const int H = std::max(height(), 300);
    const int L = QFontMetrics(font()).height();
    const int topHeight = 5 * (L + 10) + 30;
    const int mx = W / 2;
    m_groups[0]->setGeometry(5, 3, mx - 8, topHeight);
    m_groups[1]->setGeometry(mx + 3, 3, W - mx - 8, topHeight);
    const QSize pg = m_parameterGrid ? m_parameterGrid->size() : QSize(0, 0);
    const int paramTop = topHeight + 8;
    const int cautionHeight = m_caution && m_caution->isVisibleTo(this)
        ? m_caution->heightForWidth(std::max(W - 40, 100)) + 6 : 0;
    const int paramHeight = std::max(pg.height() + 40, 3 * L + 40) + cautionHeight;
    m_groups[2]->setGeometry(5, paramTop, W - 10, paramHeight);
    const int corrTop = paramTop + paramHeight + 5;
    m_groups[3]->setGeometry(5, corrTop, W - 10, std::max(H - corrTop - 4, 60));
    // Each grid shows as many columns (and the matrix as many rows) as its
    // panel holds, so that a large panel never scrolls a small block.
    const int n = freeCount();
    if (m_parameterGrid && n > 0) {
        const GridSizes z(normalFont());
        const int bar = m_parameterGrid->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int cols = cellsThatFit(m_groups[2]->width() - 20, z.paramHeader, bar, z.paramCell, n);
        if (cols != m_parameterGrid->visibleCols)
            makeParameterGrid(cols);
        if (m_correlationGrid) {
            const int rows = cellsThatFit(m_groups[3]->height() - L - 14, z.rowHeight, bar, z.rowHeight, n);
            const int corrCols = cellsThatFit(m_groups[3]->width() - 20, z.corrHeader, bar, z.corrCell, n);
            if (rows != m_correlationGrid->visibleRows || corrCols != m_correlationGrid->visibleCols)
                makeCorrelationGrid(rows, corrCols);
        }
    }
    const QSize pgNow = m_parameterGrid ? m_parameterGrid->size() : QSize(0, 0);
    if (m_parameterGrid) {
        const QRect g = m_groups[2]->rect();
        const int top = std::max(L + 4, (g.height() - cautionHeight - pgNow.height()) / 2 + L / 2);
        m_parameterGrid->move(std::max(10, (g.width() - pgNow.width()) / 2 + 10), top);
        if (cautionHeight > 0)
            m_caution->setGeometry(15, top + pgNow.height() + 4, std::max(W - 40, 100), cautionHeight - 6);
    }
    if (m_correlationGrid) {
        const QRect g = m_groups[3]->rect();
        const QSize cg = m_correlationGrid->size();
        m_correlationGrid->move(std::max(10, (g.width() - cg.width()) / 2),
                                std::max(L + 4, (g.height() - cg.height()) / 2 + L / 2));
    }
}

} // namespace nosk
