// F1 in every window and dialog of the organiser opens that window's own help
// topic, wherever the keyboard focus is inside it.
#include "COrganiserDlg.h"
#include "ui/CAboutDlg.h"
#include "CDEExamplesDlg.h"
#include "CDataLinesPage.h"
#include "CFitOptionsPage.h"
#include "COptionsDlg.h"
#include "CSelectDEDlg.h"
#include "CTextEditorDlg.h"
#include "OrganiserTestSupport.h"
#include "support/HelpChecks.h"
#include "ui/CPageTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace nosk;
using nosk::test::OrganiserFixture;

namespace {

// Presses F1 in widget, as the user does with the focus there, and returns
// the topics opened.
std::vector<int> pressF1(RecordingHelp& help, QWidget* widget)
{
    help.calls.clear();
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_F1);
    std::vector<int> ids;
    for (const auto& c : help.calls) {
        EXPECT_EQ(c.kind, RecordingHelp::Call::Topic);
        EXPECT_EQ(c.window, Help::Window::Main);
        ids.push_back(c.contextId);
    }
    return ids;
}

using Ids = std::vector<int>;

} // namespace

TEST(HelpKeys, MainWindowAndItsPages)
{
    OrganiserFixture f;
    f.dlg->show();
    // The window itself: 10010.
    EXPECT_EQ(pressF1(f.help, f.dlg->runButton()), Ids{10010});
    // The tab control opens the topic of the page shown.
    EXPECT_EQ(pressF1(f.help, f.dlg->pageTab()->tabBar()), Ids{10014});
    // A field of a page opens that page's topic.
    EXPECT_EQ(pressF1(f.help, f.dlg->fitOptionsPage()->edit("MAXFEV")), Ids{10014});
    f.dlg->showPage(1);
    EXPECT_EQ(pressF1(f.help, f.dlg->pageTab()->tabBar()), Ids{10012});
    EXPECT_EQ(pressF1(f.help, f.dlg->dataLinesPage()->mBox()), Ids{10012});
    EXPECT_TRUE(f.prompt.messages.empty());

    // A help that cannot be shown says so with the platform's error number.
    test::expectFailedHelpReported(f.help, f.prompt, "NOSKRUN",
                                   [&] { pressF1(f.help, f.dlg->dataLinesPage()->mBox()); });
}

TEST(HelpKeys, DialogsOpenTheirOwnTopics)
{
    OrganiserFixture f;
    {
        RunOptions options;
        COptionsDlg dlg(options);
        dlg.show();
        EXPECT_EQ(pressF1(f.help, dlg.notifyBox()), Ids{10037});
    }
    {
        CSelectDEDlg dlg(QStringLiteral("DE1"), 5, 10);
        dlg.show();
        EXPECT_EQ(pressF1(f.help, dlg.list()), Ids{10201});
    }
    {
        CDEExamplesDlg dlg;
        dlg.show();
        EXPECT_EQ(pressF1(f.help, dlg.deList()), Ids{10202});
        EXPECT_EQ(pressF1(f.help, dlg.exampleList()), Ids{10202});
    }
    {
        // The main window writes the job for the editor first.
        test::sampleJob().save(CTextEditorDlg::kTempFile);
        auto* editor = new CTextEditorDlg(f.prompt, "", {});
        editor->show();
        EXPECT_EQ(pressF1(f.help, editor->textBox()), Ids{10038});
        delete editor;
    }
    {
        // The About box's "More info..." opens topic 10001.
        CAboutDlg dlg(COrganiserDlg::aboutTexts());
        f.help.calls.clear();
        dlg.findChild<QPushButton*>(QStringLiteral("moreInfo"))->click();
        ASSERT_EQ(f.help.calls.size(), 1u);
        EXPECT_EQ(f.help.calls[0].contextId, 10001);
    }
    for (const auto& m : f.prompt.messages)
        ADD_FAILURE() << "message shown: " << m.text;
}
