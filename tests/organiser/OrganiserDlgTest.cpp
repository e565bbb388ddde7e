#include "CDataLinesPage.h"
#include "CFitOptionsPage.h"
#include "COptionsDlg.h"
#include "CParamEditor.h"
#include "CTextEditorDlg.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"
#include "CSelectDEDlg.h"
#include "CSelectImpedanceDlg.h"
#include "results/SolartronFile.h"
#include "ui/CPageTab.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include "job/JobFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

using namespace nosk;
using nosk::test::OrganiserFixture;

namespace fs = std::filesystem;

TEST(Organiser, StartsEmptyAndExitsWithoutQuestion)
{
    OrganiserFixture f;
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("NOSKRUN"));
    EXPECT_EQ(f.dlg->pageTab()->count(), 2);
    EXPECT_EQ(f.dlg->pageTab()->tabText(0), QStringLiteral("Fitting options"));
    EXPECT_EQ(f.dlg->pageTab()->tabText(1), QStringLiteral("Data lines"));
    EXPECT_TRUE(f.dlg->runButton()->isDefault());
    EXPECT_EQ(f.dlg->exitButton()->text(), QStringLiteral("E&xit"));
    f.dlg->show();
    f.dlg->exitButton()->click();
    EXPECT_FALSE(f.dlg->isVisible());
    EXPECT_TRUE(f.prompt.messages.empty());
    ASSERT_TRUE(f.options.write());
    EXPECT_EQ(test::readAll("NOSKRUN.OPT"),
        std::string("\0\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0\x40\0\0\0\0\0\0\0\xb6\x03\0\0", 28));
}

TEST(Organiser, MenuHoldsEveryEntry)
{
    OrganiserFixture f;
    for (const char* text :
         {"&New", "&Load TST...", "Lo&ad TMP...", "Loa&d OUTIN", "Load INF&L", "Save TST &as...",
          "Save &INFL", "Export data...", "&Clear Directory", "&Options...", "&Exit", "Save and &Run",
          "&Guess start values", "&Kramers-Kronig test...", "Launch &NOSKVIEW", "&Open work folder", "Generate report...", "&Print front page...",
          "Print PNTOUTL", "Print AUXPNTL", "Print report", "View report...", "&Load data from TST",
          "L&oad data from ASCII", "Load data from &Solartron file", "Load weights from ASCII",
          "Convert frequency to angular", "Convert frequency to ordinary", "&Contents...",
          "&Index...", "Model circuits help...", "DE help...", "DE examples...", "&About..."})
        EXPECT_NE(f.dlg->action(QString::fromLatin1(text)), nullptr) << text;
}

