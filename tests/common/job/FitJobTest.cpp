#include "job/FitJob.h"
#include "job/PhysicalConstants.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace nosk;

namespace {

FitJob jobWithRows(int m, int irch)
{
    FitJob job;
    job.IRCH = irch;
    job.allocateData(m, irch == 0);
    for (int i = 0; i < m; ++i) {
        (*job.FREQ)[i] = 100.0 * (i + 1);
        (*job.DATA1)[i] = i + 0.5;
        (*job.DATA2)[i] = -i - 0.25;
        if (job.WEIGHT1) {
            (*job.WEIGHT1)[i] = 2.0 * i;
            (*job.WEIGHT2)[i] = 3.0 * i;
        }
    }
    return job;
}

} // namespace

TEST(FitJob, NewJobDefaults)
{
    FitJob job;
    EXPECT_EQ(job.description, "");
    EXPECT_EQ(std::string({job.DINP, job.DFIT, job.PINP, job.PFIT, job.FREEQ, job.NEG, job.FUN}), "ZZRRF A");
    EXPECT_EQ(job.DATTYP, 'C');
    EXPECT_EQ(job.CELCAP, 8.8541878e-14);
    EXPECT_EQ(job.xVariable, 1);
    EXPECT_EQ(job.M, 0);
    EXPECT_EQ(job.N, 0);
    EXPECT_EQ(job.mNegative, 0);
    EXPECT_FALSE(job.hasData());
    EXPECT_FALSE(job.WEIGHT1 || job.WEIGHT2 || job.DATA1 || job.DATA2);
    for (int i = 0; i < FitJob::kMaxParams; ++i) {
        EXPECT_EQ(job.P[i], 0.0);
        EXPECT_EQ(job.NFREE[i], 0);
    }
}

TEST(FitJob, ClearReleasesArraysAndResets)
{
    FitJob job = jobWithRows(4, 0);
    job.N = 3;
    job.P[1] = 2.0;
    job.FUN = 'K';
    job.clear();
    EXPECT_EQ(job.M, 0);
    EXPECT_EQ(job.N, 0);
    EXPECT_EQ(job.P[1], 0.0);
    EXPECT_EQ(job.FUN, 'A');
    EXPECT_FALSE(job.hasData());
    EXPECT_FALSE(job.hasWeights());
}

TEST(FitJob, AllocateZeroRowsIsPresentButEmpty)
{
    FitJob job;
    job.allocateData(0, true);
    EXPECT_EQ(job.M, 0);
    ASSERT_TRUE(job.hasData());  // present with 0 entries, not absent
    EXPECT_TRUE(job.FREQ->empty() && job.DATA1->empty() && job.DATA2->empty());
    EXPECT_TRUE(job.hasWeights());
    job.releaseData();
    EXPECT_FALSE(job.hasData());
    EXPECT_FALSE(job.hasWeights());
}

TEST(FitJob, CopyDataFromTakesRowsAndWeightsOnlyWhenBothWeight)
{
    FitJob source = jobWithRows(12, 0);

    FitJob unweighted;
    unweighted.IRCH = 1;
    unweighted.N = 4;
    unweighted.copyDataFrom(source);
    EXPECT_EQ(unweighted.M, 12);
    EXPECT_EQ(unweighted.N, 4);  // the header stays
    EXPECT_EQ(*unweighted.FREQ, *source.FREQ);
    EXPECT_EQ(*unweighted.DATA1, *source.DATA1);
    EXPECT_EQ(*unweighted.DATA2, *source.DATA2);
    EXPECT_FALSE(unweighted.WEIGHT1 || unweighted.WEIGHT2);

    FitJob weighted;
    weighted.copyDataFrom(source);
    EXPECT_EQ(*weighted.WEIGHT1, *source.WEIGHT1);
    EXPECT_EQ(*weighted.WEIGHT2, *source.WEIGHT2);

    FitJob fromUnweighted;
    FitJob source2 = jobWithRows(12, 2);
    fromUnweighted.copyDataFrom(source2);
    EXPECT_EQ(fromUnweighted.M, 12);
    EXPECT_EQ(*fromUnweighted.WEIGHT1, std::vector<double>(12, 0.0));
    EXPECT_EQ(*fromUnweighted.WEIGHT2, std::vector<double>(12, 0.0));
}

TEST(FitJob, CopyDataFromItselfKeepsTheRows)
{
    FitJob job = jobWithRows(5, 0);
    const FitJob& same = job;
    job.copyDataFrom(same);
    EXPECT_EQ(job.M, 5);
    EXPECT_EQ((*job.FREQ)[4], 500.0);
}

TEST(FitJob, WeightingSwitchedOnStartsFromTheDataAndOffRemovesThem)
{
    FitJob job = jobWithRows(6, 3);
    EXPECT_FALSE(job.hasWeights());
    job.IRCH = 0;
    job.weightsFromData();
    EXPECT_EQ(*job.WEIGHT1, *job.DATA1);
    EXPECT_EQ(*job.WEIGHT2, *job.DATA2);
    (*job.WEIGHT1)[0] = 99;
    EXPECT_NE((*job.DATA1)[0], 99);  // a copy, not the same array
    job.IRCH = 3;
    job.releaseWeights();
    EXPECT_FALSE(job.hasWeights());
    EXPECT_TRUE(job.hasData());
}

TEST(FitJob, DefaultCellCapacitanceReadsBackInItsStoredForm)
{
    test::TempWorkDir dir;
    const FitJob job;
    EXPECT_EQ(job.CELCAP, kVacuumPermittivity);
    job.save("DEFAULT.TST");
    FitJob back;
    back.load("DEFAULT.TST");
    // What the summary takes for the default: the file keeps four digits only.
    EXPECT_EQ(back.CELCAP, kVacuumPermittivityAsStored);
    EXPECT_NE(back.CELCAP, kVacuumPermittivity);
}
