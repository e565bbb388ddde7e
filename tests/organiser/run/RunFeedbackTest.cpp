#include "CFitOptionsPage.h"
#include "EngineRunner.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"
#include "support/Tolerance.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>
#include <optional>
#include <sstream>
#include <regex>

using namespace nosk;
using nosk::test::OrganiserFixture;
using nosk::test::bundledEngine;
using nosk::test::writeFakeEngine;

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The job a new user has after "Load data from ASCII" into a new job: IRCH 0
// with every weight 0.
FitJob firstRunJob()
{
    FitJob job = test::sampleJob();
    job.IRCH = 0;
    const std::vector<double> freq = *job.FREQ, d1 = *job.DATA1, d2 = *job.DATA2;
    job.allocateData(int(freq.size()), true);
    *job.FREQ = freq;
    *job.DATA1 = d1;
    *job.DATA2 = d2;
    return job;
}

// Runs the bundled engine on the job in the current folder: its exit status
// and what it said on standard error.
int runBundled(const FitJob& job, std::string& err)
{
    job.saveWithSideFile("INFL");
    QProcess p;
    p.start(QString::fromStdString(bundledEngine()), {});
    p.waitForFinished(20000);
    err = p.readAllStandardError().toStdString();
    return p.exitCode();
}

} // namespace

// The pre-run check and the engine agree: a job is refused before the run
// exactly when the engine refuses it, with the engine's own reason.
TEST(RunFeedback, CheckAgreesWithTheEngine)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    test::TempWorkDir dir;
    std::vector<std::pair<const char*, FitJob>> jobs;
    FitJob fit = test::sampleJob();
    fit.MAXFEV = 50;
    jobs.emplace_back("fit", fit);
    jobs.emplace_back("first run", firstRunJob());
    FitJob first = firstRunJob();
    first.MAXFEV = 50;
    jobs.emplace_back("first run, fit", first);
    FitJob zeroPos = fit;
    zeroPos.P[3] = 0;
    zeroPos.NFREE[3] = 1;
    zeroPos.N = 10;
    jobs.emplace_back("pos-coded zero", zeroPos);
    FitJob tooMany = test::sampleJob(2);  // four values, four free parameters
    tooMany.MAXFEV = 50;
    tooMany.NFREE[0] = tooMany.NFREE[5] = tooMany.NFREE[6] = 1;
    tooMany.NFREE[1] = 2;
    jobs.emplace_back("no degree of freedom", tooMany);
    FitJob badDe = fit;
    badDe.P[9] = 999;
    jobs.emplace_back("unknown DE", badDe);
    FitJob badFun = fit;
    badFun.FUN = '?';
    jobs.emplace_back("unknown circuit", badFun);

    int refused = 0;
    for (const auto& [name, job] : jobs) {
        std::string err;
        const int status = runBundled(job, err);
        const std::string check = EngineRunner::checkJob(job);
        EXPECT_EQ(status != 0, !check.empty()) << name << ": " << err << " / " << check;
        if (status != 0) {
            ++refused;
            // "noskwin: <reason>"
            const std::string reason = err.substr(err.find(": ") + 2, err.find('\n') - err.find(": ") - 2);
            EXPECT_TRUE(contains(check, reason)) << name << ": " << check << " / " << reason;
        }
    }
    EXPECT_GE(refused, 4);
}

