#include "core/Exception.h"
#include "SampleJobs.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace nosk;
using nosk::test::fullJob;
using nosk::test::readAll;
using nosk::test::writeAll;

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines, const char* end = "\r\n", bool lastEnded = true)
{
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        s += lines[i];
        if (i + 1 < lines.size() || lastEnded)
            s += end;
    }
    return s;
}

std::string loadFailure(FitJob& job, const std::string& path, bool headerOnly = false)
{
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

// The smallest valid file: no parameters, `m` data lines, weights when irch is 0.
std::vector<std::string> fileLines(int m, int irch, int n = 0)
{
    FitJob job;
    job.description = "test";
    job.IRCH = irch;
    job.N = n;
    for (int i = 0; i < n; ++i)
        job.P[i] = i + 1;
    job.allocateData(m, irch == 0);
    for (int i = 0; i < m; ++i) {
        (*job.FREQ)[i] = i + 1;
        if (job.WEIGHT1)
            (*job.WEIGHT1)[i] = 1;
    }
    job.save("built");
    return linesOf(readAll("built"));
}

class JobFile : public ::testing::Test {
protected:
    nosk::test::TempWorkDir dir;
};

} // namespace

TEST_F(JobFile, NewJobLinesTwoAndThreeByteExact)
{
    FitJob job;
    job.save("INFL");
    const std::string text = readAll("INFL");
    EXPECT_EQ(text,
              "\r\n"
              "   0  ZZRRF A .8854D-13C         0 .0000D+00     0     0\r\n"
              "    0    0    0    0    0    0    0    0    0 .0000D+00\r\n"
              "\r\n");
}

TEST_F(JobFile, DataAndWeightLinesByteExact)
{
    FitJob job;
    job.N = 2;
    job.P[0] = 1.0;
    job.P[1] = -2.5e-3;
    job.NFREE[0] = 1;
    job.allocateData(1, true);
    (*job.FREQ)[0] = 1000.0;
    (*job.DATA1)[0] = -0.5;
    (*job.DATA2)[0] = 12.5;
    (*job.WEIGHT1)[0] = 1.0;
    (*job.WEIGHT2)[0] = 0.0;
    job.save("INFL");
    auto lines = linesOf(readAll("INFL"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3], "  .10000000D+01 -.25000000D-02");
    EXPECT_EQ(lines[4], "10");
    EXPECT_EQ(lines[5], "    1       .1000000000000D+04      -.5000000000000D+00       .1250000000000D+02");
    EXPECT_EQ(lines[6], "    1                                .1000000000000D+01       .0000000000000D+00");
    EXPECT_EQ(lines[5].size(), 80u);
    EXPECT_EQ(lines[6].size(), 80u);
}

TEST_F(JobFile, OptionalPairsInTheWritersColumns)
{
    FitJob job;
    job.ECINF = -1.5;
    job.EC0 = 2.0;
    job.SDWC = 0.5;
    job.SDRC = -0.25;
    job.save("INFL");
    auto lines = linesOf(readAll("INFL"));
    EXPECT_EQ(lines[1].substr(56), " -.1500D+01   .2000D+01");  // blank in 57, ECINF 58-67, EC0 70-79
    EXPECT_EQ(lines[2].substr(55), "   .5000D+00  -.2500D+00");  // SDWC 58-67, SDRC 70-79
}

