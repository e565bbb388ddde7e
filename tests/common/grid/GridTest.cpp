#include "core/ScriptedPrompt.h"
#include "grid/CZuGrid.h"
#include "grid/CZuGridCells.h"
#include "grid/CZuGridHeads.h"
#include "grid/CZuGridModel.h"

#include "support/Tolerance.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace nosk;

namespace {

// A table of rows x columns doubles, value r * 10 + c + 0.5, in a window
// with one other control to take the focus away.
struct GridFixture {
    GridFixture(int rows, int columns, int visibleRows = 5, int visibleCols = 3)
        : storage(static_cast<std::size_t>(rows), std::vector<double>(static_cast<std::size_t>(columns)))
    {
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c)
                storage[r][c] = r * 10 + c + 0.5;
            rowPointers.push_back(storage[r].data());
        }
        model.SetSource(rowPointers.data());
        window.resize(600, 400);
        other = new QLineEdit(&window);
        other->setGeometry(400, 10, 100, 24);
        grid = new CZuGrid;
        grid->rowCount = rows;
        grid->colCount = columns;
        grid->visibleRows = visibleRows;
        grid->visibleCols = visibleCols;
        grid->cellWidth = 90;
        grid->cellHeight = 20;
        grid->colHeaderHeight = 20;
        grid->setPrompt(&prompt);
        created = grid->Create(10, 10, &window, 1500, &model);
        window.show();
        QApplication::setActiveWindow(&window);
    }

    CZuGridCells* cells() const { return grid->cells(); }
    double& value(int row, int column) { return storage[row][column]; }
    QPoint centreOf(int visibleRow, int visibleColumn) const
    {
        return cells()->cellRect(visibleRow, visibleColumn).center();
    }
    void click(int visibleRow, int visibleColumn)
    {
        QTest::mouseClick(cells(), Qt::LeftButton, Qt::NoModifier, centreOf(visibleRow, visibleColumn));
    }
    void type(const QString& text)
    {
        ASSERT_NE(cells()->editor(), nullptr);
        cells()->editor()->selectAll();
        QTest::keyClicks(cells()->editor(), text);
    }
    void ctrl(Qt::Key key)
    {
        QWidget* target = cells()->editor() ? static_cast<QWidget*>(cells()->editor()) : grid;
        QTest::keyClick(target, key, Qt::ControlModifier);
        QCoreApplication::processEvents();  // the move is posted
    }

    std::vector<std::vector<double>> storage;
    std::vector<double*> rowPointers;
    CZuGridModel model;
    ScriptedPrompt prompt;
    QWidget window;
    QLineEdit* other;
    CZuGrid* grid;
    bool created = false;
};

} // namespace

TEST(Grid, GeometryFollowsTheFields)
{
    GridFixture f(10, 5);
    ASSERT_TRUE(f.created);
    const int SX = f.grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_EQ(f.grid->width(), SX + 91 * 3 + 60 + 4);
    EXPECT_EQ(f.grid->height(), 20 + 21 * 5 + SX + 4);
    EXPECT_EQ(f.cells()->geometry(), QRect(62, 22, 91 * 3 + 1, 21 * 5 + 1));
    EXPECT_EQ(f.grid->columnHeader()->geometry(), QRect(62, 1, 91 * 3 + 1, 21));
    EXPECT_EQ(f.grid->rowHeader()->geometry(), QRect(1, 22, 61, 21 * 5 + 1));
    EXPECT_EQ(f.cells()->cellRect(1, 2), QRect(2 * 91 + 1, 21 + 1, 90, 20));
    EXPECT_TRUE(f.grid->verticalBar()->isVisible());
    EXPECT_TRUE(f.grid->horizontalBar()->isVisible());
    EXPECT_EQ(f.grid->columnHeader()->title(4).toStdString(), "col 4 ");
    EXPECT_EQ(f.grid->rowHeader()->title(9).toStdString(), "9 ");
    f.grid->SetColumnTitle(QStringLiteral("FREQ "), 0);
    f.grid->SetRowTitle(QStringLiteral("Parameter estimates "), 0);
    EXPECT_EQ(f.grid->columnHeader()->title(0).toStdString(), "FREQ ");
    EXPECT_EQ(f.grid->rowHeader()->title(0).toStdString(), "Parameter estimates ");
}

