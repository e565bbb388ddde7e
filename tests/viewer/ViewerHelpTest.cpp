// F1 and the help commands of the viewer: the window, every kind of page in
// the page tab control, the viewer's own dialogs and the chart dialogs each
// open their own help topic.
#include "CViewerDlg.h"
#include "ui/CAboutDlg.h"
#include "CComplexPlanePage.h"
#include "CGraphPage.h"
#include "CTransformDlg.h"
#include "CViewerDlg.h"
#include "CViewerPage.h"
#include "CXAxisTypeDlg.h"
#include "GraphSettings.h"
#include "RunFiles.h"
#include "ViewerTestSupport.h"
#include "core/ScriptedPrompt.h"
#include "platform/Help.h"
#include "platform/Platform.h"
#include "support/HelpChecks.h"
#include "support/TempDir.h"
#include "ui/CPageTab.h"

#include "CZuAxis.h"
#include "CZuGraph.h"
#include "CZuSquareGraph.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace nosk;
using nosk::test::Viewer;

namespace {

struct HelpRecorder {
    HelpRecorder() { Platform::instance().setHelp(&help); }
    ~HelpRecorder() { Platform::instance().setHelp(nullptr); }
    std::vector<int> topics() const
    {
        std::vector<int> t;
        for (const auto& c : help.calls)
            t.push_back(c.kind == RecordingHelp::Call::Topic ? c.contextId : -1);
        return t;
    }
    RecordingHelp help;
};

// Presses F1 in the next modal dialog, then closes it.
void pressF1InNextDialog(test::ScriptedDialogRunner& dialogs)
{
    dialogs.answers.push_back([](QDialog& d) {
        QTest::keyClick(&d, Qt::Key_F1);
        return int(QDialog::Rejected);
    });
}

} // namespace

TEST(ViewerHelp, TheTabsAreThePageTabControlWithBoldCaptions)
{
    test::TempWorkDir dir;
    test::RunSpec s;
    Viewer v;
    v.openRun(s);
    CPageTab* tab = v.dlg->pageTab();
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(tab->count(), 6);
    EXPECT_NE(tab->pageTabBar(), nullptr);
    EXPECT_EQ(tab->pageTabBar()->font().weight(), QFont::DemiBold);
    // each item carries its page; the page keeps the window's own font
    for (int i = 0; i < tab->count(); ++i) {
        EXPECT_EQ(tab->page(i), v.dlg->page(i));
        EXPECT_EQ(tab->tabText(i), v.dlg->page(i)->title());
        EXPECT_NE(v.dlg->page(i)->font().weight(), QFont::DemiBold);
    }
    // changing the tab hides the page left and shows the page chosen
    EXPECT_TRUE(v.dlg->page(0)->isVisible());
    tab->pageTabBar()->setCurrentIndex(3);
    EXPECT_FALSE(v.dlg->page(0)->isVisible());
    EXPECT_TRUE(v.dlg->page(3)->isVisible());
    EXPECT_EQ(v.dlg->currentPage(), v.dlg->page(3));
}

TEST(ViewerHelp, F1OnTheTabsOpensTheTopicOfThePageShown)
{
    test::TempWorkDir dir;
    test::RunSpec s;
    HelpRecorder rec;
    Viewer v;
    v.openRun(s);
    CPageTabBar* bar = v.dlg->pageTab()->pageTabBar();
    for (int i = 0; i < v.dlg->pageCount(); ++i) {
        v.dlg->selectPage(i);
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_F1);
    }
    // "Graphics", "Complex-plane plot", "Numerical data", "PNTOUTL", "AUXPNTL",
    // "Residuals/|Z|" (described on the Graphics topic)
    EXPECT_EQ(rec.topics(), (std::vector<int>{10029, 10034, 10032, 10036, 10027, 10029}));

    // inside a page the page's topic too; on the Exit button the window's
    rec.help.calls.clear();
    v.dlg->selectPage(3);
    auto* edit = v.dlg->page(3)->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F1);
    v.dlg->exitButton()->setFocus();
    QTest::keyClick(v.dlg->exitButton(), Qt::Key_F1);
    EXPECT_EQ(rec.topics(), (std::vector<int>{10036, CViewerDlg::kHelpContext}));
}

