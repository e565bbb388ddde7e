#pragma once

#include "job/FitJob.h"
#include "results/FitResultSet.h"
#include "results/ModelResultSet.h"
#include "results/ResultSet.h"

#include <memory>
#include <string>

namespace nosk {

// Owns the result set of one run of a job: a FitResultSet when the job's
// MAXFEV is 3 or more, a ModelResultSet when it is 0, none otherwise. The job
// must outlive the holder.
class ResultHolder {
public:
    explicit ResultHolder(const FitJob& job);
    ~ResultHolder();
    ResultHolder(const ResultHolder&) = delete;
    ResultHolder& operator=(const ResultHolder&) = delete;

    // Reads the set from the work folder; does nothing without one. On a
    // failure the set is dropped and the nosk::exception passed on.
    void read();
    // Writes the set's model as a Solartron file; does nothing without one.
    void writeSolartron(const std::string& path) const;

    const FitJob& job() const { return m_job; }
    ResultSet* resultSet() const { return m_set.get(); }
    // The set as its kind, or nullptr.
    FitResultSet* fitResults() const;
    ModelResultSet* modelResults() const;

    // The viewer sets this when it shows second components negated.
    int imagNegated = 0;

private:
    const FitJob& m_job;
    std::unique_ptr<ResultSet> m_set;
};

} // namespace nosk
