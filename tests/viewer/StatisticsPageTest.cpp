#include "CProfilePage.h"
#include "CStatisticsPage.h"
#include "grid/CZuGrid.h"
#include "grid/CZuGridHeads.h"
#include "grid/CZuGridModel.h"
#include "results/FitStatistics.h"

#include <QScrollBar>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace nosk;

namespace {

FitStatistics statisticsWith(int n)
{
    FitStatistics s;
    s.l2Norm = 0.123456789012345678;
    s.functionEvaluations = 17;
    s.jacobianEvaluations = 5;
    s.sumOfSquares = 2.5;
    s.sigmaSquared = 1e-20;
    s.sigma = 1e-10;
    s.qualityFactor = 0.5;
    s.degreesOfFreedom = 40;
    s.freeCount = n;
    for (int i = 0; i < n; ++i)
        s.freeParameters.push_back({2 * i + 1, i == 0 ? 1234.5 : 1.0 * i, 0.1, 0.01});
    s.correlation.assign(n, std::vector<double>(n, 0.25));
    if (n > 1) {
        s.correlation[1][0] = -0.5;
        s.correlation[0][1] = -0.5;
    }
    return s;
}

} // namespace

// A grid inside its panel (group box) that scrolls only when the panel
// cannot hold one more row or column of it.
static void expectFitsItsPanel(const CZuGrid& grid)
{
    const QWidget* panel = grid.parentWidget();
    ASSERT_NE(panel, nullptr);
    EXPECT_LE(grid.geometry().right(), panel->width());
    EXPECT_LE(grid.geometry().bottom(), panel->height());
    if (grid.visibleCols < grid.colCount) {
        EXPECT_GT(grid.width() + grid.cellWidth + 1, panel->width() - 40) << "a column more would fit";
    }
    if (grid.visibleRows < grid.rowCount) {
        EXPECT_GT(grid.height() + grid.cellHeight + 1, panel->height() - 40) << "a row more would fit";
    }
}

TEST(StatisticsPage, ValueFieldsAndEightParameters)
{
    const FitStatistics s = statisticsWith(8);
    CStatisticsPage page(QStringLiteral("Numerical data"), s);
    page.resize(900, 600);
    page.show();
    EXPECT_EQ(page.helpContext(), 10032);
    EXPECT_EQ(page.valueText(0), QStringLiteral("0.123456789012346"));
    EXPECT_EQ(page.valueText(1), QStringLiteral("17"));
    EXPECT_EQ(page.valueText(2), QStringLiteral("5"));
    EXPECT_EQ(page.valueText(4), QStringLiteral("1e-20"));
    EXPECT_EQ(page.valueText(7), QStringLiteral("40"));

    CZuGrid* p = page.parameterGrid();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->rowCount, 3);
    EXPECT_EQ(p->colCount, 8);
    EXPECT_EQ(p->visibleRows, 3);
    expectFitsItsPanel(*p);
    CZuGrid* c = page.correlationGrid();
    EXPECT_EQ(c->rowCount, 8);
    expectFitsItsPanel(*c);
    // 900 pixels hold the whole matrix of eight: nothing to scroll
    EXPECT_EQ(c->visibleCols, 8);
    EXPECT_FALSE(c->horizontalBar()->isEnabled());

    // "%e" estimates, one digit before the point and six after; "%.4f" correlations
    const std::string est = page.parameterModel()->GetText(0, 0);
    EXPECT_EQ(est.substr(0, 10), "1.234500e+");
    EXPECT_EQ(page.parameterModel()->GetText(3, 1), page.parameterModel()->GetText(0, 1));
    EXPECT_EQ(page.correlationModel()->GetText(0, 1), "-0.5000");
    EXPECT_EQ(page.correlationModel()->GetText(1, 0), "-0.5000");
    EXPECT_EQ(page.correlationModel()->GetText(2, 3), "0.2500");
}

