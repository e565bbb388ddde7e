#include "results/ResultSet.h"

#include "job/Immittance.h"
#include "results/ResultHolder.h"
#include "results/SolartronFile.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace nosk {

namespace {

int countOf(int m)
{
    const long long magnitude = std::llabs(static_cast<long long>(m));
    return static_cast<int>(std::min<long long>(magnitude, INT_MAX));
}

} // namespace

ResultSet::ResultSet(ResultHolder& holder)
    : m_holder(&holder)
{
    const FitJob& j = holder.job();
    FUN = j.FUN;
    angular = j.FREEQ != 'F' ? 1 : 0;
    blankFrequency = j.FREEQ == ' ' ? 1 : 0;
    DATTYP = j.DATTYP;
    printLevel = j.IPRINT < 0 ? 1 : j.IPRINT;
    count = countOf(j.M);
    xValues.assign(static_cast<std::size_t>(count), 0.0);
}

ResultSet::~ResultSet() = default;

const FitJob& ResultSet::job() const
{
    return m_holder->job();
}

std::vector<double> ResultSet::copyOf(const FitJob::Column& source) const
{
    std::vector<double> values(static_cast<std::size_t>(count), 0.0);
    if (source)
        std::copy_n(source->begin(), std::min(source->size(), values.size()), values.begin());
    return values;
}

void ResultSet::writeSolartron(const std::string& path) const
{
    const FitJob& j = job();
    // The conversion wants angular frequencies; the file holds Hz. It works
    // on copies so that the set stays as read, however often it is written.
    std::vector<double> x = xValues;
    if (j.FREEQ != ' ')
        ToAngular(x.data(), count);
    FitJob::Column re = model1;
    FitJob::Column im = model2;
    TransformArrays(x.data(), data(re), data(im), count, j.DFIT, j.PFIT, 'Z', 'R', j.CELCAP);
    ToOrdinary(x.data(), count);
    writeSolartronPoints(path, x.data(), data(re), data(im), static_cast<std::size_t>(count));
}

} // namespace nosk
