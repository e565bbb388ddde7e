#include "results/SolartronFile.h"

#include "core/Exception.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

using nosk::SolartronFile;

namespace {

void putLe(std::string& s, std::size_t at, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i, v >>= 8)
        s[at + i] = static_cast<char>(v & 0xff);
}

struct RecordSpec {
    int number;
    int unit = 0;
    int channel = 0;
};

// A file of the measuring instrument's kind: header, records, trailer. Record
// k has frequency 1000 (k + 1) Hz and impedance (k + 1, -(k + 1) / 2).
std::string makeFile(const std::vector<RecordSpec>& records, const std::string& description = "cell 7 after cycling")
{
    std::string s(696 + 84 * records.size(), '\0');
    s.replace(0, 12, "CellTest_Fra");
    s.replace(56, description.size(), description);
    putLe(s, 48, std::bit_cast<std::uint64_t>(46000.5), 8);
    for (std::size_t k = 0; k < records.size(); ++k) {
        std::size_t r = 696 + 84 * k;
        putLe(s, r + 0, std::bit_cast<std::uint64_t>(46000.75), 8);
        putLe(s, r + 8, static_cast<std::uint16_t>(records[k].number), 2);
        putLe(s, r + 10, std::bit_cast<std::uint64_t>(1000.0 * (k + 1)), 8);
        putLe(s, r + 18, static_cast<std::uint16_t>(records[k].unit), 2);
        putLe(s, r + 20, static_cast<std::uint16_t>(records[k].channel), 2);
        putLe(s, r + 22, 3, 2);
        putLe(s, r + 24, 4, 2);
        putLe(s, r + 26, 5, 2);
        putLe(s, r + 60, std::bit_cast<std::uint64_t>(double(k + 1)), 8);
        putLe(s, r + 68, std::bit_cast<std::uint64_t>(-(double(k) + 1) / 2.0), 8);
    }
    return s + "HTFN";
}