// Every kind of refusal, from the engine's reason line in PNTOUTL and on its
// console, read back as the organiser reads it: the same kind and place from
// both, the hint naming that place, and the pre-run check saying the same.
TEST(RunFeedback, EveryRefusalKindReachesTheOrganiserWithItsPlace)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    test::TempWorkDir dir;
    FitJob fit = test::sampleJob();
    fit.MAXFEV = 50;
    struct Case {
        const char* name;
        std::function<void(FitJob&)> change;
        const char* circuits;  // the work folder's CIRCUITS, or null
        Reason expected;
        const char* hint;      // a part of the hint
    };
    auto reason = [](Reason::Kind kind, auto&& place) {
        Reason r;
        r.kind = kind;
        place(r);
        return r;
    };
    const std::vector<Case> cases = {
        {"field", [](FitJob& j) { j.IRCH = 7; }, nullptr,
            reason(Reason::Kind::Field, [](Reason& r) { r.field = "IRCH"; }), "Change IRCH on the"},
        {"model letter", [](FitJob& j) { j.FUN = '?'; }, nullptr,
            reason(Reason::Kind::Field, [](Reason& r) { r.field = "FUN"; }), "another model circuit (FUN)"},
        {"parameter", [](FitJob& j) { j.N = 10, j.P[3] = -2, j.NFREE[3] = 1; }, nullptr,
            reason(Reason::Kind::Parameter, [](Reason& r) { r.param = 4; }), "Change p(4)"},
        {"data row", [](FitJob& j) { (*j.FREQ)[2] = 0; }, nullptr,
            reason(Reason::Kind::DataRow, [](Reason& r) { r.row = 2; }), "row labelled 2 on the \"Data lines\""},
        {"weight row",
            [](FitJob& j) {
                j.IRCH = 0;
                j.weightsFromData();
                (*j.WEIGHT2)[4] = std::nan("");
            },
            nullptr, reason(Reason::Kind::WeightRow, [](Reason& r) { r.row = 4; }), "row labelled 4"},
        {"DE", [](FitJob& j) { j.P[9] = 999; }, nullptr,
            reason(Reason::Kind::De, [](Reason& r) { r.param = 10; }), "Choose another DE"},
        {"circuit file", [](FitJob&) {}, "B = R(p1)\nA = R(p1) - X(p2)\n",
            reason(Reason::Kind::Circuit, [](Reason& r) { r.line = 2, r.column = 13; }), "Correct line 2, column 13"},
        {"degree of freedom",
            [](FitJob& j) {
                FitJob few = test::sampleJob(2);
                few.MAXFEV = 50;
                few.NFREE[0] = few.NFREE[5] = few.NFREE[6] = 1;
                few.NFREE[1] = 2;
                j = few;
            },
            nullptr, reason(Reason::Kind::Freedom, [](Reason&) {}), "Free fewer parameters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FitJob job = fit;
        c.change(job);
        fs::remove("CIRCUITS");
        if (c.circuits)
            test::writeAll("CIRCUITS", c.circuits);
        std::string err;
        ASSERT_EQ(runBundled(job, err), 1) << err;
        const std::optional<Reason> fromReport = readReasonFile("PNTOUTL");
        std::istringstream console(err);
        const std::optional<Reason> fromConsole = findReason(console);
        ASSERT_TRUE(fromReport && fromConsole) << err;
        EXPECT_EQ(reasonLine(*fromReport), reasonLine(*fromConsole));
        const Reason& r = *fromReport;
        EXPECT_EQ(r.kind, c.expected.kind) << reasonLine(r);
        EXPECT_EQ(r.field, c.expected.field);
        EXPECT_EQ(r.param, c.expected.param);
        EXPECT_EQ(r.row, c.expected.row);
        EXPECT_EQ(r.line, c.expected.line);
        EXPECT_EQ(r.column, c.expected.column);
        EXPECT_TRUE(r.refused());
        // The text is the report's last line, as older readers take it.
        EXPECT_EQ(test::readAll("PNTOUTL").rfind(r.text + "\r\n"), test::readAll("PNTOUTL").size() - r.text.size() - 2);
        const std::string hint = EngineRunner::hintFor(r, job);
        EXPECT_TRUE(contains(hint, c.hint)) << hint;
        const std::string check = EngineRunner::checkJob(job);
        EXPECT_TRUE(contains(check, r.text)) << check;
        EXPECT_TRUE(contains(check, hint)) << check;
    }
}

TEST(RunFeedback, FirstRunTrapIsExplainedWithoutRunning)
{
    OrganiserFixture f;
    FitJob job = firstRunJob();
    job.MAXFEV = 50;
    f.openJob(job);
    writeFakeEngine("touch STARTED\n");
    f.dlg->runButton()->click();
    ASSERT_FALSE(f.prompt.messages.empty());
    const std::string text = f.prompt.lastMessage().text;
    EXPECT_TRUE(contains(text, "leave no degree of freedom")) << text;
    EXPECT_TRUE(contains(text, "all weights are 0")) << text;
    EXPECT_TRUE(contains(text, "IRCH")) << text;
    EXPECT_FALSE(f.dlg->engineRunning());
    EXPECT_FALSE(fs::exists("STARTED"));
    EXPECT_FALSE(fs::exists("INFL"));

    // A start value the engine would refuse names the parameter.
    FitJob zero = test::sampleJob();
    zero.MAXFEV = 50;
    zero.N = 10;
    zero.P[3] = 0;
    zero.NFREE[3] = 1;
    zero.save("B.TST");
    f.dlg->LoadJobFile("B.TST");
    f.dlg->runButton()->click();
    EXPECT_TRUE(contains(f.prompt.lastMessage().text, "P4 = 0 must be positive")) << f.prompt.lastMessage().text;
    EXPECT_TRUE(contains(f.prompt.lastMessage().text, "p(4)")) << f.prompt.lastMessage().text;
    EXPECT_FALSE(fs::exists("STARTED"));
}

