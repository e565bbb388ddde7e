#include "CComplexPlanePage.h"
#include "CGraphPage.h"
#include "CRelativeResidualsPage.h"
#include "CViewerDlg.h"
#include "CViewerPage.h"
#include "GraphSettings.h"
#include "RunFiles.h"
#include "ViewerTestSupport.h"
#include "core/ScriptedPrompt.h"
#include "job/SideFile.h"
#include "results/FitStatistics.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include "CZuAxis.h"
#include "CZuAxisLabel.h"
#include "CZuGraph.h"
#include "CZuSquareGraph.h"
#include "CZuAxisDlg.h"
#include "CZuColorBox.h"
#include "CZuLegendDlg.h"
#include "CZuPlot.h"
#include "CZuTrace.h"
#include "CZuTraceDlg.h"
#include "CFileTextPage.h"
#include "platform/Notification.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QEventLoop>
#include <QLineEdit>
#include <QToolButton>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <QCoreApplication>
#include <QEvent>
#include <cmath>
#include <sstream>
#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::RunSpec;
using nosk::test::Viewer;

namespace {

QStringList menuTexts(QMenu* menu)
{
    QStringList t;
    for (QAction* a : menu->actions())
        t << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return t;
}

} // namespace

TEST(ViewerDlg, MenuAndExitButton)
{
    test::TempWorkDir dir;
    Viewer v;
    v.open();
    const auto menus = v.dlg->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(menuTexts(menus[0]->menu()),
              (QStringList{QStringLiteral("Lo&ad Results..."), QStringLiteral("-"),
                           QStringLiteral("&Data transformation..."), QStringLiteral("Select title for X Axis..."),
                           QStringLiteral("-"), QStringLiteral("&Print all graphs..."),
                           QStringLiteral("&Save all graphs in image..."), QStringLiteral("-"),
                           QStringLiteral("Export &parameters..."), QStringLiteral("Export da&ta..."),
                           QStringLiteral("-"), QStringLiteral("&Exit")}));
    EXPECT_EQ(menuTexts(menus[1]->menu()),
              (QStringList{QStringLiteral("&Contents..."), QStringLiteral("&Index..."), QStringLiteral("-"),
                           QStringLiteral("&About...")}));
    EXPECT_EQ(v.dlg->exitButton()->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(v.dlg->windowTitle(), QStringLiteral("NOSKVIEW"));
}

TEST(ViewerDlg, ALibraryFailureInACommandEndsInAnErrorBox)
{
    struct FailingDialogs : test::ScriptedDialogs {
        void about(CAboutDlg&) override { throw std::bad_alloc(); }
    };
    test::TempWorkDir dir;
    GraphSettings settings;
    ScriptedPrompt prompt;
    FailingDialogs dialogs;
    CViewerDlg dlg(settings, prompt, nullptr, false);
    QAction* about = dlg.menuBar()->actions()[1]->menu()->actions().last();
    ASSERT_EQ(about->text(), QStringLiteral("&About..."));
    about->trigger();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.lastMessage().text, "Not enough memory!");
    EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
}

TEST(ViewerDlg, EmptyFolderShowsTheInputFileMessageAndNoTabs)
{
    test::TempWorkDir dir;
    Viewer v;
    v.open();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().text, "Cannot open file 'INFL'!");
    EXPECT_EQ(v.prompt.lastMessage().caption, "NOSKVIEW");
    EXPECT_TRUE(v.tabs().isEmpty());
}

TEST(ViewerDlg, PageSetsOfFitSimulationAndMaxfevTwo)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    EXPECT_TRUE(v.prompt.messages.empty());
    EXPECT_EQ(v.tabs(), (QStringList{QStringLiteral("Graphics"), QStringLiteral("Complex-plane plot"),
                                     QStringLiteral("Numerical data"), QStringLiteral("PNTOUTL"),
                                     QStringLiteral("AUXPNTL"), QStringLiteral("Residuals/|Z|")}));
    EXPECT_EQ(v.dlg->page(3)->helpContext(), 10036);
    EXPECT_EQ(v.dlg->page(4)->helpContext(), 10027);

    s.maxfev = 0;
    s.dattyp = 'R';
    test::writeRun(s);
    v.dlg->onLoadResults();
    EXPECT_EQ(v.tabs(), (QStringList{QStringLiteral("Graphics"), QStringLiteral("PNTOUTL"), QStringLiteral("AUXPNTL")}));
    EXPECT_EQ(v.dlg->page(1)->helpContext(), 0);

    s.maxfev = 2;
    test::writeInfl(s);
    v.prompt.messages.clear();
    v.dlg->onLoadResults();
    EXPECT_TRUE(v.tabs().isEmpty());
    EXPECT_TRUE(v.prompt.messages.empty());
}

