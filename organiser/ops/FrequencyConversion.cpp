#include "ops/FrequencyConversion.h"

#include "core/Exception.h"
#include "core/WorkFolderFiles.h"
#include "job/FitJob.h"

namespace nosk {

namespace {

// The organiser's own constants, 2 pi and 1 / (2 pi), as the engine's users
// have always had them; they do not undo each other bit for bit.
constexpr double kToAngular = 6.28318530717958;
constexpr double kToOrdinary = 0.1591549430918955;

void convert(FitJob& job, const RefreshPages& refresh, bool toAngular)
{
    const char requiredFreeq = toAngular ? 'F' : ' ';
    if (job.FREEQ != requiredFreeq)
        throw exception("The source and destination type of frequncy\nin input data is the same.\n"
                        "No convertion performed!");
    if (job.M <= 0)
        throw exception("Number of data points [M] is zero.\nConvertion is impossible!");

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
        job.save(workfiles::kInput);
        FitJob reloaded = job;
        reloaded.load(workfiles::kInput);
        job = std::move(reloaded);
    } catch (const exception&) {
        if (refresh)
            refresh();
        throw;
    }
    if (refresh)
        refresh();
}

} // namespace

void convertToAngular(FitJob& job, const RefreshPages& refresh)
{
    convert(job, refresh, true);
}

void convertToOrdinary(FitJob& job, const RefreshPages& refresh)
{
    convert(job, refresh, false);
}

} // namespace nosk