TEST(Organiser, FileCommandsSetTitleAndCurrentFile)
{
    OrganiserFixture f;
    // Load INFL without INFL: the reader's message, the title stays.
    f.dlg->action(QStringLiteral("Load INF&L"))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "Cannot open file 'INFL'!");
    EXPECT_EQ(f.prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("NOSKRUN"));

    test::sampleJob().save("A.TST");
    f.prompt.files.push_back(f.dir.file("A.TST"));
    f.dlg->loadButton()->click();
    EXPECT_EQ(f.dlg->windowTitle(), QString::fromStdString(f.dir.file("A.TST")));
    EXPECT_EQ(f.dlg->currentFileName(), f.dir.file("A.TST"));
    EXPECT_EQ(f.dlg->job().M, 10);

    // Save TST as, then the editor shows that name.
    f.prompt.files.push_back(f.dir.file("B.TST"));
    f.dlg->action(QStringLiteral("Save TST &as..."))->trigger();
    EXPECT_TRUE(fs::exists("B.TST"));
    EXPECT_EQ(f.dlg->currentFileName(), f.dir.file("B.TST"));
    f.dlg->editorButton()->click();
    ASSERT_NE(f.dlg->editor(), nullptr);
    EXPECT_EQ(f.dlg->editor()->windowTitle(), QString::fromStdString(f.dir.file("B.TST")));
    EXPECT_TRUE(fs::exists("__X_EDIT.TMP"));
    f.dlg->editor()->closeButton()->click();
    EXPECT_FALSE(fs::exists("__X_EDIT.TMP"));

    // Save INFL, then Load INFL: title "INFL", no current file.
    f.dlg->action(QStringLiteral("Save &INFL"))->trigger();
    f.dlg->action(QStringLiteral("Load INF&L"))->trigger();
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("INFL"));
    EXPECT_EQ(f.dlg->currentFileName(), "");

    fs::copy_file("A.TST", "OUTIN");
    f.dlg->action(QStringLiteral("Loa&d OUTIN"))->trigger();
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("OUTIN"));

    // A template brings the header and no data lines.
    f.prompt.files.push_back(f.dir.file("A.TST"));
    f.dlg->action(QStringLiteral("Lo&ad TMP..."))->trigger();
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("TEMPLATE"));
    EXPECT_EQ(f.dlg->job().M, 0);
    EXPECT_EQ(f.dlg->job().N, 10);
    EXPECT_EQ(f.dlg->dataLinesPage()->grid(), nullptr);

    f.dlg->action(QStringLiteral("&New"))->trigger();
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("NOSKRUN"));
    EXPECT_EQ(f.dlg->job().N, 0);
}

TEST(Organiser, LoadDataFromTstKeepsHeaderAndTitle)
{
    OrganiserFixture f;
    FitJob other = test::sampleJob(12);
    other.description = "Other";
    other.save("C.TST");
    f.openJob(test::sampleJob(3));
    f.dlg->job().description = "Mine";
    f.prompt.files.push_back(f.dir.file("C.TST"));
    f.dlg->action(QStringLiteral("&Load data from TST"))->trigger();
    EXPECT_TRUE(f.prompt.fileDialogs.back().request.filters.empty());
    EXPECT_EQ(f.dlg->job().M, 12);
    EXPECT_EQ(f.dlg->job().description, "Mine");
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("A.TST"));
    EXPECT_EQ(f.dlg->dataLinesPage()->mBox()->text(), QStringLiteral("12"));

    test::writeAll("bad.tst", "not a job\n");
    f.prompt.files.push_back(f.dir.file("bad.tst"));
    f.dlg->action(QStringLiteral("&Load data from TST"))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "That's wrong TST file!");
    EXPECT_EQ(f.prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(f.dlg->job().M, 12);
}

TEST(Organiser, FitOptionsPageShowsAndStores)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.PINP = 'X';
    job.MAXFEV = 7;
    job.IRCH = 2;
    f.openJob(job);
    f.dlg->job().CELCAP = 1.23456789e-12;
    f.dlg->loadFromJob();
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    EXPECT_EQ(page->list("PINP")->currentText(), QStringLiteral("P, polar (radian)"));
    EXPECT_EQ(page->edit("CELCAP")->text(), QStringLiteral("1.234568E-012"));
    EXPECT_EQ(page->edit("M")->text(), QStringLiteral("10"));
    EXPECT_TRUE(f.dlg->storeToJob());
    EXPECT_EQ(f.dlg->job().PINP, 'P');
    EXPECT_DOUBLE_EQ(f.dlg->job().CELCAP, 1.234568e-12);

    // 12a in MAXFEV: the message, MAXFEV and the fields after it keep their
    // values.
    page->edit("MAXFEV")->setText(QStringLiteral("12a"));
    page->edit("MODE")->setText(QStringLiteral("4"));
    page->edit("IRE")->setText(QStringLiteral("-3"));
    EXPECT_FALSE(f.dlg->storeToJob());
    EXPECT_EQ(f.prompt.lastMessage().text, "Wrong number! 12a");
    EXPECT_EQ(f.prompt.lastMessage().caption, "NOSKRUN");
    EXPECT_EQ(f.dlg->job().MAXFEV, 7);
    EXPECT_EQ(f.dlg->job().MODE, 0);
    EXPECT_EQ(f.dlg->job().IRE, -3);

    // FUN S: "Help" opens the topic T has too.
    page->list("FUN")->setCurrentIndex(int(kCircuits.codes.find('S')));
    page->helpButton()->click();
    ASSERT_FALSE(f.help.calls.empty());
    EXPECT_EQ(f.help.calls.back().contextId, 10064);
    EXPECT_EQ(f.help.calls.back().window, Help::Window::Circ);
}

