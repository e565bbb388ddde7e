#include "ops/SolartronImport.h"

#include "AtTheEdge.h"
#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "results/SolartronFile.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace nosk;
using nosk::test::writeAll;

namespace {

// Answers the block choice from a script and remembers what it was shown.
struct ScriptedChooser : ImpedanceBlockChooser {
    std::optional<int> answer = 0;
    std::vector<std::string> shownBlocks;
    std::string shownDescription;
    int calls = 0;

    std::optional<int> chooseBlock(const SolartronFile& file) override
    {
        ++calls;
        shownDescription = fileDescriptionText(file);
        shownBlocks.clear();
        for (size_t i = 0; i < file.blocks.size(); ++i)
            shownBlocks.push_back(blockListEntry(static_cast<int>(i)) + ": " +
                                  SolartronFile::blockDescription(file.blocks[i]));
        return answer;
    }
};

template <typename T>
void put(std::string& bytes, size_t at, T value)
{
    // The file is little-endian, as is every machine we build for.
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// A .fra file whose records carry the given point numbers; record k has the
// frequency 10 (k + 1), the impedance (k + 1, -(k + 1) / 2) and unit k.
std::string fraFile(const std::vector<std::int16_t>& numbers)
{
    std::string bytes(696 + 84 * numbers.size(), '\0');
    std::memcpy(bytes.data(), "CellTest_Fra", 12);
    std::memcpy(bytes.data() + 56, "EIS of cell 7", 13);
    for (size_t k = 0; k < numbers.size(); ++k) {
        const size_t r = 696 + 84 * k;
        const double v = static_cast<double>(k + 1);
        put<std::int16_t>(bytes, r + 8, numbers[k]);
        put<double>(bytes, r + 10, 10 * v);
        put<std::int16_t>(bytes, r + 18, static_cast<std::int16_t>(k));
        put<std::int16_t>(bytes, r + 20, 2);
        put<double>(bytes, r + 60, v);
        put<double>(bytes, r + 68, -v / 2);
    }
    return bytes + "HTFN";
}

FitJob jobWithData()
{
    FitJob job;
    job.IRCH = 1;
    job.DINP = 'Y';
    job.PFIT = 'P';
    job.FREEQ = ' ';
    job.allocateData(2, false);
    *job.FREQ = {1, 2};
    *job.DATA1 = {3, 4};
    *job.DATA2 = {5, 6};
    return job;
}

struct Solartron : ::testing::Test {
    nosk::test::TempWorkDir dir;
    ScriptedPrompt prompt;
    ScriptedChooser chooser;
    int refreshed = 0;
    RefreshPages refresh = [this] { ++refreshed; };
};

} // namespace

TEST_F(Solartron, SecondOfTwoBlocksBecomesRectangularImpedanceInHz)
{
    writeAll("two.fra", fraFile({1, 2, 3, 4, 5, 6, 1, 2, 3, 4}));
    FitJob job = jobWithData();
    job.N = 2;
    job.P[1] = 9;
    prompt.files = {std::string("two.fra")};
    chooser.answer = 1;
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importSolartron(job, prompt, chooser, refresh); }));

    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    ASSERT_EQ(prompt.fileDialogs[0].request.filters.size(), 1u);
    EXPECT_EQ(prompt.fileDialogs[0].request.filters[0].description, "Solartron files (*.fra)");
    EXPECT_EQ(chooser.shownDescription.substr(0, 13), "EIS of cell 7");
    ASSERT_EQ(chooser.shownBlocks.size(), 2u);
    EXPECT_EQ(chooser.shownBlocks[0], "Block #1: Unit #5\r\nChannel #2\r\nStep #0\r\nStep Repeat #0\r\n"
                                      "Schedule Repeat Number #0\r\nData point #6\r\n");
    EXPECT_TRUE(chooser.shownBlocks[1].starts_with("Block #2: Unit #9\r\n"));

    EXPECT_EQ(job.M, 4);
    EXPECT_EQ(*job.FREQ, (std::vector<double>{70, 80, 90, 100}));
    EXPECT_EQ(*job.DATA1, (std::vector<double>{7, 8, 9, 10}));
    EXPECT_EQ(*job.DATA2, (std::vector<double>{-3.5, -4, -4.5, -5}));
    EXPECT_FALSE(job.WEIGHT1.has_value());
    EXPECT_EQ(job.DINP, 'Z');
    EXPECT_EQ(job.DFIT, 'Z');
    EXPECT_EQ(job.PINP, 'R');
    EXPECT_EQ(job.PFIT, 'R');
    EXPECT_EQ(job.FREEQ, 'F');
    EXPECT_EQ(job.P[1], 9);
    EXPECT_EQ(refreshed, 1);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Solartron, RecordsBeforeTheFirstBlockBelongToNone)
{
    writeAll("late.fra", fraFile({2, 3, 1, 2}));
    FitJob job;  // IRCH 0: weight arrays of zeros
    prompt.files = {std::string("late.fra")};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importSolartron(job, prompt, chooser, refresh); }));
    ASSERT_EQ(chooser.shownBlocks.size(), 1u);
    EXPECT_EQ(*job.FREQ, (std::vector<double>{30, 40}));
    ASSERT_TRUE(job.hasWeights());
    EXPECT_EQ(*job.WEIGHT1, (std::vector<double>{0, 0}));
    EXPECT_EQ(*job.WEIGHT2, (std::vector<double>{0, 0}));
}