TEST(StatisticsPage, TwentyParametersScrollBothWays)
{
    const FitStatistics s = statisticsWith(20);
    CStatisticsPage page(QStringLiteral("Numerical data"), s);
    page.resize(900, 600);
    page.show();
    expectFitsItsPanel(*page.correlationGrid());
    expectFitsItsPanel(*page.parameterGrid());
    const int cols = page.parameterGrid()->visibleCols, corrCols = page.correlationGrid()->visibleCols;
    EXPECT_LT(cols, 20);
    EXPECT_TRUE(page.parameterGrid()->horizontalBar()->isEnabled());
    // a larger panel shows more of both tables, still without scrolling an
    // empty panel
    page.resize(1800, 1100);
    expectFitsItsPanel(*page.correlationGrid());
    expectFitsItsPanel(*page.parameterGrid());
    EXPECT_GT(page.parameterGrid()->visibleCols, cols);
    EXPECT_GT(page.correlationGrid()->visibleCols, corrCols);
    // and the grid made anew keeps its titles
    EXPECT_EQ(page.parameterGrid()->rowCount, 3);
    EXPECT_EQ(page.parameterGrid()->colCount, 20);
}

TEST(StatisticsPage, TypingChangesNothingAndNoFreeParametersIsNoError)
{
    FitStatistics s = statisticsWith(2);
    CStatisticsPage page(QStringLiteral("Numerical data"), s);
    page.resize(900, 600);
    page.show();
    page.correlationGrid()->setFocus();
    QTest::keyClicks(page.correlationGrid(), QStringLiteral("7"));
    QTest::keyClick(page.correlationGrid(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(s.correlation[0][0], 0.25);
    EXPECT_EQ(page.correlationModel()->GetText(0, 0), "0.2500");

    const FitStatistics none = statisticsWith(0);
    CStatisticsPage empty(QStringLiteral("Numerical data"), none);
    empty.resize(900, 600);
    empty.show();
    EXPECT_EQ(empty.parameterGrid()->colCount, 0);
    EXPECT_EQ(empty.correlationGrid()->rowCount, 0);
    EXPECT_EQ(empty.valueText(1), QStringLiteral("17"));
}

// The page says how the fit ended and marks what to be careful with, one
// line each: a parameter the data do not determine, one at the ln p bound, a
// relative std dev above 1, a correlation above 0.99 in magnitude; a
// parameter without a number is never taken for a well-determined one.
TEST(StatisticsPage, MarksUndeterminedUncertainAndCorrelatedParameters)
{
    FitStatistics s;
    s.freeCount = 4;
    const double nan = std::nan("");
    s.freeParameters = {{1, 10.0, 1.0, 0.1, ParameterStatus::Determined},
                        {2, 3e-308, nan, nan, ParameterStatus::AtLogBound},
                        {3, 2.0, 5.0, 2.5, ParameterStatus::Determined},
                        {5, 0.7, nan, nan, ParameterStatus::Undetermined}};
    s.correlation = {{1, nan, 0.995, nan}, {nan, nan, nan, nan}, {0.995, nan, 1, nan}, {nan, nan, nan, nan}};
    s.end.kind = Reason::Kind::MaxFev;
    CStatisticsPage page(QStringLiteral("Numerical data"), s);
    const QStringList lines = CStatisticsPage::cautionLines(s);
    ASSERT_EQ(lines.size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("p[2]: at bound: it ran to the bound of ln p")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("p[3]: relative std dev 2.5 is above 1")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("p[5]: undetermined: the data do not fix it")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("p[1] and p[3]: correlation 0.9950")));
    EXPECT_EQ(page.cautionText(), lines.join(QLatin1Char('\n')));
    EXPECT_TRUE(page.endText().startsWith(QStringLiteral("Fit ended early: stopped at MAXFEV.")));

    // With the value p[2] is taken at, the determined columns are marked as
    // conditional on it and the first line says so.
    s.given = {{2, 0.0}};
    CStatisticsPage conditional(QStringLiteral("Numerical data"), s);
    const QStringList marked = CStatisticsPage::cautionLines(s);
    ASSERT_EQ(marked.size(), 5);
    EXPECT_EQ(marked[0], QStringLiteral("*: the std devs and correlations hold only given p[2] = 0 (parameters at a "
                                        "bound, taken as fixed there)."));
    EXPECT_EQ(conditional.parameterGrid()->columnHeader()->title(0), QStringLiteral("p[1] * "));
    EXPECT_EQ(conditional.parameterGrid()->columnHeader()->title(1), QStringLiteral("p[2] ? "));

    // A converged fit with nothing to be careful with says so and marks nothing.
    FitStatistics good;
    good.freeCount = 1;
    good.freeParameters = {{1, 10.0, 1.0, 0.1, ParameterStatus::Determined}};
    good.correlation = {{1.0}};
    good.end.kind = Reason::Kind::Converged;
    good.end.test = "ftol";
    EXPECT_TRUE(CStatisticsPage::cautionLines(good).isEmpty());
    EXPECT_EQ(CStatisticsPage::endTextFor(good), QStringLiteral("Fit ended: converged (FTOL)"));

    // A search that ran out of starts says so and what to do; one that
    // agreed says how many runs reached the lowest S.
    FitStatistics searched = good;
    searched.search.end = SearchSummary::End::Budget;
    searched.search.runs = 16;
    searched.search.reached = 1;
    searched.search.needed = 3;
    EXPECT_EQ(CStatisticsPage::endTextFor(searched),
        QStringLiteral("Fit ended: converged (FTOL). The search ran out of starts before it agreed: 1 of 16 runs "
                       "reached the lowest S (3 needed); a lower S may exist: try more starts or limits on the "
                       "parameters."));
    searched.search.end = SearchSummary::End::Agreed;
    searched.search.reached = 5;
    EXPECT_EQ(CStatisticsPage::endTextFor(searched),
        QStringLiteral("Fit ended: converged (FTOL). The search agreed: 5 of 16 runs reached the lowest S."));
}

// A run with intervals adds two rows to the parameter grid; a side that is
// not bounded reads "none" there and is said in words below the grid.
TEST(StatisticsPage, IntervalsBesideTheStdDevs)
{
    FitStatistics s = statisticsWith(2);
    s.intervals = {{1, 1200.0, 1300.0, "profile", 0.95}, {3, 0.5, std::numeric_limits<double>::infinity(), "profile", 0.95}};
    CStatisticsPage page(QStringLiteral("Numerical data"), s);
    page.resize(900, 600);
    CZuGrid* p = page.parameterGrid();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->rowCount, 5);
    CZuGridModel* m = page.parameterModel();
    EXPECT_EQ(m->GetText(0, 3), "1.200000e+003");
    EXPECT_EQ(m->GetText(1, 4), "none");
    EXPECT_TRUE(page.cautionText().contains(QStringLiteral("p[3]: bounded on one side only")));
    EXPECT_TRUE(page.cautionText().contains(QStringLiteral("profile likelihood at level 0.95")));
}

// The profile page shows one parameter's profile at a time; choosing
// another builds the graph again over that one's points.
TEST(ProfilePage, ShowsTheChosenParametersProfile)
{
    FitStatistics s = statisticsWith(2);
    s.intervals = {{1, 1.0, 3.0, "profile", 0.95}, {3, -std::numeric_limits<double>::infinity(), 5.0, "profile", 0.95}};
    s.profiles = {{1, {1.0, 2.0, 3.0}, {4.0, 2.5, 4.0}}, {3, {0.1, 1.0, 5.0, 6.0}, {2.5, 2.5, 4.0, 5.0}}};
    CProfilePage page(s, 30);
    page.resize(900, 600);
    page.show();
    ASSERT_NE(page.graph(), nullptr);
    EXPECT_EQ(page.values(), s.profiles[0].value);
    EXPECT_EQ(page.parameterBox()->count(), 2);
    page.parameterBox()->setCurrentIndex(1);
    ASSERT_NE(page.graph(), nullptr);
    EXPECT_EQ(page.values(), s.profiles[1].value);
    EXPECT_EQ(page.sums(), s.profiles[1].S);
}
