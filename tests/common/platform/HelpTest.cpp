#include "core/ScriptedPrompt.h"
#include "platform/Help.h"
#include "platform/HelpWindow.h"
#include "platform/Platform.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace nosk;

TEST(Help, ShowsTopicPagesAndListsTopics)
{
    test::TempWorkDir work;
    std::filesystem::create_directory("help");
    test::writeAll("help/topics.txt", "# comment\n10014\tFitting options page\n10012\tData lines page\n");
    test::writeAll("help/10014.html", "<h2>Fitting options</h2><p>Run settings.</p>");
    HtmlHelp help(QString::fromStdString(work.file("help")));

    EXPECT_EQ(help.showTopic(10014), 0);
    HelpWindow* w = help.window(Help::Window::Main);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->currentTopic(), 10014);
    EXPECT_TRUE(w->pageText().contains(QStringLiteral("Run settings.")));

    // A listed topic without a page, and an unknown one, still open the window.
    EXPECT_EQ(help.showTopic(10012), 0);
    EXPECT_TRUE(w->pageText().contains(QStringLiteral("no help text")));
    EXPECT_EQ(help.showTopic(4711), 0);

    // The model circuit topics have a window of their own.
    EXPECT_EQ(help.showTopic(10050, Help::Window::Circ), 0);
    ASSERT_NE(help.window(Help::Window::Circ), nullptr);
    EXPECT_NE(help.window(Help::Window::Circ), w);
    EXPECT_EQ(help.showContents(), 0);
    EXPECT_EQ(help.showIndex(), 0);
}

namespace {

// A click on the contents entry of a topic, delivered as the window system
// delivers it (so that a window blocked by a modal one does not get it).
void clickContentsEntry(HelpWindow& w, int contextId)
{
    auto* list = w.findChild<QListWidget*>(QStringLiteral("contents"));
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toInt() != contextId)
            continue;
        QPoint at = list->viewport()->mapTo(&w, list->visualItemRect(list->item(i)).center());
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, at);
        return;
    }
    FAIL() << "no contents entry " << contextId;
}

} // namespace

TEST(Help, TakesInputBesideModalWindows)
{
    test::TempWorkDir work;
    std::filesystem::create_directory("help");
    test::writeAll("help/topics.txt", "10010\tMain window\n10012\tData lines page\n10014\tFitting options page\n");
    for (const char* id : {"10010", "10012", "10014"})
        test::writeAll(std::string("help/") + id + ".html", std::string("<p>Topic ") + id + "</p>");
    HtmlHelp help(QString::fromStdString(work.file("help")));

    // Both programs run their main window modally, and their dialogs on top.
    QDialog main;
    main.setModal(true);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_EQ(help.showTopic(10010), 0);
    HelpWindow* w = help.window(Help::Window::Main);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    clickContentsEntry(*w, 10012);
    EXPECT_EQ(w->currentTopic(), 10012);

    // A modal dialog over the main window; while it is open the help window
    // takes a click.
    auto overDialog = [&](const std::function<void()>& whileOpen) {
        {
            QDialog dialog(&main);
            dialog.setModal(true);
            dialog.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            whileOpen();
            dialog.accept();
        }
        QCoreApplication::processEvents();
    };
    overDialog([&] {
        // F1 in the dialog: the help window already open follows it.
        ASSERT_EQ(help.showTopic(10014), 0);
        clickContentsEntry(*w, 10010);
        EXPECT_EQ(w->currentTopic(), 10010);
    });
    // The dialog is gone; the help window goes on beside the main window.
    clickContentsEntry(*w, 10012);
    EXPECT_EQ(w->currentTopic(), 10012);
    overDialog([&] {
        // A dialog opened without asking for help does not block it either.
        QCoreApplication::processEvents();
        clickContentsEntry(*w, 10014);
        EXPECT_EQ(w->currentTopic(), 10014);
    });
    clickContentsEntry(*w, 10010);
    EXPECT_EQ(w->currentTopic(), 10010);

    // The circuit window too.
    ASSERT_EQ(help.showTopic(10010, Help::Window::Circ), 0);
    HelpWindow* circ = help.window(Help::Window::Circ);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(circ));
    clickContentsEntry(*circ, 10012);
    EXPECT_EQ(circ->currentTopic(), 10012);
}

