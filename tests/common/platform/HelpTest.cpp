#include "core/ScriptedPrompt.h"
#include "platform/Help.h"
#include "platform/HelpWindow.h"
#include "platform/Platform.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QFileInfo>

#include <cerrno>
#include <filesystem>
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