TEST(Grid, ScrollBarsHiddenWhenAllIsVisible)
{
    GridFixture f(3, 3, 5, 3);
    EXPECT_FALSE(f.grid->verticalBar()->isVisible());
    EXPECT_FALSE(f.grid->horizontalBar()->isVisible());
    // The rows past the table's end are empty and cannot be edited.
    EXPECT_EQ(f.cells()->cellText(4, 0).toStdString(), "");
    f.click(4, 0);
    EXPECT_EQ(f.cells()->currentRow(), 0);
}

TEST(Grid, DefaultFormatTextAndEditor)
{
    GridFixture f(10, 5);
    f.value(0, 0) = 1.5;
    f.cells()->SetTopLeft(0, 0);
    EXPECT_EQ(f.cells()->cellText(0, 0).toStdString(), "1.500000e+000 ");
    f.grid->setFocus();
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->editor()->text().toStdString(), "1.500000e+000");
    EXPECT_EQ(f.cells()->editor()->geometry(), f.cells()->cellRect(0, 0));
}

TEST(Grid, LettersAreRefusedAndTheOldValueStays)
{
    GridFixture f(10, 5);
    f.grid->setFocus();
    f.type(QStringLiteral("abc"));
    f.click(1, 1);
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_EQ(f.prompt.messages[0].text, "Wrong value!");
    EXPECT_EQ(f.prompt.messages[0].caption, "");
    EXPECT_EQ(f.prompt.messages[0].buttons, Buttons::Ok);
    EXPECT_DOUBLE_EQ(f.value(0, 0), 0.5);
    EXPECT_EQ(f.cells()->currentRow(), 1);
    EXPECT_EQ(f.cells()->currentColumn(), 1);
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->editor()->text().toStdString(), "1.150000e+001");
}

TEST(Grid, NumberFollowedByLettersIsTaken)
{
    GridFixture f(10, 5);
    f.grid->setFocus();
    f.type(QStringLiteral("2.5xyz"));
    f.click(2, 0);
    EXPECT_TRUE(f.prompt.messages.empty());
    EXPECT_DOUBLE_EQ(f.value(0, 0), 2.5);
    EXPECT_EQ(f.cells()->cellText(0, 0).toStdString(), "2.500000e+000 ");
}

TEST(Grid, VisitingACellDoesNotRoundItsValue)
{
    GridFixture f(10, 5);
    f.value(0, 0) = 1.23456789012;
    f.cells()->SetTopLeft(0, 0);
    f.grid->setFocus();
    f.click(1, 0);
    f.ctrl(Qt::Key_Up);
    f.ctrl(Qt::Key_Down);
    EXPECT_DOUBLE_EQ(f.value(0, 0), 1.23456789012);
}

TEST(Grid, CtrlRightScrollsAtTheLastVisibleColumnAndStopsAtTheLastColumn)
{
    GridFixture f(10, 5);
    f.click(0, 2);
    f.type(QStringLiteral("9"));
    f.ctrl(Qt::Key_Right);
    EXPECT_DOUBLE_EQ(f.value(0, 2), 9.0);  // committed on the way
    EXPECT_EQ(f.cells()->currentColumn(), 3);
    EXPECT_EQ(f.cells()->leftColumn(), 1);
    EXPECT_EQ(f.grid->horizontalBar()->value(), 1);
    EXPECT_EQ(f.grid->columnHeader()->first(), 1);
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_TRUE(f.cells()->editor()->hasFocus());
    EXPECT_EQ(f.cells()->editor()->geometry(), f.cells()->cellRect(0, 2));
    EXPECT_EQ(f.cells()->editor()->text().toStdString(), "3.500000e+000");

    f.ctrl(Qt::Key_Right);
    EXPECT_EQ(f.cells()->currentColumn(), 4);
    EXPECT_EQ(f.cells()->leftColumn(), 2);
    f.ctrl(Qt::Key_Right);  // the last table column: nothing happens
    EXPECT_EQ(f.cells()->currentColumn(), 4);
    EXPECT_EQ(f.cells()->leftColumn(), 2);
    ASSERT_NE(f.cells()->editor(), nullptr);

    // And back up and left past the block's edge.
    f.ctrl(Qt::Key_Down);
    EXPECT_EQ(f.cells()->currentRow(), 1);
    for (int i = 0; i < 4; ++i)
        f.ctrl(Qt::Key_Left);
    EXPECT_EQ(f.cells()->currentColumn(), 0);
    EXPECT_EQ(f.cells()->leftColumn(), 0);
    f.ctrl(Qt::Key_Left);
    EXPECT_EQ(f.cells()->currentColumn(), 0);
}

