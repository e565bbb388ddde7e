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
        graph.SetPrompt(&prompt);
        graph.SetHelpContexts(10021, 10025);
        graph.AddTrace(x, y, 3, 2, 255);
        graph.AddTrace(x, y2, 3, 1, 0xFF0000);
        graph.UpdateRanges();
        graph.AxisX()->GetTitleWindow()->setText(QStringLiteral("Time, sec"));
    }
};

} // namespace

TEST_F(ChartDialogs, AxisEnablingRule)
{
    int autoScale = 1, logScale = 0;
    double mx = 10, mn = 0;
    CZuAxisDlg dlg(QStringLiteral("t"), autoScale, logScale, mx, mn, 0, &prompt);
    EXPECT_TRUE(dlg.AutoBox()->isEnabled());
    EXPECT_FALSE(dlg.MinEdit()->isEnabled());
    EXPECT_FALSE(dlg.MaxEdit()->isEnabled());
    dlg.AutoBox()->click();   // unchecked: the numbers become editable
    EXPECT_TRUE(dlg.MinEdit()->isEnabled());
    EXPECT_TRUE(dlg.MaxEdit()->isEnabled());
    dlg.LogBox()->click();    // log: everything else off
    EXPECT_FALSE(dlg.AutoBox()->isEnabled());
    EXPECT_FALSE(dlg.MinEdit()->isEnabled());
    EXPECT_FALSE(dlg.MaxEdit()->isEnabled());
    dlg.LogBox()->click();
    EXPECT_TRUE(dlg.AutoBox()->isEnabled());
    EXPECT_TRUE(dlg.MinEdit()->isEnabled());

    // Opening with log set disables at once.
    logScale = 1;
    CZuAxisDlg logged(QStringLiteral("t"), autoScale, logScale, mx, mn, 0, &prompt);
    EXPECT_FALSE(logged.AutoBox()->isEnabled());
    EXPECT_FALSE(logged.MaxEdit()->isEnabled());
    EXPECT_EQ(logged.MaxEdit()->text(), QStringLiteral("10"));
}

TEST_F(ChartDialogs, ManualRangeFromTheDialog)
{
    graph.AxisY()->GetTitleWindow()->setText(QStringLiteral("Residuals"));
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        EXPECT_EQ(d->TitleEdit()->text(), QStringLiteral("Residuals"));
        EXPECT_EQ(d->MinEdit()->text(), QStringLiteral("1"));   // the data range
        EXPECT_EQ(d->MaxEdit()->text(), QStringLiteral("4"));
        d->AutoBox()->click();
        d->MinEdit()->setText(QStringLiteral("0"));
        d->MaxEdit()->setText(QStringLiteral("50"));
        d->OkButton()->click();
    });
    graph.OpenAxisDialog(graph.AxisY());
    CZuAxis* a = graph.AxisY();
    EXPECT_EQ(a->AutoScale(), 0);
    EXPECT_DOUBLE_EQ(a->RangeMin(), 0);
    EXPECT_DOUBLE_EQ(a->RangeMax(), 50);
    EXPECT_EQ(a->TickValues(), (std::vector<double>{10, 20, 30, 40}));
    EXPECT_EQ(a->GetTitleWindow()->text(), QStringLiteral("Residuals"));
    EXPECT_TRUE(prompt.messages.empty());

    // Reopened, the fields show the range the user set.
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        EXPECT_EQ(d->MaxEdit()->text(), QStringLiteral("50"));
        d->reject();
    });
    graph.OpenAxisDialog(graph.AxisY());
    EXPECT_DOUBLE_EQ(a->RangeMax(), 50);
}

TEST_F(ChartDialogs, BadNumberIsRefusedAndDialogStays)
{
    dialogs.next<CZuAxisDlg>([this](CZuAxisDlg* d) {
        d->AutoBox()->click();
        d->MaxEdit()->setText(QStringLiteral("12x"));
        d->TitleEdit()->setText(QStringLiteral("changed"));
        d->OkButton()->click();
        EXPECT_TRUE(d->isVisible());
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, "Please enter a number.");
        // Nothing was written while the number was refused.
        EXPECT_EQ(graph.AxisY()->AutoScale(), 1);
        d->reject();
    });
    graph.OpenAxisDialog(graph.AxisY());
    EXPECT_EQ(graph.AxisY()->AutoScale(), 1);
    EXPECT_EQ(graph.AxisY()->GetTitleWindow()->text(), QStringLiteral("Axis Y"));
}

TEST_F(ChartDialogs, LogScaleRoundsToDecadesAroundTheData)
{
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        d->LogBox()->click();
        d->OkButton()->click();
    });
    // A right click on the axis opens the dialog.
    QTest::mouseClick(graph.AxisX(), Qt::RightButton, {}, QPoint(30, 2));
    EXPECT_EQ(graph.AxisX()->LogScale(), 1);
    EXPECT_DOUBLE_EQ(graph.AxisX()->RangeMin(), 1);
    EXPECT_DOUBLE_EQ(graph.AxisX()->RangeMax(), 1000);
    EXPECT_EQ(graph.AxisX()->GetTitleWindow()->text(), QStringLiteral("Time, sec"));
}

