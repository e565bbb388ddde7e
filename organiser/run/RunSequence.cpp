#include "RunSequence.h"

#include "EngineLaunch.h"
#include "core/RunCommand.h"
#include "job/FitJob.h"

#include <exception>
#include <optional>

namespace nosk::run {

namespace {

// The engine started, or why not.
std::optional<StartFailure> tryStart(EngineRunner& runner, const FitJob& job, const EngineRunner::Settings& settings)
{
    try {
        runner.start(job, settings);
    } catch (const StartFailure& failure) {
        return failure;
    }
    return std::nullopt;
}

} // namespace

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
    std::optional<StartFailure> failure = tryStart(runner, job, settings);
    if (!failure)
        return {};
    if (!failure->bundledEngine.empty()) {
        if (!front.runBundledInstead(*failure)) {
            runner.releaseFolder();
            return {Step::Declined, failure->what()};
        }
        settings.program = failure->bundledEngine;
        failure = tryStart(runner, job, settings);
        if (!failure)
            return {};
    }
    runner.releaseFolder();
    return {Step::NotStarted, failure->what()};
}

} // namespace nosk::run
