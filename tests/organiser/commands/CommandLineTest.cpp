#include "Analyses.h"
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
    // The verdict columns come in the order of the analyses, each once.
    cl = CommandLine::parse({"--batch", "d", "--check", "zhit", "--check", "kk", "--check", "zhit"});
    using nosk::analyses::ofCheck;
    EXPECT_EQ(cl.checks, (std::vector<const nosk::analyses::Analysis*>{ofCheck("kk"), ofCheck("zhit")}));
    EXPECT_EQ(cl.inputs, std::vector<std::string>{"d"});
}

TEST(CommandLine, SeriesTakesItsRolesAndFiles)
{
    const CommandLine cl = CommandLine::parse({"--series", "temps.csv", "--template", "j.tst", "--shared", "P1,P3",
        "--vary", "P4=arrhenius", "--shared", "P6", "--covariate", "T/K", "--json", "r.json", "--out", "t.csv"});
    EXPECT_EQ(cl.mode, CommandLine::Mode::Series);
    EXPECT_EQ(cl.inputs, std::vector<std::string>{"temps.csv"});
    EXPECT_EQ(cl.shared, (std::vector<std::string>{"P1", "P3", "P6"}));
    EXPECT_EQ(cl.vary, std::vector<std::string>{"P4=arrhenius"});
    EXPECT_EQ(cl.covariate, "T/K");
    EXPECT_EQ(cl.jsonFile, "r.json");
    EXPECT_EQ(cl.outFile, "t.csv");
}

TEST(CommandLine, SuggestAloneAndInTheBatch)
{
    CommandLine cl = CommandLine::parse({"--suggest", "cell.z", "--json", "r.json", "--top", "3"});
    EXPECT_EQ(cl.mode, Mode::Suggest);
    EXPECT_EQ(cl.file, "cell.z");
    EXPECT_EQ(cl.jsonFile, "r.json");
    EXPECT_EQ(cl.top, 3);
    // On a --batch line --suggest is a switch and the words are the inputs.
    cl = CommandLine::parse({"--batch", "--suggest", "d", "e.txt", "--top", "2"});
    EXPECT_EQ(cl.mode, Mode::Batch);
    EXPECT_TRUE(cl.suggest);
    EXPECT_EQ(cl.inputs, (std::vector<std::string>{"d", "e.txt"}));
    EXPECT_EQ(cl.top, 2);
    EXPECT_FALSE(CommandLine::parse({"--batch", "d"}).suggest);
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
        {{"--drt"}, "--drt needs a file name"},
        {{"--zhit", "a", "--band"}, "--band goes with --drt FILE"},
        {{"--starts", "0"}, "--starts needs a number from 1 to 10000"},
        {{"--run", "a", "--starts", "2", "--starts", "3"}, "--starts given twice"},
        {{"--kk", "a", "--starts", "2"}, "--starts goes with --run, --batch, --guess or --series"},
        {{"--guess", "a", "--engine", "x"}, "--engine goes with --run or --batch"},
        {{"--batch"}, "--batch needs files or folders"},
        {{"--batch", "d", "--jobs", "0"}, "--jobs needs a number from 1 to 1024"},
        {{"--batch", "d", "--template", "a", "--template", "b"}, "--template given twice"},
        // Of the options that belong to --batch alone, the last one given.
        {{"--kk", "a", "--jobs", "2", "--chain"}, "--chain goes with --batch"},
        {{"--kk", "a", "--plot", "p.png", "--out", "t.csv"}, "--out goes with --batch or --series"},
        {{"--chain", "--plot", "p.png", "x.tst"}, "--plot goes with --batch or --series"},
        {{"--series"}, "--series needs a list, a folder or files"},
        {{"--series", "l.csv", "--vary", "P4"}, "--vary needs a parameter and a function (such as P4=arrhenius)"},
        {{"--series", "l.csv", "--shared", "P1,,P3"}, "--shared needs parameters separated by commas (such as P1,P3)"},
        {{"--batch", "d", "--shared", "P1"}, "--shared goes with --series"},
        {{"--series", "l.csv", "--chain"}, "--chain goes with --batch"},
        {{"--suggest"}, "--suggest needs a file name"},
        {{"--suggest", "a", "--top", "0"}, "--top needs a number from 1 to 1000"},
        {{"--kk", "a", "--json", "r.json"}, "--json goes with --suggest FILE or --series"},
        {{"--kk", "a", "--top", "2"}, "--top goes with --suggest"},
        // A mistake before --help is still one.
        {{"--bogus", "--help"}, "unknown option '--bogus'"},
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

TEST(CommandLine, EveryAnalysisOfTheTableIsAMode)
{
    using nosk::analyses::Analysis;
    for (const Analysis& a : nosk::analyses::all()) {
        SCOPED_TRACE(a.flag);
        const CommandLine cl = parse({a.flag, "cell.z"});
        EXPECT_EQ(cl.mode, a.mode);
        EXPECT_EQ(cl.file, "cell.z");
        EXPECT_EQ(nosk::analyses::ofMode(a.mode), &a);
        EXPECT_THROW(parse({"--run", "job.tst", a.flag, "cell.z"}), nosk::exception);
        if (a.checkName) {
            EXPECT_EQ(parse({"--batch", "d", "--check", a.checkName}).checks, std::vector<const Analysis*>{&a});
            EXPECT_NE(a.verdict, nullptr);
        }
    }
    // On a --batch line --drt is the batch's switch, not the analysis of a file.
    const CommandLine batch = parse({"--drt", "d", "--batch"});
    EXPECT_EQ(batch.mode, Mode::Batch);
    EXPECT_TRUE(batch.drt);
    EXPECT_EQ(batch.inputs, std::vector<std::string>{"d"});
    EXPECT_FALSE(parse({"--drt", "d"}).drt);
}
