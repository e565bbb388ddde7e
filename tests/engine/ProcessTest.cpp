// The program itself: arguments, exit status, the S behaviour without a
// terminal.
#include "EngineTestSupport.h"

#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

#endif