TEST(Grid, ScrollingClampsAtTheLastFullBlock)
{
    GridFixture f(10, 5);
    QScrollBar* h = f.grid->horizontalBar();
    EXPECT_EQ(h->maximum(), 2);  // 5 - 1 + 1 - 3
    h->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(f.cells()->leftColumn(), 2);
    h->setValue(4);
    EXPECT_EQ(f.cells()->leftColumn(), 2);
    h->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(f.cells()->leftColumn(), 0);
    QScrollBar* v = f.grid->verticalBar();
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.cells()->topRow(), 5);
    v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(f.cells()->topRow(), 5);  // 10 - 5
    EXPECT_EQ(f.grid->rowHeader()->first(), 5);
    EXPECT_EQ(f.cells()->cellText(4, 1).toStdString(), "9.150000e+001 ");
}

TEST(Grid, ClickOnAGridLineDoesNothing)
{
    GridFixture f(10, 5);
    f.grid->setFocus();
    f.type(QStringLiteral("abc"));
    QRect c = f.cells()->cellRect(0, 0);
    QTest::mouseClick(f.cells(), Qt::LeftButton, Qt::NoModifier, QPoint(c.right() + 1, c.center().y()));
    QTest::mouseClick(f.cells(), Qt::LeftButton, Qt::NoModifier, QPoint(c.center().x(), c.bottom() + 1));
    QTest::mouseClick(f.cells(), Qt::LeftButton, Qt::NoModifier, QPoint(0, 5));
    EXPECT_TRUE(f.prompt.messages.empty());
    EXPECT_EQ(f.cells()->currentColumn(), 0);
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->editor()->text().toStdString(), "abc");
}

TEST(Grid, ReadOnlyNeverOpensTheEditor)
{
    GridFixture f(10, 5);
    f.grid->SetReadOnly(true);
    f.grid->setFocus();
    EXPECT_EQ(f.cells()->editor(), nullptr);
    f.click(1, 2);
    EXPECT_EQ(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->currentRow(), 1);
    EXPECT_EQ(f.cells()->currentColumn(), 2);
    f.grid->setFocus();
    f.ctrl(Qt::Key_Right);
    EXPECT_EQ(f.cells()->currentColumn(), 3);
    EXPECT_EQ(f.cells()->leftColumn(), 1);
    EXPECT_EQ(f.cells()->editor(), nullptr);
    f.grid->verticalBar()->setValue(3);
    EXPECT_EQ(f.cells()->topRow(), 3);
    EXPECT_EQ(f.cells()->cellText(0, 0).toStdString(), "3.150000e+001 ");
    EXPECT_EQ(f.cells()->editor(), nullptr);
    EXPECT_TRUE(f.prompt.messages.empty());
}

TEST(Grid, FocusLossCommits)
{
    GridFixture f(10, 5);
    f.grid->setFocus();
    f.type(QStringLiteral("7"));
    f.other->setFocus();
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(f.value(0, 0), 7.0);
    EXPECT_EQ(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->cellText(0, 0).toStdString(), "7.000000e+000 ");
}

namespace {
// A prompt whose box takes the focus, as a real message box does.
class FocusTakingPrompt : public ScriptedPrompt {
public:
    QWidget* box = nullptr;
    Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons,
                       Icon icon) override
    {
        box->setFocus();
        QCoreApplication::processEvents();
        return ScriptedPrompt::showMessage(text, caption, buttons, icon);
    }
};
} // namespace

TEST(Grid, RefusedTextOnFocusLossIsReportedOnce)
{
    GridFixture f(10, 5);
    FocusTakingPrompt prompt;
    QLineEdit box(&f.window);
    box.setGeometry(400, 100, 100, 24);
    box.show();
    prompt.box = &box;
    f.grid->setPrompt(&prompt);
    f.grid->setFocus();
    f.type(QStringLiteral("oops"));
    f.other->setFocus();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(prompt.messages.size(), 1u);
    EXPECT_DOUBLE_EQ(f.value(0, 0), 0.5);
    EXPECT_EQ(f.cells()->editor(), nullptr);
}

