// How the engine replaces its three output files: a link planted under one of
// their names is replaced, never written through, and the program killed at
// any step of the writing leaves each file old or new, never a part.
#include "EngineTestSupport.h"

#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>

using namespace nosk;
using namespace nosk::test;
namespace fs = std::filesystem;

namespace {

const char* const kOutputs[] = {"PNTOUTL", "AUXPNTL", "OUTIN"};

FitJob smallJob()
{
    FitJob job = makeTestJob('A', 10, {{1, 10.0, 1}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 20);
    offsetStart(job);
    return job;
}

} // namespace

TEST(EngineOutputs, ReplaceLinksPlantedUnderTheirNames)
{
    TempWorkDir dir;
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "a refused job" : "a fit");
        FitJob job = smallJob();
        if (refused)
            job.FUN = 'Z';
        job.save("INFL");
        for (const char* name : kOutputs) {
            fs::remove(name);
            writeAll(std::string("victim-") + name, "keep me");
            fs::create_symlink(std::string("victim-") + name, name);
        }
        EXPECT_EQ(runEngineHere().status, refused ? 1 : 0);
        for (const char* name : kOutputs) {
            SCOPED_TRACE(name);
            EXPECT_EQ(readAll(std::string("victim-") + name), "keep me");
            if (refused && std::string(name) != "PNTOUTL")
                continue;  // a refusal writes the report only
            EXPECT_FALSE(fs::is_symlink(name));
            EXPECT_TRUE(fs::is_regular_file(name));
        }
        if (!refused) {
            FitJob next;
            next.load("OUTIN");
            EXPECT_EQ(next.M, job.M);
        }
    }
}

#ifdef NOSKWIN_PATH

namespace {

bool haveStrace()
{
    return std::system("strace -o /dev/null true >/dev/null 2>&1") == 0;
}

// The file without the lines that tell when it was written.
std::string withoutTimes(const std::string& text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind(" RUN OF ", 0) != 0 && line.rfind(" FIT TIME ", 0) != 0 && line.rfind(" RUN TIME ", 0) != 0)
            out += line + "\n";
    return out;
}

// noskwin killed (SIGKILL) at the n-th call of `syscall`; false when it ran
// to its end before that.
bool runKilledAt(const std::string& syscall, int n, const std::string& environment)
{
    // LeakSanitizer refuses to run under ptrace (the sanitizer build): it is
    // switched off for the engine traced here.
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 " + environment + " strace -o /dev/null -e trace=" + syscall + " -e inject=" + syscall
        + ":signal=KILL:when=" + std::to_string(n) + " '" + NOSKWIN_PATH + "' </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace

TEST(EngineOutputs, AKilledWriterLeavesEachFileOldOrNew)
{
    if (!haveStrace())
        GTEST_SKIP() << "strace is not installed";
    TempWorkDir dir;
    smallJob().save("INFL");
    // The new files: a whole run of this job.
    ASSERT_FALSE(runKilledAt("rename", 1000, ""));
    std::string fresh[3];
    for (int i = 0; i < 3; ++i)
        fresh[i] = withoutTimes(readAll(kOutputs[i]));

    // Both ways of writing: unsynced (a short run: the new file swaps names
    // with the old one, which is then removed) and synced (a rename over it).
    for (const bool synced : {false, true})
        for (const std::string syscall : {"openat", "write", "fsync", "close", "rename", "renameat2", "unlink"}) {
            const std::string environment = synced ? "NOSK_SYNC_AFTER_SECONDS=0" : "NOSK_SYNC_AFTER_SECONDS=1000";
            int kills = 0;
            for (int n = 1; n < 100; ++n) {
                for (const char* name : kOutputs)
                    writeAll(name, std::string("old ") + name);
                if (!runKilledAt(syscall, n, environment))
                    break;
                ++kills;
                for (int i = 0; i < 3; ++i) {
                    const std::string now = readAll(kOutputs[i]);
                    EXPECT_TRUE(now == std::string("old ") + kOutputs[i] || withoutTimes(now) == fresh[i])
                        << environment << ", killed at " << syscall << " " << n << ": " << kOutputs[i]
                        << " is neither old nor new:\n"
                        << now;
                }
            }
            // Every step of the way taken was hit for each file; the other way's not at all.
            const bool syncOnly = syscall == "fsync" || syscall == "rename";
            const bool swapOnly = syscall == "renameat2" || syscall == "unlink";
            if ((syncOnly && !synced) || (swapOnly && synced))
                EXPECT_EQ(kills, 0) << environment << " " << syscall;
            else
                EXPECT_GE(kills, 3) << environment << " " << syscall;
        }
}

#endif