std::string failureOf(const std::string& bytes)
{
    try {
        SolartronFile::parse(bytes);
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace

TEST(SolartronFile, TwoBlocksOfSixAndFourPoints)
{
    std::vector<RecordSpec> specs;
    for (int i = 1; i <= 6; ++i)
        specs.push_back({i, 1, i == 6 ? 9 : 2});
    for (int i = 1; i <= 4; ++i)
        specs.push_back({i, 2, 1});
    const std::string bytes = makeFile(specs);
    ASSERT_EQ(bytes.size(), 700u + 84u * 10u);

    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("two.fra", bytes);
    const SolartronFile f = SolartronFile::read("two.fra");
    EXPECT_EQ(f.header.title, "CellTest_Fra");
    EXPECT_EQ(f.header.description, "cell 7 after cycling");
    EXPECT_EQ(f.header.date, 46000.5);
    ASSERT_EQ(f.blocks.size(), 2u);
    EXPECT_EQ(f.blocks[0].pointCount(), 6);
    EXPECT_EQ(f.blocks[1].pointCount(), 4);
    // The block's numbers are those of its last point.
    EXPECT_EQ(f.blocks[0].unit, 1);
    EXPECT_EQ(f.blocks[0].channel, 9);
    EXPECT_EQ(f.blocks[1].unit, 2);
    const nosk::SolartronPoint& p = f.blocks[1].points[2];  // record 8
    EXPECT_EQ(p.number, 3);
    EXPECT_EQ(p.frequency, 9000.0);
    EXPECT_EQ(p.impedanceRe, 9.0);
    EXPECT_EQ(p.impedanceIm, -4.5);
    EXPECT_EQ(p.date, 46000.75);
    EXPECT_EQ(SolartronFile::blockDescription(f.blocks[0]),
              "Unit #1\r\nChannel #9\r\nStep #3\r\nStep Repeat #4\r\nSchedule Repeat Number #5\r\nData point #6\r\n");
}

TEST(SolartronFile, RecordsBeforeTheFirstNumberOneBelongToNoBlock)
{
    const SolartronFile f = SolartronFile::parse(makeFile({{2}, {3}, {1}, {2}}));
    ASSERT_EQ(f.blocks.size(), 1u);
    ASSERT_EQ(f.blocks[0].pointCount(), 2);
    EXPECT_EQ(f.blocks[0].points[0].frequency, 3000.0);
}

TEST(SolartronFile, FullWidthDescriptionIsKept)
{
    const std::string full(32, 'd');
    const SolartronFile f = SolartronFile::parse(makeFile({{1}}, full));
    EXPECT_EQ(f.header.description, full);
}

TEST(SolartronFile, BadFilesFailWithTheirMessages)
{
    const std::string good = makeFile({{1}, {2}});
    EXPECT_EQ(failureOf(good), "no failure");
    EXPECT_EQ(failureOf(good.substr(0, good.size() - 1) + "X"), "Wrong signature of file!");
    EXPECT_EQ(failureOf(""), "Wrong signature of file!");
    EXPECT_EQ(failureOf("TFN"), "Wrong signature of file!");
    EXPECT_EQ(failureOf("HTFN"), "File is bad or currupted!");
    EXPECT_EQ(failureOf(std::string(696, '\0') + "HTFN"), "File is bad or currupted!");
    EXPECT_EQ(failureOf("x" + good), "File is bad or currupted!");
    EXPECT_EQ(failureOf(makeFile({{2}, {3}})), "File is bad or currupted!");

    // The same checks on files, including ones that are not files.
    nosk::test::TempWorkDir dir;
    auto readFailure = [](const std::string& path) -> std::string {
        try {
            SolartronFile::read(path);
        } catch (const nosk::exception& e) {
            return e.what();
        }
        return "no failure";
    };
    EXPECT_EQ(readFailure("missing.fra"), "Cannot open file 'missing.fra'!");
    std::filesystem::create_directory("folder.fra");
    EXPECT_EQ(readFailure("folder.fra"), "Cannot open file 'folder.fra'!");
    nosk::test::writeAll("text.fra", std::string(100000, 'x'));
    EXPECT_EQ(readFailure("text.fra"), "Wrong signature of file!");
    nosk::test::writeAll("short.fra", "TFN");
    EXPECT_EQ(readFailure("short.fra"), "Wrong signature of file!");
    nosk::test::writeAll("cut.fra", good.substr(0, 700) + good.substr(701));
    EXPECT_EQ(readFailure("cut.fra"), "File is bad or currupted!");
    nosk::test::writeAll("good.fra", good);
    EXPECT_EQ(readFailure("good.fra"), "no failure");
}

TEST(SolartronFile, WrittenFileOfFivePointsReadsBack)
{
    nosk::test::TempWorkDir dir;
    nosk::test::writeAll("solartron.fra", std::string(5000, 'x'));  // replaced
    const double f[5] = {0.1, 1, 10, 100, 1000};
    const double re[5] = {3, 5, 7, 9, 11};
    const double im[5] = {-4, -12, -24, -40, -60};
    const double before = nosk::oleDateNow();
    nosk::writeSolartronPoints("solartron.fra", f, re, im, 5);

    const std::string bytes = nosk::test::readAll("solartron.fra");
    ASSERT_EQ(bytes.size(), 1120u);
    EXPECT_EQ(bytes.substr(0, 32), "CellTest_Fra" + std::string(20, ' '));
    EXPECT_EQ(bytes.substr(32, 16), "4" + std::string(15, ' '));
    EXPECT_EQ(bytes.substr(56, 32), "NOSK_FIT" + std::string(24, ' '));
    EXPECT_EQ(bytes.substr(88, 696 - 88), std::string(696 - 88, '\0'));
    EXPECT_EQ(bytes.substr(1116), "HTFN");

    const SolartronFile file = SolartronFile::read("solartron.fra");
    EXPECT_EQ(file.header.title, "CellTest_Fra");
    EXPECT_EQ(file.header.version, "4");
    EXPECT_EQ(file.header.description, "NOSK_FIT");
    EXPECT_GE(file.header.date, before);
    EXPECT_LT(file.header.date, before + 1.0 / 24);
    ASSERT_EQ(file.blocks.size(), 1u);
    const nosk::SolartronBlock& b = file.blocks[0];
    ASSERT_EQ(b.pointCount(), 5);
    EXPECT_EQ(b.unit, 0);
    EXPECT_EQ(b.scheduleRepeat, 0);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const nosk::SolartronPoint& p = b.points[i];
        EXPECT_EQ(p.number, i + 1);
        EXPECT_EQ(p.frequency, f[i]);
        EXPECT_EQ(p.value1Re, re[i]);
        EXPECT_EQ(p.value1Im, im[i]);
        EXPECT_EQ(p.value2Re, 1.0);
        EXPECT_EQ(p.value2Im, 0.0);
        EXPECT_EQ(p.impedanceRe, re[i]);
        EXPECT_EQ(p.impedanceIm, im[i]);
        EXPECT_EQ(p.magnitude, std::sqrt(re[i] * re[i] + im[i] * im[i]));
        EXPECT_EQ(p.date, file.header.date);
    }
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), 1);
}

TEST(SolartronFile, AbsentComponentIsWrittenAsZero)
{
    nosk::test::TempWorkDir dir;
    const double f[2] = {1, 2};
    const double re[2] = {-3, 4};
    nosk::writeSolartronPoints("real.fra", f, re, nullptr, 2);
    const SolartronFile file = SolartronFile::read("real.fra");
    EXPECT_EQ(file.blocks[0].points[0].impedanceIm, 0.0);
    EXPECT_EQ(file.blocks[0].points[0].magnitude, 3.0);
    EXPECT_EQ(file.blocks[0].points[1].magnitude, 4.0);
}

TEST(SolartronFile, FailedWriteKeepsTheOldFile)
{
    nosk::test::TempWorkDir dir;
    const double f[1] = {1};
    try {
        nosk::writeSolartronPoints("no/such/folder/solartron.fra", f, f, f, 1);
        FAIL();
    } catch (const nosk::exception& e) {
        EXPECT_STREQ(e.what(), "Cannot open file 'no/such/folder/solartron.fra'!");
    }
    // The target is a folder: nothing can be moved over it, and it stays.
    std::filesystem::create_directory("taken.fra");
    std::filesystem::create_directory("taken.fra/inside");
    EXPECT_THROW(nosk::writeSolartronPoints("taken.fra", f, f, f, 1), nosk::exception);
    EXPECT_TRUE(std::filesystem::exists("taken.fra/inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), 1);
}
