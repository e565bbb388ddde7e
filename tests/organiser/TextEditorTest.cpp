#include "CTextEditorDlg.h"
#include "core/ScriptedPrompt.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>

using namespace nosk;

namespace {

const char* kJobText = "run title\r\nline two\r\n";

} // namespace

TEST(TextEditor, WithoutDocumentSaveAsksForName)
{
    test::TempWorkDir dir;
    test::writeAll("__X_EDIT.TMP", kJobText);
    ScriptedPrompt prompt;
    CTextEditorDlg ed(prompt, "", {});
    EXPECT_EQ(ed.windowTitle(), QStringLiteral("EDIT : NOSKRUN"));
    EXPECT_EQ(ed.textBox()->toPlainText(), QStringLiteral("run title\nline two\n"));
    EXPECT_FALSE(ed.modified());
    prompt.files.push_back(dir.file("copy.tst"));
    ed.saveButton()->click();
    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    EXPECT_TRUE(prompt.fileDialogs[0].save);
    // Save As writes also unchanged text: the user asked for a copy.
    EXPECT_EQ(test::readAll("copy.tst"), "run title\nline two\n");
    EXPECT_EQ(ed.windowTitle(), QString::fromStdString(dir.file("copy.tst")));
}

TEST(TextEditor, ModifiedCheckAndTemporaryFile)
{
    test::TempWorkDir dir;
    test::writeAll("__X_EDIT.TMP", kJobText);
    ScriptedPrompt prompt;
    QPointer<CTextEditorDlg> ed = new CTextEditorDlg(prompt, dir.file("A.TST"), {});
    ed->textBox()->moveCursor(QTextCursor::End);
    ed->textBox()->insertPlainText(QStringLiteral("more"));
    EXPECT_TRUE(ed->modified());
    prompt.answers.push_back(Answer::Cancel);
    ed->closeButton()->click();
    EXPECT_EQ(prompt.lastMessage().text, "Data was modified! Do you want to save file?");
    EXPECT_EQ(prompt.lastMessage().buttons, Buttons::YesNoCancel);
    EXPECT_TRUE(std::filesystem::exists("__X_EDIT.TMP"));

    prompt.answers.push_back(Answer::Yes);
    ed->closeButton()->click();
    // Yes saved the text under the document name; the last line, which had
    // no line break, is written whole with one.
    EXPECT_EQ(test::readAll("A.TST"), "run title\nline two\nmore\n");
    EXPECT_FALSE(std::filesystem::exists("__X_EDIT.TMP"));
    delete ed.data();
}

TEST(TextEditor, CloseAndLoadHandsTheDocumentBack)
{
    test::TempWorkDir dir;
    test::writeAll("__X_EDIT.TMP", kJobText);
    ScriptedPrompt prompt;
    std::vector<std::string> loaded;
    auto* ed = new CTextEditorDlg(prompt, "", [&](const std::string& p) { loaded.push_back(p); });
    // No name yet: nothing to load, and the window stays.
    ed->closeAndLoadButton()->click();
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(prompt.lastMessage().text, "There is no file to load. Save the text first.");
    EXPECT_EQ(prompt.lastMessage().caption, "NOSKRUN");

    // Load a file; an unreadable one keeps the text and still takes the name.
    prompt.files.push_back(dir.file("missing.txt"));
    ed->loadButton()->click();
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file '" + dir.file("missing.txt") + "'!");
    EXPECT_EQ(ed->documentName(), dir.file("missing.txt"));
    test::writeAll("B.TST", "other\r\n");
    prompt.files.push_back(dir.file("B.TST"));
    ed->loadButton()->click();
    EXPECT_EQ(ed->textBox()->toPlainText(), QStringLiteral("other\n"));
    ed->closeAndLoadButton()->click();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0], dir.file("B.TST"));
    EXPECT_FALSE(std::filesystem::exists("__X_EDIT.TMP"));
    delete ed;
}

TEST(TextEditor, UnwritableDocumentStaysModified)
{
    test::TempWorkDir dir;
    test::writeAll("__X_EDIT.TMP", kJobText);
    ScriptedPrompt prompt;
    CTextEditorDlg ed(prompt, dir.file("no/such/folder/A.TST"), {});
    ed.textBox()->appendPlainText(QStringLiteral("x"));
    ed.save();
    EXPECT_TRUE(ed.modified());
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file '" + dir.file("no/such/folder/A.TST") + "'!");
}

TEST(TextEditor, SaveThatFailsPartWayKeepsTheDocument)
{
    // A full disk, as a file-size limit: the write fails after the first
    // bytes. The document must stay as it was on the disk, the text stays
    // modified, and the message says the write failed.
    test::TempWorkDir dir;
    test::writeAll("__X_EDIT.TMP", kJobText);
    const std::string old(300, 'o');
    test::writeAll("A.TST", old);
    ScriptedPrompt prompt;
    CTextEditorDlg ed(prompt, dir.file("A.TST"), {});
    ed.textBox()->appendPlainText(QString(500, QLatin1Char('x')));

    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    ed.save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(ed.modified());
    EXPECT_EQ(prompt.lastMessage().text, "Cannot write file '" + dir.file("A.TST") + "'!");
    EXPECT_EQ(test::readAll("A.TST"), old);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator("."))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A.TST", "__X_EDIT.TMP"}));

    // Once there is room again the same save goes through.
    ed.save();
    EXPECT_FALSE(ed.modified());
    EXPECT_NE(test::readAll("A.TST").find("line two\n"), std::string::npos);
    EXPECT_NE(test::readAll("A.TST").find(std::string(500, 'x') + "\n"), std::string::npos);
}