TEST(Help, WindowGoesBackForwardAndFindsTopics)
{
    test::TempWorkDir work;
    std::filesystem::create_directory("help");
    test::writeAll("help/topics.txt", "10200\tDistributed element: DE 10\n10201\tDistributed element: DE 9\n"
                                      "10202\tModel circuits\n");
    for (const char* id : {"10200", "10201", "10202"})
        test::writeAll(std::string("help/") + id + ".html",
                       std::string("<p>Topic ") + id + "</p><a href=\"10202.html\">circuits</a>"
                           + (std::string(id) == "10201" ? "<p>Cannot run! Cannot run!</p>" : "<p>Cannot run!</p>"));
    HtmlHelp help(QString::fromStdString(work.file("help")));
    ASSERT_EQ(help.showTopic(10200), 0);
    HelpWindow& w = *help.window(Help::Window::Main);
    auto* back = w.findChild<QPushButton*>(QStringLiteral("back"));
    auto* forward = w.findChild<QPushButton*>(QStringLiteral("forward"));
    ASSERT_TRUE(back && forward);
    EXPECT_FALSE(back->isEnabled());

    // Topics opened one after another, the same one twice counting once.
    help.showTopic(10201);
    help.showTopic(10202);
    help.showTopic(10202);
    back->click();
    EXPECT_EQ(w.currentTopic(), 10201);
    EXPECT_TRUE(w.pageText().contains(QStringLiteral("Topic 10201")));
    back->click();
    EXPECT_EQ(w.currentTopic(), 10200);
    EXPECT_FALSE(back->isEnabled());
    back->click();
    EXPECT_EQ(w.currentTopic(), 10200);
    forward->click();
    EXPECT_EQ(w.currentTopic(), 10201);
    EXPECT_TRUE(forward->isEnabled());
    // A new topic from the middle of the history drops the way forward.
    help.showTopic(10200);
    EXPECT_FALSE(forward->isEnabled());
    back->click();
    EXPECT_EQ(w.currentTopic(), 10201);

    // The index lists numbers in their order, and Enter in its search box
    // opens the first topic that matches.
    const QList<QListWidget*> lists = w.findChildren<QListWidget*>();
    QListWidget* index = nullptr;
    for (QListWidget* l : lists)
        if (l->objectName() != QStringLiteral("contents"))
            index = l;
    ASSERT_NE(index, nullptr);
    ASSERT_EQ(index->count(), 3);
    EXPECT_EQ(index->item(0)->text(), QStringLiteral("Distributed element: DE 9"));
    EXPECT_EQ(index->item(1)->text(), QStringLiteral("Distributed element: DE 10"));
    auto* search = w.findChild<QLineEdit*>();
    ASSERT_NE(search, nullptr);
    // "circ" stands in every page's link text; the title that has it comes first.
    search->setText(QStringLiteral("circ"));
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(w.currentTopic(), 10202);
    back->click();
    EXPECT_EQ(w.currentTopic(), 10201);
    // Text of a page alone finds it too.
    search->setText(QStringLiteral("topic 10200"));
    EXPECT_FALSE(index->item(1)->isHidden());
    EXPECT_TRUE(index->item(0)->isHidden());
    EXPECT_TRUE(index->item(2)->isHidden());
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(w.currentTopic(), 10200);
    // Of several pages with the text, the one that has it most often.
    search->setText(QStringLiteral("cannot run"));
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(w.currentTopic(), 10201);
    auto* page = w.findChild<QTextBrowser*>();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->textCursor().selectedText(), QStringLiteral("Cannot run"));
}

TEST(Help, UnreadableHelpReportsErrorNumber)
{
    test::TempWorkDir work;
    HtmlHelp missing(QString::fromStdString(work.file("nothing-here")));
    EXPECT_EQ(missing.showTopic(10010), ENOENT);
    EXPECT_EQ(missing.showContents(), ENOENT);

    ScriptedPrompt prompt;
    RecordingHelp recorder;
    recorder.errorCode = ENOENT;
    Platform& p = Platform::instance();
    p.setProgramName("NOSKVIEW");
    p.setPrompt(&prompt);
    p.setHelp(&recorder);
    openHelpTopic(10050, Help::Window::Circ);
    openHelpIndex();
    p.setPrompt(nullptr);
    p.setHelp(nullptr);
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[0].contextId, 10050);
    EXPECT_EQ(recorder.calls[0].window, Help::Window::Circ);
    EXPECT_EQ(recorder.calls[1].kind, RecordingHelp::Call::Index);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[0].text, "Cannot run help! Error 2");
    EXPECT_EQ(prompt.messages[0].caption, "NOSKVIEW");
}

TEST(Help, ShippedHelpIsFoundAndCoversTheTopics)
{
    QString folder = HtmlHelp::findHelpFolder();
    ASSERT_FALSE(folder.isEmpty());
    for (int id : {10001, 10010, 10012, 10014, 10026, 10037, 10038, 10050, 10064, 10200, 10226})
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/%1.html").arg(id))) << id;
}

// Help -> Contents of both programs opens on the topic that takes a new user
// from a data file to a judged fit, not on the developers' page.
TEST(Help, ContentsOpenOnGettingStarted)
{
    const QString folder = HtmlHelp::findHelpFolder();
    ASSERT_FALSE(folder.isEmpty());
    HtmlHelp help(folder);
    ASSERT_EQ(help.showContents(), 0);
    HelpWindow* w = help.window(Help::Window::Main);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->currentTopic(), 10000);
    const QString text = w->pageText();
    EXPECT_TRUE(text.contains(QStringLiteral("Getting started")));
    // the steps a new user needs, in their order: import, model, run, judge
    const int import = text.indexOf(QStringLiteral("Import instrument file"));
    const int model = text.indexOf(QStringLiteral("Model fitting function"));
    const int run = text.indexOf(QStringLiteral("SAVE AND RUN"));
    const int judge = text.indexOf(QStringLiteral("Residuals/|Z|"));
    EXPECT_TRUE(import >= 0 && import < model && model < run && run < judge) << import << " " << model << " " << run
                                                                           << " " << judge;
    // it is the first entry of the contents list
    auto* list = w->findChild<QListWidget*>(QStringLiteral("contents"));
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->count(), 0);
    EXPECT_EQ(list->item(0)->data(Qt::UserRole).toInt(), 10000);
}
