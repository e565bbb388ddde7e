// Run -> "Suggest circuits...": the ranking on the job's data, the chosen
// circuit written into CIRCUITS and the job, and SAVE AND RUN fitting it.
#include "CSuggestDlg.h"
#include "OrganiserTestSupport.h"
#include "model/Circuit.h"
#include "ops/CircuitsFile.h"
#include "results/PntoutlReader.h"

#include <QAction>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <sstream>

namespace nosk {
namespace {

namespace fs = std::filesystem;
using test::OrganiserFixture;

const QString kSuggest = QStringLiteral("Suggest circuits...");

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// R0 in series with R1 || C (20 ohm, 100 ohm, 10 uF: the arc at 159 Hz),
// n points from 0.1 Hz to 100 kHz with a fixed +-0.3 % ripple on both parts,
// as a job of circuit S fitted with modulus weighting.
FitJob rcJob(int n = 30)
{
    FitJob job = impedanceFitJob('S', 11, "R-(RC) made by the test");
    job.IRCH = 3;
    job.MAXFEV = 1000;
    job.allocateData(n, false);
    for (int i = 0; i < n; ++i) {
        const double f = 0.1 * std::pow(1e6, i / double(n - 1));
        const std::complex<double> y = 1.0 / 100.0 + std::complex<double>(0, 2 * M_PI * f * 1e-5);
        const std::complex<double> z = (20.0 + 1.0 / y) * (1.0 + 0.003 * std::sin(7.3 * i));
        (*job.FREQ)[std::size_t(i)] = f;
        (*job.DATA1)[std::size_t(i)] = z.real() * (1.0 + 0.003 * std::cos(5.1 * i));
        (*job.DATA2)[std::size_t(i)] = z.imag();
    }
    return job;
}

// Waits (the window live) until the suggestion has ended.
bool waitFor(CSuggestDlg& dlg)
{
    QElapsedTimer clock;
    clock.start();
    while (!dlg.finished() && clock.elapsed() < 120000) {
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
    return dlg.finished();
}

// The definitions file is edited line by line: the circuit parser, reading
// the result, finds the new definition under its letter and every other one
// as it was, with the comments, blank lines, byte-order mark and CR LF kept.
TEST(SuggestCircuits, CircuitsFileKeepsEveryOtherLine)
{
    const std::string before = "\xEF\xBB\xBF# the lab's circuits\r\nS = R(p1)-par(R(p2), Q(p3,p4))  # my ZARC\r\n"
                               "# K = R(p1)  (commented out)\r\n\r\nB=R(p1)-C(p2)\r\n";
    EXPECT_EQ(circuitsfile::definitionOf(before, 'S'), "R(p1)-par(R(p2), Q(p3,p4))");
    EXPECT_EQ(circuitsfile::definitionOf(before, 'K'), "");  // a comment defines nothing
    EXPECT_EQ(circuitsfile::freeLetter(before, 'A'), 'C');   // A is the job's, B is taken

    // Replaced where it stands.
    const std::string replaced = circuitsfile::withDefinition(before, 'B', "R(p1)-par(R(p2),C(p3))", "suggested circuit: R-(RC)");
    EXPECT_EQ(replaced, "\xEF\xBB\xBF# the lab's circuits\r\nS = R(p1)-par(R(p2), Q(p3,p4))  # my ZARC\r\n"
                        "# K = R(p1)  (commented out)\r\n\r\nB = R(p1)-par(R(p2),C(p3))  # suggested circuit: R-(RC)\r\n");
    // Added at the end of a file without a last newline.
    const std::string added = circuitsfile::withDefinition("S = R(p1)", 'K', "R(p1)-L(p2)", "");
    EXPECT_EQ(added, "S = R(p1)\nK = R(p1)-L(p2)\n");

    const model::CircuitLibrary lib = model::CircuitLibrary::parse(replaced, "CIRCUITS");
    ASSERT_EQ(lib.definitions().size(), 2u);
    EXPECT_EQ(lib.find('S')->text, "R(p1)-par(R(p2), Q(p3,p4))");
    EXPECT_EQ(lib.find('S')->name, "my ZARC");
    EXPECT_EQ(lib.find('B')->text, "R(p1)-par(R(p2),C(p3))");
    EXPECT_EQ(lib.find('B')->name, "suggested circuit");
}

// The whole way: the dialog ranks R-(RC) first on its own spectrum, "Use
// this circuit" writes it into CIRCUITS under a free letter beside the
// user's own definition, sets the job's letter and start values, and SAVE
// AND RUN fits it to the S of the suggestion.
TEST(SuggestCircuits, TheChosenCircuitIsWrittenAndSaveAndRunFitsIt)
{
    OrganiserFixture f;
    const std::string own = "# the lab's circuits\nS = R(p1)-par(R(p2), Q(p3,p4))  # my ZARC\n";
    std::ofstream("CIRCUITS", std::ios::binary) << own;
    f.openJob(rcJob());
    suggest::Ranked top;
    f.dialogRunner.next<CSuggestDlg>([&](CSuggestDlg* s) {
        ASSERT_FALSE(s->useButton()->isEnabled());
        ASSERT_TRUE(waitFor(*s));
        ASSERT_TRUE(s->error().empty()) << s->error();
        ASSERT_GE(s->candidateTable()->rowCount(), 3);
        ASSERT_NE(s->chosen(), nullptr);  // the best is selected
        top = *s->chosen();
        EXPECT_EQ(s->parameterTable()->rowCount(), int(top.parameters.size()));
        s->useButton()->click();
    });
    f.dlg->action(kSuggest)->trigger();
    ASSERT_EQ(f.dialogRunner.titles, std::vector<std::string>{"Suggest circuits"});
    // Ranked first: the circuit that made the data, a series R and one R-C unit.
    EXPECT_EQ(top.candidate.label, "R-(RC)");
    ASSERT_EQ(top.parameters.size(), 3u);
    EXPECT_NEAR(top.parameters[0].value, 20, 1);
    EXPECT_NEAR(top.parameters[1].value, 100, 2);

    // Asked for the letter: Yes took A, the first that CIRCUITS and the job do not use.
    EXPECT_EQ(f.prompt.lastMessage().buttons, Buttons::YesNoCancel);
    EXPECT_EQ(fileText("CIRCUITS"), own + "A = " + top.candidate.circuit + "  # suggested circuit: R-(RC)\n");
    const FitJob& job = f.dlg->job();
    EXPECT_EQ(job.FUN, 'A');
    EXPECT_EQ(job.N, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(job.P[i], top.parameters[std::size_t(i)].value);
        EXPECT_EQ(job.NFREE[i], 1);
    }
    EXPECT_EQ(job.NFREE[3], 0);
    EXPECT_TRUE(f.dlg->jobChanged());

    if (!fs::exists(test::bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    const std::size_t said = f.prompt.messages.size();
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.dlg->engineRunning()) << f.prompt.lastMessage().text;
    ASSERT_TRUE(f.waitForEngine(60000));
    ASSERT_EQ(f.prompt.messages.size(), said) << f.prompt.lastMessage().text;
    FitStatistics fitted;
    readPntoutl(fitted);
    EXPECT_NEAR(fitted.sumOfSquares, top.S, 1e-3 * top.S);
}

// Nothing is written without data, without a choice or without consent.
TEST(SuggestCircuits, NothingChangesUnlessTheUserChooses)
{
    OrganiserFixture f;
    // A job without data lines is refused before any fit.
    f.dlg->action(kSuggest)->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text,
              "The job holds no data lines to suggest a circuit for.\n\nLoad or import a spectrum (Data menu) first.");
    EXPECT_TRUE(f.dialogRunner.titles.empty());
    // Too few points for the suggestion: the dialog closes and the window says why.
    f.openJob(rcJob(5));
    f.dialogRunner.next<CSuggestDlg>([&](CSuggestDlg* s) {
        ASSERT_TRUE(waitFor(*s));
        EXPECT_FALSE(s->isVisible());
    });
    f.dlg->action(kSuggest)->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text.rfind("No circuit could be suggested: ", 0), 0u) << f.prompt.lastMessage().text;
    EXPECT_EQ(f.prompt.lastMessage().icon, Icon::Error);

    f.openJob(rcJob());
    // Cancel while the fits run: the dialog says it cannot stop them, and
    // closes without a choice once they end.
    f.dialogRunner.next<CSuggestDlg>([&](CSuggestDlg* s) {
        QTest::keyClick(s, Qt::Key_F1);  // its help topic, also while it runs
        ASSERT_EQ(f.help.calls.size(), 1u);
        EXPECT_EQ(f.help.calls[0].contextId, 10310);
        s->cancelButton()->click();
        EXPECT_FALSE(s->cancelButton()->isEnabled());
        ASSERT_TRUE(waitFor(*s));
        EXPECT_FALSE(s->isVisible());
    });
    f.dlg->action(kSuggest)->trigger();
    EXPECT_FALSE(fs::exists("CIRCUITS"));
    EXPECT_EQ(f.dlg->job().FUN, 'S');
    EXPECT_FALSE(f.dlg->jobChanged());

    // The letter question cancelled.
    f.prompt.answers = {Answer::Cancel};
    EXPECT_FALSE(f.dlg->useSuggestedCircuit("R-(RC)", "R(p1)-par(R(p2),C(p3))", {20, 100, 1e-5}));
    EXPECT_FALSE(fs::exists("CIRCUITS"));
    // The job's own letter, which CIRCUITS defines: replaced only after Yes.
    const std::string own = "S = R(p1)-par(R(p2), Q(p3,p4))\n";
    std::ofstream("CIRCUITS", std::ios::binary) << own;
    f.prompt.answers = {Answer::No, Answer::No};
    EXPECT_FALSE(f.dlg->useSuggestedCircuit("R-(RC)", "R(p1)-par(R(p2),C(p3))", {20, 100, 1e-5}));
    EXPECT_EQ(fileText("CIRCUITS"), own);
    EXPECT_FALSE(f.dlg->jobChanged());
    f.prompt.answers = {Answer::No, Answer::Yes};
    EXPECT_TRUE(f.dlg->useSuggestedCircuit("R-(RC)", "R(p1)-par(R(p2),C(p3))", {20, 100, 1e-5}));
    EXPECT_EQ(fileText("CIRCUITS"), "S = R(p1)-par(R(p2),C(p3))  # suggested circuit: R-(RC)\n");
    EXPECT_EQ(f.dlg->job().FUN, 'S');
    EXPECT_EQ(f.dlg->job().N, 3);
    EXPECT_TRUE(f.dlg->jobChanged());
}

} // namespace
} // namespace nosk
