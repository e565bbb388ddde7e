// Several hands on one work folder, and runs that end badly: the folder's
// lock, signals passed on to the engine, an engine killed at each of its
// write steps, a work folder's own engine, the batch table as a spreadsheet
// reads it.
#include "BatchRun.h"
#include "DrtCommand.h"
#include "EngineLaunch.h"
#include "OrganiserTestSupport.h"
#include "SeriesPlot.h"
#include "core/WorkFolderLock.h"
#include "support/Files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

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

fs::path organiserProgram()
{
    return fs::path(QCoreApplication::applicationDirPath().toStdString()) / "noskrun";
}

void writeScript(const std::string& name, const std::string& body)
{
    test::writeAll(name, "#!/bin/sh\n" + body);
    fs::permissions(name, fs::perms::owner_all);
}

bool waitForFile(const std::string& name, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!fs::exists(name) && clock.elapsed() < ms)
        QThread::msleep(10);
    return fs::exists(name);
}

// A fit job, and what the bundled engine writes for it (in real/).
FitJob fitJob()
{
    FitJob job = test::sampleJob(10);
    job.MAXFEV = 100;
    return job;
}

bool realOutputs()
{
    fs::create_directory("real");
    fitJob().save("real/INFL");
    const std::string command = "cd real && '" + bundledEngine() + "' </dev/null >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 && fs::exists("real/OUTIN");
}

// Splits CSV text into its cells, quotes undone: the spreadsheet's view.
std::vector<std::vector<std::string>> csvCells(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                cell += text[++i];
            else if (c == '"')
                quoted = false;
            else
                cell += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(cell);
            cell.clear();
        } else if (c == '\n') {
            rows.back().push_back(cell);
            cell.clear();
            rows.emplace_back();
        } else {
            cell += c;
        }
    }
    rows.pop_back();
    return rows;
}

} // namespace

TEST(Reliability, AnEngineKilledAtAnyWriteStepIsAFailedRunNeverAnEarlierJobsResult)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    f.options.closeEngineWindow = 1;
    f.openJob(fitJob());
    ASSERT_TRUE(realOutputs());
    // The engine's three files in its order; killed after `point` of them.
    for (int point = 0; point <= 3; ++point) {
        SCOPED_TRACE(point);
        test::writeAll("OUTIN", "an earlier job's parameters");
        writeFakeEngine("n=0\nfor f in PNTOUTL AUXPNTL OUTIN; do\n  [ $n = " + std::to_string(point)
                        + " ] && kill -9 $$\n  cp real/$f $f\n  n=$((n+1))\ndone\nkill -9 $$\n");
        f.dlg->runButton()->click();
        ASSERT_TRUE(f.waitForEngine());
        EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Fit failed"))) << f.dlg->statusText().toStdString();
        EXPECT_TRUE(contains(f.prompt.lastMessage().text, "signal 9 (SIGKILL)")) << f.prompt.lastMessage().text;
        EXPECT_NE(test::readAll("OUTIN"), "an earlier job's parameters");
    }
    // An end whose status is lost (a terminal in between) that left no OUTIN.
    test::writeAll("OUTIN", "an earlier job's parameters");
    writeFakeEngine("cp real/PNTOUTL real/AUXPNTL .\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(f.dlg->statusText().toStdString(), "Fit failed: The engine wrote no OUTIN.");
    EXPECT_FALSE(fs::exists("OUTIN"));
    // A status other than 0 with every file there.
    writeFakeEngine("cp real/PNTOUTL real/AUXPNTL real/OUTIN .\nexit 3\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(f.dlg->statusText().toStdString(), "Fit failed: The engine ended with status 3.");

    // The same files and status 0: a good fit, so the files were readable.
    const std::size_t before = f.prompt.messages.size();
    writeFakeEngine("cp real/PNTOUTL real/AUXPNTL real/OUTIN .\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Fit finished"))) << f.dlg->statusText().toStdString();
    EXPECT_EQ(f.prompt.messages.size(), before);

    // solartron.fra cannot be written (a folder under its name): the fit is
    // good all the same, and the user is told what was not written.
    fs::remove("solartron.fra");
    fs::create_directory("solartron.fra");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Fit finished"))) << f.dlg->statusText().toStdString();
    EXPECT_EQ(f.prompt.lastMessage().text,
              "The model curve could not be written: Cannot open file 'solartron.fra'!");
    EXPECT_EQ(f.prompt.lastMessage().icon, Icon::Warning);

    // A link planted under its name is replaced, never written through.
    fs::remove("solartron.fra");
    test::writeAll("victim", "precious");
    fs::create_symlink("victim", "solartron.fra");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(test::readAll("victim"), "precious");
    EXPECT_FALSE(fs::is_symlink("solartron.fra"));
    EXPECT_GT(fs::file_size("solartron.fra"), 700u);
}