TEST(ViewerDlg, MissingReportAfterSimulationIsReportedAndOtherPagesStay)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.maxfev = 0;
    test::writeRun(s);
    std::filesystem::remove("PNTOUTL");
    Viewer v;
    v.open();
    ASSERT_FALSE(v.prompt.messages.empty());
    EXPECT_EQ(v.prompt.lastMessage().text, "Cannot open file 'PNTOUTL'!");
    EXPECT_EQ(v.tabs(), (QStringList{QStringLiteral("Graphics"), QStringLiteral("Complex-plane plot"),
                                     QStringLiteral("PNTOUTL"), QStringLiteral("AUXPNTL")}));
}

TEST(ViewerDlg, GraphTitlesLayoutsAndScaleFlags)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.ipar = 1;
    s.freeq = ' ';
    Viewer v;
    v.openRun(s);
    CGraphPage* g = v.builtGraphics();
    ASSERT_NE(g, nullptr);
    for (int n = 1; n <= 4; ++n)
        ASSERT_NE(g->graph(n), nullptr) << n;
    EXPECT_EQ(g->graph(2)->axisY()->GetTitleWindow()->text(), QStringLiteral("Impedance,  -imag"));
    EXPECT_EQ(g->graph(1)->axisX()->GetTitleWindow()->text(), QStringLiteral("Angular frequency, rad/s"));
    EXPECT_EQ(g->graph(4)->axisY()->GetTitleWindow()->text(), QStringLiteral("Res/Unc"));
    EXPECT_EQ(g->groupBox(4)->title(), QStringLiteral("Residuals/Uncertanties vs. Angular frequency, rad/s"));
    EXPECT_EQ(g->groupBox(1)->title(), QStringLiteral("Impedance vs. Angular frequency, rad/s"));
    EXPECT_EQ(g->graph(1)->axisX()->logScale(), 1);
    EXPECT_EQ(g->graph(1)->axisY()->logScale(), 1);
    EXPECT_EQ(g->graph(3)->axisY()->logScale(), 0);
    // two by two: graph 1 top left, graph 4 bottom right
    EXPECT_LT(g->graph(1)->geometry().right(), g->graph(3)->geometry().left());
    EXPECT_LT(g->graph(1)->geometry().bottom(), g->graph(2)->geometry().top());

    CComplexPlanePage* p = v.plane();
    ASSERT_NE(p, nullptr);
    p->ensureBuilt();
    ASSERT_NE(p->graph(), nullptr);
    EXPECT_EQ(p->graph()->axisY()->GetTitleWindow()->text(), QStringLiteral("-imag"));
    EXPECT_EQ(p->groupBox()->title(), QStringLiteral("Impedance, Complex-plane plot"));
}

TEST(ViewerDlg, RealOnlySimulationShowsOneGraphFiftyPixelsFromTheSides)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.maxfev = 0;
    s.dattyp = 'R';
    Viewer v;
    v.openRun(s);
    CGraphPage* g = v.builtGraphics();
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->graph(1), nullptr);
    EXPECT_EQ(g->graph(2), nullptr);
    EXPECT_EQ(g->graph(3), nullptr);
    EXPECT_EQ(g->groupBox(1)->geometry().left(), 50);
    EXPECT_EQ(g->groupBox(1)->geometry().right() + 1, g->width() - 50);
}

// After a run the viewer comes forward only when the user cannot see it: a
// window in view is not minimised and restored (which would put it over the
// organiser); a minimised one is restored.
TEST(ViewerDlg, ANotificationBringsTheWindowForwardOnlyWhenItWasMinimised)
{
    struct StateChanges : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            count += e->type() == QEvent::WindowStateChange;
            return false;
        }
    } changes;
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    v.dlg->installEventFilter(&changes);
    v.dlg->onNotification();
    EXPECT_EQ(changes.count, 0);
    EXPECT_FALSE(v.dlg->isMinimized());

    v.dlg->showMinimized();
    QCoreApplication::processEvents();
    changes.count = 0;
    v.dlg->onNotification();
    EXPECT_GT(changes.count, 0);
    EXPECT_FALSE(v.dlg->isMinimized());
}

