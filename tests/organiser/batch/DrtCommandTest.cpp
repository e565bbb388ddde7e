#include "CommandLine.h"
#include "core/Exception.h"
#include "DrtCommand.h"
#include "HeadlessCommands.h"
#include "OrganiserTestSupport.h"
#include "ops/DrtRun.h"
#include "support/Files.h"
#include "support/Tolerance.h"

#include <QAction>

#include <gtest/gtest.h>

#include <complex>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace nosk;
using test::OrganiserFixture;

std::string battery()
{
    return std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.B/BDE16BAT.TST";
}

// A ZARC (100 Ohm, tau0 1 ms, phi 0.85) after 5 Ohm as an instrument table.
void writeZarcTable(const std::string& path)
{
    std::ostringstream out;
    out << "Freq/Hz,Z'/Ohm,Z''/Ohm\n";
    for (int i = 0; i < 60; ++i) {
        const double f = 1e5 * std::pow(10.0, -i / 8.0);
        const std::complex<double> z =
            5.0 + 100.0 / (1.0 + std::pow(std::complex<double>(0, 2 * std::numbers::pi * f * 1e-3), 0.85));
        out << f << ',' << z.real() << ',' << z.imag() << '\n';
    }
    test::writeAll(path, out.str());
}

TEST(DrtCommand, RunMenuWritesTheDrtWithItsBand)
{
    OrganiserFixture f;
    fs::copy_file(battery(), "B.TST");
    f.dlg->LoadJobFile("B.TST");
    f.options.notifyViewer = 1;
    QAction* action = f.dlg->action(QStringLiteral("&DRT..."));
    ASSERT_NE(action, nullptr);
    action->trigger();
    ASSERT_FALSE(f.prompt.messages.empty());
    EXPECT_EQ(f.prompt.lastMessage().caption, "DRT");
    EXPECT_NE(f.prompt.lastMessage().text.find("Peak   tau (s)"), std::string::npos) << f.prompt.lastMessage().text;
    const std::string text = test::readAll("DRT");
    std::istringstream in(text);
    const drt::Table table = drt::readTable(in);
    ASSERT_FALSE(table.tau.empty());
    EXPECT_EQ(table.bandLow.size(), table.tau.size());
    EXPECT_FALSE(table.peaks.empty());
    for (std::size_t i = 0; i < table.tau.size(); ++i)
        EXPECT_LE(table.bandLow[i], table.bandHigh[i]);
    EXPECT_EQ(f.notifier.count, 1);

    // Real-only data have no DRT: an error box, the old file stays.
    FitJob job;
    job.load("B.TST");
    job.DATTYP = 'R';
    job.save("R.TST");
    f.dlg->LoadJobFile("R.TST");
    action->trigger();
    EXPECT_NE(f.prompt.lastMessage().text.find("complex data"), std::string::npos);
    EXPECT_EQ(test::readAll("DRT"), text);
    EXPECT_EQ(f.notifier.count, 1);
}

TEST(DrtCommand, HeadlessFromAnInstrumentFile)
{
    OrganiserFixture f;
    writeZarcTable("zarc.csv");
    ASSERT_EQ(runDrtCommand("zarc.csv", false), 0);
    std::ifstream in("DRT");
    const drt::Table table = drt::readTable(in);
    ASSERT_EQ(table.peaks.size(), 1u);
    EXPECT_REL_NEAR(table.peaks[0].tau, 1e-3, 0.03);
    EXPECT_REL_NEAR(table.peaks[0].area, 100.0, 0.05);
    EXPECT_TRUE(table.bandLow.empty());
    // At least 20 points per decade over the measured time constants.
    EXPECT_LE(table.tau.front(), 1 / (2 * std::numbers::pi * 1e5));
    EXPECT_GE(table.tau.back(), 1 / (2 * std::numbers::pi * 1e5 * std::pow(10.0, -59 / 8.0)));
    EXPECT_GE(table.tau.size(), 20 * std::log10(table.tau.back() / table.tau.front()));

    // A file that cannot be read fails and leaves the table alone.
    const std::string before = test::readAll("DRT");
    EXPECT_EQ(runDrtCommand("missing.csv", false), 1);
    EXPECT_EQ(test::readAll("DRT"), before);
}

TEST(DrtCommand, BatchTableGetsAlignedPeakColumns)
{
    OrganiserFixture f;
    writeZarcTable("a1.csv");
    std::vector<batch::Row> rows(2);
    rows[0].file = "a1.csv";
    rows[1].file = "gone.csv";
    FitJob templ;
    templ.load(battery());
    templ.save("T.TST");
    const std::vector<BatchDrt> drts = batchDrts(rows, "T.TST");
    ASSERT_TRUE(drts[0].ok) << drts[0].reason;
    EXPECT_FALSE(drts[1].ok);
    const std::string table = appendDrtColumns(batch::formatTable(rows), drts);
    std::istringstream in(table);
    std::string line;
    std::vector<long> commas;
    while (std::getline(in, line))
        commas.push_back(std::count(line.begin(), line.end(), ','));
    ASSERT_EQ(commas.size(), 3u);
    EXPECT_EQ(commas[1], commas[0]);
    EXPECT_EQ(commas[2], commas[0]);
    EXPECT_NE(table.find("peak 1 tau (s)"), std::string::npos);
    EXPECT_EQ(drtPlotName("out/series.png"), "out/series-drt.png");
    EXPECT_EQ(drtPlotName(""), "drt.png");
}

TEST(DrtCommand, CommandLine)
{
    CommandLine cl = CommandLine::parse({"--drt", "cell.csv", "--band"});
    EXPECT_EQ(cl.mode, CommandLine::Mode::Drt);
    EXPECT_EQ(cl.file, "cell.csv");
    EXPECT_TRUE(cl.band);
    cl = CommandLine::parse({"--batch", "data", "--drt", "--template", "T.TST"});
    EXPECT_EQ(cl.mode, CommandLine::Mode::Batch);
    EXPECT_TRUE(cl.drt);
    EXPECT_EQ(cl.inputs, std::vector<std::string>{"data"});
    EXPECT_THROW(CommandLine::parse({"--drt"}), nosk::exception);
    EXPECT_THROW(CommandLine::parse({"--kk", "x.TST", "--band"}), nosk::exception);
}

} // namespace
