// Which spectrum an analysis' table belongs to, read back from the tables the
// analyses write.
#include "AnalysisOrigin.h"
#include "analysis/drt/Drt.h"
#include "job/FitJob.h"
#include "ViewerTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <sstream>

using namespace nosk;

TEST(AnalysisOrigin, TheDrtTableGivesBackTheRangeOfItsData)
{
    // Spectra of several ranges and densities through the DRT's own table.
    for (const auto& [fMax, decades, perDecade] : {std::tuple{1e5, 5.0, 10}, {2.5e6, 7.3, 7}, {40.0, 2.0, 12}}) {
        std::vector<double> f;
        std::vector<std::complex<double>> z;
        const int n = int(decades * perDecade) + 1;
        for (int i = 0; i < n; ++i) {
            f.push_back(fMax * std::pow(10.0, -i / double(perDecade)));
            const std::complex<double> iw(0, 2 * std::numbers::pi * f.back());
            z.push_back(3.0 + 50.0 / (1.0 + std::pow(iw * 1e-3, 0.85)));
        }
        std::istringstream in(drt::formatTable(drt::compute(f, z, {}), {}));
        const drt::Table table = drt::readTable(in);
        const auto span = origin::spanOfDrtRange(table.tauMin, table.tauMax);
        ASSERT_TRUE(span) << fMax;
        EXPECT_NEAR(span->fMaxHz / fMax, 1, 2e-6);
        EXPECT_NEAR(span->fMinHz / f.back(), 1, 2e-6);
        EXPECT_TRUE(origin::sameRange(*span, f));
        // a spectrum that stops a point earlier at either end is another one
        EXPECT_FALSE(origin::sameRange(*span, std::vector<double>(f.begin() + 1, f.end())));
        EXPECT_FALSE(origin::sameRange(*span, std::vector<double>(f.begin(), f.end() - 1)));
    }
    EXPECT_FALSE(origin::spanOfDrtRange(0, 0));  // an old table without the range
}

TEST(AnalysisOrigin, FrequenciesCompareAsPrintedInAnyOrder)
{
    std::mt19937 rng(7);
    std::vector<double> job;
    for (int i = 0; i < 40; ++i)
        job.push_back(0.05 * std::pow(10.0, i / 6.0));
    std::vector<double> table = job;
    std::shuffle(table.begin(), table.end(), rng);
    // six printed digits
    for (double& v : table)
        v = std::stod([&] { char b[32]; std::snprintf(b, sizeof b, "%.6E", v); return std::string(b); }());
    EXPECT_TRUE(origin::sameFrequencies(table, job));
    std::vector<double> moved = table;
    moved[17] *= 1 + 1e-4;
    EXPECT_FALSE(origin::sameFrequencies(moved, job));
    table.pop_back();
    EXPECT_FALSE(origin::sameFrequencies(table, job));
}

TEST(AnalysisOrigin, TheJobsFrequenciesInHzAndTheTexts)
{
    FitJob job;
    job.allocateData(3, false);
    job.FREEQ = ' ';  // rad/s
    (*job.FREQ) = {2 * std::numbers::pi, 20 * std::numbers::pi, 2e6 * std::numbers::pi};
    auto f = origin::jobFrequenciesHz(job, kXFrequency);
    ASSERT_TRUE(f);
    EXPECT_NEAR((*f)[0], 1, 1e-12);
    EXPECT_NEAR((*f)[2], 1e6, 1e-6);
    job.FREEQ = 'F';
    EXPECT_EQ((*origin::jobFrequenciesHz(job, kXFrequency))[1], 20 * std::numbers::pi);
    // times and temperatures are no spectrum to compare with
    EXPECT_FALSE(origin::jobFrequenciesHz(job, kXTime));
    EXPECT_FALSE(origin::jobFrequenciesHz(job, kXTemperature));

    const auto span = origin::spanOf({1e5, 0.1, 3.2e3, 0.99999999});
    ASSERT_TRUE(span);
    EXPECT_EQ(origin::spanText(*span), "4 points, 100 mHz to 100 kHz");
    EXPECT_EQ(origin::staleBanner(origin::describe("", origin::Span{0, 1, 1e6})),
              "These results belong to another spectrum (1 Hz to 1 MHz); run the analysis again");
    EXPECT_EQ(origin::describe("cell7.mpr", span), "cell7.mpr; 4 points, 100 mHz to 100 kHz");
    EXPECT_EQ(origin::describe("cell7.mpr", std::nullopt), "cell7.mpr");
}