TEST(ViewerDlg, NotificationKeepsAChangedRangeAndLoadResultsRestoresTheStoredOne)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    v.graphics()->ensureBuilt();
    CZuAxis* y = v.graphics()->graph(3)->axisY();
    y->autoScale() = 0;
    y->logScale() = 0;
    y->SetRange(-7.0, 9.0);

    v.dlg->onNotification();
    v.graphics()->ensureBuilt();
    CZuAxis* y2 = v.graphics()->graph(3)->axisY();
    EXPECT_EQ(y2->autoScale(), 0);
    EXPECT_DOUBLE_EQ(y2->rangeMin(), -7.0);
    EXPECT_DOUBLE_EQ(y2->rangeMax(), 9.0);

    // a change that is not stored by a notification is lost on Load Results
    y2->SetRange(-1.0, 1.0);
    v.dlg->onLoadResults();
    v.graphics()->ensureBuilt();
    CZuAxis* y3 = v.graphics()->graph(3)->axisY();
    EXPECT_DOUBLE_EQ(y3->rangeMin(), -7.0);
    EXPECT_DOUBLE_EQ(y3->rangeMax(), 9.0);
}

TEST(ViewerDlg, DataTransformationWarningsAndPageSet)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.dattyp = 'R';
    Viewer v;
    v.openRun(s);
    // real-only data on a frequency axis: a warning first; No ends the command
    v.prompt.answers.push_back(Answer::No);
    v.dlg->onDataTransformation();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().caption, "WARNING");
    EXPECT_EQ(v.prompt.lastMessage().buttons, Buttons::YesNo);
    EXPECT_TRUE(v.dialogs.shownTransform.empty());

    // complex data: no warning; a new level shows the page set of a run without fit
    s.dattyp = 'C';
    test::writeRun(s);
    v.dlg->onLoadResults();
    v.prompt.messages.clear();
    TransformChoice c{'Y', 'R', -10, 1.0};
    v.dialogs.transforms.push_back({test::DialogResult::Ok, c});
    v.dlg->onDataTransformation();
    EXPECT_TRUE(v.prompt.messages.empty());
    ASSERT_EQ(v.dialogs.shownTransform.size(), 1u);
    EXPECT_EQ(v.dialogs.shownTransform[0].level, 'Z');
    EXPECT_EQ(v.tabs(), (QStringList{QStringLiteral("Graphics"), QStringLiteral("Complex-plane plot"),
                                     QStringLiteral("PNTOUTL"), QStringLiteral("AUXPNTL")}));
    EXPECT_EQ(v.dlg->run().job().DFIT, 'Y');

    // OK without a change of level, format or capacitance reloads with the representation chosen
    TransformChoice same{'Y', 'R', -11, v.dlg->run().job().CELCAP};
    v.dialogs.transforms.push_back({test::DialogResult::Ok, same});
    v.dlg->onDataTransformation();
    EXPECT_EQ(v.dlg->run().job().DFIT, 'Z');  // reloaded from the file
    EXPECT_FALSE(v.dlg->run().angular());
    EXPECT_EQ(v.tabs().size(), 6);

    // "Return to original data" reloads as Load Results: the file's IRE 0
    // chooses no representation, and the data in Hz are shown in Hz; the
    // dialog then offers the representation in force.
    v.dialogs.transforms.push_back({test::DialogResult::ReturnToOriginal, {}});
    v.dlg->onDataTransformation();
    EXPECT_FALSE(v.dlg->run().angular());
    v.dialogs.transforms.push_back({test::DialogResult::Cancel, {}});
    v.dlg->onDataTransformation();
    ASSERT_EQ(v.dialogs.shownTransform.size(), 4u);
    EXPECT_EQ(v.dialogs.shownTransform.back().ire, -11);
}

TEST(ViewerDlg, XAxisTypeCommand)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.xVariable = 3;
    s.firstX = 250;
    s.freeq = ' ';
    Viewer v;
    v.openRun(s);
    // temperature -> inverse temperature passes without a question
    v.dialogs.axisTypes.push_back({test::DialogResult::Ok, 4});
    v.dlg->onXAxisType();
    EXPECT_TRUE(v.prompt.messages.empty());
    EXPECT_DOUBLE_EQ((*v.dlg->run().xValues())[0], 4.0);
    EXPECT_EQ(test::readAll("ADD.BIN"), std::string("\x04\x03", 2));
    v.graphics()->ensureBuilt();
    EXPECT_EQ(v.graphics()->graph(1)->axisX()->GetTitleWindow()->text(), QStringLiteral("Inv. Temp. 10**3/T, 1/K"));

    // to time: the question; No changes nothing
    v.prompt.answers.push_back(Answer::No);
    v.dialogs.axisTypes.push_back({test::DialogResult::Ok, 2});
    v.dlg->onXAxisType();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().text, "Invalid transformation from Inv. Temperature to Time.\n\n\t\tContinue anyway?");
    EXPECT_EQ(test::readAll("ADD.BIN"), std::string("\x04\x03", 2));

    // "Return to original data" puts the second byte in both places
    v.dialogs.axisTypes.push_back({test::DialogResult::ReturnToOriginal, 0});
    v.dlg->onXAxisType();
    EXPECT_EQ(test::readAll("ADD.BIN"), std::string("\x03\x03", 2));
    EXPECT_DOUBLE_EQ((*v.dlg->run().xValues())[0], 250.0);
}

