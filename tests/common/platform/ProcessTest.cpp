#include "platform/Process.h"
#include "platform/Timer.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace nosk;

namespace {

// Polls like the organiser's timer does, with a short period.
bool pollUntilEnded(ChildProcess& p, int maxMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (p.running()) {
        if (t.elapsed() > maxMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ProcessSpec shell(const std::string& script)
{
    ProcessSpec s;
    s.program = "sh";
    s.arguments = {"-c", script};
    return s;
}

} // namespace

TEST(Process, ExitCodeSeenByPolling)
{
    PosixProcessLauncher launcher;
    int error = -1;
    auto p = launcher.start(shell("sleep 0.05; exit 3"), error);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(p->running());
    ASSERT_TRUE(pollUntilEnded(*p));
    EXPECT_EQ(p->exitCode(), 3);
    EXPECT_FALSE(p->running());  // stays ended
    EXPECT_EQ(p->exitCode(), 3);
}

TEST(Process, RunsInWorkFolderWithOutputInLogFile)
{
    test::TempWorkDir work;
    std::filesystem::create_directory("run");
    PosixProcessLauncher launcher;
    ProcessSpec s = shell("echo here > marker; echo ran; echo oops >&2");
    s.workingDirectory = work.file("run");
    s.outputFile = "engine.log";  // relative to the work folder of the program
    int error = 0;
    auto p = launcher.start(s, error);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(pollUntilEnded(*p));
    EXPECT_EQ(p->exitCode(), 0);
    std::string log = test::readAll(work.file("run/engine.log"));
    EXPECT_EQ(test::readAll(work.file("run/marker")), "here\n");
    EXPECT_NE(log.find("ran\n"), std::string::npos) << log;
    EXPECT_NE(log.find("oops"), std::string::npos) << log;
}

TEST(Process, LogFileNeverWritesThroughAPlantedLink)
{
    test::TempWorkDir work;
    std::filesystem::create_directory("run");
    test::writeAll("precious", "keep me");
    std::filesystem::create_symlink(work.file("precious"), work.file("run/engine.log"));
    PosixProcessLauncher launcher;
    ProcessSpec s = shell("echo ran");
    s.workingDirectory = work.file("run");
    s.outputFile = "engine.log";
    int error = 0;
    auto p = launcher.start(s, error);
    ASSERT_NE(p, nullptr) << error;
    ASSERT_TRUE(pollUntilEnded(*p));
    EXPECT_EQ(test::readAll(work.file("precious")), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(work.file("run/engine.log")));
    EXPECT_EQ(test::readAll(work.file("run/engine.log")), "ran\n");
}

TEST(Process, MissingProgramReportsErrorNumber)
{
    PosixProcessLauncher launcher;
    ProcessSpec s;
    s.program = "no-such-engine-program";
    int error = 0;
    EXPECT_EQ(launcher.start(s, error), nullptr);
    EXPECT_EQ(error, ENOENT);
    error = 0;
    EXPECT_FALSE(launcher.startDetached(s, error));
    EXPECT_EQ(error, ENOENT);
}

TEST(Process, DetachedProgramRuns)
{
    test::TempWorkDir work;
    PosixProcessLauncher launcher;
    ProcessSpec s = shell("echo started > flag");
    s.workingDirectory = work.path().string();
    int error = 0;
    ASSERT_TRUE(launcher.startDetached(s, error));
    QElapsedTimer t;
    t.start();
    while (test::readAll(work.file("flag")) != "started\n" && t.elapsed() < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(test::readAll(work.file("flag")), "started\n");
}

// Children of this process that have ended and were not waited for.
int zombieChildren()
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = test::readAll(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && state == 'Z'
            && ppid == ::getpid())
            ++n;
    }
    return n;
}

TEST(Process, DetachedProgramsAreReapedWhenTheyEnd)
{
    test::TempWorkDir work;
    PosixProcessLauncher launcher;
    int error = 0;
    for (int i = 0; i < 3; ++i) {
        ProcessSpec s = shell("echo x >> ended");
        s.workingDirectory = work.path().string();
        ASSERT_TRUE(launcher.startDetached(s, error));
    }
    // An engine whose handle goes away while it runs is reaped when it ends.
    {
        ProcessSpec s = shell("sleep 0.2; echo x >> ended");
        s.workingDirectory = work.path().string();
        ASSERT_NE(launcher.start(s, error), nullptr);
    }
    QElapsedTimer t;
    t.start();
    while ((test::readAll(work.file("ended")).size() < 8 || zombieChildren() > 0) && t.elapsed() < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(test::readAll(work.file("ended")), "x\nx\nx\nx\n");
    EXPECT_EQ(zombieChildren(), 0);
}

TEST(Timer, ManualTicksOnlyWhileActive)
{
    ManualTimer timer;
    int ticks = 0;
    timer.setCallback([&] { ++ticks; });
    timer.tick();
    EXPECT_EQ(ticks, 0);
    timer.start(1000);
    EXPECT_EQ(timer.interval(), 1000);
    timer.tick();
    timer.tick();
    EXPECT_EQ(ticks, 2);
    timer.stop();
    timer.tick();
    EXPECT_EQ(ticks, 2);
}

TEST(Timer, QtTimerFires)
{
    QtTimer timer;
    int ticks = 0;
    timer.setCallback([&] {
        if (++ticks == 2)
            timer.stop();
    });
    timer.start(5);
    EXPECT_TRUE(timer.isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks == 2; }, 2000)) << ticks;
    EXPECT_FALSE(timer.isActive());
}