TEST(Organiser, IrchRebuildsTheDataColumns)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.IRCH = 2;
    f.openJob(job);
    CDataLinesPage* data = f.dlg->dataLinesPage();
    QLineEdit* irch = f.dlg->fitOptionsPage()->edit("IRCH");
    EXPECT_EQ(data->columnTitles().size(), 3);
    irch->setText(QStringLiteral("-"));
    EXPECT_EQ(f.dlg->job().IRCH, 2);
    irch->setText(QStringLiteral("0"));
    EXPECT_EQ(f.dlg->job().IRCH, 0);
    EXPECT_EQ(data->columnTitles(),
              (QStringList{QStringLiteral("Frequency, Hz "), QStringLiteral("Real "), QStringLiteral("Imag "),
                           QStringLiteral("Weight 1 "), QStringLiteral("Weight 2 ")}));
    ASSERT_TRUE(f.dlg->job().hasWeights());
    EXPECT_EQ(*f.dlg->job().WEIGHT1, *f.dlg->job().DATA1);
    irch->setText(QStringLiteral("2"));
    EXPECT_FALSE(f.dlg->job().hasWeights());
    EXPECT_EQ(data->columnTitles().size(), 3);
}

TEST(Organiser, SetButtonsOfBothPages)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob(25);
    f.openJob(job);
    CFitOptionsPage* fit = f.dlg->fitOptionsPage();
    CDataLinesPage* data = f.dlg->dataLinesPage();

    fit->edit("N")->setText(QStringLiteral("51"));
    fit->setButton()->click();
    EXPECT_EQ(f.prompt.lastMessage().text, "Wrong parameters number!");
    EXPECT_EQ(f.dlg->job().N, 10);
    fit->edit("N")->setText(QStringLiteral("12"));
    fit->setButton()->click();
    EXPECT_EQ(f.dlg->job().N, 12);
    EXPECT_TRUE(fit->paramEditor()->valueBox(12)->isEnabled());

    data->mBox()->setText(QStringLiteral("-25"));
    data->setButton()->click();
    EXPECT_EQ(data->mBox()->text(), QStringLiteral("25"));
    EXPECT_TRUE(data->negativeBox()->isChecked());
    EXPECT_EQ(fit->edit("CELCAP")->text(), QStringLiteral("8.854188E-014"));
    EXPECT_EQ((*f.dlg->job().DATA1)[0], 100.0);  // the data lines are kept

    data->mBox()->setText(QStringLiteral("10"));
    data->setButton()->click();
    EXPECT_EQ(f.dlg->job().M, 10);
    EXPECT_EQ((*f.dlg->job().DATA1)[0], 0.0);
    EXPECT_EQ(fit->edit("M")->text(), QStringLiteral("10"));
    EXPECT_NE(data->grid(), nullptr);

    data->mBox()->setText(QStringLiteral("x1"));
    data->setButton()->click();
    EXPECT_EQ(f.prompt.lastMessage().text, "Wrong number! x1");

    data->mBox()->setText(QStringLiteral("0"));
    data->setButton()->click();
    EXPECT_EQ(data->grid(), nullptr);
}