TEST_F(JobFile, RoundTripKeepsEveryField)
{
    const FitJob saved = fullJob();
    saved.save("job.tst");
    FitJob job;
    job.load("job.tst");
    EXPECT_EQ(job.description, saved.description);
    EXPECT_EQ(job.IOPT, 12);
    EXPECT_EQ(std::string({job.DINP, job.DFIT, job.PINP, job.PFIT, job.FREEQ, job.NEG, job.FUN}), "YMDL NK");
    EXPECT_EQ(job.CELCAP, 1.234e-13);
    EXPECT_EQ(job.DATTYP, 'R');
    EXPECT_EQ(job.IPAR, -3);
    EXPECT_EQ(job.ROE, -0.0125);
    EXPECT_EQ(job.IFP, 4);
    EXPECT_EQ(job.IRE, -2);
    EXPECT_EQ(job.ECINF, -7.5);
    EXPECT_EQ(job.EC0, 120.5);
    EXPECT_EQ(job.M, 3);
    EXPECT_EQ(job.N, 7);
    EXPECT_EQ(job.MAXFEV, 300);
    EXPECT_EQ(job.NPRINT, 1);
    EXPECT_EQ(job.IRCH, 0);
    EXPECT_EQ(job.MODE, 2);
    EXPECT_EQ(job.ICP, 1);
    EXPECT_EQ(job.IPRINT, 5);
    EXPECT_EQ(job.IGACC, 9);
    EXPECT_EQ(job.ATEMP, 298.1);
    EXPECT_EQ(job.SDWC, -0.001);
    EXPECT_EQ(job.SDRC, 0.05);
    EXPECT_EQ(job.mNegative, 0);
    for (int i = 0; i < 7; ++i) {
        EXPECT_DOUBLE_EQ(job.P[i], saved.P[i]) << i;
        EXPECT_EQ(job.NFREE[i], saved.NFREE[i]) << i;
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_REL_NEAR((*job.FREQ)[i], (*saved.FREQ)[i], 5e-13);
        EXPECT_REL_NEAR((*job.DATA1)[i], (*saved.DATA1)[i], 5e-13);
        EXPECT_REL_NEAR((*job.DATA2)[i], (*saved.DATA2)[i], 5e-13);
        EXPECT_EQ((*job.WEIGHT1)[i], (*saved.WEIGHT1)[i]);
        EXPECT_EQ((*job.WEIGHT2)[i], (*saved.WEIGHT2)[i]);
    }
    // Saved again, the file is the same byte for byte.
    job.save("again.tst");
    EXPECT_EQ(readAll("again.tst"), readAll("job.tst"));
}

TEST_F(JobFile, RoundTripAtWrittenPrecision)
{
    FitJob saved;
    saved.CELCAP = 3.14159265e-12;
    saved.ATEMP = 1.0 / 3.0;
    saved.N = 1;
    saved.P[0] = 2.0 / 3.0;
    saved.allocateData(1, false);
    saved.IRCH = 1;
    (*saved.DATA1)[0] = 1.0 / 7.0;
    saved.save("INFL");
    FitJob job;
    job.load("INFL");
    EXPECT_EQ(job.CELCAP, 3.142e-12);
    EXPECT_EQ(job.ATEMP, 0.3333);
    EXPECT_EQ(job.P[0], 0.66666667);
    EXPECT_EQ((*job.DATA1)[0], 0.1428571428571);
}

TEST_F(JobFile, LfAndCrLfFilesAndMissingLastTerminator)
{
    auto lines = fileLines(2, 0, 6);
    FitJob crlf, lf, open;
    writeAll("crlf", joined(lines, "\r\n"));
    writeAll("lf", joined(lines, "\n"));
    writeAll("open", joined(lines, "\n", false));
    crlf.load("crlf");
    lf.load("lf");
    open.load("open");
    for (FitJob* job : {&crlf, &lf, &open}) {
        EXPECT_EQ(job->description, "test");
        EXPECT_EQ(job->N, 6);
        EXPECT_EQ(job->P[5], 6.0);
        EXPECT_EQ(job->M, 2);
        EXPECT_EQ((*job->FREQ)[1], 2.0);
        EXPECT_EQ((*job->WEIGHT1)[1], 1.0);
    }
}

TEST_F(JobFile, ParameterLineCounts)
{
    EXPECT_EQ(fileLines(0, 1, 7).size(), 3u + 2 + 1);
    EXPECT_EQ(fileLines(0, 1, 5).size(), 3u + 1 + 1);
    EXPECT_EQ(fileLines(0, 1, 0).size(), 3u + 0 + 1);
    auto lines = fileLines(0, 1, 7);
    EXPECT_EQ(lines[3].size(), 75u);
    EXPECT_EQ(lines[4].size(), 30u);
}

TEST_F(JobFile, ShortLinesGiveZerosAndBlankCelcapGivesOne)
{
    auto lines = fileLines(0, 1);
    lines[1] = "   0  ZZRRF A          C         0 .0000D+00     0     0";
    writeAll("INFL", joined(lines));
    FitJob job;
    job.ECINF = 5;
    job.SDWC = 5;
    job.load("INFL");
    EXPECT_EQ(job.CELCAP, 1.0);
    EXPECT_EQ(job.ECINF, 0.0);
    EXPECT_EQ(job.EC0, 0.0);
    EXPECT_EQ(job.SDWC, 0.0);
    EXPECT_EQ(job.SDRC, 0.0);
}

TEST_F(JobFile, BadOptionalPairIsIgnored)
{
    auto lines = fileLines(0, 1);
    lines[1] += "  .5000D+01  garbage!!";
    lines[2] += "  nonsense    .2000D+01";
    writeAll("INFL", joined(lines));
    FitJob job;
    job.load("INFL");
    EXPECT_EQ(job.ECINF, 5.0);
    EXPECT_EQ(job.EC0, 0.0);
    EXPECT_EQ(job.SDRC, 0.0);
}

