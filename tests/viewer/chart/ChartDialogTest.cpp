// The chart dialogs: the axis dialog's enabling rule and number refusal, the
// trace dialog applying every trace on OK, the legend and its print result.
#include "CZuAxis.h"
#include "CZuAxisDlg.h"
#include "CZuAxisLabel.h"
#include "CZuColorBox.h"
#include "CZuGraph.h"
#include "CZuLegendDlg.h"
#include "CZuPlot.h"
#include "CZuTrace.h"
#include "CZuTraceDlg.h"
#include "core/ScriptedPrompt.h"
#include "platform/DialogRunner.h"
#include "support/ScriptedDialogRunner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace nosk;

namespace {

struct ChartDialogs : ::testing::Test {
    QWidget page;
    CZuGraph graph;
    ScriptedPrompt prompt;
    test::ScriptedDialogRunner dialogs;
    double x[3] = {5, 50, 1000.4};
    double y[3] = {2, 3, 4};
    double y2[3] = {1, 2, 3};

    void SetUp() override
    {
        page.resize(600, 500);
        graph.Create(QRect(10, 10, 404, 304), &page, 12, 0, 1);
        graph.setPrompt(&prompt);
        graph.setHelpContexts(10021, 10025);
        graph.AddTrace(x, y, 3, 2, 255);
        graph.AddTrace(x, y2, 3, 1, 0xFF0000);
        graph.UpdateRanges();
        graph.axisX()->GetTitleWindow()->setText(QStringLiteral("Time, sec"));
    }
};

} // namespace

TEST_F(ChartDialogs, AxisEnablingRule)
{
    int autoScale = 1, logScale = 0;
    double mx = 10, mn = 0;
    CZuAxisDlg dlg(QStringLiteral("t"), autoScale, logScale, mx, mn, 0, &prompt);
    EXPECT_TRUE(dlg.autoBox()->isEnabled());
    EXPECT_FALSE(dlg.minEdit()->isEnabled());
    EXPECT_FALSE(dlg.maxEdit()->isEnabled());
    dlg.autoBox()->click();   // unchecked: the numbers become editable
    EXPECT_TRUE(dlg.minEdit()->isEnabled());
    EXPECT_TRUE(dlg.maxEdit()->isEnabled());
    dlg.logBox()->click();    // log: the limits stay the user's
    EXPECT_TRUE(dlg.autoBox()->isEnabled());
    EXPECT_TRUE(dlg.minEdit()->isEnabled());
    EXPECT_TRUE(dlg.maxEdit()->isEnabled());
    dlg.autoBox()->click();   // auto again: the numbers are the data's
    EXPECT_FALSE(dlg.minEdit()->isEnabled());

    // Opening with log and auto set: only the limits are off.
    logScale = 1;
    autoScale = 1;
    CZuAxisDlg logged(QStringLiteral("t"), autoScale, logScale, mx, mn, 0, &prompt);
    EXPECT_TRUE(logged.autoBox()->isEnabled());
    EXPECT_FALSE(logged.maxEdit()->isEnabled());
    EXPECT_EQ(logged.maxEdit()->text(), QStringLiteral("10"));
}

// Limits typed for a log axis are kept (the decades between are the ticks);
// limits a log axis cannot take are refused in the dialog.
TEST_F(ChartDialogs, ManualLogRangeFromTheDialog)
{
    dialogs.next<CZuAxisDlg>([this](CZuAxisDlg* d) {
        d->logBox()->click();
        d->autoBox()->click();
        d->minEdit()->setText(QStringLiteral("0"));
        d->maxEdit()->setText(QStringLiteral("300"));
        d->okButton()->click();
        EXPECT_TRUE(d->isVisible());
        ASSERT_EQ(prompt.messages.size(), 1u);
        d->minEdit()->setText(QStringLiteral("2"));
        d->okButton()->click();
    });
    graph.openAxisDialog(graph.axisX());
    CZuAxis* a = graph.axisX();
    EXPECT_EQ(a->logScale(), 1);
    EXPECT_EQ(a->autoScale(), 0);
    EXPECT_DOUBLE_EQ(a->rangeMin(), 2);
    EXPECT_DOUBLE_EQ(a->rangeMax(), 300);
    EXPECT_EQ(a->tickValues(), (std::vector<double>{10, 100}));
    // A new layout (enlarging the graph) keeps them.
    graph.MoveGraph(QRect(0, 0, 700, 500));
    EXPECT_DOUBLE_EQ(a->rangeMin(), 2);
    EXPECT_DOUBLE_EQ(a->rangeMax(), 300);
}