namespace {
class CountingModel : public CZuColumnModel {
public:
    using CZuColumnModel::CZuColumnModel;
    std::string GetText(int column, int row) override
    {
        ++calls;
        return CZuColumnModel::GetText(column, row);
    }
    int calls = 0;
};
} // namespace

TEST(Grid, HundredThousandRowsReadOnlyTheVisibleBlock)
{
    const int rows = 100000;
    std::vector<double> freq(rows), data(rows);
    for (int r = 0; r < rows; ++r) {
        freq[r] = r;
        data[r] = -r;
    }
    CountingModel model({freq.data(), data.data()});
    QWidget window;
    auto* grid = new CZuGrid;
    grid->rowCount = rows;
    grid->colCount = 2;
    grid->visibleRows = 20;
    grid->visibleCols = 2;
    grid->cellWidth = 100;
    grid->cellHeight = 18;
    ASSERT_TRUE(grid->Create(0, 0, &window, 1, &model));
    window.show();
    EXPECT_LE(model.calls, 20 * 2 + 1);
    EXPECT_FALSE(grid->horizontalBar()->isVisible());
    EXPECT_EQ(grid->verticalBar()->maximum(), rows - 20);

    model.calls = 0;
    for (int i = 0; i < 200; ++i)
        grid->verticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    grid->verticalBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    QImage img = grid->grab().toImage();
    EXPECT_FALSE(img.isNull());
    EXPECT_LE(model.calls, 201 * (20 * 2 + 1));
    EXPECT_EQ(grid->cells()->topRow(), rows - 20);
    EXPECT_EQ(grid->cells()->cellText(19, 1).toStdString(), "-9.999900e+004 ");
    EXPECT_EQ(grid->rowHeader()->first(), rows - 20);
}

namespace {

// The clipboard's text read back as a table of numbers; every field must be
// a whole number text. A block of more than one cell starts with a line of
// the column titles ("col 2" ...), checked and dropped.
std::vector<std::vector<double>> clipboardTable()
{
    std::vector<std::vector<double>> table;
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(text.endsWith(QLatin1Char('\n')));
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty() && lines.front().startsWith(QStringLiteral("col "))) {
        const QStringList titles = lines.front().split(QLatin1Char('\t'));
        const QStringList first = lines.size() > 1 ? lines[1].split(QLatin1Char('\t')) : QStringList();
        EXPECT_EQ(titles.size(), first.size()) << text.toStdString();
        for (const QString& t : titles)
            EXPECT_TRUE(t.startsWith(QStringLiteral("col "))) << t.toStdString();
        lines.removeFirst();
    }
    for (const QString& line : lines) {
        std::vector<double> row;
        for (const QString& field : line.split(QLatin1Char('\t'))) {
            const std::string f = field.toStdString();
            char* end = nullptr;
            row.push_back(std::strtod(f.c_str(), &end));
            EXPECT_EQ(*end, '\0') << "field '" << f << "'";
        }
        table.push_back(row);
    }
    return table;
}

// The block of the fixture's values from (row, column) on.
std::vector<std::vector<double>> block(GridFixture& f, int row, int column, int rows, int columns)
{
    std::vector<std::vector<double>> b;
    for (int r = row; r < row + rows; ++r) {
        b.emplace_back();
        for (int c = column; c < column + columns; ++c)
            b.back().push_back(f.value(r, c));
    }
    return b;
}

void expectTable(const std::vector<std::vector<double>>& got, const std::vector<std::vector<double>>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t r = 0; r < want.size(); ++r) {
        ASSERT_EQ(got[r].size(), want[r].size()) << "row " << r;
        for (std::size_t c = 0; c < want[r].size(); ++c)
            EXPECT_REL_NEAR(got[r][c], want[r][c], 1e-6) << r << ", " << c;
    }
}

} // namespace