TEST_F(JobFile, NegativeCountMeansVacuumCapacitance)
{
    auto lines = fileLines(1, 2);
    lines[1].replace(13, 10, " .5000D+01");
    lines[2].replace(0, 5, "   -1");
    writeAll("INFL", joined(lines));
    FitJob job;
    job.load("INFL");
    EXPECT_EQ(job.M, 1);
    EXPECT_EQ(job.mNegative, 1);
    EXPECT_EQ(job.CELCAP, 8.8541878e-14);
    job.save("OUT");
    EXPECT_EQ(linesOf(readAll("OUT"))[2].substr(0, 5), "   -1");
}

TEST_F(JobFile, NoWeightLinesWithoutWeightingAndTrailingLinesIgnored)
{
    auto lines = fileLines(2, 2);
    EXPECT_EQ(lines.size(), 4u + 2);
    lines.push_back("anything at all");
    writeAll("INFL", joined(lines));
    FitJob job;
    job.load("INFL");
    EXPECT_EQ(job.M, 2);
    EXPECT_TRUE(job.hasData());
    EXPECT_FALSE(job.WEIGHT1 || job.WEIGHT2);
}

TEST_F(JobFile, EndOfFileMessages)
{
    FitJob job;
    auto lines = fileLines(3, 0, 1);  // 5 header lines, 3 data, 3 weights
    std::vector<std::string> header(lines.begin(), lines.begin() + 5);
    writeAll("ended", joined(header));
    EXPECT_EQ(loadFailure(job, "ended"), "Input file format error: the file ends after line 5 (line 6 expected)!");
    writeAll("open", joined(header, "\r\n", false));
    EXPECT_EQ(loadFailure(job, "open"), "Corrupted NUSK input file! Data lines not found!");

    std::vector<std::string> noWeights(lines.begin(), lines.begin() + 8);
    writeAll("open", joined(noWeights, "\n", false));
    EXPECT_EQ(loadFailure(job, "open"), "Corrupted NUSK input file! Weight lines not found!");
    writeAll("ended", joined(noWeights, "\n"));
    EXPECT_EQ(loadFailure(job, "ended"), "Input file format error: the file ends after line 8 (line 9 expected)!");

    writeAll("short", "only a description");
    EXPECT_EQ(loadFailure(job, "short"), "Corrupted NUSK input file!");
    writeAll("empty", "");
    EXPECT_EQ(loadFailure(job, "empty"), "Input file format error: the file ends after line 0 (line 1 expected)!");
    EXPECT_EQ(loadFailure(job, "missing"), "Cannot open file 'missing'!");
}

TEST_F(JobFile, FieldErrorsNameTheField)
{
    // A bad field written over a valid file: line and first column from 0.
    struct Bad {
        std::size_t line, column;
        const char* text;
        const char* message;
    };
    const Bad cases[] = {
        {4, 0, "1x1", "NFREE[1]. Wrong integer! 'x'"},
        {2, 40, "  1.5", "GACC. Wrong integer! '  1.5'"},
        {5, 35, "     0.5 junk       ", "DATA1[0]. Wrong double! '     0.5 junk'"},
        {5, 10, "           1.0e+xx  ", "FREEQ[0]. Wrong double! '           1.0e+xx'"},
    };
    FitJob job;
    const auto lines = fileLines(1, 1, 3);
    for (const Bad& c : cases) {
        auto bad = lines;
        bad[c.line].replace(c.column, std::strlen(c.text), c.text);
        writeAll("INFL", joined(bad));
        EXPECT_EQ(loadFailure(job, "INFL"), c.message);
    }
}

TEST_F(JobFile, TooManyParametersFailsKeepingWhatWasRead)
{
    FitJob job;
    job.N = 2;
    job.P[0] = 7;
    for (const char* count : {"   51", "   -1"}) {
        auto lines = fileLines(0, 1);
        lines[0] = "too many";
        lines[2].replace(5, 5, count);
        lines[2].replace(10, 5, "  300");
        writeAll("INFL", joined(lines));
        EXPECT_EQ(loadFailure(job, "INFL"), "Corrupted NUSK input file! Wrong number of parameters.");
        EXPECT_EQ(job.description, "too many");
        EXPECT_EQ(job.MAXFEV, 300);
        EXPECT_EQ(job.N, 2);  // the count is never taken beyond the 50 parameters
        EXPECT_EQ(job.P[0], 7.0);
    }
    auto lines = fileLines(0, 1, 50);
    writeAll("INFL", joined(lines));
    job.load("INFL");
    EXPECT_EQ(job.N, 50);
    EXPECT_EQ(job.P[49], 50.0);
}

