// Opening a job never loses the one shown: a changed job asks Save /
// Discard / Cancel; an installed example opens as a copy; nothing of an
// earlier job stays in the parameter rows; an import makes a new job ready
// to fit; the circuit line follows the work folder's CIRCUITS as it changes.
#include "CFitOptionsPage.h"
#include "COrganiserApp.h"
#include "CommandLine.h"
#include "CParamEditor.h"
#include "Locations.h"
#include "OrganiserTestSupport.h"
#include "ops/InstrumentImport.h"
#include "platform/FileWatch.h"
#include "support/Files.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::OrganiserFixture;
namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(NOSK_SOURCE_DIR) + "/tests/data/instruments/";

FitJob jobNamed(const char* description, int n)
{
    FitJob job = test::sampleJob();
    job.description = description;
    job.N = n;
    return job;
}

} // namespace

TEST(OpenJob, AChangedJobAsksSaveDiscardOrCancel)
{
    OrganiserFixture f;
    jobNamed("second", 10).save("B.TST");
    f.openJob(jobNamed("first", 10));
    QLineEdit* description = f.dlg->fitOptionsPage()->edit("description");

    // Unchanged: no question.
    f.prompt.files = {f.dir.file("B.TST")};
    f.dlg->onLoadTst();
    EXPECT_TRUE(f.prompt.messages.empty());
    EXPECT_EQ(f.dlg->job().description, "second");

    // A typed box, and a grid edit (straight into the arrays), are changes.
    f.openJob(jobNamed("first", 10));
    EXPECT_FALSE(f.dlg->jobChanged());
    (*f.dlg->job().DATA1)[3] = 42;
    EXPECT_TRUE(f.dlg->jobChanged());
    f.openJob(jobNamed("first", 10));
    description->setText(QStringLiteral("edited"));
    EXPECT_TRUE(f.dlg->jobChanged());

    // Cancel: the job and its box stay.
    f.prompt.files = {f.dir.file("B.TST")};
    f.prompt.answers = {Answer::Cancel};
    f.dlg->onLoadTst();
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_EQ(f.prompt.lastMessage().buttons, Buttons::SaveDiscardCancel);
    EXPECT_EQ(f.dlg->currentFileName(), "A.TST");
    EXPECT_EQ(description->text(), QStringLiteral("edited"));

    // Save: the job goes into its own file first, then B opens.
    f.prompt.files = {f.dir.file("B.TST")};
    f.prompt.answers = {Answer::Yes};
    f.dlg->onLoadTst();
    EXPECT_EQ(f.dlg->job().description, "second");
    FitJob saved;
    saved.load("A.TST");
    EXPECT_EQ(saved.description, "edited");

    // Discard: nothing written; the same through "New" and an example.
    description->setText(QStringLiteral("thrown away"));
    f.prompt.answers = {Answer::No};
    f.dlg->onFileNew();
    EXPECT_EQ(f.dlg->job().description, "");
    FitJob b;
    b.load("B.TST");
    EXPECT_EQ(b.description, "second");
    description->setText(QStringLiteral("typed"));
    f.prompt.answers = {Answer::Cancel};
    f.dlg->onFileNew();
    EXPECT_EQ(description->text(), QStringLiteral("typed"));
}