TEST(ViewerDlg, PagesWithoutGraphsAreNotPrintedOrSaved)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    v.dlg->selectPage(2);  // "Numerical data"
    v.dlg->onPrintAllGraphs();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().text, "This page has no graphs!");
    EXPECT_EQ(v.prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(v.dialogs.printSetups, 0);
    v.dlg->selectPage(3);
    v.dlg->onSaveAllGraphsInImage();
    EXPECT_EQ(v.prompt.messages.size(), 2u);
    EXPECT_TRUE(v.prompt.fileDialogs.empty());
}

TEST(ViewerDlg, SavedImagesHaveTheLayoutSizes)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    // complex plane: twice the titled size
    v.dlg->selectPage(1);
    v.plane()->ensureBuilt();
    const QRect t = v.plane()->graph()->TitledSize();
    v.prompt.files.push_back(dir.file("plane.bmp"));
    v.dlg->onSaveAllGraphsInImage();
    ASSERT_EQ(v.prompt.fileDialogs.size(), 1u);
    EXPECT_EQ(v.prompt.fileDialogs[0].request.defaultExtension, "png");
    // PNG first, then bitmap and PDF, then all files; a name the user ends
    // in .bmp still gets a bitmap.
    ASSERT_EQ(v.prompt.fileDialogs[0].request.filters.size(), 4u);
    EXPECT_EQ(v.prompt.fileDialogs[0].request.filters[0].description, "PNG image (*.png)");
    EXPECT_EQ(v.prompt.fileDialogs[0].request.filters[1].pattern, "*.bmp");
    EXPECT_EQ(v.prompt.fileDialogs[0].request.filters[2].pattern, "*.pdf");
    const std::string bmp = test::readAll("plane.bmp");
    ASSERT_GE(bmp.size(), 54u);
    auto le32 = [&](int o) {
        return int((unsigned char)bmp[o] | ((unsigned char)bmp[o + 1] << 8) | ((unsigned char)bmp[o + 2] << 16)
                   | ((unsigned char)bmp[o + 3] << 24));
    };
    EXPECT_EQ(le32(10), 54);
    EXPECT_EQ(le32(18), 2 * t.width());
    EXPECT_EQ(le32(22), 2 * t.height());
    EXPECT_EQ(bmp.size(), 54u + 4u * 4 * t.width() * t.height());

    // the four-graph page as PNG: 400 + 16 + 400 wide for equal graphs
    v.dlg->selectPage(0);
    v.graphics()->ensureBuilt();
    const QRect g1 = v.graphics()->graph(1)->TitledSize();
    const QRect g2 = v.graphics()->graph(2)->TitledSize();
    const QRect g4 = v.graphics()->graph(4)->TitledSize();
    v.prompt.files.push_back(dir.file("page.png"));
    v.dlg->onSaveAllGraphsInImage();
    QImage png(QString::fromStdString(dir.file("page.png")));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.width(), g2.width() + 16 + g4.width());
    EXPECT_EQ(png.height(), 24 + g1.height() + 24 + g2.height());
    // The same page as a PDF: one page of the image's size in points.
    v.prompt.files.push_back(dir.file("page.pdf"));
    v.dlg->onSaveAllGraphsInImage();
    const std::string pdf = test::readAll("page.pdf");
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    const size_t box = pdf.find("/MediaBox [0 0 ");
    ASSERT_NE(box, std::string::npos);
    std::istringstream sizes(pdf.substr(box + 15, 40));
    double pw = 0, ph = 0;
    sizes >> pw >> ph;
    EXPECT_DOUBLE_EQ(pw, png.width());
    EXPECT_DOUBLE_EQ(ph, png.height());
    EXPECT_FALSE(std::filesystem::exists("page.pdf.tmp"));
    // A file that cannot be made ends in the command's error box, named by its step.
    EXPECT_TRUE(v.prompt.messages.empty());
    v.prompt.files.push_back(dir.file("no/such/folder/page.png"));
    v.dlg->onSaveAllGraphsInImage();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().caption, "SAVE BMP ERROR");
    EXPECT_EQ(v.prompt.lastMessage().text.rfind("Error of CreateFile.\nError code ", 0), 0u);

    // Each graph keeps its axes in the picture: graph 1 sits at (0, 24) below
    // its title strip, the vertical axis draws its frame line at its right edge
    // and its numbers and title to the left of it.
    const CZuGraph* graph = v.graphics()->graph(1);
    const QRect axisY = graph->axisY()->geometry().translated(0, 24 + graph->titleBand());
    auto dark = [&](int x, int y) { return qGray(png.pixel(x, y)) < 96; };
    int frame = 0, marks = 0;
    for (int y = axisY.top(); y <= axisY.bottom(); ++y) {
        frame += dark(axisY.right(), y);
        for (int x = axisY.left(); x < axisY.right() - 5; ++x)
            marks += dark(x, y);
    }
    EXPECT_GT(frame, axisY.height() / 2);
    EXPECT_GT(marks, 200);
}

