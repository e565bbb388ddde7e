#include "RunSequence.h"

#include "EngineLaunch.h"
#include "core/RunCommand.h"
#include "job/FitJob.h"

#include <exception>

namespace nosk::run {

StartOutcome startRun(EngineRunner& runner, const FitJob& job, RunFront& front)
{
    using Step = StartOutcome::Step;
    if (!runnable(job))
        return {Step::NotRunnable, notRunnableReason(job)};
    // What the engine would refuse is said now, with what to change, rather
    // than after a run.
    std::string refusal = EngineRunner::checkJob(job);
    if (!refusal.empty())
        return {Step::Refused, std::move(refusal)};
    try {
        front.beforeInput(runner);
        runner.writeInput(job);
    } catch (const std::exception& e) {
        runner.releaseFolder();
        return {Step::NotWritten, failureText(e)};
    }
    EngineRunner::Settings settings = front.beforeStart();
    StartFailure failure;
    if (runner.start(job, settings, failure))
        return {};
    if (!failure.bundledEngine.empty()) {
        if (!front.runBundledInstead(failure)) {
            runner.releaseFolder();
            return {Step::Declined, failure.message};
        }
        settings.program = failure.bundledEngine;
        if (runner.start(job, settings, failure))
            return {};
    }
    runner.releaseFolder();
    return {Step::NotStarted, failure.message};
}

} // namespace nosk::run