TEST(Reliability, AWorkFoldersOwnEngineRunsOnlyWhenTheUserChoseIt)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    f.options.closeEngineWindow = 1;
    f.openJob(test::sampleJob());
    auto questions = [&f] {
        return std::count_if(f.prompt.messages.begin(), f.prompt.messages.end(),
                             [](const auto& m) { return contains(m.text, "holds an engine of its own"); });
    };
    writeFakeEngine("echo ran > LOCAL\n", false);
    f.prompt.answers.push_back(Answer::No);
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(questions(), 1);
    EXPECT_FALSE(fs::exists("LOCAL"));
    EXPECT_TRUE(f.dlg->statusText().startsWith(QStringLiteral("Model computed"))) << f.dlg->statusText().toStdString();
    // Remembered: not asked again for this file.
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(questions(), 1);
    EXPECT_FALSE(fs::exists("LOCAL"));
    // Without a window the chosen engine alone runs: the bundled one here.
    const fs::path organiser = organiserProgram();
    if (fs::exists(organiser)) {
        QProcess p;
        p.start(QString::fromStdString(organiser.string()), {QStringLiteral("--run"), QStringLiteral("A.TST")});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_FALSE(fs::exists("LOCAL"));
    }
    // Another file under the name: asked again.
    writeFakeEngine("echo ran > LOCAL\necho changed\n", false);
    f.prompt.answers.push_back(Answer::Yes);
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(questions(), 2);
    EXPECT_TRUE(fs::exists("LOCAL"));
}

TEST(Reliability, TheWindowDoesNotRunWhileAnotherRunHoldsTheFolder)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    writeFakeEngine("exit 0\n");
    test::writeAll("PNTOUTL", "the other run's report");
    WorkFolderLock other;
    ASSERT_TRUE(other.tryLock("noskrun --batch"));
    f.dlg->runButton()->click();
    EXPECT_FALSE(f.dlg->engineRunning());
    EXPECT_TRUE(contains(f.prompt.lastMessage().text, "is in use by noskrun --batch")) << f.prompt.lastMessage().text;
    EXPECT_EQ(test::readAll("PNTOUTL"), "the other run's report");
    other.unlock();
    f.dlg->runButton()->click();
    EXPECT_TRUE(f.dlg->engineRunning());
    ASSERT_TRUE(f.waitForEngine());
}

TEST(Reliability, HeadlessRunsInOneFolderTakeTurnsAndSignalsReachTheEngine)
{
    const fs::path organiser = organiserProgram();
    if (!fs::exists(organiser))
        GTEST_SKIP() << "noskrun is not built";
    test::TempWorkDir dir;
    test::sampleJob().save("a.tst");
    test::sampleJob().save("b.tst");
    for (const char* name : {"a", "b"})
        writeScript(std::string(name) + ".sh",
                    std::string("echo ") + name + "-start >> ORDER\nsleep 1\necho " + name + "-end >> ORDER\n");
    const QString program = QString::fromStdString(organiser.string());
    QProcess a, b;
    a.start(program, {QStringLiteral("--run"), QStringLiteral("a.tst"), QStringLiteral("--engine"), QStringLiteral("./a.sh")});
    ASSERT_TRUE(waitForFile("ORDER"));
    b.start(program, {QStringLiteral("--run"), QStringLiteral("b.tst"), QStringLiteral("--engine"), QStringLiteral("./b.sh")});
    ASSERT_TRUE(a.waitForFinished(20000));
    ASSERT_TRUE(b.waitForFinished(20000));
    EXPECT_EQ(test::readAll("ORDER"), "a-start\na-end\nb-start\nb-end\n");
    EXPECT_TRUE(contains(b.readAllStandardError().toStdString(), "is in use by noskrun --run a.tst"));

    // Ctrl+C, a hang-up, kill: passed on to the engine (in a session of its
    // own), which is waited for; the status says which signal.
    writeScript("slow.sh", "trap 'echo got > GOT; kill $! 2>/dev/null; exit 1' INT HUP TERM\n"
                           "echo up > STARTED\nsleep 20 &\nwait\n");
    for (int sig : {SIGINT, SIGHUP, SIGTERM}) {
        SCOPED_TRACE(sig);
        fs::remove("STARTED");
        fs::remove("GOT");
        QProcess run;
        run.start(program, {QStringLiteral("--run"), QStringLiteral("a.tst"), QStringLiteral("--engine"),
                            QStringLiteral("./slow.sh")});
        ASSERT_TRUE(waitForFile("STARTED"));
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(run.processId()), sig);
        ASSERT_TRUE(run.waitForFinished(10000));
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 128 + sig) << run.readAllStandardError().toStdString();
        EXPECT_TRUE(fs::exists("GOT"));  // the engine had ended before noskrun did
    }
}