TEST(ViewerDlg, PrintAllGraphsPutsThePageOnOnePdfPage)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    auto pages = [](const std::string& pdf) {
        int n = 0;
        for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
            n += pdf.compare(at, 12, "/Type /Pages") != 0;
        return n;
    };

    // a cancelled print setup prints nothing and says nothing
    v.dlg->selectPage(0);
    v.dlg->onPrintAllGraphs();
    EXPECT_EQ(v.dialogs.printSetups, 1);
    EXPECT_TRUE(v.prompt.messages.empty());

    for (int page : {0, 1}) {  // four graphs, then the complex plane alone
        const std::string file = dir.file(page == 0 ? "graphics.pdf" : "plane.pdf");
        v.dialogs.pdfPath = file;
        v.dlg->selectPage(page);
        v.dlg->onPrintAllGraphs();
        EXPECT_TRUE(v.prompt.messages.empty());
        const std::string pdf = test::readAll(file);
        ASSERT_EQ(pdf.compare(0, 5, "%PDF-"), 0) << file;
        EXPECT_EQ(pages(pdf), 1) << file;
        EXPECT_GT(pdf.size(), 4000u) << file;  // the graphs, not an empty page
    }
    EXPECT_EQ(v.dialogs.printSetups, 3);

    // A file that cannot be written: the words of every print command.
    v.dialogs.pdfPath = dir.file("no/such/folder/graphs.pdf");
    v.dlg->onPrintAllGraphs();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().text, "Printer wouldn't initalize");
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST(ViewerDlg, SettingsAreStoredWhenTheWindowCloses)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    v.graphics()->ensureBuilt();
    v.graphics()->graph(1)->axisY()->autoScale() = 0;
    v.graphics()->graph(1)->axisY()->logScale() = 0;
    v.graphics()->graph(1)->axisY()->SetRange(2.0, 3.0);
    v.dlg->onExitMenu();
    EXPECT_EQ(v.dlg->result(), 0);
    EXPECT_EQ(v.settings.axes[0].vertical.autoScale, 0);
    EXPECT_DOUBLE_EQ(v.settings.axes[0].vertical.rangeMax, 3.0);
}

#ifdef NOSKWIN_PATH
// Runs written by the bundled engine.
TEST(ViewerDlgEngine, FitAndRealOnlySimulationWrittenByTheEngine)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 20;
    s.decadeStep = 0.3;
    test::writeEngineJob(s);
    ASSERT_TRUE(test::runEngine()) << test::readAll("engine.txt");
    Viewer v;
    v.open();
    EXPECT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    EXPECT_EQ(v.tabs(), (QStringList{QStringLiteral("Graphics"), QStringLiteral("Complex-plane plot"),
                                     QStringLiteral("Numerical data"), QStringLiteral("PNTOUTL"),
                                     QStringLiteral("AUXPNTL"), QStringLiteral("Residuals/|Z|")}));
    ASSERT_NE(v.dlg->run().statistics(), nullptr);
    EXPECT_EQ(v.dlg->run().statistics()->freeCount, 3);
    EXPECT_TRUE(v.dlg->run().imagNegated());
    v.graphics()->ensureBuilt();
    EXPECT_NE(v.graphics()->graph(4), nullptr);
    // The residuals relative to |Z|: one finite value a point, at the
    // noise level of the synthetic data, with a graph to print and save.
    auto* relative = qobject_cast<CRelativeResidualsPage*>(v.dlg->pageByTitle(QStringLiteral("Residuals/|Z|")));
    ASSERT_NE(relative, nullptr);
    relative->ensureBuilt();
    ASSERT_EQ(relative->realPercent().size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_TRUE(std::isfinite(relative->realPercent()[i]) && std::isfinite(relative->imagPercent()[i])) << i;
        EXPECT_LT(std::abs(relative->realPercent()[i]) + std::abs(relative->imagPercent()[i]), 50.0) << i;
    }
    PageGraphs graphs;
    relative->GetPageGraphs(graphs);
    EXPECT_EQ(graphs.count(), 1);

    s.maxfev = 0;
    s.dattyp = 'R';
    test::writeEngineJob(s);
    ASSERT_TRUE(test::runEngine()) << test::readAll("engine.txt");
    v.dlg->onLoadResults();
    EXPECT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    EXPECT_EQ(v.tabs(), (QStringList{QStringLiteral("Graphics"), QStringLiteral("PNTOUTL"), QStringLiteral("AUXPNTL")}));
    EXPECT_TRUE(v.dlg->run().arrays().has(DisplayArrays::Model1));
}
#endif