TEST_F(JobFile, LongDescriptionLineIsCutNotSpilled)
{
    auto lines = fileLines(1, 1);
    lines[0] = std::string(80, 'd') + std::string(150, 'e');
    writeAll("INFL", joined(lines));
    FitJob job;
    job.load("INFL");
    EXPECT_EQ(job.description, std::string(80, 'd'));
    EXPECT_EQ(job.M, 1);
    EXPECT_EQ(job.IRCH, 1);
}

TEST_F(JobFile, HugeCountWithFewLinesFailsAndLeavesNoHalfArrays)
{
    auto lines = fileLines(2, 1);
    lines[2].replace(0, 5, "99999");
    writeAll("INFL", joined(lines, "\r\n", false));
    FitJob job = FitJob();
    job.allocateData(4, true);
    EXPECT_EQ(loadFailure(job, "INFL"), "Corrupted NUSK input file! Data lines not found!");
    // Rows are kept only when complete: never an array shorter than M.
    EXPECT_EQ(job.M, 0);
    EXPECT_FALSE(job.hasData());
    EXPECT_FALSE(job.WEIGHT1.has_value());
}

TEST_F(JobFile, FailedWeightLinesKeepTheDataRows)
{
    auto lines = fileLines(3, 0);
    lines.resize(8);  // header, 3 data lines, one weight line
    writeAll("INFL", joined(lines, "\r\n", false));
    FitJob job;
    EXPECT_EQ(loadFailure(job, "INFL"), "Corrupted NUSK input file! Weight lines not found!");
    EXPECT_EQ(job.M, 3);
    EXPECT_EQ(job.FREQ->size(), 3u);
    EXPECT_FALSE(job.WEIGHT1 || job.WEIGHT2);
}

TEST_F(JobFile, LoadHeaderReadsNoDataRows)
{
    fullJob().save("template.tmp");
    FitJob job;
    job.allocateData(5, true);
    job.loadHeader("template.tmp");
    EXPECT_EQ(job.M, 0);
    EXPECT_EQ(job.N, 7);
    EXPECT_EQ(job.NFREE[2], 2);
    EXPECT_EQ(job.FUN, 'K');
    EXPECT_FALSE(job.hasData());
    EXPECT_FALSE(job.WEIGHT1 || job.WEIGHT2);

    // A template may stop right after its free-code line.
    auto lines = fileLines(4, 0, 3);
    lines.resize(5);
    writeAll("short.tmp", joined(lines, "\n", false));
    job.loadHeader("short.tmp");
    EXPECT_EQ(job.N, 3);
    lines.resize(4);
    writeAll("shorter.tmp", joined(lines, "\n", false));
    EXPECT_EQ(loadFailure(job, "shorter.tmp", true), "Corrupted NUSK input file!");
}

TEST_F(JobFile, DescriptionWithLineBreakCannotShiftTheLines)
{
    FitJob job;
    job.description = "two\nlines";
    job.save("INFL");
    FitJob back;
    back.load("INFL");
    EXPECT_EQ(back.description, "two lines");
}

TEST_F(JobFile, SaveFailingPartWayKeepsTheOldFile)
{
    FitJob small;
    small.description = "the old one";
    small.save("INFL");
    const std::string old = readAll("INFL");

    FitJob big;
    big.allocateData(20000, true);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 64 * 1024;  // a disk that fills up after 64 KiB
    setrlimit(RLIMIT_FSIZE, &tight);
    std::string message;
    try {
        big.save("INFL");
    } catch (const exception& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Cannot write file 'INFL'!");
    EXPECT_EQ(readAll("INFL"), old);
    std::size_t files = 0;
    for (auto& entry : std::filesystem::directory_iterator("."))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);  // no temporary file left behind
}

TEST_F(JobFile, SaveIntoMissingFolderOrReadOnlyFile)
{
    FitJob job;
    try {
        job.save("no/such/folder/INFL");
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const exception& e) {
        EXPECT_STREQ(e.what(), "Cannot open file 'no/such/folder/INFL'!");
    }
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    writeAll("locked", "keep me");
    std::filesystem::permissions("locked", std::filesystem::perms::owner_read);
    EXPECT_THROW(job.save("locked"), exception);
    EXPECT_EQ(readAll("locked"), "keep me");
}

