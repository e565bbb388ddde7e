#include "Analyses.h"
#include "HeadlessCommands.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace nosk;
using test::OrganiserFixture;

// Every row of the analysis table reaches the user both ways: the window's
// Run menu (in the table's order, after "Guess start values") and noskrun's
// flag. Both write the row's file from the same job alike, and say where it
// went.
TEST(Analyses, EveryRowRunsFromTheRunMenuAndTheTerminalAlike)
{
    OrganiserFixture f;
    fs::copy_file(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.B/BDE16BAT.TST", "B.TST");
    f.dlg->LoadJobFile("B.TST");
    f.options.notifyViewer = 1;

    QMenu* run = nullptr;
    for (QAction* m : f.dlg->menuBar()->actions())
        if (m->text() == QStringLiteral("&Run"))
            run = m->menu();
    ASSERT_NE(run, nullptr);
    const QList<QAction*> entries = run->actions();
    qsizetype at = 0;
    while (at < entries.size() && entries[at]->text() != QStringLiteral("&Guess start values"))
        ++at;

    int notified = 0;
    for (const analyses::Analysis& a : analyses::all()) {
        SCOPED_TRACE(a.flag);
        ASSERT_LT(++at, entries.size());
        EXPECT_EQ(entries[at]->text().toStdString(), a.menuText);

        entries[at]->trigger();
        const auto& shown = f.prompt.lastMessage();
        EXPECT_EQ(shown.caption, a.boxTitle);
        EXPECT_EQ(shown.text.rfind(std::string(a.name) + " of the job's data lines\n\n", 0), 0u) << shown.text;
        EXPECT_NE(shown.text.find(std::string(" ") + a.outputFile + ": NOSKVIEW shows"), std::string::npos);
        EXPECT_NE(shown.text.find(std::string("\"") + a.viewerPage + "\" page."), std::string::npos);
        EXPECT_EQ(f.notifier.count, ++notified);
        ASSERT_TRUE(fs::exists(a.outputFile));
        const std::string fromWindow = test::readAll(a.outputFile);
        fs::remove(a.outputFile);

        // The window shows the DRT with its band: so does the terminal here.
        analyses::Settings settings;
        settings.band = true;
        testing::internal::CaptureStdout();
        const int status = runAnalysisCommand(a, "B.TST", settings);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(printed.rfind(std::string(a.name) + " of B.TST\n", 0), 0u) << printed;
        EXPECT_NE(printed.find(std::string(a.writtenTo) + " " + a.outputFile + ".\n"), std::string::npos);
        ASSERT_TRUE(fs::exists(a.outputFile));
        EXPECT_EQ(test::readAll(a.outputFile), fromWindow);
    }
    // The analyses end there; the series fit and the suggestion follow
    // them, before the viewer.
    ASSERT_LT(at + 3, entries.size());
    EXPECT_EQ(entries[at + 1]->text(), QStringLiteral("Fit &series..."));
    EXPECT_EQ(entries[at + 2]->text(), QStringLiteral("Suggest circuits..."));
    EXPECT_EQ(entries[at + 3]->text(), QStringLiteral("Launch &NOSKVIEW"));
}

} // namespace