TEST_F(ChartDialogs, ManualRangeFromTheDialog)
{
    graph.axisY()->GetTitleWindow()->setText(QStringLiteral("Residuals"));
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        EXPECT_EQ(d->titleEdit()->text(), QStringLiteral("Residuals"));
        EXPECT_EQ(d->minEdit()->text(), QStringLiteral("1"));   // the data range
        EXPECT_EQ(d->maxEdit()->text(), QStringLiteral("4"));
        d->autoBox()->click();
        d->minEdit()->setText(QStringLiteral("0"));
        d->maxEdit()->setText(QStringLiteral("50"));
        d->okButton()->click();
    });
    graph.openAxisDialog(graph.axisY());
    CZuAxis* a = graph.axisY();
    EXPECT_EQ(a->autoScale(), 0);
    EXPECT_DOUBLE_EQ(a->rangeMin(), 0);
    EXPECT_DOUBLE_EQ(a->rangeMax(), 50);
    EXPECT_EQ(a->tickValues(), (std::vector<double>{10, 20, 30, 40}));
    EXPECT_EQ(a->GetTitleWindow()->text(), QStringLiteral("Residuals"));
    EXPECT_TRUE(prompt.messages.empty());

    // Reopened, the fields show the range the user set.
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        EXPECT_EQ(d->maxEdit()->text(), QStringLiteral("50"));
        d->reject();
    });
    graph.openAxisDialog(graph.axisY());
    EXPECT_DOUBLE_EQ(a->rangeMax(), 50);
}

TEST_F(ChartDialogs, BadNumberIsRefusedAndDialogStays)
{
    dialogs.next<CZuAxisDlg>([this](CZuAxisDlg* d) {
        d->autoBox()->click();
        d->maxEdit()->setText(QStringLiteral("12x"));
        d->titleEdit()->setText(QStringLiteral("changed"));
        d->okButton()->click();
        EXPECT_TRUE(d->isVisible());
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, "Please enter a number.");
        // Nothing was written while the number was refused.
        EXPECT_EQ(graph.axisY()->autoScale(), 1);
        d->reject();
    });
    graph.openAxisDialog(graph.axisY());
    EXPECT_EQ(graph.axisY()->autoScale(), 1);
    EXPECT_EQ(graph.axisY()->GetTitleWindow()->text(), QStringLiteral("Axis Y"));
}

TEST_F(ChartDialogs, LogScaleRoundsToDecadesAroundTheData)
{
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        d->logBox()->click();
        d->okButton()->click();
    });
    // A right click on the axis opens the dialog.
    QTest::mouseClick(graph.axisX(), Qt::RightButton, {}, QPoint(30, 2));
    EXPECT_EQ(graph.axisX()->logScale(), 1);
    EXPECT_DOUBLE_EQ(graph.axisX()->rangeMin(), 1);
    EXPECT_DOUBLE_EQ(graph.axisX()->rangeMax(), 1000);
    EXPECT_EQ(graph.axisX()->GetTitleWindow()->text(), QStringLiteral("Time, sec"));
}

TEST_F(ChartDialogs, HelpKeyCarriesTheGraphsContexts)
{
    QSignalSpy help(&graph, &CZuGraph::helpRequested);
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        QTest::keyClick(d, Qt::Key_F1);
        d->reject();
    });
    graph.openAxisDialog(graph.axisX());
    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        QTest::keyClick(d, Qt::Key_F1);
        d->reject();
    });
    graph.openTraceDialog();
    ASSERT_EQ(help.count(), 2);
    EXPECT_EQ(help[0][0].toInt(), 10021);
    EXPECT_EQ(help[1][0].toInt(), 10025);
}

