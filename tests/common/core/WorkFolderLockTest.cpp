// The work folder's lock between processes: the holder is another process
// (forked), killed at the end without a chance to clean up.

#include "core/Exception.h"
#include "core/WorkFolderLock.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace nosk;
namespace fs = std::filesystem;

namespace {

// A process that takes the lock, says so through a pipe and holds it until killed.
pid_t holderProcess(const std::string& purpose)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        ::alarm(30);
        WorkFolderLock lock;
        const char answer = lock.tryLock(purpose) ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    const bool ok = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    return ok ? pid : -1;
}

void killAndReap(pid_t pid)
{
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// The number of a process that has ended.
pid_t deadProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

// Last changed two hours ago (a link itself, not what it points at).
void makeOld(const std::string& path)
{
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - 7200;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

TEST(WorkFolderLock, ASecondRunIsRefusedUntilTheHolderDiesAndTheKernelReleasesIt)
{
    test::TempWorkDir dir;
    const pid_t holder = holderProcess("noskrun --run cell.TST");
    ASSERT_GT(holder, 0);

    WorkFolderLock second;
    EXPECT_FALSE(second.tryLock("noskwin"));
    EXPECT_FALSE(second.held());
    const std::string busy = second.busyMessage();
    EXPECT_NE(busy.find("noskrun --run cell.TST (process " + std::to_string(holder) + ")"), std::string::npos) << busy;
    EXPECT_NE(busy.find(dir.path().string()), std::string::npos) << busy;

    // A waiting run is told once why, and goes on when the holder is killed.
    std::string told;
    std::thread killer([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        killAndReap(holder);
    });
    WorkFolderLock waiter;
    waiter.lock("noskrun --batch", [&told](const std::string& why) { told = why; });
    EXPECT_TRUE(waiter.held());
    killer.join();
    EXPECT_NE(told.find("in use by noskrun --run cell.TST"), std::string::npos) << told;
    EXPECT_TRUE(waiter.held());
    // And now the holder is this process: a third one is refused.
    WorkFolderLock third;
    EXPECT_FALSE(third.tryLock("noskwin"));
    waiter.unlock();
    EXPECT_TRUE(third.tryLock("noskwin"));
}

TEST(WorkFolderLock, AProgramStartedByTheHolderRunsUnderItsLockAndNoOtherDoes)
{
    test::TempWorkDir dir;
    WorkFolderLock holder;
    ASSERT_TRUE(holder.tryLock("noskrun"));
    const std::string value = holder.environmentValue();
    ASSERT_FALSE(value.empty());
    const std::string token = value.substr(value.find(' ') + 1);

    struct Env {
        explicit Env(const std::string& v) { ::setenv(WorkFolderLock::kEnvironment, v.c_str(), 1); }
        ~Env() { ::unsetenv(WorkFolderLock::kEnvironment); }
    };
    {
        // The descriptor handed down: the same lock.
        Env env(std::to_string(::dup(holder.inheritableDescriptor())) + " " + token);
        WorkFolderLock child;
        EXPECT_TRUE(child.tryLockOrInherit("noskwin"));
    }
    {
        // Through a terminal that passes no descriptor: the token alone.
        Env env("-1 " + token);
        WorkFolderLock child;
        EXPECT_TRUE(child.tryLockOrInherit("noskwin"));
    }
    {
        // A stale or guessed value is no lock: refused while the holder runs.
        Env env("0 0123456789abcdef");
        WorkFolderLock other;
        EXPECT_FALSE(other.tryLockOrInherit("noskwin"));
    }
    WorkFolderLock plain;
    EXPECT_FALSE(plain.tryLockOrInherit("noskwin"));
}

TEST(WorkFolderLock, APlantedLinkIsReplacedNeverLockedOrTruncated)
{
    test::TempWorkDir dir;
    test::writeAll("victim", "precious");
    fs::create_symlink("victim", WorkFolderLock::kFileName);
    WorkFolderLock lock;
    EXPECT_TRUE(lock.tryLock("noskrun"));
    EXPECT_EQ(test::readAll("victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(WorkFolderLock::kFileName));

    // A FIFO under the name is refused at once, never waited on.
    lock.unlock();
    fs::remove(WorkFolderLock::kFileName);
    ASSERT_EQ(::mkfifo(WorkFolderLock::kFileName, 0600), 0);
    WorkFolderLock fifo;
    try {
        fifo.tryLock("noskrun");
        ADD_FAILURE() << "a FIFO was taken for the lock file";
    } catch (const nosk::exception& e) {
        EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fifo.held());
}

TEST(SweepStaleTemporaries, RemovesWhatDeadProcessesLeftAndNothingElse)
{
    test::TempWorkDir dir;
    const std::string dead = std::to_string(deadProcess());
    const std::string alive = std::to_string(::getpid());
    const std::string staleFile = ".INFL.tmp" + dead + "-3";
    const std::string staleFolder = "nosk-batch-" + dead + "-Ab12Cd";
    const std::vector<std::string> kept = {
        ".INFL.tmp" + alive + "-1",       // its process runs
        ".PNTOUTL.tmp" + dead + "-4",     // too young: maybe another machine's
        ".notes.tmp" + dead + "-x",       // not our pattern
        "INFL.tmp" + dead + "-1",         // not hidden: not ours
        "nosk-batch-" + alive + "-Zz9",   // its batch runs
    };
    test::writeAll(staleFile, "half");
    fs::create_directory(staleFolder);
    test::writeAll(staleFolder + "/INFL", "x");
    for (const std::string& k : kept) {
        if (k.rfind("nosk-batch-", 0) == 0)
            fs::create_directory(k);
        else
            test::writeAll(k, "x");
    }
    // A link named like a stale folder, pointing at a folder to keep.
    fs::create_directory("keep");
    test::writeAll("keep/file", "x");
    fs::create_directory_symlink("keep", "nosk-batch-" + dead + "-Link");
    for (const std::string& name : {staleFile, staleFolder, kept[0], kept[2], kept[3], kept[4], "nosk-batch-" + dead + "-Link"})
        makeOld(name);
    EXPECT_EQ(sweepStaleTemporaries("."), 2);
    EXPECT_FALSE(fs::exists(staleFile));
    EXPECT_FALSE(fs::exists(staleFolder));
    for (const std::string& k : kept)
        EXPECT_TRUE(fs::exists(k)) << k;
    EXPECT_TRUE(fs::exists("keep/file"));
}
