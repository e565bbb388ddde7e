// The search from several starts and the start values from the data, as the
// organiser hands them to the engine: the options, the window, --run, --guess.
#include "COptionsDlg.h"
#include "CommandLine.h"
#include "core/Exception.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"
#include "support/Tolerance.h"

#include "engine/EngineRun.h"

#include <QAction>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include <cstdio>

using namespace nosk;
namespace fs = std::filesystem;
using nosk::test::OrganiserFixture;
using nosk::test::writeFakeEngine;

namespace {

std::vector<std::string> lines(const std::string& path)
{
    std::vector<std::string> out;
    std::istringstream in(test::readAll(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

FitJob batteryJob()
{
    FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST");
    return job;
}

// S of the engine's fit of `job` (one start) in the current folder, and the
// fitted job.
double fitHere(const FitJob& job, FitJob* fitted = nullptr, int starts = 1)
{
    job.save("INFL");
    std::ostringstream out, err;
    EXPECT_EQ(engine::runEngine(out, err, starts), 0) << err.str();
    if (fitted)
        fitted->load("OUTIN");
    for (const std::string& line : lines("PNTOUTL"))
        if (line.rfind(" WEIGHTED SUM OF SQUARES, S", 0) == 0)
            return std::stod(line.substr(42));
    return -1;
}

} // namespace

TEST(Starts, TheOptionReachesTheEngineAndTheCommandLines)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    // The engine writes its arguments, one a line.
    writeFakeEngine("for a in \"$@\"; do echo \"$a\"; done > ARGS\n");
    f.answerDialog = [](QDialog& d) {
        dynamic_cast<COptionsDlg&>(d).startsBox()->setValue(5);
        dynamic_cast<COptionsDlg&>(d).accept();
        return int(QDialog::Accepted);
    };
    f.dlg->action(QStringLiteral("&Options..."))->trigger();
    EXPECT_EQ(f.options.starts, 5);
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(lines("ARGS"), (std::vector<std::string>{"S", "--starts", "5"}));

    // One start: the engine's command line of a single fit, as before.
    f.options.starts = 1;
    f.options.closeEngineWindow = 1;
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(test::readAll("ARGS"), "");

    const CommandLine run = CommandLine::parse({"--run", "a.tst", "--starts", "16"});
    EXPECT_EQ(run.starts, 16);
    const CommandLine guess = CommandLine::parse({"--guess", "a.tst"});
    EXPECT_EQ(guess.mode, CommandLine::Mode::Guess);
    EXPECT_EQ(guess.starts, 0);
    auto mistake = [](const std::vector<std::string>& args) -> std::string {
        try {
            CommandLine::parse(args);
        } catch (const nosk::exception& e) {
            return e.what();
        }
        return "taken";
    };
    EXPECT_EQ(mistake({"--batch", "x", "--starts", "0"}), "--starts needs a number from 1 to 10000");
    // One range with the engine's own --starts.
    EXPECT_EQ(mistake({"--run", "x", "--starts", "10000"}), "taken");
    EXPECT_EQ(mistake({"--run", "x", "--starts", "10001"}), "--starts needs a number from 1 to 10000");
    EXPECT_EQ(mistake({"--kk", "a.tst", "--starts", "4"}), "--starts goes with --run, --batch, --guess or --series");

    // The engine says the same about its own --starts before its usage.
    if (!fs::exists(test::bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    auto engineSays = [](const std::string& arguments) {
        const std::string command = test::bundledEngine() + " " + arguments + " 2>&1 >/dev/null";
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p))
                out.append(buffer, n);
            EXPECT_NE(::pclose(p), 0);
        }
        return out.substr(0, out.find('\n'));
    };
    EXPECT_EQ(engineSays("--starts 0"), "noskwin: --starts needs a number from 1 to 10000, not 0");
    EXPECT_EQ(engineSays("--starts 7x"), "noskwin: --starts needs a number from 1 to 10000, not 7x");
    EXPECT_EQ(engineSays("--starts"), "noskwin: --starts needs a number from 1 to 10000");
    EXPECT_EQ(engineSays("--fast"), "noskwin: unknown argument --fast");
    // Its time budget: a positive number of seconds, nothing else.
    for (const char* wrong : {"0", "-1", "nan", "2e6", "1s"})
        EXPECT_EQ(engineSays(std::string("--seconds ") + wrong),
            std::string("noskwin: --seconds needs a number of seconds above 0, at most 1e6, not ") + wrong);
}

TEST(Starts, GuessFromTheWindowSetsFreeStartValuesAndLeavesFixedOnes)
{
    OrganiserFixture f;
    // The inductance fixed at a value of its own.
    FitJob job = batteryJob();
    job.P[2] = 2e-7;
    job.NFREE[2] = 0;
    FitJob best;
    const double bestS = fitHere(job, &best, 16);
    // No start values to speak of: every free parameter 1.
    for (int i = 0; i < job.N; ++i)
        if (job.NFREE[i] != 0)
            job.P[i] = 1;
    f.openJob(job);
    f.dlg->action(QStringLiteral("&Guess start values"))->trigger();
    ASSERT_FALSE(f.prompt.messages.empty());
    EXPECT_NE(f.prompt.lastMessage().text.find("New start values of 6 free parameters"), std::string::npos)
        << f.prompt.lastMessage().text;
    const FitJob& guessed = f.dlg->job();
    EXPECT_EQ(guessed.P[2], 2e-7);
    // A single fit from the new values reaches the lowest S that a search
    // from the example's own start values finds.
    FitJob fitted;
    const double s = fitHere(guessed, &fitted);
    EXPECT_LE(s, bestS * (1 + 1e-6));
    EXPECT_REL_NEAR(fitted.P[3], best.P[3], 1e-3);  // the charge-transfer resistance
}
