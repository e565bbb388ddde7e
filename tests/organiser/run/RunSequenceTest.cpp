#include "RunSequence.h"

#include "EngineLaunch.h"
#include "OrganiserTestSupport.h"
#include "core/WorkFolderLock.h"
#include "platform/Timer.h"
#include "support/Files.h"

#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nosk {
namespace {

namespace fs = std::filesystem;
using Step = run::StartOutcome::Step;

// Records which of its steps the sequence reached, and runs the engine it is
// given.
struct RecordingFront : run::RunFront {
    std::vector<std::string> calls;
    std::string program;
    bool acceptBundled = false;
    std::function<void(EngineRunner&)> lock;

    void beforeInput(EngineRunner& runner) override
    {
        calls.push_back("beforeInput");
        if (lock)
            lock(runner);
    }
    EngineRunner::Settings beforeStart() override
    {
        calls.push_back("beforeStart");
        EngineRunner::Settings settings;
        settings.foreground = true;
        settings.program = program;
        return settings;
    }
    bool runBundledInstead(const StartFailure& failure) override
    {
        calls.push_back("runBundledInstead " + failure.bundledEngine);
        return acceptBundled;
    }
};

bool folderFree()
{
    WorkFolderLock other;
    return other.tryLock("test");
}

// Every way the sequence stops before the engine runs: the right step, its
// message, no step taken after it, and the work folder free again.
TEST(RunSequence, StopsAtTheFirstFailingStepAndFreesTheFolder)
{
    test::TempWorkDir dir;
    EngineRunner runner(std::make_unique<ManualTimer>());

    {  // No data lines: nothing is asked and nothing is written.
        RecordingFront front;
        const auto outcome = run::startRun(runner, FitJob{}, front);
        EXPECT_EQ(outcome.step, Step::NotRunnable);
        EXPECT_EQ(outcome.message, run::notRunnableReason(FitJob{}));
        EXPECT_TRUE(front.calls.empty());
    }
    {  // A DE the engine does not know.
        FitJob job = test::sampleJob();
        job.P[9] = 999;
        RecordingFront front;
        const auto outcome = run::startRun(runner, job, front);
        EXPECT_EQ(outcome.step, Step::Refused);
        EXPECT_EQ(outcome.message, EngineRunner::checkJob(job));
        EXPECT_FALSE(outcome.message.empty());
        EXPECT_TRUE(front.calls.empty());
    }
    EXPECT_FALSE(fs::exists("INFL"));

    const FitJob job = test::sampleJob();
    {  // Another run holds the folder: the input is not written.
        WorkFolderLock other;
        ASSERT_TRUE(other.tryLock("another run"));
        RecordingFront front;
        front.lock = [](EngineRunner& r) { r.lockFolder("test"); };
        const auto outcome = run::startRun(runner, job, front);
        EXPECT_EQ(outcome.step, Step::NotWritten);
        EXPECT_NE(outcome.message.find("another run"), std::string::npos) << outcome.message;
        EXPECT_EQ(front.calls, std::vector<std::string>{"beforeInput"});
        EXPECT_FALSE(fs::exists("INFL"));
    }
    EXPECT_TRUE(folderFree());

    {  // An engine that does not exist, with no bundled one to offer.
        RecordingFront front;
        front.program = (dir.path() / "missing" / "engine").string();
        const auto outcome = run::startRun(runner, job, front);
        EXPECT_EQ(outcome.step, Step::NotStarted);
        EXPECT_NE(outcome.message.find("Cannot run NOSK!"), std::string::npos) << outcome.message;
        EXPECT_EQ(front.calls, (std::vector<std::string>{"beforeInput", "beforeStart"}));
        EXPECT_TRUE(fs::exists("INFL"));
        EXPECT_FALSE(runner.running());
        EXPECT_TRUE(folderFree());
    }
    {  // The work folder's own engine is no program: the bundled one is
       // offered, and the user says no.
        test::writeAll("NOSKWIN.EXE", std::string("MZ\x90\0\3\0\0\0", 8));
        fs::permissions("NOSKWIN.EXE", fs::perms::owner_all);
        RecordingFront front;
        front.program = dir.file("NOSKWIN.EXE");
        const auto outcome = run::startRun(runner, job, front);
        EXPECT_EQ(outcome.step, Step::Declined);
        EXPECT_NE(outcome.message.find("not a program for this system"), std::string::npos) << outcome.message;
        ASSERT_EQ(front.calls.size(), 3u);
        EXPECT_EQ(front.calls[2].rfind("runBundledInstead /", 0), 0u) << front.calls[2];
        EXPECT_FALSE(runner.running());
        EXPECT_TRUE(folderFree());
    }
}

// Said yes to, the bundled engine runs in place of the one that failed.
TEST(RunSequence, TheBundledEngineRunsWhenAccepted)
{
    if (!fs::exists(test::bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    test::TempWorkDir dir;
    test::writeAll("NOSKWIN.EXE", "not a program");
    fs::permissions("NOSKWIN.EXE", fs::perms::owner_all);
    auto timer = std::make_unique<ManualTimer>();
    EngineRunner runner(std::move(timer));
    bool ended = false;
    runner.onEnd = [&](const RunEnd& end) {
        ended = true;
        EXPECT_EQ(end.kind, RunEnd::Kind::Finished) << end.message;
    };
    RecordingFront front;
    front.program = dir.file("NOSKWIN.EXE");
    front.acceptBundled = true;
    const FitJob job = test::sampleJob();
    const auto outcome = run::startRun(runner, job, front);
    ASSERT_TRUE(outcome.started()) << outcome.message;
    EXPECT_FALSE(folderFree());  // the run holds it
    for (int i = 0; i < 600 && !ended; ++i) {
        QThread::msleep(50);
        runner.poll();
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(fs::exists("PNTOUTL"));
    EXPECT_TRUE(folderFree());
}

} // namespace
} // namespace nosk