namespace {

// Whether the process holds SIGTERM back or has a handler for it (its
// /proc status), so that a signal sent now is never the default death.
bool termHandled(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const unsigned long long bit = 1ULL << (SIGTERM - 1);
    while (std::getline(status, line))
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigCgt:", 0) == 0)
            if (std::stoull(line.substr(7), nullptr, 16) & bit)
                return true;
    return false;
}

} // namespace

// A signal before the engine runs: while --run waits for the folder (held
// here) it ends the wait and the run, exit 128 + signal, never the default
// death, the last run's INFL untouched and no engine started; and from its
// first moments (the window module still loading) SIGTERM is held back or
// caught, never the default death.
TEST(Reliability, AnEarlySignalEndsTheRunCleanly)
{
    const fs::path organiser = organiserProgram();
    if (!fs::exists(organiser))
        GTEST_SKIP() << "noskrun is not built";
    test::TempWorkDir dir;
    test::sampleJob().save("a.tst");
    test::writeAll("INFL", "the last run's input");
    writeScript("engine.sh", "trap 'exit 1' INT HUP TERM\necho up > STARTED\nsleep 20 &\nwait\n");
    const QString program = QString::fromStdString(organiser.string());
    const QStringList args = {QStringLiteral("--run"), QStringLiteral("a.tst"), QStringLiteral("--engine"),
                              QStringLiteral("./engine.sh")};
    {
        WorkFolderLock held;
        ASSERT_TRUE(held.tryLock("the test"));
        QProcess run;
        run.start(program, args);
        QElapsedTimer clock;
        clock.start();
        std::string err;
        while (!contains(err, "Waiting for it to finish") && clock.elapsed() < 20000) {
            run.waitForReadyRead(100);
            err += run.readAllStandardError().toStdString();
        }
        ASSERT_TRUE(contains(err, "Waiting for it to finish")) << err;
        clock.restart();
        ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
        ASSERT_TRUE(run.waitForFinished(10000));
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 128 + SIGTERM) << run.readAllStandardError().toStdString();
        EXPECT_EQ(test::readAll("INFL"), "the last run's input");
        EXPECT_FALSE(fs::exists("STARTED"));
    }
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QProcess run;
        run.start(program, args);
        ASSERT_TRUE(run.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        while (!termHandled(run.processId()) && clock.elapsed() < 10000)
            QThread::usleep(200);
        ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
        ASSERT_TRUE(run.waitForFinished(20000));
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 128 + SIGTERM) << run.readAllStandardError().toStdString();
        for (const auto& e : fs::directory_iterator("."))
            EXPECT_FALSE(contains(e.path().filename().string(), ".tmp")) << e.path();
    }
}

TEST(Reliability, AHangUpDuringABatchKeepsTheTableAndLeavesNoFolders)
{
    const fs::path organiser = organiserProgram();
    if (!fs::exists(organiser))
        GTEST_SKIP() << "noskrun is not built";
    test::TempWorkDir dir;
    fs::create_directory("tmp");
    for (const char* name : {"s1.tst", "s2.tst", "s3.tst"})
        test::sampleJob().save(name);
    writeScript("slow.sh", "echo up >> '" + dir.file("STARTED") + "'\nsleep 1\nexit 1\n");
    QProcess batch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(dir.file("tmp")));
    batch.setProcessEnvironment(env);
    batch.start(QString::fromStdString(organiser.string()),
                {QStringLiteral("--batch"), QStringLiteral("s1.tst"), QStringLiteral("s2.tst"), QStringLiteral("s3.tst"),
                 QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--engine"),
                 QString::fromStdString(dir.file("slow.sh"))});
    ASSERT_TRUE(waitForFile("STARTED"));
    ::kill(static_cast<pid_t>(batch.processId()), SIGHUP);
    ASSERT_TRUE(batch.waitForFinished(20000));
    EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(batch.exitCode(), 128 + SIGHUP);
    const std::string out = batch.readAllStandardOutput().toStdString();
    EXPECT_TRUE(contains(out, "3 spectra, 0 fitted, 1 failed, 2 interrupted")) << out;
    const auto table = csvCells(test::readAll("batch.csv"));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[2].back(), "interrupted");
    EXPECT_EQ(table[3].back(), "interrupted");
    EXPECT_TRUE(fs::is_empty("tmp"));
}