// Exit, the Exit button and the window's close button ask as New does; the
// Save As that a new job's Save asks for opens among job files in the folder
// of the last job, never in the bundled examples.
TEST(OpenJob, ClosingTheWindowAsksSaveDiscardOrCancel)
{
    OrganiserFixture f;
    fs::create_directory("jobs");
    jobNamed("first", 10).save("jobs/A.TST");
    f.dlg->show();
    QLineEdit* description = f.dlg->fitOptionsPage()->edit("description");

    // Unchanged: it closes at once.
    f.dlg->exitButton()->click();
    EXPECT_TRUE(f.prompt.messages.empty());
    EXPECT_FALSE(f.dlg->isVisible());

    // Changed: Cancel keeps the window, whichever way it was asked to close.
    f.dlg->show();
    f.prompt.files = {f.dir.file("jobs/A.TST")};
    f.dlg->onLoadTst();
    description->setText(QStringLiteral("edited"));
    f.prompt.answers = {Answer::Cancel, Answer::Cancel, Answer::Cancel};
    f.dlg->exitButton()->click();
    f.dlg->action(QStringLiteral("&Exit"))->trigger();
    f.dlg->close();
    ASSERT_EQ(f.prompt.messages.size(), 3u);
    for (const auto& shown : f.prompt.messages) {
        EXPECT_EQ(shown.buttons, Buttons::SaveDiscardCancel);
        EXPECT_NE(shown.text.find("Save the changes before closing?"), std::string::npos) << shown.text;
    }
    EXPECT_TRUE(f.dlg->isVisible());

    // Save: into the job's own file, then the window closes.
    f.prompt.answers = {Answer::Yes};
    f.dlg->close();
    EXPECT_FALSE(f.dlg->isVisible());
    FitJob saved;
    saved.load("jobs/A.TST");
    EXPECT_EQ(saved.description, "edited");

    // A new job has no file: Save asks for one, among job files first, in
    // the folder of the job opened last.
    f.dlg->show();
    f.dlg->onFileNew();  // the job was just saved: no question
    EXPECT_TRUE(f.prompt.answers.empty());
    description->setText(QStringLiteral("new one"));
    f.prompt.answers = {Answer::Yes};
    f.prompt.files = {std::nullopt};  // the Save As is cancelled: the window stays
    f.prompt.fileDialogs.clear();
    f.dlg->close();
    EXPECT_TRUE(f.dlg->isVisible());
    ASSERT_EQ(f.prompt.fileDialogs.size(), 1u);
    const FileRequest& asked = f.prompt.fileDialogs[0].request;
    EXPECT_TRUE(f.prompt.fileDialogs[0].save);
    EXPECT_TRUE(fs::equivalent(asked.initialName, f.dir.file("jobs")));
    ASSERT_EQ(asked.filters.size(), 2u);
    EXPECT_NE(asked.filters[0].pattern.find("*.TST"), std::string::npos);

    // Discard: nothing written, the window closes.
    f.prompt.answers = {Answer::No};
    f.dlg->close();
    EXPECT_FALSE(f.dlg->isVisible());
    saved.load("jobs/A.TST");
    EXPECT_EQ(saved.description, "edited");

    // An example opened from the bundled folder is copied into the work
    // folder: that is where a new job's Save As starts then.
    f.dlg->show();
    f.prompt.files = {locations::examplePath("SBAT.TST")};
    f.dlg->onLoadTst();
    f.dlg->onFileNew();
    f.prompt.fileDialogs.clear();
    f.dlg->onSaveTstAs();
    ASSERT_EQ(f.prompt.fileDialogs.size(), 1u);
    EXPECT_FALSE(fs::equivalent(f.prompt.fileDialogs[0].request.initialName,
                                fs::path(locations::examplePath("SBAT.TST")).parent_path()));
}

// The file dialog's side bar leads to the installed examples: one chosen
// there opens as a copy in the work folder, and the original stays as it was.
TEST(OpenJob, AnInstalledExampleFromLoadTstOpensAsACopy)
{
    OrganiserFixture f;
    const std::string installed = locations::examplePath("SBAT.TST");
    ASSERT_TRUE(fs::exists(installed));
    ASSERT_NE(fs::path(installed).parent_path(), fs::current_path());
    const std::string original = test::readAll(installed);
    f.prompt.files = {installed};
    f.dlg->onLoadTst();
    ASSERT_TRUE(fs::exists("SBAT.TST"));
    EXPECT_EQ(f.dlg->currentFileName(), f.dir.file("SBAT.TST"));
    EXPECT_EQ(test::readAll("SBAT.TST"), original);
    // A save goes into the copy.
    f.dlg->fitOptionsPage()->edit("description")->setText(QStringLiteral("my battery"));
    f.prompt.answers = {Answer::Yes};
    f.dlg->onFileNew();
    EXPECT_EQ(test::readAll(installed), original);
    FitJob copy;
    copy.load("SBAT.TST");
    EXPECT_EQ(copy.description, "my battery");
}

TEST(OpenJob, RowsBeyondNOfAnEarlierJobAreCleared)
{
    OrganiserFixture f;
    FitJob wide = jobNamed("wide", 12);
    for (int i = 0; i < 12; ++i) {
        wide.P[i] = 100 + i;
        wide.NFREE[i] = 1;
    }
    f.openJob(wide);
    CParamEditor* editor = f.dlg->fitOptionsPage()->paramEditor();
    EXPECT_FALSE(editor->valueBox(12)->text().isEmpty());
    FitJob narrow = jobNamed("narrow", 3);
    narrow.save("N.TST");
    f.dlg->LoadJobFile("N.TST");
    for (int k = 4; k <= 12; ++k) {
        EXPECT_TRUE(editor->valueBox(k)->text().isEmpty()) << k;
        EXPECT_EQ(editor->codeList(k)->currentIndex(), -1) << k;
    }
    EXPECT_FALSE(editor->valueBox(3)->text().isEmpty());
}

