#include "job/DataStamp.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace nosk;

namespace {

FitJob randomJob(std::mt19937& rng, int m)
{
    std::uniform_real_distribution<double> exponent(-6, 6);
    FitJob job = impedanceFitJob('C', 3, "stamp");
    job.allocateData(m, false);
    for (int i = 0; i < m; ++i) {
        (*job.FREQ)[i] = std::pow(10.0, exponent(rng));
        (*job.DATA1)[i] = std::pow(10.0, exponent(rng));
        (*job.DATA2)[i] = -std::pow(10.0, exponent(rng));
    }
    return job;
}

} // namespace

// The viewer reads the job back from INFL and must find the checksum the
// organiser computed from the job in memory: values of full double precision
// that the file rounds to 13 digits give the same checksum after a save and
// a load, whereas any change the file keeps gives another one.
TEST(DataStamp, ChecksumSurvivesTheFileAndSeesEveryKeptChange)
{
    test::TempWorkDir dir;
    std::mt19937 rng(42);
    for (int round = 0; round < 20; ++round) {
        const FitJob job = randomJob(rng, 1 + round * 7);
        job.save("INFL");
        FitJob back;
        back.load("INFL");
        const std::string sum = dataChecksum(job);
        ASSERT_EQ(sum.size(), 16u);
        EXPECT_EQ(dataChecksum(back), sum) << "round " << round;

        FitJob changed = job;
        const std::size_t row = rng() % job.FREQ->size();
        (*changed.DATA2)[row] *= 1.0 + 1e-9;  // the tenth digit: the file keeps it
        EXPECT_NE(dataChecksum(changed), sum);
        changed = job;
        (*changed.DATA1)[row] *= 1.0 + 1e-15;  // below the file's 13 digits
        EXPECT_EQ(dataChecksum(changed), sum);
        changed = job;
        changed.DATTYP = 'R';  // the same numbers read as another part
        EXPECT_NE(dataChecksum(changed), sum);
        changed = job;
        changed.FREQ->pop_back();  // a point fewer
        EXPECT_NE(dataChecksum(changed), sum);
    }
}

TEST(DataStamp, LineIsReadBackAndOnlyItsOwnFormIsTaken)
{
    const DataStamp stamp{"0123456789abcdef", "Imported from cell\n7.mpr, spectrum 2"};
    const std::string line = stampLine(stamp);
    EXPECT_EQ(line, "# Data: 0123456789abcdef Imported from cell 7.mpr, spectrum 2\r\n");
    const auto back = readStampLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->checksum, stamp.checksum);
    EXPECT_EQ(back->source, "Imported from cell 7.mpr, spectrum 2");

    const auto noJob = readStampLine(stampLine({kNoJobChecksum, "eis.csv"}));
    ASSERT_TRUE(noJob);
    EXPECT_EQ(noJob->checksum, "-");
    EXPECT_FALSE(readStampLine("# Data: 0123 short"));
    EXPECT_FALSE(readStampLine("# Data: 0123456789ABCDEF upper case"));
    EXPECT_FALSE(readStampLine("# Verdict: valid"));

    test::TempWorkDir dir;
    test::writeAll("KKTEST", "# Kramers-Kronig test: M = 5\r\n" + line + "1.0 2.0 3.0\r\n");
    ASSERT_TRUE(readStamp("KKTEST"));
    EXPECT_EQ(readStamp("KKTEST")->checksum, stamp.checksum);
    // Only the comment lines at the head are searched; none there is none.
    test::writeAll("ZHITTEST", "# Z-HIT\r\n1.0 2.0\r\n" + line);
    EXPECT_FALSE(readStamp("ZHITTEST"));
    EXPECT_FALSE(readStamp("missing"));

    FitJob job;
    job.description = "  cell 7, 40 C ";
    EXPECT_EQ(spectrumName(job, "data/B.TST"), "cell 7, 40 C");
    job.description = "   ";
    EXPECT_EQ(spectrumName(job, "data/B.TST"), "B.TST");
    EXPECT_EQ(spectrumName(job, ""), "the job's data lines");
}
