#include "ops/FrequencyConversion.h"

#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/FitJob.h"

namespace nosk {

namespace {

// The organiser's own constants, 2 pi and 1 / (2 pi), as the engine's users
// have always had them; they do not undo each other bit for bit.
constexpr double kToAngular = 6.28318530717958;
constexpr double kToOrdinary = 0.1591549430918955;

bool convert(FitJob& job, Prompt& prompt, const RefreshPages& refresh, bool toAngular)
{
    const char requiredFreeq = toAngular ? 'F' : ' ';
    if (job.FREEQ != requiredFreeq) {
        prompt.message("The source and destination type of frequncy\nin input data is the same.\n"
                       "No convertion performed!",
                       "ERROR", Buttons::Ok, Icon::Error);
        return false;
    }
    if (job.M <= 0) {
        prompt.message("Number of data points [M] is zero.\nConvertion is impossible!", "ERROR", Buttons::Ok,
                       Icon::Error);
        return false;
    }

    job.FREEQ = toAngular ? ' ' : 'F';
    if (job.IRE <= -10)
        job.IRE = toAngular ? -10 : -11;
    if (job.FREQ)
        for (double& f : *job.FREQ)
            f *= toAngular ? kToAngular : kToOrdinary;

    // The reload goes into a copy first (what INFL does not hold, such as the
    // X-variable, carries over): should INFL not read back, the converted job
    // stays on screen rather than a half-read one.
    try {
        job.save("INFL");
        FitJob reloaded = job;
        reloaded.load("INFL");
        job = std::move(reloaded);
    } catch (const exception& e) {
        prompt.message(e.what(), "ERROR", Buttons::Ok, Icon::Error);
        if (refresh)
            refresh();
        return false;
    }
    if (refresh)
        refresh();
    return true;
}

} // namespace

bool convertToAngular(FitJob& job, Prompt& prompt, const RefreshPages& refresh)
{
    return convert(job, prompt, refresh, true);
}

bool convertToOrdinary(FitJob& job, Prompt& prompt, const RefreshPages& refresh)
{
    return convert(job, prompt, refresh, false);
}

} // namespace nosk
