#include "CommandLine.h"
#include "core/Exception.h"

#include <gtest/gtest.h>

using nosk::CommandLine;
using Mode = CommandLine::Mode;

namespace {

CommandLine parse(std::vector<std::string> args)
{
    return CommandLine::parse(args);
}

} // namespace

TEST(CommandLine, WindowModeJoinsWordsIntoOneFileName)
{
    EXPECT_EQ(parse({}).mode, Mode::Window);
    EXPECT_EQ(parse({}).file, "");
    const CommandLine cl = parse({"my", "cell.tst"});
    EXPECT_EQ(cl.mode, Mode::Window);
    EXPECT_EQ(cl.file, "my cell.tst");
    // Single-dash words and anything after "--" are file names.
    EXPECT_EQ(parse({"-", "-a.tst"}).file, "- -a.tst");
    EXPECT_EQ(parse({"--", "--odd.tst"}).file, "--odd.tst");
    EXPECT_NO_THROW(parse({"--", "--odd.tst"}));
}

TEST(CommandLine, RunAndHelp)
{
    const CommandLine run = parse({"--run", "job.tst"});
    EXPECT_EQ(run.mode, Mode::Run);
    EXPECT_EQ(run.file, "job.tst");
    EXPECT_EQ(parse({"-h"}).mode, Mode::Help);
    EXPECT_EQ(parse({"job.tst", "--help"}).mode, Mode::Help);
}

TEST(CommandLine, ImportWithItsTargetAndSpectrum)
{
    const CommandLine a = parse({"--import", "data/cell.csv"});
    EXPECT_EQ(a.mode, Mode::Import);
    EXPECT_EQ(a.file, "data/cell.csv");
    EXPECT_EQ(a.target, "");
    EXPECT_EQ(a.spectrum, 0);
    const CommandLine b = parse({"--to", "job.tst", "--spectrum", "3", "--import", "x.DTA"});
    EXPECT_EQ(b.target, "job.tst");
    EXPECT_EQ(b.spectrum, 3);
    // The job goes into the work folder, wherever the data lie.
    EXPECT_EQ(CommandLine::defaultImportTarget("data/cell.csv"), "cell.TST");
    EXPECT_EQ(CommandLine::defaultImportTarget("/mnt/usb/cell.v2.DTA"), "cell.v2.TST");
    EXPECT_EQ(CommandLine::defaultImportTarget("cell"), "cell.TST");
    EXPECT_EQ(CommandLine::defaultImportTarget("my.data/cell"), "cell.TST");
    EXPECT_EQ(CommandLine::defaultImportTarget("data/.hidden"), ".hidden.TST");
}

TEST(CommandLine, ValidationTestsAndTheirOptions)
{
    CommandLine cl = CommandLine::parse({"--kk", "cell.z", "--kk-cutoff", "0.5"});
    EXPECT_EQ(cl.mode, CommandLine::Mode::Kk);
    EXPECT_EQ(cl.file, "cell.z");
    EXPECT_DOUBLE_EQ(cl.kkCutoff, 0.5);
    EXPECT_DOUBLE_EQ(CommandLine::parse({"--kk", "cell.z"}).kkCutoff, 0.0);
    cl = CommandLine::parse({"--zhit", "cell.z"});
    EXPECT_EQ(cl.mode, CommandLine::Mode::Zhit);
    EXPECT_EQ(cl.file, "cell.z");
    cl = CommandLine::parse({"--batch", "d", "--check", "zhit", "--check", "kk"});
    EXPECT_TRUE(cl.checkKk && cl.checkZhit);
    EXPECT_EQ(cl.inputs, std::vector<std::string>{"d"});
}

TEST(CommandLine, MistakesAreErrorsNamingTheCulprit)
{
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"job.tst", "--verbose"}, "unknown option '--verbose'"},
        {{"--run"}, "--run needs a file name"},
        {{"--run", "--run", "a"}, "--run needs a file name"},
        {{"--run", "a", "b"}, "unexpected argument 'b'"},
        {{"--run", "a", "--run", "b"}, "--run given twice"},
        {{"--import", "a", "--run", "b"}, "--run cannot be combined with the other options given"},
        {{"--run", "a", "--to", "b"}, "--to belongs to --import"},
        {{"x.tst", "--spectrum", "2"}, "--spectrum belongs to --import"},
        {{"--import", "a", "--spectrum", "0"}, "--spectrum needs a number from 1"},
        {{"--import", "a", "--spectrum", "2x"}, "--spectrum needs a number from 1"},
        {{"--import", "a", "--to"}, "--to needs a file name"},
        {{"--zhit", "a", "--kk-cutoff", "0.5"}, "--kk-cutoff goes with --kk"},
        {{"--kk", "a", "--kk-cutoff", "1.5"}, "--kk-cutoff needs a number below 1 (such as 0.85)"},
        {{"--kk", "a", "--kk-cutoff"}, "--kk-cutoff needs a number below 1 (such as 0.85)"},
        {{"--kk", "a", "--zhit", "b"}, "--zhit cannot be combined with the other options given"},
        {{"--batch", "d", "--check", "drift"}, "--check needs kk or zhit"},
        {{"--kk", "a", "--check", "kk"}, "--check goes with --batch"},
    };
    for (const Case& c : cases) {
        try {
            CommandLine::parse(c.args);
            ADD_FAILURE() << "taken: " << c.args.front();
        } catch (const nosk::exception& e) {
            EXPECT_EQ(e.what(), c.error);
        }
    }
}
