// Parameter limits in the input file: the section after the rows, and what a
// reader that knows no limits makes of a file that has them.

#include "core/Exception.h"
#include "SampleJobs.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace nosk;
using nosk::test::fullJob;
using nosk::test::readAll;
using nosk::test::writeAll;

namespace {

class JobLimits : public ::testing::Test {
protected:
    nosk::test::TempWorkDir dir;
};

std::string loadFailure(const std::string& path, bool headerOnly = false)
{
    FitJob job;
    try {
        if (headerOnly)
            job.loadHeader(path);
        else
            job.load(path);
    } catch (const exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

// Both sides, one side each, and the last parameter survive save and load
// (also a header-only load, as templates are read); the file before the
// section is byte for byte the file of the same job without limits, so a
// reader without limits, which stops after the rows, reads the same job.
TEST_F(JobLimits, SectionRoundTripsAndLeavesTheOldFileInFront)
{
    FitJob plain = fullJob();  // N 7, IRCH 0: weight lines after the data lines
    plain.save("plain.tst");
    FitJob limited = plain;
    limited.LOWER[0] = 0.5;
    limited.UPPER[0] = 1.0;
    limited.LOWER[2] = -1e-12;
    limited.UPPER[3] = 2.5e-7;
    limited.LOWER[6] = 0.0;
    limited.UPPER[6] = 1e300;
    limited.save("limited.tst");

    const std::string before = readAll("plain.tst"), after = readAll("limited.tst");
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(after.substr(before.size()),
              "LIMITS    4\r\n"
              "    1       .5000000000000D+00       .1000000000000D+01\r\n"
              "    3      -.1000000000000D-11\r\n"
              "    4                                .2500000000000D-06\r\n"
              "    7       .0000000000000D+00      .1000000000000D+301\r\n");

    for (bool headerOnly : {false, true}) {
        FitJob job;
        job.LOWER[1] = 7;  // what the job held before is replaced
        if (headerOnly)
            job.loadHeader("limited.tst");
        else
            job.load("limited.tst");
        EXPECT_EQ(job.M, headerOnly ? 0 : 3);
        for (int i = 0; i < FitJob::kMaxParams; ++i) {
            EXPECT_EQ(job.LOWER[i], limited.LOWER[i]) << i;
            EXPECT_EQ(job.UPPER[i], limited.UPPER[i]) << i;
        }
        EXPECT_TRUE(job.hasLimits());
    }

    // A file without the section clears limits a job held before.
    FitJob job;
    job.load("limited.tst");
    job.load("plain.tst");
    EXPECT_FALSE(job.hasLimits());
    // Limits of parameters at and beyond N are not written.
    job.LOWER[10] = 1;
    job.save("beyond.tst");
    EXPECT_EQ(readAll("beyond.tst"), before);
}

// A damaged section is refused with its reason instead of fitting without
// the limits the user set; what is not a section is ignored as before.
TEST_F(JobLimits, DamagedSectionsAreRefused)
{
    FitJob job = fullJob();
    job.IRCH = 1;
    job.releaseWeights();
    job.save("base.tst");
    const std::string base = readAll("base.tst");

    writeAll("short.tst", base + "LIMITS    2\r\n    1      .5000000000000D+00\r\n");
    EXPECT_EQ(loadFailure("short.tst"), "Corrupted NUSK input file! Limit lines not found!");
    writeAll("beyond.tst", base + "LIMITS    1\r\n    8      .5000000000000D+00\r\n");
    EXPECT_EQ(loadFailure("beyond.tst"), "Corrupted NUSK input file! Limits of P8, but the job has 7 parameters.");
    writeAll("count.tst", base + "LIMITS   51\r\n");
    EXPECT_EQ(loadFailure("count.tst"), "Corrupted NUSK input file! 51 limit lines.");
    writeAll("bad.tst", base + "LIMITS    1\r\n    2      .5000000000000D+00      1.0.0\r\n");
    EXPECT_NE(loadFailure("bad.tst").find("UPPER[2]"), std::string::npos) << loadFailure("bad.tst");
    EXPECT_NE(loadFailure("bad.tst", true).find("UPPER[2]"), std::string::npos);

    // Two lines for one parameter: neither silently wins.
    writeAll("twice.tst", base + "LIMITS    2\r\n    2       .5000000000000D+00\r\n    2       .7000000000000D+00\r\n");
    EXPECT_EQ(loadFailure("twice.tst"), "Corrupted NUSK input file! Two limit lines for P2.");
    // The marker typed in lower case is the section, never passed over.
    writeAll("lower.tst", base + "limits    1\r\n    2       .5000000000000D+00       .7000000000000D+00\r\n");
    FitJob lower;
    lower.load("lower.tst");
    EXPECT_EQ(lower.LOWER[1], 0.5);
    EXPECT_EQ(lower.UPPER[1], 0.7);

    // Other lines after the rows, and a template that stops early, load as before.
    writeAll("other.tst", base + "anything at all\r\nLIMITS    1\r\n    1 x\r\n");
    EXPECT_EQ(loadFailure("other.tst"), "");
    writeAll("cut.tst", base.substr(0, base.find("\r\n    1 ") + 2));
    EXPECT_EQ(loadFailure("cut.tst", true), "");
}