TEST(Reliability, TheBatchTableNeverHoldsAFormula)
{
    batch::Row bad;
    bad.file = "=HYPERLINK(\"http://example.invalid\",\"x\")";
    bad.status = 1;
    bad.reason = "-2+3";
    batch::Row good;
    good.file = "@SUM(A1:A9).txt";
    good.ok = true;
    good.series = -20;
    good.value = {-1.5};
    good.stdDev = {NAN};
    const std::string text = batch::formatTable({bad, good}, {"+p1"});
    const auto table = csvCells(text);
    ASSERT_EQ(table.size(), 3u);
    // Every cell a spreadsheet would compute is a number; text keeps its
    // characters behind an apostrophe.
    for (const auto& row : table)
        for (const std::string& cell : row)
            if (!cell.empty() && std::string("=+-@").find(cell.front()) != std::string::npos) {
                char* end = nullptr;
                std::strtod(cell.c_str(), &end);
                EXPECT_EQ(*end, '\0') << cell;
            }
    EXPECT_EQ(table[1][1], "'" + bad.file);
    EXPECT_EQ(table[1].back(), "'-2+3");

    // A reason that quotes an instrument file's header in Latin-1 ("Z/\xB5Ohm")
    // is UTF-8 in the table.
    bad.reason = "no frequency column: found time, Z/\xB5Ohm";
    bad.file = "cell \xB0""C.txt";
    const std::string latin = batch::formatTable({bad}, {});
    EXPECT_NE(latin.find("Z/\xC2\xB5Ohm"), std::string::npos) << latin;
    EXPECT_NE(latin.find("cell \xC2\xB0""C.txt"), std::string::npos) << latin;
    EXPECT_EQ(table[2][1], "'" + good.file);
    EXPECT_EQ(table[2][2], "-20");
    EXPECT_EQ(table[0][5], "'+p1");
}

