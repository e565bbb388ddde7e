#include "results/ResultHolder.h"

#include "results/FitResultSet.h"
#include "results/ModelResultSet.h"

namespace nosk {

ResultHolder::ResultHolder(const FitJob& job)
    : m_job(job)
{
    if (job.MAXFEV >= 3)
        m_set = std::make_unique<FitResultSet>(*this);
    else if (job.MAXFEV == 0)
        m_set = std::make_unique<ModelResultSet>(*this);
}

ResultHolder::~ResultHolder() = default;

void ResultHolder::read()
{
    if (!m_set)
        return;
    try {
        m_set->read();
    } catch (...) {
        m_set.reset();
        throw;
    }
}

void ResultHolder::writeSolartron(const std::string& path) const
{
    if (m_set)
        m_set->writeSolartron(path);
}

FitResultSet* ResultHolder::fitResults() const
{
    return dynamic_cast<FitResultSet*>(m_set.get());
}

ModelResultSet* ResultHolder::modelResults() const
{
    return dynamic_cast<ModelResultSet*>(m_set.get());
}

} // namespace nosk