TEST_F(JobFile, SaveKeepsPermissionsAndFollowsLinks)
{
    writeAll("real", "old");
    std::filesystem::permissions("real", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
                                             | std::filesystem::perms::group_read);
    std::filesystem::create_symlink("real", "INFL");
    FitJob job;
    job.description = "new";
    job.save("INFL");
    EXPECT_TRUE(std::filesystem::is_symlink("INFL"));
    EXPECT_EQ(readAll("real").substr(0, 5), "new\r\n");
    auto perms = std::filesystem::status("real").permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
                  | std::filesystem::perms::group_read);
}

TEST_F(JobFile, FiveDigitCountsKeepTheirColumns)
{
    FitJob job;
    job.MAXFEV = 10000;
    job.IRCH = 0;
    job.IPAR = -999999999;
    job.allocateData(10001, true);
    (*job.FREQ)[9999] = 5.0;
    (*job.WEIGHT2)[10000] = -7.0;
    job.save("INFL");
    auto lines = linesOf(readAll("INFL"));
    EXPECT_EQ(lines[2].substr(0, 20), "10001    010000    0");  // M, N, MAXFEV, NPRINT
    EXPECT_EQ(lines[1].size(), 56u);
    EXPECT_EQ(lines[2].size(), 55u);
    EXPECT_EQ(lines[4 + 9999].substr(0, 30), "10000       .5000000000000D+01");
    EXPECT_EQ(lines[4 + 10001 + 10000].size(), 80u);
    FitJob back;
    back.load("INFL");
    EXPECT_EQ(back.M, 10001);
    EXPECT_EQ(back.MAXFEV, 10000);
    EXPECT_EQ(back.IPAR, -999999999);
    EXPECT_EQ((*back.FREQ)[9999], 5.0);
    EXPECT_EQ((*back.WEIGHT2)[10000], -7.0);
}

TEST_F(JobFile, ValuesBeyondTheirFieldsStopTheSave)
{
    FitJob old;
    old.save("INFL");
    const std::string before = readAll("INFL");
    auto saveFailure = [](const FitJob& job) {
        try {
            job.save("INFL");
        } catch (const exception& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    FitJob job;
    // The message gives the limit of the field.
    job.allocateData(100000, false);
    EXPECT_EQ(saveFailure(job), "M does not fit its field in the input file: 100000 is above 99999!");
    job.allocateData(10000, false);
    job.mNegative = 1;
    EXPECT_EQ(saveFailure(job), "M does not fit its field in the input file: -10000 is below -9999!");
    FitJob codes;
    codes.N = 3;
    codes.NFREE[2] = 12;
    EXPECT_EQ(saveFailure(codes), "NFREE[2] does not fit its field in the input file: 12 is above 9!");
    FitJob maxfev;
    maxfev.MAXFEV = 100000;
    EXPECT_EQ(saveFailure(maxfev), "MAXFEV does not fit its field in the input file: 100000 is above 99999!");
    FitJob many;
    many.N = 51;
    EXPECT_EQ(saveFailure(many), "Wrong parameters number!");
    EXPECT_EQ(readAll("INFL"), before);
}

TEST_F(JobFile, ThreeDigitExponentsKeepTheColumns)
{
    FitJob job;
    job.CELCAP = 1e-120;
    job.ROE = -2.5e150;
    job.IRCH = 1;
    job.allocateData(1, false);
    (*job.FREQ)[0] = 1e300;
    (*job.DATA1)[0] = -1.2345678901234e-200;
    (*job.DATA2)[0] = 4.9e-324;
    job.save("INFL");
    auto lines = linesOf(readAll("INFL"));
    EXPECT_EQ(lines[1].substr(13, 10), ".1000D-119");
    EXPECT_EQ(lines[1].substr(34, 10), "-.250D+151");
    EXPECT_EQ(lines[4].size(), 80u);
    FitJob back;
    back.load("INFL");
    EXPECT_EQ(back.CELCAP, 1e-120);
    EXPECT_EQ(back.ROE, -2.5e150);
    EXPECT_EQ((*back.FREQ)[0], 1e300);
    EXPECT_REL_NEAR((*back.DATA1)[0], -1.2345678901234e-200, 1e-11);
    EXPECT_EQ((*back.DATA2)[0], 4.9e-324);
}

TEST_F(JobFile, NonFiniteValuesSurviveSaveAndLoad)
{
    FitJob job;
    job.IRCH = 1;
    job.allocateData(1, false);
    (*job.DATA1)[0] = INFINITY;
    (*job.DATA2)[0] = NAN;
    job.save("INFL");
    FitJob back;
    back.load("INFL");
    EXPECT_TRUE(std::isinf((*back.DATA1)[0]));
    EXPECT_TRUE(std::isnan((*back.DATA2)[0]));
}