TEST(Reliability, ThePlotIsASafeWrite)
{
    test::TempWorkDir dir;
    batch::Row row;
    row.file = "soc10.txt";
    row.ok = true;
    row.series = 10;
    row.value = {2.0};
    row.stdDev = {0.1};
    // A FIFO under the name is refused at once, never waited on.
    ASSERT_EQ(::mkfifo("plot.png", 0600), 0);
    EXPECT_EQ(writeSeriesPlot({row}, {"p1: R"}, "plot.png"), "Cannot open file 'plot.png'!");
    fs::remove("plot.png");
    EXPECT_EQ(writeSeriesPlot({row}, {"p1: R"}, "plot.png"), "");
    const std::string png = test::readAll("plot.png");
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // Written beside the name and renamed over it: no temporary file stays.
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

// The batch's DRT picture is a name the user never typed (drt.png, or beside
// the --plot name): a link planted there is replaced, a dangling one too, a
// FIFO is refused at once, and a write cut short by a file-size limit keeps
// the old picture whole and leaves no temporary file.
TEST(Reliability, TheBatchDrtPictureIsASafeWrite)
{
    test::TempWorkDir dir;
    batch::Row row;
    row.file = "soc10.txt";
    row.ok = true;
    row.series = 10;
    BatchDrt drt;
    drt.ok = true;
    for (int k = 0; k < 50; ++k) {
        drt.result.tau.push_back(std::pow(10.0, -6 + 0.2 * k));
        drt.result.gamma.push_back(std::exp(-0.1 * (k - 25) * (k - 25)));
    }
    const std::string picture = drtPlotName("");
    ASSERT_EQ(picture, "drt.png");
    EXPECT_EQ(drtPlotName("out/P.png"), "out/P-drt.png");

    test::writeAll("victim", "precious");
    fs::create_symlink("victim", picture);
    EXPECT_EQ(writeDrtSeriesPlot({row}, {drt}, picture), "");
    EXPECT_EQ(test::readAll("victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(picture));
    EXPECT_EQ(test::readAll(picture).substr(1, 3), "PNG");

    fs::remove(picture);
    fs::create_symlink("nowhere/drt.png", picture);
    EXPECT_EQ(writeDrtSeriesPlot({row}, {drt}, picture), "");
    EXPECT_FALSE(fs::is_symlink(picture));
    EXPECT_FALSE(fs::exists("nowhere"));

    fs::remove(picture);
    ASSERT_EQ(::mkfifo(picture.c_str(), 0600), 0);
    EXPECT_EQ(writeDrtSeriesPlot({row}, {drt}, picture), "Cannot open file 'drt.png'!");
    fs::remove(picture);

    const std::string old(300, 'o');
    test::writeAll(picture, old);
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string error = writeDrtSeriesPlot({row}, {drt}, picture);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, "Cannot write file 'drt.png'!");
    EXPECT_EQ(test::readAll(picture), old);
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_TRUE(e.path().filename() == "victim" || e.path().filename() == picture) << e.path();
}

// A run's new input is written before the last run's results go: when INFL
// cannot be written (a full disk, here a file-size limit), the folder keeps
// the old INFL with its PNTOUTL, AUXPNTL and ADD.BIN; when it can, the old
// results are gone and ADD.BIN is the new job's.
TEST(Reliability, AnInputThatCannotBeWrittenKeepsTheLastRunsResults)
{
    test::TempWorkDir dir;
    const std::string oldInput(200, 'i');
    const std::map<std::string, std::string> old = {
        {"INFL", oldInput}, {"PNTOUTL", "report"}, {"AUXPNTL", "numbers"}, {"ADD.BIN", std::string("\3\3", 2)}};
    for (const auto& [name, text] : old)
        test::writeAll(name, text);
    FitJob job = test::sampleJob(50);
    job.xVariable = 1;

    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string error;
    try {
        run::writeInput(job);
    } catch (const std::exception& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, "Cannot write file 'INFL'!");
    for (const auto& [name, text] : old)
        EXPECT_EQ(test::readAll(name), text) << name;

    run::writeInput(job);
    EXPECT_FALSE(fs::exists("PNTOUTL"));
    EXPECT_FALSE(fs::exists("AUXPNTL"));
    EXPECT_EQ(test::readAll("ADD.BIN"), std::string("\1\1", 2));
    FitJob back;
    back.load("INFL");
    EXPECT_EQ(back.M, job.M);
}

TEST(Reliability, HeadlessWritersReplacePlantedLinksAndSurviveAFileSizeLimit)
{
    const fs::path organiser = organiserProgram();
    if (!fs::exists(organiser))
        GTEST_SKIP() << "noskrun is not built";
    test::TempWorkDir dir;
    std::string csv = "f,Zre,Zim\n";
    for (int i = 1; i <= 60; ++i)
        csv += std::to_string(i * 10) + ",1.5,-2.5\n";
    test::writeAll("cell.csv", csv);
    test::writeAll("victim", "precious");
    // The names the user did not type: the import's cell.TST, batch.csv.
    fs::create_symlink("victim", "cell.TST");
    fs::create_symlink("victim", "batch.csv");
    const std::string program = "'" + organiser.string() + "' ";
    EXPECT_EQ(std::system((program + "--import cell.csv >out.txt 2>err.txt").c_str()), 0) << test::readAll("err.txt");
    writeScript("fail.sh", "exit 1\n");
    const int batch = std::system((program + "--batch cell.TST --engine ./fail.sh >out.txt 2>err.txt").c_str());
    EXPECT_EQ(WEXITSTATUS(batch), 1) << test::readAll("err.txt");
    EXPECT_EQ(test::readAll("victim"), "precious");
    EXPECT_FALSE(fs::is_symlink("cell.TST"));
    EXPECT_FALSE(fs::is_symlink("batch.csv"));
    EXPECT_TRUE(contains(test::readAll("batch.csv"), "index,file"));

    // A file-size limit (one block of 512 bytes): the write fails and says
    // so; the program is not killed and leaves no temporary file.
    fs::remove("cell.TST");
    const int status = std::system(("ulimit -f 1; exec " + program + "--import cell.csv >out.txt 2>err.txt").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(contains(test::readAll("err.txt"), "Cannot write file 'cell.TST'!")) << test::readAll("err.txt");
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_FALSE(contains(e.path().filename().string(), ".tmp")) << e.path();
}
