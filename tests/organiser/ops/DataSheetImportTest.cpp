#include "ops/DataSheetImport.h"

#include "core/Exception.h"
#include "AtTheEdge.h"
#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nosk;
using nosk::test::writeAll;

namespace {

std::string sheetError(const std::string& text)
{
    std::istringstream in(text);
    try {
        readDataSheet(in);
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "";
}

// A job holding three rows of data and weights that a failed import must keep.
FitJob jobWithData()
{
    FitJob job;
    job.allocateData(3, true);
    *job.FREQ = {1, 2, 3};
    *job.DATA1 = {10, 20, 30};
    *job.DATA2 = {-1, -2, -3};
    *job.WEIGHT1 = {0.5, 0.5, 0.5};
    *job.WEIGHT2 = {0.25, 0.25, 0.25};
    return job;
}

void expectUnchanged(const FitJob& job)
{
    ASSERT_EQ(job.M, 3);
    EXPECT_EQ(*job.FREQ, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(*job.DATA1, (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(*job.DATA2, (std::vector<double>{-1, -2, -3}));
    ASSERT_TRUE(job.hasWeights());
    EXPECT_EQ(*job.WEIGHT1, (std::vector<double>{0.5, 0.5, 0.5}));
    EXPECT_EQ(*job.WEIGHT2, (std::vector<double>{0.25, 0.25, 0.25}));
}

struct Import : ::testing::Test {
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    int refreshed = 0;
    RefreshPages refresh = [this] { ++refreshed; };
};

} // namespace

TEST(ReadDataSheet, BlankLinesFiveRowsAndTrailer)
{
    std::istringstream in("\n\n1 2 3\n4 5 6\n7 8 9\n10 11 12\n13 14 15\n\nTrailer text, not read 1 2 3\n");
    SheetRows rows = readDataSheet(in);
    ASSERT_EQ(rows.freq.size(), 5u);
    EXPECT_EQ(rows.freq, (std::vector<double>{1, 4, 7, 10, 13}));
    EXPECT_EQ(rows.data2.back(), 15);
}

TEST(ReadDataSheet, SeparatorsExponentsAndExtraFields)
{
    std::istringstream in("1.0e3  2.5\t-3 extra fields 99\r\n1.5D+03 2d-1 +.5E1\r\n  \r\nnot read\r\n");
    SheetRows rows = readDataSheet(in);
    ASSERT_EQ(rows.freq.size(), 2u);
    EXPECT_EQ(rows.freq[0], 1000);
    EXPECT_EQ(rows.data1[0], 2.5);
    EXPECT_EQ(rows.data2[0], -3);
    EXPECT_EQ(rows.freq[1], 1500);
    EXPECT_EQ(rows.data1[1], 0.2);
    EXPECT_EQ(rows.data2[1], 5);
}

TEST(ReadDataSheet, LongLinesAreReadWhole)
{
    // An instrument export with lines of several hundred characters.
    std::string longLine = "1.000000000000000000000000000000000000000000000000000000000000000000000000000000000000001 2 3";
    longLine += std::string(300, ' ') + "trailing comment of the instrument";
    std::istringstream in(longLine + "\n" + longLine + "\n");
    SheetRows rows = readDataSheet(in);
    ASSERT_EQ(rows.freq.size(), 2u);
    EXPECT_EQ(rows.data2[1], 3);
}

TEST(ReadDataSheet, CrLfAndBareCrAllEndALine)
{
    // Bare CR: old spreadsheet exports. The block ends at the empty line.
    std::istringstream cr("1 2 3\r4 5 6\r\r7 8 9\r");
    SheetRows rows = readDataSheet(cr);
    EXPECT_EQ(rows.freq, (std::vector<double>{1, 4}));
    EXPECT_EQ(rows.data2, (std::vector<double>{3, 6}));
    std::istringstream mixed("\r\n\r1 2 3\r\n4 5 6\n7 8 9\r10 11 12");
    rows = readDataSheet(mixed);
    EXPECT_EQ(rows.freq, (std::vector<double>{1, 4, 7, 10}));
    EXPECT_EQ(rows.data2.back(), 12);
    // CR CR LF (CR LF written through a text-mode layer) is one line end,
    // not an empty line that would end the block after its first row.
    std::istringstream doubled("1 2 3\r\r\n4 5 6\r\r\n");
    EXPECT_EQ(readDataSheet(doubled).freq, (std::vector<double>{1, 4}));
    std::istringstream weights("1 2\r3 4\r\n5 6\n");
    EXPECT_EQ(readWeights(weights, 3).weight2, (std::vector<double>{2, 4, 6}));
}

TEST(ReadDataSheet, RefusesWhatIsNotASheet)
{
    // Overflowing to infinity is as little a number as "inf".
    EXPECT_EQ(sheetError("1e999 2 3\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("1 2 -1.5D+999\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError(""), "Wrong data sheet file!\nNo data lines found.");
    EXPECT_EQ(sheetError("\n\n\n"), "Wrong data sheet file!\nNo data lines found.");
    EXPECT_EQ(sheetError("1,2,3\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("1, 2, 3\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("   \n1 2 3\n"), "Wrong data sheet file!");  // a line of blanks is not empty
    EXPECT_EQ(sheetError("1 2\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("1 2 3\n4 5 x\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("1 2 3abc\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("nan inf 0x10\n"), "Wrong data sheet file!");
    EXPECT_EQ(sheetError("1e 2 3\n"), "Wrong data sheet file!");
    static const char elf[] = "\x7f" "ELF\x02\x01\x01\0\0\0 2 3\n";
    EXPECT_EQ(sheetError(std::string(elf, sizeof elf - 1)), "Wrong data sheet file!");
}

TEST(ReadWeights, CountsEveryLine)
{
    std::istringstream ok("1 2\n3 4 5\n");
    WeightRows w = readWeights(ok, 2);
    EXPECT_EQ(w.weight1, (std::vector<double>{1, 3}));
    EXPECT_EQ(w.weight2, (std::vector<double>{2, 4}));

    std::istringstream noFinalNewline("1 2\n3 4");
    EXPECT_EQ(readWeights(noFinalNewline, 2).weight2[1], 4);

    std::istringstream oneTooMany("1 2\n3 4\n\n");
    EXPECT_THROW(readWeights(oneTooMany, 2), nosk::exception);
    std::istringstream huge(std::string(100000, '\n'));
    try {
        readWeights(huge, 3);
        FAIL();
    } catch (const nosk::exception& e) {
        EXPECT_STREQ(e.what(), "File has wrong number of strings!");
    }
    std::istringstream missing("1 2\n3\n");
    try {
        readWeights(missing, 2);
        FAIL();
    } catch (const nosk::exception& e) {
        EXPECT_STREQ(e.what(), "Wrong data sheet file!");
    }
}

TEST_F(Import, DataSheetReplacesRowsWithZeroWeights)
{
    writeAll("sheet.txt", "\r\n1 2 3\r\n4 5 6\r\n");
    FitJob job = jobWithData();
    job.N = 4;
    job.P[0] = 7;
    prompt.files = {std::string("sheet.txt")};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importDataSheet(job, prompt, refresh); }));
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(job.M, 2);
    EXPECT_EQ(*job.FREQ, (std::vector<double>{1, 4}));
    EXPECT_EQ(*job.DATA2, (std::vector<double>{3, 6}));
    ASSERT_TRUE(job.hasWeights());
    EXPECT_EQ(*job.WEIGHT1, (std::vector<double>{0, 0}));
    EXPECT_EQ(job.N, 4);
    EXPECT_EQ(job.P[0], 7);
    EXPECT_TRUE(prompt.messages.empty());
    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    EXPECT_FALSE(prompt.fileDialogs[0].save);

    // With IRCH not 0 the job gets no weight arrays.
    job.IRCH = 2;
    prompt.files = {std::string("sheet.txt")};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importDataSheet(job, prompt, refresh); }));
    EXPECT_FALSE(job.WEIGHT1.has_value());
}

TEST_F(Import, FailedDataSheetKeepsTheJob)
{
    writeAll("empty.txt", "");
    writeAll("commas.txt", "1,2,3\n");
    writeAll("bad7.txt", "1 2 3\n1 2 3\n1 2 3\n1 2 3\n1 2 3\n1 2 3\n1 2 x\n1 2 3\n1 2 3\n1 2 3\n");
    static const char junk[] = "\0\x01\xff\xfe garbage\n\x80\x81 1 2\n";
    writeAll("junk.bin", std::string(junk, sizeof junk - 1));
    const std::pair<const char*, const char*> cases[] = {
        {"empty.txt", "Wrong data sheet file!\nNo data lines found."},
        {"commas.txt", "Wrong data sheet file!"},
        {"bad7.txt", "Wrong data sheet file!"},
        {"junk.bin", "Wrong data sheet file!"},
        {"missing.txt", "Cannot open file 'missing.txt'!"},
    };
    for (auto [file, text] : cases) {
        SCOPED_TRACE(file);
        FitJob job = jobWithData();
        prompt.files = {std::string(file)};
        EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importDataSheet(job, prompt, refresh); }));
        EXPECT_EQ(prompt.lastMessage().text, text);
        EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
        expectUnchanged(job);
    }
    EXPECT_EQ(refreshed, 0);