TEST_F(Solartron, OurOwnModelFileReadsBack)
{
    const double f[] = {1, 2, 3, 4, 5}, re[] = {1, 1, 1, 1, 1}, im[] = {-1, -2, -3, -4, -5};
    writeSolartronPoints("solartron.fra", f, re, im, 5);
    FitJob job;
    prompt.files = {std::string("solartron.fra")};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importSolartron(job, prompt, chooser, refresh); }));
    EXPECT_EQ(chooser.shownDescription.substr(0, 8), "NOSK_FIT");
    EXPECT_EQ(*job.DATA2, (std::vector<double>(im, im + 5)));
}

TEST_F(Solartron, CancelAndBrokenFilesKeepTheJob)
{
    std::string good = fraFile({1, 2, 3});
    std::string wrongSize = good;
    wrongSize.insert(700, "x");
    static const char junk[] = "\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0";
    writeAll("good.fra", good);
    writeAll("empty.fra", "");
    writeAll("short.fra", "HTFN");
    writeAll("signature.fra", good.substr(0, good.size() - 4) + "NFTH");
    writeAll("size.fra", wrongSize);
    writeAll("noblock.fra", fraFile({2, 3, 4}));
    writeAll("junk.fra", std::string(junk, sizeof junk - 1));

    const std::pair<const char*, const char*> cases[] = {
        {"empty.fra", "Wrong signature of file!"},
        {"junk.fra", "Wrong signature of file!"},
        {"signature.fra", "Wrong signature of file!"},
        {"short.fra", "File is bad or currupted!"},
        {"size.fra", "File is bad or currupted!"},
        {"noblock.fra", "File is bad or currupted!"},
        {"missing.fra", "Cannot open file 'missing.fra'!"},
    };
    for (auto [file, text] : cases) {
        SCOPED_TRACE(file);
        FitJob job = jobWithData();
        prompt.files = {std::string(file)};
        EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importSolartron(job, prompt, chooser, refresh); }));
        EXPECT_EQ(prompt.lastMessage().text, text);
        EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
        EXPECT_EQ(*job.FREQ, (std::vector<double>{1, 2}));
        EXPECT_EQ(job.DINP, 'Y');
    }
    EXPECT_EQ(chooser.calls, 0);

    // Cancel in the file dialog, then in "Select impedance".
    FitJob job = jobWithData();
    size_t shown = prompt.messages.size();
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importSolartron(job, prompt, chooser, refresh); }));
    prompt.files = {std::string("good.fra")};
    chooser.answer.reset();
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importSolartron(job, prompt, chooser, refresh); }));
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(prompt.messages.size(), shown);
    EXPECT_EQ(*job.FREQ, (std::vector<double>{1, 2}));
    EXPECT_EQ(job.FREEQ, ' ');
    EXPECT_EQ(refreshed, 0);
}