// Tab runs down each column of "Fitting options", with Help right after the
// FUN list and Set after the N box.
TEST(Organiser, FittingOptionsTabOrderRunsDownEachColumn)
{
    OrganiserFixture f;
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    std::vector<QWidget*> expected;
    for (const char* name : {"description", "IOPT", "DINP", "DFIT", "PINP", "PFIT", "FREEQ", "NEG", "DATTYP",
                             "CELCAP", "ROE", "FUN", "Help", "IPAR", "IFP", "IRE", "MAXFEV", "IRCH", "IPRINT",
                             "ATEMP", "SDWC", "SDRC", "IGACC", "NPRINT", "MODE", "ICP", "M", "N", "Set"}) {
        const std::string n = name;
        QWidget* w = page->edit(name);
        if (!w)
            w = page->list(name);
        if (n == "Help" || n == "Set")
            w = n == "Help" ? page->helpButton() : page->setButton();
        ASSERT_NE(w, nullptr) << name;
        expected.push_back(w);
    }
    std::vector<QWidget*> chain;
    QWidget* w = expected.front();
    do {
        if (std::find(expected.begin(), expected.end(), w) != expected.end())
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != expected.front() && chain.size() < expected.size());
    EXPECT_EQ(chain, expected);
}

TEST(Organiser, DataPageCaptionAndFirstColumn)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.DINP = 'Y';
    f.openJob(job);
    CDataLinesPage* data = f.dlg->dataLinesPage();
    EXPECT_EQ(data->levelCaption()->text(), QStringLiteral("Admittance"));
    QComboBox* dinp = f.dlg->fitOptionsPage()->list("DINP");
    dinp->setCurrentIndex(3);
    emit dinp->activated(3);
    EXPECT_EQ(f.dlg->job().DINP, 'E');
    EXPECT_EQ(data->levelCaption()->text(), QStringLiteral("Epsilon"));
    QComboBox* pinp = f.dlg->fitOptionsPage()->list("PINP");
    pinp->setCurrentIndex(1);
    emit pinp->activated(1);
    EXPECT_EQ(data->columnTitles().value(2), QStringLiteral("Degree "));

    data->firstColumnList()->setCurrentIndex(1);
    emit data->firstColumnList()->activated(1);
    EXPECT_EQ(f.dlg->job().xVariable, 2);
    EXPECT_EQ(data->columnTitles().value(0), QStringLiteral("Time, sec "));
    f.dlg->action(QStringLiteral("&New"))->trigger();
    f.dlg->LoadJobFile("A.TST");
    EXPECT_EQ(f.dlg->job().xVariable, 2);
}

TEST(Organiser, DELinksFollowTheCircuit)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.N = 12;
    job.P[9] = 5;
    f.openJob(job);
    CParamEditor* ed = f.dlg->fitOptionsPage()->paramEditor();
    f.answerDialog = [](QDialog& d) {
        auto& s = dynamic_cast<CSelectDEDlg&>(d);
        s.list()->setCurrentRow(5);
        s.subtractButton()->click();
        return s.result();
    };
    ed->clickLink(10);
    EXPECT_TRUE(f.dlg->storeToJob());
    EXPECT_EQ(f.dlg->job().NFREE[9], 3);
    f.dlg->loadFromJob();
    EXPECT_EQ(ed->deLink(10)->text(), QStringLiteral("-DE1"));

    QComboBox* fun = f.dlg->fitOptionsPage()->list("FUN");
    fun->setCurrentIndex(int(kCircuits.codes.find('D')));
    f.dlg->fitOptionsPage()->setButton()->click();
    EXPECT_EQ(ed->deLink(20)->text(), QStringLiteral("DE5"));
    EXPECT_TRUE(ed->deLink(10)->isHidden());
    EXPECT_EQ(f.dlg->job().FUN, 'A');  // taken only by the next StoreToJob
}