namespace {

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

// A prompt whose message boxes run an event loop of their own for a while,
// as a real message box does until the user presses OK.
struct LoopingPrompt : ScriptedPrompt {
    Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons, Icon icon) override
    {
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        return ScriptedPrompt::showMessage(text, caption, buttons, icon);
    }
};

} // namespace

TEST(ViewerDlg, NotificationWaitsUntilTheAxisTraceOrLegendDialogIsClosed)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    for (int which = 0; which < 3; ++which) {
        v.graphics()->ensureBuilt();
        QPointer<CGraphPage> before = v.graphics();
        CZuGraph* g = before->graph(1);
        bool keptWhileOpen = false;
        auto notifyAndClose = [&](QDialog* d) {
            v.dlg->onNotification();
            v.dlg->onNotification();  // two runs ended: one reload
            keptWhileOpen = before && v.dlg->reloadPending();
            d->reject();
        };
        if (which == 0) {
            v.dialogs.next<CZuAxisDlg>(notifyAndClose);
            g->openAxisDialog(g->axisX());
        } else if (which == 1) {
            v.dialogs.next<CZuTraceDlg>(notifyAndClose);
            g->openTraceDialog();
        } else {
            v.dialogs.next<CZuLegendDlg>(notifyAndClose);
            g->legendButton()->click();
        }
        EXPECT_TRUE(keptWhileOpen) << which;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !v.dlg->reloadPending(); }, 3000));
        EXPECT_TRUE(before.isNull()) << which;  // reloaded once the dialog was gone
        EXPECT_EQ(v.tabs().size(), 6);
    }
}

TEST(ViewerDlg, AFailedReloadAfterANotificationLeavesTheViewerOpenWithoutPages)
{
    // The box that reports the failure runs while the organiser's connection
    // ends and its socket is deleted.
    test::TempWorkDir dir;
    RunSpec s;
    test::writeRun(s);
    GraphSettings settings;
    LoopingPrompt prompt;
    test::ScriptedDialogs dialogs;
    CViewerDlg dlg(settings, prompt, nullptr, false);
    dlg.show();
    ASSERT_TRUE(dlg.LoadRun(0));
    const int pages = dlg.pageCount();
    ASSERT_GT(pages, 0);
    const QString folder = QString::fromStdString(dir.file("comm"));
    NotifyListener listener(folder);
    ASSERT_TRUE(listener.listen());
    QObject::connect(&listener, &NotifyListener::notified, &dlg, &CViewerDlg::onNotification);

    std::filesystem::remove("INFL");  // the run's folder is gone
    EXPECT_EQ(NotifySender(folder).notifyViewers(), 1);
    EXPECT_EQ(NotifySender(folder).notifyViewers(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompt.messages.empty(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.reloadPending(); }, 5000));
    QTest::qWait(400);
    EXPECT_EQ(prompt.lastMessage().text, "Cannot open file 'INFL'!");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.pageCount(), 0);

    // The viewer still hears the next run and shows its pages again.
    test::writeRun(s);
    EXPECT_EQ(NotifySender(folder).notifyViewers(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.pageCount() == pages; }, 5000)) << dlg.pageCount();
}

TEST(ViewerDlg, GraphDialogsAskAndReportThroughTheProgramsPrompt)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    for (int page : {0, 1}) {
        v.dlg->selectPage(page);
        CZuGraph* g = page == 0 ? v.graphics()->graph(1) : nullptr;
        if (page == 1) {
            PageGraphs list;
            v.plane()->GetPageGraphs(list);
            g = list.graphs[0];
        }
        ASSERT_NE(g, nullptr);
        v.prompt.messages.clear();
        v.prompt.colorRequests.clear();

        // The colour swatch of the trace dialog opens the colour chooser.
        v.prompt.colors.push_back(0x00123456u);
        v.dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
            for (CZuColorBox* box : d->findChildren<CZuColorBox*>())
                if (box->isVisible())
                    QTest::mouseClick(box, Qt::LeftButton);
            d->accept();
        });
        g->openTraceDialog();
        EXPECT_EQ(v.prompt.colorRequests.size(), 1u) << page;
        EXPECT_EQ(g->plot()->traces()[0]->color(), rgbToColorRef(0x00123456u)) << page;

        // A non-number in the axis dialog is refused with a message.
        v.dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
            if (d->logBox()->isChecked())
                d->logBox()->click();
            if (d->autoBox()->isChecked())
                d->autoBox()->click();
            d->minEdit()->setText(QStringLiteral("ten"));
            d->okButton()->click();
            EXPECT_TRUE(d->isVisible());
            d->reject();
        });
        g->openAxisDialog(g->axisY());
        ASSERT_EQ(v.prompt.messages.size(), 1u) << page;
        EXPECT_EQ(v.prompt.lastMessage().text, "Please enter a number.");

        // "Print graph..." of the legend reports a printer that fails.
        v.dialogs.next<CZuLegendDlg>([](CZuLegendDlg* d) { d->printButton()->click(); });
        v.dialogs.pdfPath = dir.file("no/such/folder/graph.pdf");
        g->legendButton()->click();
        ASSERT_EQ(v.prompt.messages.size(), 2u) << page;
        EXPECT_EQ(v.prompt.lastMessage().text, "Printer wouldn't initalize");
    }
}