// The same as a new user meets it: New, data from a sheet, a free parameter,
// SAVE AND RUN.
TEST(RunFeedback, FirstRunAfterLoadingASheet)
{
    OrganiserFixture f;
    writeFakeEngine("touch STARTED\n");
    f.dlg->action(QStringLiteral("&New"))->trigger();
    test::writeAll("sheet.txt", "1000 100 -1\n100 110 -5\n10 150 -20\n1 190 -8\n0.1 200 -2\n");
    f.prompt.files.push_back(f.dir.file("sheet.txt"));
    f.dlg->action(QStringLiteral("L&oad data from ASCII"))->trigger();
    ASSERT_EQ(f.dlg->job().M, 5) << (f.prompt.messages.empty() ? "" : f.prompt.lastMessage().text);
    f.prompt.messages.clear();
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    page->edit("MAXFEV")->setText(QStringLiteral("100"));
    page->edit("N")->setText(QStringLiteral("1"));
    page->setButton()->click();
    f.dlg->runButton()->click();
    ASSERT_FALSE(f.prompt.messages.empty());
    EXPECT_TRUE(contains(f.prompt.lastMessage().text, "0 fitted values")) << f.prompt.lastMessage().text;
    EXPECT_TRUE(contains(f.prompt.lastMessage().text, "all weights are 0")) << f.prompt.lastMessage().text;
    EXPECT_FALSE(fs::exists("STARTED"));
}