TEST(Organiser, EveryOtherCommandRunsQuietlyOrAsks)
{
    OrganiserFixture f;
    test::writeAll("PNTOUTL", "p");
    test::writeAll("OUTIN", "o");
    test::writeAll("INFL", "i");
    f.dlg->action(QStringLiteral("&Clear Directory"))->trigger();
    EXPECT_FALSE(fs::exists("PNTOUTL"));
    EXPECT_TRUE(fs::exists("OUTIN"));
    EXPECT_TRUE(fs::exists("INFL"));

    // Printing before any run: nothing happens, nothing is said.
    f.dlg->action(QStringLiteral("Print PNTOUTL"))->trigger();
    EXPECT_TRUE(f.shell.printed.empty());
    // A link to itself under the name is no file either (it once aborted
    // the program).
    fs::create_symlink("PNTOUTL", "PNTOUTL");
    f.dlg->action(QStringLiteral("Print PNTOUTL"))->trigger();
    EXPECT_TRUE(f.shell.printed.empty());
    fs::remove("PNTOUTL");
    fs::create_directory("tmp");
    test::writeAll("AUXPNTL", "aux\r\ntable\r\n");
    f.dlg->action(QStringLiteral("Print AUXPNTL"))->trigger();
    ASSERT_EQ(f.shell.printed.size(), 1u);
    EXPECT_EQ(f.shell.printed[0], f.dir.file("tmp/__NOSKRUN.TXT"));
    EXPECT_EQ(test::readAll("tmp/__NOSKRUN.TXT"), "aux\r\ntable\r\n");
    EXPECT_TRUE(f.prompt.messages.empty());

    f.dlg->action(QStringLiteral("&Open work folder"))->trigger();
    ASSERT_EQ(f.shell.opened.size(), 1u);
    EXPECT_EQ(fs::path(f.shell.opened[0]), f.dir.path());
    EXPECT_TRUE(f.prompt.messages.empty());
    // Without a file manager the folder is named instead.
    f.shell.succeed = false;
    f.dlg->action(QStringLiteral("&Open work folder"))->trigger();
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_EQ(f.prompt.lastMessage().text,
              "No file manager could be started.\nThe work folder is\n" + fs::current_path().string());
    f.shell.succeed = true;

    // Reports of an empty job.
    f.dlg->action(QStringLiteral("Print report"))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "The user should load an input file\n and then run fitting!");
    f.dlg->action(QStringLiteral("View report..."))->trigger();
    f.dlg->action(QStringLiteral("Generate report..."))->trigger();  // cancelled
    f.dlg->action(QStringLiteral("Export data..."))->trigger();      // no data: nothing
    f.dlg->action(QStringLiteral("L&oad data from ASCII"))->trigger();
    f.dlg->action(QStringLiteral("Load data from &Solartron file"))->trigger();
    f.dlg->action(QStringLiteral("Convert frequency to angular"))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().caption, "ERROR");
    f.dlg->action(QStringLiteral("Convert frequency to ordinary"))->trigger();
    f.prompt.answers.push_back(Answer::No);
    f.dlg->action(QStringLiteral("Load weights from ASCII"))->trigger();

    f.help.calls.clear();
    f.dlg->action(QStringLiteral("&Contents..."))->trigger();
    f.dlg->action(QStringLiteral("&Index..."))->trigger();
    f.dlg->action(QStringLiteral("Model circuits help..."))->trigger();
    f.dlg->action(QStringLiteral("DE help..."))->trigger();
    ASSERT_EQ(f.help.calls.size(), 4u);
    EXPECT_EQ(f.help.calls[0].kind, RecordingHelp::Call::Contents);
    EXPECT_EQ(f.help.calls[1].kind, RecordingHelp::Call::Index);
    EXPECT_EQ(f.help.calls[2].contextId, 10050);
    EXPECT_EQ(f.help.calls[2].window, Help::Window::Circ);
    EXPECT_EQ(f.help.calls[3].contextId, 10200);
    f.help.errorCode = 2;
    f.dlg->action(QStringLiteral("DE help..."))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "Cannot run help! Error 2");

    f.dlg->action(QStringLiteral("&About..."))->trigger();
    f.dlg->action(QStringLiteral("DE examples..."))->trigger();
    EXPECT_EQ(f.dialogs, (std::vector<std::string>{"About NOSKRUN", "Examples of  DE using"}));

    // Program options: OK takes the boxes at once.
    f.answerDialog = [](QDialog& d) {
        auto& o = dynamic_cast<COptionsDlg&>(d);
        o.promptBox()->setChecked(true);
        o.notifyBox()->setChecked(false);
        o.accept();
        return int(QDialog::Accepted);
    };
    f.dlg->action(QStringLiteral("&Options..."))->trigger();
    EXPECT_EQ(f.options.promptStoreOutin, 1);
    EXPECT_EQ(f.options.notifyViewer, 0);

    // The front page: the "Fitting options" page comes first, also when the
    // print setup is cancelled.
    f.dlg->showPage(1);
    f.answerDialog = {};  // the print setup is cancelled
    f.dlg->action(QStringLiteral("&Print front page..."))->trigger();
    EXPECT_EQ(f.dlg->pageTab()->currentIndex(), 0);
}