TEST_F(ChartDialogs, HelpKeyCarriesTheGraphsContexts)
{
    QSignalSpy help(&graph, &CZuGraph::helpRequested);
    dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        QTest::keyClick(d, Qt::Key_F1);
        d->reject();
    });
    graph.OpenAxisDialog(graph.AxisX());
    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        QTest::keyClick(d, Qt::Key_F1);
        d->reject();
    });
    graph.OpenTraceDialog();
    ASSERT_EQ(help.count(), 2);
    EXPECT_EQ(help[0][0].toInt(), 10021);
    EXPECT_EQ(help[1][0].toInt(), 10025);
}

TEST_F(ChartDialogs, TraceDialogAppliesEveryTraceOnOk)
{
    prompt.colors.push_back(0x00FF00);   // green, as the chooser answers
    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Properties of graph traces"));
        ASSERT_EQ(d->TraceList()->count(), 2);
        EXPECT_EQ(d->TraceList()->itemText(0), QStringLiteral("Trace 0"));
        EXPECT_EQ(d->TraceList()->itemText(1), QStringLiteral("Trace 1"));
        EXPECT_EQ(d->StyleList(0)->currentText(), QStringLiteral("Dot"));
        EXPECT_FALSE(d->StyleList(0)->isHidden());
        EXPECT_TRUE(d->StyleList(1)->isHidden());
        d->TraceList()->setCurrentIndex(1);
        EXPECT_TRUE(d->StyleList(0)->isHidden());
        EXPECT_FALSE(d->ColorBox(1)->isHidden());
        QTest::mouseClick(d->ColorBox(1), Qt::LeftButton);
        d->StyleList(1)->setCurrentIndex(3);      // "Dash"
        d->TraceList()->setCurrentIndex(0);
        d->StyleList(0)->setCurrentIndex(7);      // "Dash+Cross"
        d->accept();
    });
    // A right click on the plot area opens the dialog.
    QTest::mouseClick(graph.Plot(), Qt::RightButton, {}, QPoint(20, 20));
    const auto& t = graph.Plot()->Traces();
    EXPECT_EQ(t[0]->Style(), 13);
    EXPECT_EQ(t[0]->Color(), 255u);
    EXPECT_EQ(t[1]->Style(), 5);
    EXPECT_EQ(t[1]->Color(), 0x00FF00u);
    ASSERT_EQ(prompt.colorRequests.size(), 1u);
    EXPECT_EQ(prompt.colorRequests[0], 0x0000FFu);   // blue asked as 0xRRGGBB
}

TEST_F(ChartDialogs, TraceDialogCancelAndUnnamedStyles)
{
    auto& t = graph.Plot()->Traces();
    t[1]->SetStyle(10);   // dot and cross: none of the eight
    prompt.colors.push_back(0x123456);
    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        d->ColorBox(0)->ChooseColor();
        d->StyleList(0)->setCurrentIndex(0);
        d->reject();
    });
    graph.OpenTraceDialog();
    EXPECT_EQ(t[0]->Style(), 2);
    EXPECT_EQ(t[0]->Color(), 255u);

    dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        EXPECT_EQ(d->StyleList(1)->currentIndex(), -1);
        d->accept();
    });
    graph.OpenTraceDialog();
    EXPECT_EQ(t[1]->Style(), 10);
}

TEST_F(ChartDialogs, LegendWithOneEntryAndPrintResult)
{
    CZuLegendDlg legend;
    legend.SetLines(QStringLiteral("Impedance vs. Time, sec"), QStringLiteral("Impedance, real"));
    legend.AddEntry(QStringLiteral("Input data"), 255, 2);
    dialogs.next<CZuLegendDlg>([](CZuLegendDlg* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Graph Legend"));
        EXPECT_EQ(d->LineLabel(0)->text(), QStringLiteral("Impedance vs. Time, sec"));
        EXPECT_EQ(d->NameLabel(0)->text(), QStringLiteral("Input data"));
        EXPECT_TRUE(d->NameLabel(1)->text().isEmpty());
        EXPECT_FALSE(d->Sample(0)->isHidden());
        EXPECT_TRUE(d->Sample(1)->isHidden());
        d->PrintButton()->click();
    });
    EXPECT_EQ(runModal(legend), kLegendPrintResult);

    CZuLegendDlg full;
    full.AddEntry(QStringLiteral("Input data"), 255, 2);
    full.AddEntry(QStringLiteral("Fitting result"), 0xFF0000, 1);
    full.AddEntry(QStringLiteral("ignored"), 0, 1);
    EXPECT_EQ(full.EntryCount(), 2);
    dialogs.next<CZuLegendDlg>([](CZuLegendDlg* d) {
        EXPECT_FALSE(d->Sample(1)->isHidden());
        EXPECT_EQ(d->NameLabel(1)->text(), QStringLiteral("Fitting result"));
        // The line sample: blue through the middle row.
        const QImage img = d->Sample(1)->grab().toImage();
        EXPECT_EQ(img.pixelColor(img.width() / 2 + 5, img.height() / 2), QColor(Qt::blue));
        d->reject();
    });
    EXPECT_EQ(runModal(full), int(QDialog::Rejected));
}