TEST(Grid, ReadOnlySelectionIsCopiedAsTabSeparatedText)
{
    GridFixture f(30, 8, 5, 3);
    f.grid->SetReadOnly(true);
    QGuiApplication::clipboard()->clear();

    // A click makes the current cell the selection; Ctrl+C copies it.
    f.click(1, 2);
    EXPECT_TRUE(f.grid->hasFocus());
    QTest::keyClick(f.grid, Qt::Key_C, Qt::ControlModifier);
    expectTable(clipboardTable(), block(f, 1, 2, 1, 1));

    // Shift+click spans a block from the first cell, either direction.
    QTest::mouseClick(f.cells(), Qt::LeftButton, Qt::ShiftModifier, f.centreOf(3, 0));
    EXPECT_EQ(f.cells()->selection(), QRect(QPoint(0, 1), QPoint(2, 3)));
    QTest::keyClick(f.grid, Qt::Key_C, Qt::ControlModifier);
    expectTable(clipboardTable(), block(f, 1, 0, 3, 3));

    // Shift+arrows move its far corner past the visible block, which
    // scrolls along; the first cell stays where it was.
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(f.grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(f.grid, Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(f.cells()->currentRow(), 9);
    EXPECT_GT(f.cells()->topRow(), 0);
    QTest::keyClick(f.grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(f.cells()->selection(), QRect(QPoint(1, 1), QPoint(2, 9)));
    expectTable(clipboardTable(), block(f, 1, 1, 9, 2));

    // A plain arrow leaves one cell selected again.
    QTest::keyClick(f.grid, Qt::Key_Up);
    EXPECT_EQ(f.cells()->selection(), QRect(1, 8, 1, 1));

    // Ctrl+A takes the whole table, 30 rows of 8.
    QTest::keyClick(f.grid, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(f.grid, Qt::Key_C, Qt::ControlModifier);
    expectTable(clipboardTable(), block(f, 0, 0, 30, 8));
    EXPECT_EQ(f.cells()->editor(), nullptr);
    EXPECT_TRUE(f.prompt.messages.empty());
}

TEST(Grid, EditorCopiesItsSelectedTextOrTheSelectedCells)
{
    GridFixture f(10, 5);
    f.click(2, 1);
    ASSERT_NE(f.cells()->editor(), nullptr);
    // Text selected in the editor: the usual copy of that text.
    f.cells()->editor()->setSelection(0, 3);
    QTest::keyClick(f.cells()->editor(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("2.1"));

    // Typed but not committed: the copy commits first and copies the value.
    f.type(QStringLiteral("7.25"));
    QTest::keyClick(f.cells()->editor(), Qt::Key_End);
    QTest::keyClick(f.cells()->editor(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(f.value(2, 1), 7.25);
    expectTable(clipboardTable(), {{7.25}});

    // Ctrl+Shift+arrows widen the selection while editing.
    QTest::keyClick(f.cells()->editor(), Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    QCoreApplication::processEvents();
    QTest::keyClick(f.cells()->editor(), Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
    QCoreApplication::processEvents();
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->selection(), QRect(QPoint(1, 2), QPoint(2, 3)));
    QTest::keyClick(f.cells()->editor(), Qt::Key_C, Qt::ControlModifier);
    expectTable(clipboardTable(), block(f, 2, 1, 2, 2));
}

TEST(Grid, EnterCommitsTheEditedCellAndStaysThere)
{
    GridFixture f(10, 5);
    f.click(1, 2);
    f.type(QStringLiteral("7.25"));
    QTest::keyClick(f.cells()->editor(), Qt::Key_Return);
    EXPECT_TRUE(f.prompt.messages.empty());
    EXPECT_DOUBLE_EQ(f.value(1, 2), 7.25);
    EXPECT_EQ(f.cells()->cellText(1, 2).toStdString(), "7.250000e+000 ");
    EXPECT_EQ(f.cells()->currentRow(), 1);
    EXPECT_EQ(f.cells()->currentColumn(), 2);
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->editor()->text().toStdString(), "7.250000e+000");

    // The keypad's Enter too; a refused text is reported once and the cell
    // keeps its value.
    f.type(QStringLiteral("abc"));
    QTest::keyClick(f.cells()->editor(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_EQ(f.prompt.messages[0].text, "Wrong value!");
    EXPECT_DOUBLE_EQ(f.value(1, 2), 7.25);
    ASSERT_NE(f.cells()->editor(), nullptr);
    EXPECT_EQ(f.cells()->editor()->text().toStdString(), "7.250000e+000");
}