TEST(ViewerDlg, PrintGraphOffersPrintingToAPdfFile)
{
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    CZuGraph* g = v.graphics()->graph(1);
    bool offered = false;
    v.dialogs.next<QPrintDialog>([&](QPrintDialog* d) {
        offered = d->testOption(QAbstractPrintDialog::PrintToFile);
        d->reject();
    });
    g->PrintGraph();
    EXPECT_TRUE(offered);
}

namespace {
bool sameImage(const QImage& a, const QImage& b)
{
    if (a.isNull() || a.size() != b.size()) {
        ADD_FAILURE() << "sizes " << a.width() << "x" << a.height() << " and " << b.width() << "x" << b.height();
        return false;
    }
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}
} // namespace

TEST(ViewerDlg, AxisAndTraceDialogsRepaintTheWholeGraph)
{
    // What the screen shows of the plot area after OK must be what the
    // graph draws now, not the traces at their old pixel positions.
    test::TempWorkDir dir;
    RunSpec s;
    Viewer v;
    v.openRun(s);
    CZuGraph* g = v.graphics()->graph(1);
    QTest::qWait(100);
    auto onScreen = [&] {
        QApplication::processEvents();
        QTest::qWait(50);
        const QRect r(g->plot()->mapTo(v.dlg.get(), QPoint(0, 0)), g->plot()->size());
        return QGuiApplication::primaryScreen()->grabWindow(v.dlg->winId()).toImage().copy(r);
    };
    auto drawnNow = [&] {
        const QRect r(g->plot()->mapTo(v.dlg.get(), QPoint(0, 0)), g->plot()->size());
        return v.dlg->grab().toImage().copy(r);
    };

    v.dialogs.next<CZuAxisDlg>([](CZuAxisDlg* d) {
        if (d->logBox()->isChecked())
            d->logBox()->click();
        if (d->autoBox()->isChecked())
            d->autoBox()->click();
        d->minEdit()->setText(QStringLiteral("-500"));
        d->maxEdit()->setText(QStringLiteral("500"));
        d->okButton()->click();
    });
    g->openAxisDialog(g->axisY());
    EXPECT_DOUBLE_EQ(g->axisY()->rangeMax(), 500.0);
    EXPECT_TRUE(sameImage(onScreen(), drawnNow()));

    v.dialogs.next<CZuTraceDlg>([](CZuTraceDlg* d) {
        for (QComboBox* styles : d->findChildren<QComboBox*>())
            if (styles != d->traceList() && styles->isVisible())
                styles->setCurrentIndex(2);  // "Line+Dot"
        d->accept();
    });
    g->openTraceDialog();
    EXPECT_EQ(g->plot()->traces()[0]->style(), 3);
    EXPECT_TRUE(sameImage(onScreen(), drawnNow()));
}

TEST(ViewerDlg, TextPagesGoToTheStartAndTheEndWithCtrlHomeAndCtrlEnd)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 3000;
    s.decadeStep = 0.002;
    Viewer v;
    v.openRun(s);
    v.dlg->selectPage(4);
    auto* page = qobject_cast<CFileTextPage*>(v.dlg->pageByTitle(QStringLiteral("AUXPNTL")));
    ASSERT_NE(page, nullptr);
    QPlainTextEdit* edit = page->editor();
    QScrollBar* bar = edit->verticalScrollBar();
    QTest::qWait(20);
    ASSERT_GT(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(edit->textCursor().atEnd());
    EXPECT_GE(bar->value(), bar->maximum() - 1);
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(edit, Qt::Key_PageDown);
    EXPECT_GT(bar->value(), 0);
    // Still nothing can be typed.
    const QString before = edit->toPlainText();
    QTest::keyClicks(edit, QStringLiteral("xyz"));
    EXPECT_EQ(edit->toPlainText(), before);
}