TEST_F(ChartDialogs, TraceDialogAppliesEveryTraceOnOk)
{
    prompt.colors.push_back(0x00FF00);   // green, as the chooser answers
    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Properties of graph traces"));
        ASSERT_EQ(d->traceList()->count(), 2);
        EXPECT_EQ(d->traceList()->itemText(0), QStringLiteral("Trace 1"));
        EXPECT_EQ(d->traceList()->itemText(1), QStringLiteral("Trace 2"));
        EXPECT_EQ(d->styleList(0)->currentText(), QStringLiteral("Dot"));
        EXPECT_FALSE(d->styleList(0)->isHidden());
        EXPECT_TRUE(d->styleList(1)->isHidden());
        d->traceList()->setCurrentIndex(1);
        EXPECT_TRUE(d->styleList(0)->isHidden());
        EXPECT_FALSE(d->colorBox(1)->isHidden());
        QTest::mouseClick(d->colorBox(1), Qt::LeftButton);
        d->styleList(1)->setCurrentIndex(3);      // "Dash"
        d->traceList()->setCurrentIndex(0);
        d->styleList(0)->setCurrentIndex(7);      // "Dash+Cross"
        d->accept();
    });
    // A right click on the plot area opens the dialog.
    QTest::mouseClick(graph.plot(), Qt::RightButton, {}, QPoint(20, 20));
    const auto& t = graph.plot()->traces();
    EXPECT_EQ(t[0]->style(), 13);
    EXPECT_EQ(t[0]->color(), 255u);
    EXPECT_EQ(t[1]->style(), 5);
    EXPECT_EQ(t[1]->color(), 0x00FF00u);
    ASSERT_EQ(prompt.colorRequests.size(), 1u);
    EXPECT_EQ(prompt.colorRequests[0], 0x0000FFu);   // blue asked as 0xRRGGBB
}

TEST_F(ChartDialogs, TraceDialogCancelAndUnnamedStyles)
{
    auto& t = graph.plot()->traces();
    t[1]->setStyle(10);   // dot and cross: none of the eight
    prompt.colors.push_back(0x123456);
    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        d->colorBox(0)->chooseColor();
        d->styleList(0)->setCurrentIndex(0);
        d->reject();
    });
    graph.openTraceDialog();
    EXPECT_EQ(t[0]->style(), 2);
    EXPECT_EQ(t[0]->color(), 255u);

    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        EXPECT_EQ(d->styleList(1)->currentIndex(), -1);
        d->accept();
    });
    graph.openTraceDialog();
    EXPECT_EQ(t[1]->style(), 10);
}

TEST_F(ChartDialogs, LegendWithOneEntryAndPrintResult)
{
    CZuLegendDlg legend;
    legend.setLines(QStringLiteral("Impedance vs. Time, sec"), QStringLiteral("Impedance, real"));
    legend.AddEntry(QStringLiteral("Input data"), 255, 2);
    dialogs.next<CZuLegendDlg>([](CZuLegendDlg* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Graph Legend"));
        EXPECT_EQ(d->lineLabel(0)->text(), QStringLiteral("Impedance vs. Time, sec"));
        EXPECT_EQ(d->nameLabel(0)->text(), QStringLiteral("Input data"));
        EXPECT_TRUE(d->nameLabel(1)->text().isEmpty());
        EXPECT_FALSE(d->sample(0)->isHidden());
        EXPECT_TRUE(d->sample(1)->isHidden());
        d->printButton()->click();
    });
    EXPECT_EQ(runModal(legend), kLegendPrintResult);

    CZuLegendDlg full;
    full.AddEntry(QStringLiteral("Input data"), 255, 2);
    full.AddEntry(QStringLiteral("Fitting result"), 0xFF0000, 1);
    full.AddEntry(QStringLiteral("ignored"), 0, 1);
    EXPECT_EQ(full.entryCount(), 2);
    dialogs.next<CZuLegendDlg>([](CZuLegendDlg* d) {
        EXPECT_FALSE(d->sample(1)->isHidden());
        EXPECT_EQ(d->nameLabel(1)->text(), QStringLiteral("Fitting result"));
        // The line sample: blue through the middle row.
        const QImage img = d->sample(1)->grab().toImage();
        EXPECT_EQ(img.pixelColor(img.width() / 2 + 5, img.height() / 2), QColor(Qt::blue));
        d->reject();
    });
    EXPECT_EQ(runModal(full), int(QDialog::Rejected));
}

// The trace dialog lists the traces by what they show; an unnamed one is
// counted from 1, never "Trace 0".
TEST_F(ChartDialogs, TraceDialogNamesTheTraces)
{
    graph.nameLastTrace(QStringLiteral("Fitting result"));
    QStringList names;
    dialogs.next<CZuTraceDlg>([&names](CZuTraceDlg* d) {
        for (int i = 0; i < d->traceList()->count(); ++i)
            names << d->traceList()->itemText(i);
        d->reject();
    });
    graph.openTraceDialog();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Trace 1"), QStringLiteral("Fitting result")}));
}