TEST(ViewerHelp, TextPagesOfARunWithoutFitHaveNoTopic)
{
    test::TempWorkDir dir;
    test::RunSpec s;
    s.maxfev = 0;
    HelpRecorder rec;
    Viewer v;
    v.openRun(s);
    ASSERT_EQ(v.dlg->pageCount(), 4);
    CPageTabBar* bar = v.dlg->pageTab()->pageTabBar();
    for (int i = 0; i < v.dlg->pageCount(); ++i) {
        v.dlg->selectPage(i);
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_F1);
    }
    EXPECT_EQ(rec.topics(), (std::vector<int>{10029, 10034, 0, 0}));
}

TEST(ViewerHelp, WindowWithoutPagesAndTheHelpMenu)
{
    test::TempWorkDir dir;  // empty: no pages
    HelpRecorder rec;
    Viewer v;
    v.open();
    v.dlg->pageTab()->setFocus();
    QTest::keyClick(v.dlg.get(), Qt::Key_F1);
    v.dlg->onHelpContents();
    v.dlg->onHelpIndex();
    ASSERT_EQ(rec.help.calls.size(), 3u);
    EXPECT_EQ(rec.help.calls[0].contextId, 10026);
    EXPECT_EQ(rec.help.calls[1].kind, RecordingHelp::Call::Contents);
    EXPECT_EQ(rec.help.calls[2].kind, RecordingHelp::Call::Index);

    // a help viewer that fails is reported with the program's name
    Platform::instance().setProgramName("NOSKVIEW");
    Platform::instance().setPrompt(&v.prompt);
    v.prompt.messages.clear();
    test::expectFailedHelpReported(rec.help, v.prompt, "NOSKVIEW", [&] { v.dlg->onHelpContents(); });
    Platform::instance().setPrompt(nullptr);
}

TEST(ViewerHelp, TheViewersDialogsOpenTheirTopics)
{
    HelpRecorder rec;
    TransformChoice choice;
    CTransformDlg transform(choice);
    transform.show();
    QTest::keyClick(&transform, Qt::Key_F1);
    CXAxisTypeDlg axisType(1);
    axisType.show();
    QTest::keyClick(&axisType, Qt::Key_F1);
    CAboutDlg about(CViewerDlg::aboutTexts());
    about.show();
    about.moreInfoButton()->click();
    EXPECT_EQ(about.moreInfoButton()->text(), QStringLiteral("More info on developers team..."));
    EXPECT_EQ(rec.topics(), (std::vector<int>{10028, 10043, 10001}));
}

TEST(ViewerHelp, AxisAndTraceDialogsOfTheGraphsOpenTheirTopics)
{
    test::TempWorkDir dir;
    test::RunSpec s;
    HelpRecorder rec;
    Viewer v;
    v.openRun(s);
    auto* graphics = static_cast<CGraphPage*>(v.dlg->page(0));
    ASSERT_EQ(graphics->title(), QStringLiteral("Graphics"));
    CZuGraph* graph = graphics->graph(1);
    ASSERT_NE(graph, nullptr);
    pressF1InNextDialog(v.dialogs);
    graph->openAxisDialog(graph->axisX());
    pressF1InNextDialog(v.dialogs);
    graph->openTraceDialog();

    v.dlg->selectPage(1);
    auto* plane = static_cast<CComplexPlanePage*>(v.dlg->page(1));
    plane->ensureBuilt();
    pressF1InNextDialog(v.dialogs);
    plane->graph()->openAxisDialog(plane->graph()->axisY());
    // the legend of a graph
    pressF1InNextDialog(v.dialogs);
    plane->graph()->legendButton()->click();
    EXPECT_EQ(rec.topics(), (std::vector<int>{10021, 10025, 10021, 10024}));
}
