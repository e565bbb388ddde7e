#include "job/FitJob.h"

#include <algorithm>

namespace nosk {

void FitJob::reset()
{
    description.clear();
    IOPT = 0;
    DINP = 'Z';
    DFIT = 'Z';
    PINP = 'R';
    PFIT = 'R';
    FREEQ = 'F';
    NEG = ' ';
    FUN = 'A';
    CELCAP = kDefaultCelcap;
    DATTYP = 'C';
    IPAR = 0;
    ROE = 0;
    IFP = 0;
    IRE = 0;
    ECINF = 0;
    EC0 = 0;
    M = 0;
    N = 0;
    MAXFEV = 0;
    NPRINT = 0;
    IRCH = 0;
    MODE = 0;
    ICP = 0;
    IPRINT = 0;
    IGACC = 0;
    ATEMP = 0;
    SDWC = 0;
    SDRC = 0;
    mNegative = 0;
    std::fill(std::begin(P), std::end(P), 0.0);
    std::fill(std::begin(NFREE), std::end(NFREE), 0);
    std::fill(std::begin(LOWER), std::end(LOWER), kNoLower);
    std::fill(std::begin(UPPER), std::end(UPPER), kNoUpper);
    xVariable = 1;
}

bool FitJob::hasLimits() const
{
    for (int i = 0; i < N && i < kMaxParams; ++i)
        if (hasLimit(i))
            return true;
    return false;
}

void FitJob::clear()
{
    releaseData();
    reset();
}

void FitJob::releaseData()
{
    FREQ.reset();
    DATA1.reset();
    DATA2.reset();
    WEIGHT1.reset();
    WEIGHT2.reset();
    M = 0;
}

void FitJob::allocateData(int count, bool withWeights)
{
    M = std::max(count, 0);
    const auto size = static_cast<std::size_t>(M);
    FREQ.emplace(size, 0.0);
    DATA1.emplace(size, 0.0);
    DATA2.emplace(size, 0.0);
    if (withWeights) {
        WEIGHT1.emplace(size, 0.0);
        WEIGHT2.emplace(size, 0.0);
    } else {
        WEIGHT1.reset();
        WEIGHT2.reset();
    }
}

void FitJob::releaseWeights()
{
    WEIGHT1.reset();
    WEIGHT2.reset();
}

void FitJob::weightsFromData()
{
    const auto size = static_cast<std::size_t>(std::max(M, 0));
    auto copyOf = [size](const Column& data) {
        std::vector<double> w(size, 0.0);
        if (data)
            std::copy_n(data->begin(), std::min(size, data->size()), w.begin());
        return w;
    };
    WEIGHT1 = copyOf(DATA1);
    WEIGHT2 = copyOf(DATA2);
}

void FitJob::copyDataFrom(const FitJob& source)
{
    if (&source == this)
        return;
    releaseData();
    allocateData(source.M, IRCH == 0);
    const auto size = static_cast<std::size_t>(M);
    auto copyInto = [size](Column& to, const Column& from) {
        if (to && from)
            std::copy_n(from->begin(), std::min(size, from->size()), to->begin());
    };
    copyInto(FREQ, source.FREQ);
    copyInto(DATA1, source.DATA1);
    copyInto(DATA2, source.DATA2);
    if (IRCH == 0 && source.IRCH == 0) {
        copyInto(WEIGHT1, source.WEIGHT1);
        copyInto(WEIGHT2, source.WEIGHT2);
    }
}

FitJob impedanceFitJob(char fun, int n, const std::string& description)
{
    FitJob job;
    job.description = description;
    job.FUN = fun;
    job.N = n;
    job.DINP = job.DFIT = 'Z';
    job.PINP = job.PFIT = 'R';
    job.FREEQ = 'F';
    job.DATTYP = 'C';
    job.CELCAP = 1.0;
    job.MAXFEV = 500;
    job.IRCH = 1;
    return job;
}

} // namespace nosk
