// Every report the engine writes for the example jobs, for a simulation and
// for a job it refuses, taken apart by the one reader of the engine's report
// (results/PntoutlReader.h) as the viewer, the summary, the end of a run and
// the batch take it, and checked against what the engine wrote elsewhere:
// OUTIN for the estimates, its console for the reason line, the job for the
// parameter list.
#include "EngineTestSupport.h"

#include "core/Reason.h"
#include "core/WorkFolderFiles.h"
#include "results/PntoutlReader.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>

using namespace nosk;
using namespace nosk::test;

namespace {

namespace fs = std::filesystem;

struct Example {
    std::string name;
    FitJob job;
};

// The example jobs in a fixed order, then the first of them computed without
// a fit and refused for a model letter no circuit has.
std::vector<Example> examples()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(NOSK_SOURCE_DIR) / "fittests"))
        if (entry.path().extension() == ".TST")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<Example> all;
    for (const std::string& file : files) {
        Example e{fs::path(file).parent_path().filename().string() + "/" + fs::path(file).filename().string(), {}};
        e.job.load(file);
        all.push_back(std::move(e));
    }
    if (!all.empty()) {
        Example simulation{"simulation", all.front().job};
        simulation.job.MAXFEV = 1;
        Example refused{"refused", all.front().job};
        refused.job.FUN = 'Z';
        all.push_back(std::move(simulation));
        all.push_back(std::move(refused));
    }
    return all;
}

Reason withoutText(Reason reason)
{
    reason.text.clear();
    return reason;
}

std::string failureOf(const std::function<void()>& read)
{
    try {
        read();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace

TEST(ReportReaders, EveryReportTheEngineWritesReadsBackWhole)
{
    TempWorkDir dir;
    int fits = 0, simulations = 0, refusals = 0;
    for (const Example& example : examples()) {
        SCOPED_TRACE(example.name);
        const FitJob& job = example.job;
        job.save(workfiles::kInput);
        const EngineResult run = runEngineHere();
        const std::string console = run.out + run.err;

        // The reason line: the report's, the same as on the console.
        const EngineAccount account = readEngineAccount(workfiles::kReport, console);
        ASSERT_TRUE(account.reason);
        std::istringstream consoleText(console);
        const std::optional<Reason> onConsole = findReason(consoleText);
        ASSERT_TRUE(onConsole);
        // (The console words a simulation's text in its own way.)
        EXPECT_EQ(reasonLine(withoutText(*account.reason)), reasonLine(withoutText(*onConsole)));
        EXPECT_EQ(account.reason->refused(), run.status != 0);

        std::istringstream reportText(readAll(workfiles::kReport));
        const std::optional<ReportSections> sections = splitReport(reportText);
        FitStatistics statistics;
        if (run.status != 0) {
            ++refusals;
            // A refusal ends with its text, where engines without reason
            // lines put it; it has no statistics and nothing to summarise.
            EXPECT_EQ(account.reportLastLine, account.reason->text);
            EXPECT_EQ(failureOf([&] { readPntoutl(statistics); }),
                      "The engine did not run the job: " + account.reason->text);
            EXPECT_FALSE(sections);
            continue;
        }
        if (job.MAXFEV < 3) {
            ++simulations;
            EXPECT_EQ(account.reason->kind, Reason::Kind::NotFitted);
            EXPECT_EQ(failureOf([&] { readPntoutl(statistics); }),
                      "Cannot find number of free parameters in PNTOUTL file!");
            EXPECT_FALSE(sections);
            continue;
        }
        ++fits;
        ASSERT_NO_THROW(readPntoutl(statistics));
        EXPECT_EQ(reasonLine(statistics.end), reasonLine(*account.reason));

        // The free parameters are those the job frees, at the values the
        // engine wrote into OUTIN (printed with six digits in the report).
        FitJob next;
        next.load(workfiles::kNextInput);
        const int freed = static_cast<int>(std::count_if(job.NFREE, job.NFREE + job.N,
                                                         [](int code) { return code == 1 || code == 2; }));
        EXPECT_EQ(statistics.freeCount, freed);
        ASSERT_EQ(static_cast<int>(statistics.freeParameters.size()), statistics.freeCount);
        for (int k = 0; k < statistics.freeCount; ++k) {
            const FreeParameter& p = statistics.freeParameters[static_cast<std::size_t>(k)];
            ASSERT_GE(p.number, 1);
            ASSERT_LE(p.number, job.N);
            EXPECT_TRUE(job.NFREE[p.number - 1] == 1 || job.NFREE[p.number - 1] == 2) << "P" << p.number;
            EXPECT_REL_NEAR_FLOOR(p.estimate, next.P[p.number - 1], 1e-3, 1e-300) << "P" << p.number;
            // Each determined parameter is fully correlated with itself.
            if (p.status == ParameterStatus::Determined) {
                EXPECT_NEAR(statistics.correlation[k][k], 1.0, 1e-6) << "P" << p.number;
            }
        }

        // The summary's parts: the job's lines, one start line per
        // parameter, the statistics up to the matrix, the rest with the
        // reason line.
        ASSERT_TRUE(sections);
        ASSERT_EQ(sections->heading.size(), 5u);
        EXPECT_EQ(sections->heading.front().rfind(" RUN: ", 0), 0u);
        EXPECT_EQ(static_cast<int>(sections->startParameters.size()), job.N);
        ASSERT_FALSE(sections->results.empty());
        EXPECT_NE(sections->results.front().find(report::kFinalNormMarker), std::string::npos);
        for (const std::string& line : sections->results)
            EXPECT_EQ(line.find(report::kCorrelationMarker), std::string::npos);
        std::ostringstream tail;
        for (const std::string& line : sections->tail)
            tail << line << '\n';
        std::istringstream tailText(tail.str());
        const std::optional<Reason> inTail = findReason(tailText);
        ASSERT_TRUE(inTail);
        EXPECT_EQ(reasonLine(*inTail), reasonLine(*account.reason));
    }
    EXPECT_GE(fits, 50);
    EXPECT_GE(simulations, 1);
    EXPECT_GE(refusals, 1);
}