TEST(RunFeedback, FailedRunSaysWhy)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.MAXFEV = 5;
    f.openJob(job);

    // The reason line in the report, the text at its end.
    writeFakeEngine("printf 'NOSKWIN\\r\\n\\r\\n @REASON kind=parameter param=7 text=P7 = -1 must be positive to be "
                    "fitted with NFREE 1\\r\\nP7 = -1 must be positive to be fitted with NFREE 1\\r\\n' > PNTOUTL\n"
                    "exit 1\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    std::string text = f.prompt.lastMessage().text;
    EXPECT_EQ(text.rfind("Fitting process failed!\nP7 = -1 must be positive to be fitted with NFREE 1", 0), 0u)
        << text;
    EXPECT_TRUE(contains(text, "p(7)")) << text;
    EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Fit failed")));

    // No report: what the engine said on its console during this run, not
    // what an earlier run left in the log.
    writeFakeEngine("echo 'DATTYP is wrong here' >&2\necho ' @REASON kind=field field=DATTYP text=DATTYP is wrong here' >&2\n"
                    "exit 3\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    text = f.prompt.lastMessage().text;
    EXPECT_EQ(text.rfind("Fitting process failed!\nDATTYP is wrong here", 0), 0u) << text;
    EXPECT_TRUE(contains(text, "Change DATTYP")) << text;

    writeFakeEngine("exit 4\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(f.prompt.lastMessage().text, "Fitting process failed!\nThe engine ended with status 4.");
    EXPECT_EQ(f.notifier.count, 0);
}

TEST(RunFeedback, ProgressIsShownAndTheFitCanBeStopped)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.MAXFEV = 50;
    f.openJob(job);
    writeFakeEngine("echo '  ITERATION     1   FUNCTION EVALUATIONS      3   S = 1.5E+00'\n"
                    "exec sleep 30\n");
    QAction* stop = f.dlg->action(QStringLiteral("Stop fit"));
    ASSERT_NE(stop, nullptr);
    EXPECT_FALSE(stop->isEnabled());
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.dlg->engineRunning());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_EQ(f.dlg->cursor().shape(), Qt::BusyCursor);
    ASSERT_TRUE(f.tickUntil([&] { return f.dlg->statusText().contains(QStringLiteral("ITERATION     1")); }, 5000))
        << f.dlg->statusText().toStdString();
    EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Fitting... ")));

    QElapsedTimer clock;
    clock.start();
    stop->trigger();
    ASSERT_TRUE(f.waitForEngine(5000));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(f.dlg->statusText(), QStringLiteral("Fit stopped."));
    EXPECT_TRUE(f.prompt.messages.empty()) << f.prompt.lastMessage().text;
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_NE(f.dlg->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(f.notifier.count, 0);
}

// A fit with IRE >= 0: the status line gives S and the evaluations as the
// engine reported them, says where the parameters are, and reloads nothing.
TEST(RunFeedback, FinishedFitTellsWhereTheValuesAre)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    FitJob job = test::sampleJob(12);
    job.MAXFEV = 100;
    job.IRE = 0;
    job.NFREE[5] = 1;
    f.openJob(job);
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_TRUE(f.prompt.messages.empty()) << f.prompt.lastMessage().text;
    const std::string status = f.dlg->statusText().toStdString();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(status, m, std::regex(R"(^Fit finished: S = (\S+), (\d+) function evaluations)")))
        << status;
    // The engine's own console lines are the reference.
    const std::string log = test::readAll("NOSKWIN.LOG");
    std::smatch s, n;
    ASSERT_TRUE(std::regex_search(log, s, std::regex(R"(\n  S = (\S+))"))) << log;
    ASSERT_TRUE(std::regex_search(log, n, std::regex(R"(function evaluations (\d+))"))) << log;
    EXPECT_REL_NEAR(std::stod(m[1].str()), std::stod(s[1].str()), 1e-5) << status << "\n" << log;
    EXPECT_EQ(m[2].str(), n[1].str());
    EXPECT_TRUE(contains(status, "Fitted parameters are in OUTIN (File \xE2\x86\x92 Load OUTIN)")) << status;
    // The option to load OUTIN is on, and the status line says why it did nothing.
    ASSERT_EQ(f.options.loadOutinAfterRun, 1);
    EXPECT_TRUE(contains(status, kOutinNotLoaded)) << status;
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("A.TST"));
    EXPECT_DOUBLE_EQ(f.dlg->job().P[5], 100.0);  // not reloaded

    // New, then other data: the status line no longer speaks of that fit.
    f.dlg->onFileNew();
    EXPECT_EQ(f.dlg->statusText(), QString());
    f.prompt.files = {f.dir.file("A.TST")};
    f.dlg->onLoadDataFromTst();
    EXPECT_EQ(f.dlg->statusText(), QStringLiteral("12 data lines in the job, not fitted yet."));
}

TEST(RunFeedback, ForeignEngineInTheWorkFolder)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    test::writeAll("NOSKWIN.EXE", std::string("MZ\x90\0\3\0\0\0", 8));
    fs::permissions("NOSKWIN.EXE", fs::perms::owner_all);
    locations::rememberLocalEngineChoice(true);  // the user chose it
    f.prompt.answers.push_back(Answer::Yes);
    f.dlg->runButton()->click();
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    const auto& asked = f.prompt.messages.front();
    EXPECT_EQ(asked.buttons, Buttons::YesNo);
    EXPECT_TRUE(contains(asked.text, "Cannot run NOSK!")) << asked.text;
    EXPECT_TRUE(contains(asked.text, "not a program for this system")) << asked.text;
    EXPECT_TRUE(contains(asked.text, f.dir.file("NOSKWIN.EXE"))) << asked.text;
    EXPECT_TRUE(contains(asked.text, bundledEngine())) << asked.text;
    ASSERT_TRUE(f.dlg->engineRunning());
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Model computed"))) << f.dlg->statusText().toStdString();
    EXPECT_TRUE(fs::exists("PNTOUTL"));
}

