// The program itself: arguments, exit status, the S behaviour without a
// terminal.
#include "EngineTestSupport.h"

#include "core/WorkFolderLock.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

using namespace nosk;
using namespace nosk::test;

#ifdef NOSKWIN_PATH

namespace {

int runNoskwin(const std::string& arguments)
{
    const std::string command = std::string("'") + NOSKWIN_PATH + "' " + arguments + " </dev/null >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

FitJob smallJob()
{
    FitJob job = makeTestJob('A', 10, {{1, 10.0, 1}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 20);
    offsetStart(job);
    return job;
}

} // namespace

TEST(Noskwin, ExitStatusAndFiles)
{
    TempWorkDir dir;
    smallJob().save("INFL");
    EXPECT_EQ(runNoskwin(""), 0);
    EXPECT_TRUE(fileExists("PNTOUTL"));
    EXPECT_TRUE(fileExists("AUXPNTL"));
    EXPECT_TRUE(fileExists("OUTIN"));
    EXPECT_NE(readAll("out.txt").find("Fit finished"), std::string::npos);
    EXPECT_EQ(readAll("err.txt"), "");

    // S without a terminal on standard input ends at once.
    EXPECT_EQ(runNoskwin("S"), 0);
    EXPECT_EQ(readAll("out.txt").find("Press Enter to close"), std::string::npos);

    FitJob bad = smallJob();
    bad.FUN = 'Z';
    bad.save("INFL");
    EXPECT_EQ(runNoskwin("S"), 1);
    EXPECT_NE(readAll("err.txt").find("Model function 'Z' is not available in this engine"), std::string::npos);
    EXPECT_FALSE(fileExists("AUXPNTL"));

    EXPECT_EQ(runNoskwin("X"), 1);
    EXPECT_EQ(runNoskwin("S S"), 1);
    EXPECT_NE(readAll("err.txt").find("usage"), std::string::npos);
}

TEST(Noskwin, RunByHandWhileAnotherRunHoldsTheFolderTouchesNothing)
{
    TempWorkDir dir;
    smallJob().save("INFL");
    WorkFolderLock run;
    ASSERT_TRUE(run.tryLock("noskrun --run cell.TST"));
    EXPECT_EQ(runNoskwin(""), 1);
    EXPECT_NE(readAll("err.txt").find("is in use by noskrun --run cell.TST"), std::string::npos) << readAll("err.txt");
    EXPECT_FALSE(fileExists("PNTOUTL"));
    EXPECT_FALSE(fileExists("OUTIN"));
    run.unlock();
    EXPECT_EQ(runNoskwin(""), 0) << readAll("err.txt");
    EXPECT_TRUE(fileExists("OUTIN"));
}

TEST(Noskwin, AFileSizeLimitIsAWriteErrorNotADeath)
{
    TempWorkDir dir;
    makeTestJob('A', 10, {{1, 10.0, 1}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 400).save("INFL");
    // 8 blocks of 512 bytes: PNTOUTL fits, the table of 400 points does not.
    const std::string command =
        std::string("ulimit -f 8; exec '") + NOSKWIN_PATH + "' </dev/null >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);  // not 128 + SIGXFSZ
    EXPECT_NE(readAll("err.txt").find("Cannot write file"), std::string::npos) << readAll("err.txt");
    EXPECT_FALSE(fileExists("AUXPNTL"));
    for (const auto& e : std::filesystem::directory_iterator("."))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

#endif

#ifdef NOSK_MAKE_EXAMPLES_PATH
TEST(MakeExamples, AnOptionIsNeverTakenForTheFolderToWriteInto)
{
    TempWorkDir dir;
    const std::string program = std::string("'") + NOSK_MAKE_EXAMPLES_PATH + "' ";
    int status = std::system((program + "--help >out.txt 2>err.txt").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_NE(readAll("out.txt").find("usage: nosk_make_examples"), std::string::npos);
    status = std::system((program + "--bogus --force >out.txt 2>err.txt").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    for (const auto& e : std::filesystem::directory_iterator("."))
        EXPECT_TRUE(e.is_regular_file()) << "created " << e.path();
}
#endif