// The window's first import makes the job ready to fit, visibly; a job that
// was loaded keeps its own settings.
TEST(OpenJob, AnImportIntoANewJobShowsTheFitSettingsOnThePage)
{
    OrganiserFixture f;
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    EXPECT_TRUE(f.dlg->jobIsNew());
    f.prompt.files = {kSamples + "exampleData.csv"};
    f.dlg->onImportInstrumentFile();
    EXPECT_EQ(page->edit("MAXFEV")->text(), QString::number(kImportedMaxfev));
    EXPECT_EQ(page->edit("IRCH")->text(), QStringLiteral("3"));
    EXPECT_NE(f.prompt.lastMessage().text.find("Ready to fit"), std::string::npos) << f.prompt.lastMessage().text;

    FitJob mine = jobNamed("mine", 10);
    mine.MAXFEV = 50;
    mine.IRCH = 1;
    f.openJob(mine);
    f.prompt.files = {kSamples + "exampleData.csv"};
    f.dlg->onImportInstrumentFile();
    EXPECT_EQ(page->edit("MAXFEV")->text(), QStringLiteral("50"));
    EXPECT_EQ(page->edit("IRCH")->text(), QStringLiteral("1"));
    EXPECT_EQ(f.dlg->job().M, 66);
}

// --import from another folder writes the job into the work folder, and the
// job fits: with a circuit and start values (the README's steps 3 and 4)
// and nothing else touched, the engine iterates and moves the parameters.
TEST(OpenJob, AHeadlessImportLandsInTheWorkFolderAndFits)
{
    test::TempWorkDir dir;
    fs::create_directories("data");
    fs::copy_file(kSamples + "exampleData.csv", "data/cell.csv");
    const std::string target = CommandLine::defaultImportTarget("data/cell.csv");
    ASSERT_EQ(importHeadless("data/cell.csv", target, 0), 0);
    ASSERT_TRUE(fs::exists("cell.TST"));
    EXPECT_FALSE(fs::exists("data/cell.TST"));
    FitJob job;
    job.load("cell.TST");
    EXPECT_EQ(job.MAXFEV, kImportedMaxfev);
    EXPECT_EQ(job.IRCH, kImportedIrch);

    // The battery's circuit S and the start values of its example job.
    FitJob example;
    example.load(locations::examplePath("SBAT.TST"));
    job.FUN = example.FUN;
    job.N = example.N;
    std::copy(std::begin(example.P), std::end(example.P), std::begin(job.P));
    std::copy(std::begin(example.NFREE), std::end(example.NFREE), std::begin(job.NFREE));
    job.save("cell.TST");
    RunOptions options;
    ASSERT_EQ(runHeadless("cell.TST", options), 0);
    FitJob fitted;
    fitted.load("OUTIN");
    int moved = 0;
    for (int i = 0; i < job.N; ++i)
        moved += job.NFREE[i] != 0 && std::abs(fitted.P[i] - job.P[i]) > 1e-6 * std::abs(job.P[i]);
    EXPECT_GE(moved, 5);
    EXPECT_EQ(test::readAll("PNTOUTL").find("Model computed"), std::string::npos);
}

// CIRCUITS written, broken and removed while the window is open: the line
// under the FUN list follows each time, and a broken file says so there.
TEST(OpenJob, TheCircuitLineFollowsCircuitsAsItChanges)
{
    OrganiserFixture f;
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    f.dlg->job().FUN = 'S';
    f.dlg->loadFromJob();
    const QString builtIn = page->definitionLabel()->toolTip();
    EXPECT_TRUE(builtIn.startsWith(QStringLiteral("S = R(p1)-L(p3)")));

    test::writeAll("CIRCUITS", "S = R(p1)-par(R(p2), Q(p3,p4))\n");
    f.dlg->circuitsWatch()->check();
    EXPECT_EQ(page->definitionLabel()->toolTip(), QStringLiteral("S = R(p1)-par(R(p2), Q(p3,p4))"));

    test::writeAll("CIRCUITS", "S = R(p1)-par(R(p2), \n");
    f.dlg->circuitsWatch()->check();
    EXPECT_TRUE(page->definitionLabel()->text().startsWith(QStringLiteral("CIRCUITS not used: "))) << page->definitionLabel()->text().toStdString();
    EXPECT_TRUE(page->definitionLabel()->toolTip().contains(QStringLiteral("line 1")));

    fs::remove("CIRCUITS");
    f.dlg->circuitsWatch()->check();
    EXPECT_EQ(page->definitionLabel()->toolTip(), builtIn);
}