// The page the user chose stays in front when the viewer reloads after a run
// or an analysis (the organiser's notification), after Load Results and after
// a data transformation; a page that is gone leaves the first in front.
TEST(ViewerDlg, TheChosenPageStaysInFrontOverReloads)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 20;
    Viewer v;
    v.openRun(s);
    const QString residuals = QString::fromLatin1(CRelativeResidualsPage::kTitle);
    const int at = v.dlg->tabTitles().indexOf(residuals);
    ASSERT_GT(at, 0);
    v.dlg->selectPage(at);
    ASSERT_EQ(v.dlg->currentPage()->title(), residuals);

    // a run ended
    test::writeRun(s);
    v.dlg->onNotification();
    EXPECT_FALSE(v.dlg->reloadPending());
    ASSERT_NE(v.dlg->currentPage(), nullptr);
    EXPECT_EQ(v.dlg->currentPage()->title(), residuals);
    // an analysis ended: its page comes, the chosen one stays in front
    test::writeAll("KKTEST", "# M = 3, mu = 0.5\n1 0.1 0.1\n10 0.2 -0.1\n");
    v.dlg->onNotification();
    EXPECT_TRUE(v.dlg->tabTitles().contains(QStringLiteral("Kramers-Kronig")));
    EXPECT_EQ(v.dlg->currentPage()->title(), residuals);
    v.dlg->onLoadResults();
    EXPECT_EQ(v.dlg->currentPage()->title(), residuals);

    // on the analysis' page, a reload keeps that page too
    v.dlg->selectPage(v.dlg->tabTitles().indexOf(QStringLiteral("Kramers-Kronig")));
    v.dlg->onNotification();
    EXPECT_EQ(v.dlg->currentPage()->title(), QStringLiteral("Kramers-Kronig"));

    // a transformation shows data and model only: the residuals' page is
    // gone and the first page comes; the next reload keeps what is chosen
    v.dlg->selectPage(v.dlg->tabTitles().indexOf(residuals));
    ASSERT_EQ(v.dlg->currentPage()->title(), residuals);
    v.dialogs.transforms.push_back({test::DialogResult::Ok, {'Y', 'R', -11, 1.0}});
    v.dlg->onDataTransformation();
    EXPECT_FALSE(v.dlg->tabTitles().contains(residuals));
    EXPECT_EQ(v.dlg->currentPage(), v.dlg->page(0));
    v.dlg->selectPage(1);
    const QString second = v.dlg->currentPage()->title();
    v.dlg->onNotification();
    EXPECT_EQ(v.dlg->currentPage()->title(), second);
}

// The fourth graph of "Graphics" for complex data without uncertainties: the
// residuals in percent of |model| (as on "Residuals/|Z|"), against frequency
// in Hz for data in Hz; checked against the run's values written out here.
TEST(ViewerDlg, GraphicsFourthGraphIsTheResidualInPercentOfTheModulus)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 20;
    s.noise = 0.03;
    Viewer v;
    v.openRun(s);
    CGraphPage* g = v.builtGraphics();
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->graph(4), nullptr);
    EXPECT_EQ(g->groupBox(4)->title(), QStringLiteral("Residuals/|Model| vs. Ordinary frequency, Hz"));
    EXPECT_EQ(g->graph(4)->axisY()->GetTitleWindow()->text(), QStringLiteral("Res/|Model|, %"));
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(g->graph(n)->axisX()->GetTitleWindow()->text(), QStringLiteral("Ordinary frequency, Hz")) << n;
    const auto& traces = g->graph(4)->plot()->traces();
    ASSERT_EQ(traces.size(), 2u);
    ASSERT_EQ(traces[0]->count(), s.count);
    for (int k = 0; k < s.count; ++k) {
        double re = 0, im = 0;
        test::specZ(s, k, re, im);
        // the file's six digits
        auto printed = [](double v) { return std::stod(QString::asprintf("%14.6E", v).toStdString()); };
        const double obsRe = printed(re * (1 + s.noise * test::specScatter(2 * k)));
        const double obsIm = printed(im * (1 + s.noise * test::specScatter(2 * k + 1)));
        const double modRe = printed(1.01 * re), modIm = printed(1.01 * im);
        const double modulus = std::hypot(modRe, modIm);
        EXPECT_REL_NEAR(traces[0]->X(k), test::specX(s, k), 1e-5) << k;
        EXPECT_NEAR(traces[0]->Y(k), 100 * (obsRe - modRe) / modulus, 1e-6) << k;
        // the imaginary part in the fit's own sign, as on "Residuals/|Z|"
        EXPECT_NEAR(traces[1]->Y(k), 100 * (obsIm - modIm) / modulus, 1e-6) << k;
    }
}