TEST(RunFeedback, RefusedBoxStopsTheRun)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    writeFakeEngine("touch STARTED\n");
    f.dlg->fitOptionsPage()->edit("MAXFEV")->setText(QStringLiteral("12a"));
    f.dlg->runButton()->click();
    EXPECT_EQ(f.prompt.lastMessage().text, "Wrong number! 12a");
    EXPECT_FALSE(f.dlg->engineRunning());
    EXPECT_FALSE(fs::exists("INFL"));

    // A number box: a decimal comma is taken, other text is refused.
    f.dlg->fitOptionsPage()->edit("MAXFEV")->setText(QStringLiteral("0"));
    f.dlg->fitOptionsPage()->edit("CELCAP")->setText(QStringLiteral("1,5e-12"));
    EXPECT_TRUE(f.dlg->storeToJob());
    EXPECT_DOUBLE_EQ(f.dlg->job().CELCAP, 1.5e-12);
    f.dlg->fitOptionsPage()->edit("CELCAP")->setText(QStringLiteral("abc"));
    EXPECT_FALSE(f.dlg->storeToJob());
    EXPECT_EQ(f.prompt.lastMessage().text, "Wrong number! abc");
    EXPECT_DOUBLE_EQ(f.dlg->job().CELCAP, 1.5e-12);

    // Every command that writes the job stops at the refused box too: no
    // file is written with the box's old value.
    const std::size_t shown = f.prompt.messages.size();
    f.prompt.files.push_back(f.dir.file("B.TST"));
    f.dlg->action(QStringLiteral("Save TST &as..."))->trigger();
    f.dlg->action(QStringLiteral("Save &INFL"))->trigger();
    EXPECT_FALSE(fs::exists("B.TST"));
    EXPECT_FALSE(fs::exists("INFL"));
    ASSERT_EQ(f.prompt.messages.size(), shown + 2);
    EXPECT_EQ(f.prompt.lastMessage().text, "Wrong number! abc");
}

TEST(RunFeedback, HeadlessRunSaysWhy)
{
    const fs::path organiser = fs::path(QCoreApplication::applicationDirPath().toStdString()) / "noskrun";
    if (!fs::exists(bundledEngine()) || !fs::exists(organiser))
        GTEST_SKIP() << "the programs are not built";
    test::TempWorkDir dir;
    FitJob job = firstRunJob();
    job.MAXFEV = 50;
    job.save("job.tst");
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    p.start(QString::fromStdString(organiser.string()), {QStringLiteral("--run"), QStringLiteral("job.tst")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_TRUE(contains(err, "leave no degree of freedom")) << err;
    EXPECT_FALSE(fs::exists("INFL"));
}

// Every way a fit ends reaches the status line by its name, and only a
// converged fit is called finished: converged, MAXFEV reached, a DE
// parameter leaving its range (the DE 29 example started at U = -0.99).
// One start: a search from several would find a run that converges.
TEST(RunFeedback, EveryEndOfAFitIsNamedOnTheStatusLine)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    f.options.starts = 1;
    FitJob converged;
    converged.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.B/BDE16BAT.TST");
    converged.IRE = 0;
    FitJob maxfev = converged;
    for (int i = 0; i < maxfev.N; ++i)
        if (maxfev.NFREE[i] != 0 && i != 9)
            maxfev.P[i] *= 3.0;
    maxfev.MAXFEV = 4;
    FitJob deRange;
    deRange.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.A/ADE29.TST");
    deRange.P[7] = -0.99;
    deRange.IRE = 0;
    const std::vector<std::tuple<const char*, FitJob*, Reason::Kind, const char*>> cases = {
        {"converged", &converged, Reason::Kind::Converged, "Fit finished: S = "},
        {"maxfev", &maxfev, Reason::Kind::MaxFev, "Fit ended early (stopped at MAXFEV): S = "},
        {"de-range", &deRange, Reason::Kind::DeRange, "Fit ended early (stopped: DE 29 (P8) left its range): S = "},
    };
    for (const auto& [name, job, kind, status] : cases) {
        SCOPED_TRACE(name);
        f.openJob(*job);
        f.dlg->runButton()->click();
        ASSERT_TRUE(f.waitForEngine());
        const std::string text = f.dlg->statusText().toStdString();
        EXPECT_EQ(text.rfind(status, 0), 0u) << text;
        EXPECT_EQ(readReasonFile("PNTOUTL")->kind, kind);
        if (kind == Reason::Kind::Converged) {
            EXPECT_TRUE(contains(text, "(converged (")) << text;
        }
        EXPECT_TRUE(f.prompt.messages.empty()) << f.prompt.lastMessage().text;
    }
}