TEST(Organiser, SolartronBlockBecomesTheData)
{
    OrganiserFixture f;
    const double freq[5] = {1, 10, 100, 1000, 10000};
    const double re[5] = {5, 4, 3, 2, 1};
    const double im[5] = {-1, -2, -3, -2, -1};
    writeSolartronPoints("cell.fra", freq, re, im, 5);
    // Cancel first: nothing changes.
    f.prompt.files.push_back(f.dir.file("cell.fra"));
    f.dlg->action(QStringLiteral("Load data from &Solartron file"))->trigger();
    EXPECT_EQ(f.dlg->job().M, 0);
    std::string shownBlock;
    f.answerDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CSelectImpedanceDlg&>(d);
        EXPECT_EQ(s.blockList()->count(), 1);
        EXPECT_EQ(s.blockList()->item(0)->text(), QStringLiteral("Block #1"));
        EXPECT_EQ(s.fileDescription()->text(), QStringLiteral("NOSK_FIT"));
        shownBlock = s.blockDescription()->toPlainText().toStdString();
        s.selectButton()->click();
        return s.result();
    };
    f.prompt.files.push_back(f.dir.file("cell.fra"));
    f.dlg->action(QStringLiteral("Load data from &Solartron file"))->trigger();
    EXPECT_EQ(f.dialogs.back(), "Select impedance");
    EXPECT_NE(shownBlock.find("Data point #5"), std::string::npos);
    EXPECT_EQ(f.dlg->job().M, 5);
    EXPECT_EQ(f.dlg->job().FREEQ, 'F');
    EXPECT_EQ((*f.dlg->job().DATA2)[2], -3.0);
    EXPECT_EQ(f.dlg->dataLinesPage()->mBox()->text(), QStringLiteral("5"));
}

TEST(Organiser, ALibraryFailureInACommandEndsInAnErrorBox)
{
    // Without the guard around each command these escape the event loop and
    // end the program.
    OrganiserFixture f;
    f.answerDialog = [](QDialog&) -> int { throw std::bad_alloc(); };
    f.dlg->action(QStringLiteral("&Options..."))->trigger();
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_EQ(f.prompt.lastMessage().text, "Not enough memory!");
    EXPECT_EQ(f.prompt.lastMessage().caption, "ERROR");

    f.answerDialog = [](QDialog&) -> int { throw std::runtime_error("printer vanished"); };
    f.dlg->action(QStringLiteral("&Print front page..."))->trigger();
    ASSERT_EQ(f.prompt.messages.size(), 2u);
    EXPECT_EQ(f.prompt.lastMessage().text, "printer vanished");
    EXPECT_EQ(f.prompt.lastMessage().icon, Icon::Error);
}