    // Cancelling the file dialog changes nothing and says nothing.
    FitJob job = jobWithData();
    size_t shown = prompt.messages.size();
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importDataSheet(job, prompt, refresh); }));
    EXPECT_EQ(prompt.messages.size(), shown);
    expectUnchanged(job);
}

TEST_F(Import, WeightsIntoIrch2AnsweredYes)
{
    writeAll("w.txt", "0.1 0.2\n0.3 0.4 9\n0.5 0.6\n");
    FitJob job = jobWithData();
    job.IRCH = 2;
    job.releaseWeights();
    prompt.answers = {Answer::Yes};
    prompt.files = {std::string("w.txt")};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importWeights(job, prompt, refresh); }));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "IRCH parameter must be zero.\nSet IRCH to zero and continue?");
    EXPECT_EQ(prompt.messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(job.IRCH, 0);
    EXPECT_EQ(*job.WEIGHT1, (std::vector<double>{0.1, 0.3, 0.5}));
    EXPECT_EQ(*job.WEIGHT2, (std::vector<double>{0.2, 0.4, 0.6}));
    EXPECT_EQ(*job.DATA1, (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(refreshed, 1);
}

TEST_F(Import, WeightsQuestionAnsweredNo)
{
    FitJob job = jobWithData();
    job.IRCH = 2;
    prompt.answers = {Answer::No};
    prompt.files = {std::string("w.txt")};
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importWeights(job, prompt, refresh); }));
    EXPECT_EQ(job.IRCH, 2);
    EXPECT_TRUE(prompt.fileDialogs.empty());
}

TEST_F(Import, FailedWeightsKeepTheJob)
{
    writeAll("toomany.txt", "1 1\n2 2\n3 3\n\n");
    writeAll("bad.txt", "1 1\n2 x\n3 3\n");
    writeAll("commas.txt", "1,1\n2,2\n3,3\n");
    writeAll("empty.txt", "");
    const std::pair<const char*, const char*> cases[] = {
        {"toomany.txt", "File has wrong number of strings!"},
        {"bad.txt", "Wrong data sheet file!"},
        {"commas.txt", "Wrong data sheet file!"},
        {"empty.txt", "File has wrong number of strings!"},
        {"missing.txt", "Cannot open file 'missing.txt'!"},
    };
    for (auto [file, text] : cases) {
        SCOPED_TRACE(file);
        FitJob job = jobWithData();
        job.IRCH = 1;
        prompt.answers = {Answer::Yes};
        prompt.files = {std::string(file)};
        EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importWeights(job, prompt, refresh); }));
        EXPECT_EQ(prompt.lastMessage().text, text);
        EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
        EXPECT_EQ(job.IRCH, 1);
        expectUnchanged(job);
    }
    EXPECT_EQ(refreshed, 0);
}
