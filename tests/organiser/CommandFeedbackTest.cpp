#include "CDEExamplesDlg.h"
#include "CDataLinesPage.h"
#include "CFitOptionsPage.h"
#include "Locations.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::OrganiserFixture;

namespace fs = std::filesystem;

TEST(CommandFeedback, SetAsksBeforeDroppingDataRows)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob(25));
    CDataLinesPage* data = f.dlg->dataLinesPage();
    (*f.dlg->job().DATA1)[24] = 0;  // a row keeps data in its other columns

    f.prompt.answers.push_back(Answer::No);
    data->mBox()->setText(QStringLiteral("-10"));
    data->setButton()->click();
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_EQ(f.prompt.lastMessage().text, "Drop 25 data rows?");
    EXPECT_EQ(f.prompt.lastMessage().buttons, Buttons::YesNo);
    EXPECT_EQ(f.dlg->job().M, 25);
    EXPECT_EQ(f.dlg->job().mNegative, 0);
    EXPECT_DOUBLE_EQ((*f.dlg->job().DATA1)[3], 103.0);
    EXPECT_EQ(data->mBox()->text(), QStringLiteral("25"));

    // Rows of zeros only are dropped without a question.
    f.prompt.answers.push_back(Answer::Yes);
    data->mBox()->setText(QStringLiteral("10"));
    data->setButton()->click();
    EXPECT_EQ(f.dlg->job().M, 10);
    data->mBox()->setText(QStringLiteral("4"));
    data->setButton()->click();
    EXPECT_EQ(f.dlg->job().M, 4);
    EXPECT_EQ(f.prompt.messages.size(), 2u);
}

// A load that fails leaves the job as the pages show it; a data sheet is
// named as such.
TEST(CommandFeedback, FailedLoadLeavesTheJob)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob(12);
    job.description = "Kept";
    f.openJob(job);
    const std::string good = test::readAll("A.TST");

    // A job file cut short in its data lines, and one with its parameter
    // lines cut: both fail part way.
    FitJob other = test::sampleJob(30);
    other.description = "Other";
    other.P[0] = 77;
    other.save("B.TST");
    const std::string b = test::readAll("B.TST");
    for (std::size_t cut : {b.size() - 40, b.size() / 3}) {
        test::writeAll("cut.tst", b.substr(0, cut) + "x\r\n");
        f.prompt.files.push_back(f.dir.file("cut.tst"));
        f.dlg->loadButton()->click();
        ASSERT_FALSE(f.prompt.messages.empty());
        EXPECT_EQ(f.prompt.lastMessage().caption, "ERROR");
        EXPECT_EQ(f.dlg->job().description, "Kept") << cut;
        EXPECT_EQ(f.dlg->job().M, 12) << cut;
        EXPECT_DOUBLE_EQ(f.dlg->job().P[0], 10.0) << cut;
        EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("A.TST"));
    }
    // What is then saved is what was loaded.
    EXPECT_TRUE(f.dlg->storeToJob());
    f.dlg->job().save("again.tst");
    EXPECT_EQ(test::readAll("again.tst"), good);

    test::writeAll("sheet.csv", "freq;Zre;Zim\r\n1000;12.5;-3.25\r\n100;13,1;-4.5\r\n10;15;-7\r\n");
    f.prompt.files.push_back(f.dir.file("sheet.csv"));
    f.dlg->loadButton()->click();
    EXPECT_EQ(f.prompt.lastMessage().text, "This looks like a data sheet: use Data \xE2\x86\x92 Load data from ASCII");
    EXPECT_EQ(f.dlg->job().description, "Kept");
    // A job is never taken for one.
    test::writeAll("numbers.tst", "1 2 3\r\n" + good.substr(good.find('\n') + 1, 40) + "\r\n");
    f.prompt.files.push_back(f.dir.file("numbers.tst"));
    f.dlg->loadButton()->click();
    EXPECT_NE(f.prompt.lastMessage().text.rfind("This looks like", 0), 0u);
}

