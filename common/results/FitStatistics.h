#pragma once

#include "core/Reason.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace nosk {

// What the data say about a free parameter at the end of a fit.
enum class ParameterStatus {
    Determined,    // a std dev from the determined part of the problem
    Undetermined,  // the data do not determine it: its column of the Jacobian is zero, it
                   // does not move the model, or it moves it only together with others
    AtLogBound,    // fitted as ln p and ended at the bound of ln p (p near 1e-308 or 1e308)
    AtLimit,       // ended at a limit the user set
};

// The word of a status in the report ("determined", "undetermined",
// "ln-bound", "limit"), and back (Undetermined for a word not known).
const char* parameterStatusName(ParameterStatus status);
ParameterStatus parameterStatusFromName(const std::string& name);
// One line for the user: why the parameter has no std dev.
const char* parameterStatusText(ParameterStatus status);
// The status as tables show it: "determined", "undetermined", and "at bound"
// for a parameter at the bound of ln p or at a limit.
const char* parameterStatusLabel(ParameterStatus status);
// A parameter at a bound or a limit: the fit holds it there, not the data.
inline bool atBound(ParameterStatus status)
{
    return status == ParameterStatus::AtLogBound || status == ParameterStatus::AtLimit;
}

// One free parameter of a fit as the engine's report lists it.
struct FreeParameter {
    std::int32_t number = 0;  // the parameter's number in the model
    double estimate = 0;
    double stdDev = 0;        // NaN where no number is known (not determined)
    double relStdDev = 0;     // NaN likewise
    ParameterStatus status = ParameterStatus::Determined;
};

// How a search from several starts ended (the report's search line; runs 0
// for a single fit and in the report of an engine that writes none).
struct SearchSummary {
    enum class End { Agreed, Budget, Time, Complete };
    End end = End::Complete;
    std::int32_t runs = 0;        // runs made (degenerate ones included)
    std::int32_t reached = 0;     // runs that reached the lowest S
    std::int32_t needed = 0;      // runs that had to, for the search to agree (0: none)
    std::int32_t budget = 0;      // the starts it was given
    std::int32_t degenerate = 0;  // runs ended early because a parameter ran away
    std::int32_t best = 0;        // the best run, from 1
    std::int32_t runaway = 0;     // the best point is degenerate: this parameter ran away (0: it is not)
    // The search stopped before it agreed, or its best point is degenerate.
    bool unfinished() const { return runs > 0 && (end == End::Budget || end == End::Time || runaway != 0); }
};

// The word of an end on the search line ("agreed", ...), and back.
const char* searchEndName(SearchSummary::End end);
std::optional<SearchSummary::End> searchEndFromName(std::string_view name);
// The search in one sentence for the user: how many runs reached the lowest
// S and why it stopped; for an unfinished one also what to do about it.
// Empty for a single fit.
std::string searchNote(const SearchSummary& search);
// A free parameter's interval as the report gives it (noskwin --intervals).
// low -infinity or high +infinity: that side is not bounded; NaN: no
// interval.
struct ReportedInterval {
    std::int32_t number = 0;
    double low = 0, high = 0;
    std::string method;  // "profile" or "bootstrap"
    double level = 0;
};

// The points of one parameter's profile: the held value and S there, in
// the order of the value.
struct ReportedProfile {
    std::int32_t number = 0;
    std::vector<double> value, S;
};

// The statistics of a fit, read from PNTOUTL (readPntoutl). All zero until read.
struct FitStatistics {
    double l2Norm = 0;
    std::int32_t functionEvaluations = 0;
    std::int32_t jacobianEvaluations = 0;
    double sumOfSquares = 0;
    double sigmaSquared = 0;
    double sigma = 0;
    double qualityFactor = 0;
    std::int32_t degreesOfFreedom = 0;
    std::int32_t freeCount = 0;
    std::vector<FreeParameter> freeParameters;        // freeCount entries
    std::vector<std::vector<double>> correlation;     // freeCount x freeCount, symmetric
    // The parameters at a bound or a limit, with the value at which the
    // others' std devs and correlations take them as fixed: those numbers
    // hold only given these values. Empty when there is none (and in the
    // report of an engine that does not write them).
    struct Given {
        std::int32_t number = 0;
        double value = 0;
    };
    std::vector<Given> given;
    // The search from several starts (runs 0: none).
    SearchSummary search;
    // The intervals, one per free parameter, and the profiles, when the
    // run was asked for them; empty otherwise.
    std::vector<ReportedInterval> intervals;
    std::vector<ReportedProfile> profiles;
    // How the fit ended: the report's reason line (kind None in a report
    // of an engine that writes none).
    Reason end;
};

// "given P1 = 0, P6 = 1" for the std devs that hold only given those
// values; empty when none does.
std::string givenText(const FitStatistics& statistics);
// Every free parameter that is not determined, in one line for the user:
// "P1 at bound (ln p), P6 at bound (limit), P4 undetermined; the others' std
// devs hold only given P1 = 0, P6 = 1". Empty when all are determined.
std::string parameterNote(const FitStatistics& statistics);

} // namespace nosk