TEST(CommandFeedback, MissingAuxpntlIsReported)
{
    OrganiserFixture f;
    f.dlg->action(QStringLiteral("Print AUXPNTL"))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "Cannot open file 'AUXPNTL'!");
    EXPECT_TRUE(f.shell.printed.empty());
}

TEST(CommandFeedback, FrontPageWithoutPrinterGoesToPdf)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    f.dlg->resize(800, 600);
    f.answerDialog = [](QDialog& d) {
        dynamic_cast<QPrintDialog&>(d).printer()->setPrinterName(QStringLiteral("no-such-printer-here"));
        return int(QDialog::Accepted);
    };
    f.prompt.answers.push_back(Answer::Yes);
    f.prompt.files.push_back(f.dir.file("front.pdf"));
    f.dlg->action(QStringLiteral("&Print front page..."))->trigger();
    ASSERT_FALSE(f.prompt.messages.empty());
    EXPECT_EQ(f.prompt.messages.front().text, "No printer is available.\nPrint to File (PDF)?");
    ASSERT_FALSE(f.prompt.fileDialogs.empty());
    EXPECT_EQ(f.prompt.fileDialogs.back().request.defaultExtension, "pdf");
    EXPECT_EQ(test::readAll("front.pdf").substr(0, 5), "%PDF-");
    EXPECT_FALSE(fs::exists("front.pdf.part"));
    EXPECT_EQ(f.prompt.messages.size(), 1u) << f.prompt.lastMessage().text;
}

// An installed example is opened as a copy in the work folder.
TEST(CommandFeedback, InstalledExampleIsCopiedFirst)
{
    OrganiserFixture f;
    const std::string installed = locations::examplePath("AMIX3.TST");
    if (!fs::exists(installed) || installed.rfind(fs::current_path().string(), 0) == 0)
        GTEST_SKIP() << "no installed examples";
    const std::string original = test::readAll(installed);
    f.answerDialog = [](QDialog& d) {
        auto& dlg = dynamic_cast<CDEExamplesDlg&>(d);
        for (int i = 0; i < dlg.deList()->count(); ++i) {
            dlg.deList()->setCurrentRow(i);
            auto items = dlg.exampleList()->findItems(QStringLiteral("AMIX3.TST"), Qt::MatchExactly);
            if (!items.isEmpty()) {
                dlg.exampleList()->setCurrentItem(items.front());
                dlg.openButton()->click();
                return dlg.result();
            }
        }
        return int(QDialog::Rejected);
    };
    f.dlg->action(QStringLiteral("DE examples..."))->trigger();
    ASSERT_TRUE(fs::exists("AMIX3.TST"));
    EXPECT_EQ(f.dlg->currentFileName(), f.dir.file("AMIX3.TST"));
    EXPECT_EQ(test::readAll("AMIX3.TST"), original);

    // Saved work is not replaced without asking.
    test::writeAll("AMIX3.TST", "mine");
    f.prompt.answers.push_back(Answer::No);
    f.dlg->action(QStringLiteral("DE examples..."))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "AMIX3.TST is already in the work folder.\nReplace it with the example?");
    EXPECT_EQ(test::readAll("AMIX3.TST"), "mine");
    EXPECT_EQ(test::readAll(installed), original);
}

TEST(CommandFeedback, AngularFrequencyColumnIsNamed)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    CDataLinesPage* data = f.dlg->dataLinesPage();
    EXPECT_EQ(data->columnTitles().value(0), QStringLiteral("Frequency, Hz "));
    f.dlg->action(QStringLiteral("Convert frequency to angular"))->trigger();
    EXPECT_EQ(f.dlg->job().FREEQ, ' ');
    EXPECT_EQ(data->columnTitles().value(0), QStringLiteral("Ang. freq, rad/s "));
    f.dlg->action(QStringLiteral("Convert frequency to ordinary"))->trigger();
    EXPECT_EQ(data->columnTitles().value(0), QStringLiteral("Frequency, Hz "));
}
