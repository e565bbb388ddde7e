#include "Analyses.h"
#include "BatchRun.h"
#include "analysis/kk/KramersKronig.h"
#include "analysis/zhit/Zhit.h"
#include "ops/KramersKronigRun.h"
#include "SeriesPlot.h"
#include "CommandLine.h"
#include "core/Exception.h"
#include "support/SyntheticData.h"
#include "job/FitJob.h"
#include "platform/Process.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <QCoreApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace nosk;

std::string engine()
{
    return (fs::path(QCoreApplication::applicationDirPath().toStdString()) / "noskwin").string();
}

std::string battery()
{
    // Appended, not a + chain: GCC 12 warns of a false overread on that.
    std::string path = NOSK_SOURCE_DIR;
    path += "/fittests/CKT.B/BDE16BAT.TST";
    return path;
}

// The table split into rows of fields (no quoted commas in these tests).
std::vector<std::vector<std::string>> readTable(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::string field;
        std::istringstream cells(line);
        while (std::getline(cells, field, ','))
            fields.push_back(field);
        if (!line.empty() && line.back() == ',')
            fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

TEST(BatchRun, OneBrokenSpectrumAmongGoodOnesFailsAloneAndTheTableReadsBack)
{
    test::TempWorkDir dir;
    fs::create_directory("series");
    for (int i : {1, 2, 10, 3})
        fs::copy_file(battery(), "series/soc" + std::to_string(i) + ".TST");
    test::writeAll("series/soc5.TST", "not a job\r\n");
    // A job the engine itself refuses: weighting code 7.
    FitJob refused;
    refused.load(battery());
    refused.IRCH = 7;
    refused.save("series/soc7.TST");
    test::writeAll("series/notes.txt", "no job: left out without a template\n");

    batch::Settings s;
    s.inputs = {"series", "missing.TST"};
    s.jobs = 3;
    s.engine = engine();
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const std::vector<batch::Row> rows = batch::run(s, launcher, progress, false);

    ASSERT_EQ(rows.size(), 7u);
    const char* order[] = {"soc1", "soc2", "soc3", "soc5", "soc7", "soc10", "missing"};
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(fs::path(rows[i].file).stem(), order[i]);
    EXPECT_FALSE(rows[3].ok);
    EXPECT_EQ(rows[3].status, -1);
    EXPECT_FALSE(rows[4].ok);
    EXPECT_EQ(rows[4].status, 1);
    EXPECT_NE(rows[4].reason.find("IRCH 7"), std::string::npos) << rows[4].reason;
    EXPECT_FALSE(rows[6].ok);
    EXPECT_NE(progress.str().find("7/7 done, 3 failed"), std::string::npos) << progress.str();

    // Every good spectrum gives the same fit as a single run would.
    for (std::size_t i : {0u, 1u, 2u, 5u}) {
        ASSERT_TRUE(rows[i].ok) << rows[i].reason;
        EXPECT_REL_NEAR(rows[i].S, 1.3988019583e-4, 1e-6);
        EXPECT_EQ(rows[i].series, std::stod(std::string(order[i]).substr(3)));
    }
    EXPECT_EQ(rows[6].series, 7.0);  // no number in the name: its position

    const auto table = readTable(batch::formatTable(rows, {"Rs"}));
    ASSERT_EQ(table.size(), 8u);
    const auto& head = table[0];
    EXPECT_EQ(head[5], "Rs");
    EXPECT_EQ(head[6], "Rs std dev");
    EXPECT_EQ(head[7], "P2");
    EXPECT_EQ(head.back(), "reason");
    for (std::size_t r = 1; r < table.size(); ++r)
        ASSERT_EQ(table[r].size(), head.size()) << r;
    const auto& good = table[1];
    EXPECT_EQ(good.back(), "ok");
    EXPECT_REL_NEAR(std::stod(good[3]), rows[0].S, 1e-9);
    EXPECT_REL_NEAR(std::stod(good[5]), rows[0].value[0], 1e-9);
    EXPECT_REL_NEAR(std::stod(good[6]), rows[0].stdDev[0], 1e-9);
    // A fixed parameter (p5 is 0, fixed) has a value but no std dev.
    EXPECT_EQ(good[5 + 2 * 4], "0");
    EXPECT_EQ(good[6 + 2 * 4], "");
    EXPECT_EQ(table[5][table[5].size() - 2], "1");
    EXPECT_EQ(table[4][5], "");
}

TEST(BatchRun, ChainingStartsEachSpectrumFromThePreviousResult)
{
    test::TempWorkDir dir;
    // The second spectrum starts far off and may take only a few steps: on
    // its own it stops early, chained it starts at the optimum.
    FitJob far;
    far.load(battery());
    for (int i = 0; i < far.N; ++i) {
        if (far.NFREE[i] != 0 && i != 9)
            far.P[i] *= 3.0;
    }
    far.MAXFEV = 4;
    fs::copy_file(battery(), "a1.TST");
    far.save("a2.TST");
    test::writeAll("a0.TST", "broken\r\n");

    batch::Settings s;
    s.inputs = {"a0.TST", "a1.TST", "a2.TST"};
    s.engine = engine();
    s.jobs = 2;
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const auto alone = batch::run(s, launcher, progress, false);
    s.chain = true;
    const auto chained = batch::run(s, launcher, progress, false);

    ASSERT_EQ(chained.size(), 3u);
    EXPECT_FALSE(chained[0].ok);
    ASSERT_TRUE(chained[1].ok && chained[2].ok && alone[2].ok);
    // The broken first spectrum hands nothing on: the second fits as alone.
    EXPECT_DOUBLE_EQ(chained[1].S, alone[1].S);
    EXPECT_GT(alone[2].S, 3 * alone[1].S);
    EXPECT_REL_NEAR(chained[2].S, chained[1].S, 1e-3) << chained[2].S << " " << chained[1].S;
}

// Every end reaches the table: converged, MAXFEV, a DE leaving its range, a
// model computed without a fit; a parameter the data do not determine (the
// work folder's CIRCUITS drops L(p3) from letter T) has an empty std dev and
// is named, and a job that cannot run says what is missing.
TEST(BatchRun, EveryEndAndEveryUndeterminedParameterReachTheTable)
{
    test::TempWorkDir dir;
    FitJob maxfev;
    maxfev.load(battery());
    for (int i = 0; i < maxfev.N; ++i)
        if (maxfev.NFREE[i] != 0 && i != 9)
            maxfev.P[i] *= 3.0;
    maxfev.MAXFEV = 4;
    maxfev.save("b_maxfev.TST");
    FitJob deRange;
    deRange.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.A/ADE29.TST");
    deRange.P[7] = -0.99;
    deRange.save("c_derange.TST");
    FitJob model;
    model.load(battery());
    model.MAXFEV = 0;
    model.save("d_model.TST");
    fs::copy_file(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST", "e_undetermined.TST");
    FitJob empty;
    empty.load(battery());
    empty.N = 0;
    empty.save("f_noparams.TST");
    test::writeAll("g_short.TST", "a description only\r\n");
    fs::copy_file(battery(), "a_converged.TST");
    test::writeAll("CIRCUITS", "T = R(p1)-par(Q(p2,p5), R(p4)-Ws(p6,p7))\n");

    batch::Settings s;
    s.inputs = {"a_converged.TST", "b_maxfev.TST", "c_derange.TST", "d_model.TST", "e_undetermined.TST",
        "f_noparams.TST", "g_short.TST"};
    s.engine = engine();
    s.circuitsFile = "CIRCUITS";
    s.jobs = 2;
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const auto rows = batch::run(s, launcher, progress, false);
    ASSERT_EQ(rows.size(), 7u);
    const auto table = readTable(batch::formatTable(rows));
    const auto& head = table[0];
    ASSERT_EQ(head[head.size() - 3], "end");
    auto cell = [&](std::size_t row, std::size_t fromEnd) { return table[row + 1][table[row + 1].size() - fromEnd]; };
    EXPECT_EQ(cell(0, 3).rfind("converged (", 0), 0u) << cell(0, 3);
    EXPECT_EQ(cell(0, 1), "ok");
    EXPECT_EQ(cell(1, 3), "stopped at MAXFEV");
    EXPECT_EQ(cell(1, 1), "stopped at MAXFEV");
    EXPECT_EQ(cell(2, 3), "stopped: DE 29 (P8) left its range");
    EXPECT_EQ(cell(3, 3), "model computed without a fit");
    EXPECT_EQ(cell(3, 1), "ok");
    EXPECT_EQ(cell(4, 1), "not determined: P3");
    EXPECT_NE(cell(4, 3).find("; undetermined: P3"), std::string::npos) << cell(4, 3);
    ASSERT_TRUE(rows[4].ok);
    EXPECT_TRUE(std::isnan(rows[4].stdDev[2]));
    EXPECT_EQ(table[5][5 + 2 * 2 + 1], "");  // P3 std dev: empty, never 0
    EXPECT_NE(table[5][5 + 2 * 1 + 1], "");  // P2 std dev is there
    EXPECT_FALSE(rows[5].ok);
    EXPECT_NE(rows[5].reason.find("no parameters (N = 0"), std::string::npos) << rows[5].reason;
    EXPECT_FALSE(rows[6].ok);
    EXPECT_NE(rows[6].reason.find("line"), std::string::npos) << rows[6].reason;
}

// Along a chain a value the previous fit left at the bound of ln p is not
// carried: the next spectrum starts that parameter where its job does and
// finds the inductance its data have (from 3e-308 it could not move). The
// end column names the parameter at bound, the reason column is not "ok"
// and says what the others' std devs hold only given; a value outside its
// physical range (an exponent the user's own limits let go to 1.3) is
// flagged.
TEST(BatchRun, AValueAtABoundIsNotChainedAndTheTableSaysWhatIsWrong)
{
    test::TempWorkDir dir;
    // s1's high frequencies bend below the series resistance as a negative
    // inductance would: L, kept positive, runs towards 0.
    auto randles = [](double inductance) {
        FitJob job = impedanceFitJob('R', 5, "chain");
        const double truth[5] = {10.0, 2e-5, inductance, 100.0, 50.0};
        for (int i = 0; i < 5; ++i) {
            job.P[i] = truth[i];
            job.NFREE[i] = 1;
        }
        test::fillSyntheticData(job, job.P, test::logSpaced(1e-2, 1e5, 40), 0.01, 7);
        job.P[2] = 1e-8;
        return job;
    };
    randles(-2e-6).save("s1.TST");
    randles(1e-5).save("s2.TST");

    batch::Settings s;
    s.inputs = {"s1.TST", "s2.TST"};
    s.engine = engine();
    s.chain = true;
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const auto rows = batch::run(s, launcher, progress, false);
    ASSERT_TRUE(rows[0].ok && rows[1].ok) << rows[0].reason << rows[1].reason;
    EXPECT_LT(rows[0].value[2], 1e-300);
    EXPECT_EQ(rows[0].atBound, "P3");
    EXPECT_REL_NEAR(rows[1].value[2], 1e-5, 0.05);
    EXPECT_TRUE(rows[1].atBound.empty());
    const auto table = readTable(batch::formatTable(rows));
    const auto& first = table[1];
    EXPECT_EQ(first[first.size() - 3].rfind("converged (", 0), 0u);
    EXPECT_NE(first[first.size() - 3].find("; at bound: P3"), std::string::npos) << first[first.size() - 3];
    EXPECT_EQ(first[5 + 2 * 2 + 1], "");  // no std dev of L
    // The reason holds a comma-free text here: "at bound: P3 (std devs given P3 = 0)".
    EXPECT_EQ(first.back(), "at bound: P3 (std devs given P3 = 0)");
    EXPECT_EQ(table[2].back(), "ok");

    FitJob steep = impedanceFitJob('S', 11, "steep CPE tail");
    const double truth[11] = {0.02, 0, 1e-7, 0.01, 2.0, 0.8, 0.02, 20.0, 0.7, 500.0, 1.3};
    for (int i = 0; i < 11; ++i) {
        steep.P[i] = truth[i];
        steep.NFREE[i] = i == 1 || i == 2 ? 0 : 1;
    }
    test::fillSyntheticData(steep, steep.P, test::logSpaced(1e-2, 1e5, 40), 0.0, 1);
    steep.P[10] = 0.8;
    steep.LOWER[10] = 0.1;
    steep.UPPER[10] = 2.0;
    steep.save("s3.TST");
    s.inputs = {"s3.TST"};
    s.chain = false;
    const auto own = batch::run(s, launcher, progress, false);
    ASSERT_TRUE(own[0].ok) << own[0].reason;
    EXPECT_EQ(own[0].unphysical, "P11 = 1.3 outside (0, 1]");
    const std::string flagged = batch::formatTable(own);
    EXPECT_NE(flagged.find(",\"unphysical: P11 = 1.3 outside (0, 1]\"\n"), std::string::npos) << flagged;
}

TEST(BatchRun, DataFilesTakeTheTemplatesModelAndSeriesNumbersComeFromNames)
{
    test::TempWorkDir dir;
    fs::create_directory("t");
    fs::copy_file(std::string(NOSK_SOURCE_DIR) + "/tests/data/battery-eis.txt", "t/cell_25.5C.txt");
    test::writeAll("t/cell_40C.txt", "no numbers here\n");
    batch::Settings s;
    s.inputs = {"t"};
    s.templateFile = battery();
    s.engine = engine();
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const auto rows = batch::run(s, launcher, progress, false);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_TRUE(rows[0].ok) << rows[0].reason;
    EXPECT_REL_NEAR(rows[0].S, 1.3988019583e-4, 1e-4);
    EXPECT_EQ(rows[0].series, 25.5);
    EXPECT_FALSE(rows[1].ok);
    EXPECT_EQ(rows[1].series, 40.0);

    s.templateFile = "absent.TST";
    const auto noTemplate = batch::run(s, launcher, progress, false);
    ASSERT_EQ(noTemplate.size(), 2u);
    EXPECT_FALSE(noTemplate[0].ok);
    EXPECT_EQ(noTemplate[0].reason.rfind("template: ", 0), 0u);

    EXPECT_TRUE(std::isnan(batch::seriesNumber("dir7/plain.txt")));
    EXPECT_EQ(batch::seriesNumber("run-3/T_-20.TST"), -20.0);
    EXPECT_EQ(batch::seriesNumber("cell-20.TST"), 20.0);  // a dash after a letter separates
    EXPECT_EQ(batch::seriesNumber("soc_007.TST"), 7.0);
}

TEST(CommandLine, KkAndBatchOptions)
{
    using Mode = CommandLine::Mode;
    const CommandLine kk = CommandLine::parse({"--kk", "cell.TST"});
    EXPECT_EQ(kk.mode, Mode::Kk);
    EXPECT_EQ(kk.file, "cell.TST");

    const CommandLine b = CommandLine::parse(
        {"--batch", "a.TST", "dir", "--template", "t.TST", "--jobs", "3", "--out", "x.csv", "--chain"});
    EXPECT_EQ(b.mode, Mode::Batch);
    EXPECT_EQ(b.inputs, (std::vector<std::string>{"a.TST", "dir"}));
    EXPECT_EQ(b.templateFile, "t.TST");
    EXPECT_EQ(b.jobs, 3);
    EXPECT_EQ(b.outFile, "x.csv");
    EXPECT_TRUE(b.chain);

    EXPECT_THROW(CommandLine::parse({"--batch"}), nosk::exception);
    EXPECT_THROW(CommandLine::parse({"--batch", "a", "--jobs", "0"}), nosk::exception);
    EXPECT_THROW(CommandLine::parse({"--batch", "a", "--jobs", "2x"}), nosk::exception);
    EXPECT_THROW(CommandLine::parse({"--jobs", "2", "a.TST"}), nosk::exception);
    EXPECT_THROW(CommandLine::parse({"--kk", "a", "--batch", "b"}), nosk::exception);
    EXPECT_THROW(CommandLine::parse({"--kk"}), nosk::exception);
}

} // namespace

namespace {

TEST(SeriesPlot, OnePanelPerFittedParameterFailedSpectraLeftOut)
{
    test::TempWorkDir dir;
    std::vector<batch::Row> rows;
    const double nan = std::nan("");
    for (int k = 0; k < 4; ++k) {
        batch::Row r;
        r.ok = k != 2;
        r.series = 10.0 * k;
        r.value = {1.0 + k, 5.0, 0.1 * k};
        r.stdDev = {0.1, nan, 0.01};  // the second parameter is fixed
        rows.push_back(r);
    }
    EXPECT_EQ(writeSeriesPlot(rows, {"p1: R"}, "plot.png"), "");
    QImage image(QStringLiteral("plot.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 2 * 420);  // two fitted parameters side by side
    EXPECT_EQ(image.height(), 300);

    for (batch::Row& r : rows)
        r.stdDev = {nan, nan, nan};
    EXPECT_EQ(writeSeriesPlot(rows, {}, "none.png"), "no fitted parameter to draw");
    EXPECT_FALSE(fs::exists("none.png"));
    rows[0].stdDev[0] = 0.1;
    EXPECT_NE(writeSeriesPlot(rows, {}, "missing-folder/plot.png"), "");
}

// The panels' axes on random series of every size and sign: the ends on
// ticks around every value and error bar, about four ticks at 1, 2 or 5
// times a power of ten, labels that read back as their ticks within a
// hundredth of a step, whole multiples of it; positive values never below 0, and a
// logarithmic axis from three decades on.
TEST(SeriesPlot, AxesAreRoundAndHoldEveryValue)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 3000; ++round) {
        const double scale = std::pow(10.0, -9 + 18 * unit(rng));
        const double offset = (unit(rng) - 0.3) * 3 * scale;
        const double spread = scale * std::pow(10.0, -3 * unit(rng));
        const int n = 1 + int(rng() % 8);
        std::vector<double> y, err;
        for (int i = 0; i < n; ++i) {
            y.push_back(offset + spread * unit(rng));
            err.push_back(round % 3 == 0 ? std::nan("") : 0.2 * spread * unit(rng));
        }
        const PlotAxis a = valueAxis(y, err);
        const bool positive = std::all_of(y.begin(), y.end(), [](double v) { return v > 0; });
        const double ratio = *std::max_element(y.begin(), y.end()) / *std::min_element(y.begin(), y.end());
        ASSERT_EQ(a.ticks.size(), a.labels.size());
        ASSERT_GE(a.ticks.size(), 2u) << round;
        EXPECT_LE(a.ticks.size(), 8u) << round;
        EXPECT_EQ(a.log, positive && ratio >= 1000) << round;
        EXPECT_EQ(a.ticks.front(), a.low);
        EXPECT_EQ(a.ticks.back(), a.high);
        if (positive) {
            EXPECT_GE(a.low, 0.0) << round;
        }
        for (std::size_t i = 0; i < y.size(); ++i) {
            EXPECT_LE(a.low, y[i] * (1 + 1e-12)) << round;
            EXPECT_GE(a.high, y[i] * (1 - 1e-12)) << round;
            const double e = std::isnan(err[i]) ? 0 : err[i];
            if (!a.log) {
                EXPECT_GE(a.high, y[i] + e - 1e-12 * std::abs(y[i] + e)) << round;
                if (!positive || y[i] - e > 0) {
                    EXPECT_LE(a.low, y[i] - e + 1e-12 * std::abs(y[i] - e)) << round;
                }
            }
        }
        const double step = a.log ? 0 : a.ticks[1] - a.ticks[0];
        if (!a.log) {
            const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
            EXPECT_TRUE(std::abs(mantissa - 1) < 1e-6 || std::abs(mantissa - 2) < 1e-6 ||
                        std::abs(mantissa - 5) < 1e-6) << step;
        }
        for (std::size_t k = 0; k < a.ticks.size(); ++k) {
            const double back = std::strtod(a.labels[k].c_str(), nullptr);
            const double tolerance = a.log ? a.ticks[k] * 1e-9 : step * 0.01;
            EXPECT_NEAR(back, a.ticks[k], tolerance) << a.labels[k] << " round " << round;
            // A label is a whole multiple of the step, never an unrounded value.
            if (!a.log) {
                EXPECT_NEAR(back / step, std::round(back / step), 1e-6) << a.labels[k];
            } else {
                EXPECT_NEAR(std::log10(a.ticks[k]), std::round(std::log10(a.ticks[k])), 1e-9);
            }
        }
    }
    // The two of the report: a value near 2.41 and one near -5.027e-07.
    const PlotAxis r = valueAxis({2.38, 2.41, 2.45});
    EXPECT_EQ(r.labels, (std::vector<std::string>{"2.38", "2.40", "2.42", "2.44", "2.46"}));
    const PlotAxis l = valueAxis({-5.027e-07, -4.1e-07, -2e-07});
    EXPECT_EQ(l.labels.front(), "-6e-7");
    EXPECT_EQ(valueAxis({2e-3, 5, 40}).labels, (std::vector<std::string>{"0.001", "0.01", "0.1", "1", "10", "100"}));
    batch::Row row;
    row.file = "data/cell 7 at 40 C.csv";
    EXPECT_EQ(drtLegendText(row), "cell 7 at 40 C.csv");
}

} // namespace

namespace {

TEST(BatchRun, AStopLeavesTheRemainingSpectraOutAsInterrupted)
{
    test::TempWorkDir dir;
    fs::copy_file(battery(), "a.TST");
    fs::copy_file(battery(), "b.TST");
    std::atomic<bool> stop{true};
    batch::Settings s;
    s.inputs = {"a.TST", "b.TST"};
    s.engine = "/nonexistent/engine";  // never started
    s.stop = &stop;
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const auto rows = batch::run(s, launcher, progress, false);
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& r : rows) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.reason, "interrupted");
        EXPECT_EQ(r.status, -1);
    }
    stop = false;
    const auto started = batch::run(s, launcher, progress, false);
    EXPECT_EQ(started[0].reason.rfind("Cannot run NOSK!", 0), 0u) << started[0].reason;
}

} // namespace

namespace {

TEST(BatchRun, TheWorkFoldersCircuitDefinitionsGoWithEverySpectrum)
{
    test::TempWorkDir dir;
    fs::copy_file(battery(), "a.TST");
    // Letter B redefined without its diffusion branch: another fit.
    test::writeAll("CIRCUITS", "B = R(p1)-par(C(p2),R(p4))-L(p3)\n");
    batch::Settings s;
    s.inputs = {"a.TST"};
    s.engine = engine();
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const auto builtIn = batch::run(s, launcher, progress, false);
    s.circuitsFile = fs::absolute("CIRCUITS").string();
    const auto own = batch::run(s, launcher, progress, false);
    ASSERT_TRUE(builtIn[0].ok && own[0].ok) << own[0].reason;
    EXPECT_GT(own[0].S, 2 * builtIn[0].S);

    test::writeAll("CIRCUITS", "B = R(p1\n");
    const auto broken = batch::run(s, launcher, progress, false);
    EXPECT_FALSE(broken[0].ok);
    EXPECT_EQ(broken[0].status, 1);
    EXPECT_NE(broken[0].reason.find("CIRCUITS"), std::string::npos) << broken[0].reason;
}

} // namespace

namespace {

// --check: a verdict column per analysis asked for, in the table's order,
// also for spectra whose fit fails; a spectrum that cannot be tested says
// why, and one left out by a stop has empty cells.
TEST(BatchRun, EveryCheckOfTheAnalysisTableGetsItsVerdictColumn)
{
    test::TempWorkDir dir;
    fs::copy_file(battery(), "a.TST");
    FitJob real;
    real.load(battery());
    real.DATTYP = 'R';
    real.save("b.TST");
    test::writeAll("c.TST", "a description only\r\n");
    batch::Settings s;
    s.inputs = {"a.TST", "b.TST", "c.TST"};
    s.engine = "/nonexistent/engine";  // the checks come before the fit
    for (const analyses::Analysis& a : analyses::all())
        if (a.checkName)
            s.checks.push_back(&a);
    ASSERT_EQ(s.checks.size(), 2u);
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    std::vector<batch::Row> rows = batch::run(s, launcher, progress, false);
    ASSERT_EQ(rows.size(), 3u);
    std::atomic<bool> stop{true};
    s.stop = &stop;
    rows.push_back(batch::run(s, launcher, progress, false)[0]);

    const std::string text = batch::formatTable(rows, {}, s.checks);
    const auto table = readTable(text);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[0][table[0].size() - 2], "KK verdict");
    EXPECT_EQ(table[0].back(), "Z-HIT verdict");
    // The verdicts of the first spectrum are those of the tests themselves.
    FitJob job;
    job.load(battery());
    const kkrun::Spectrum spectrum = kkrun::spectrumOf(job);
    const std::string kkVerdict = kk::test(spectrum.frequencyHz, spectrum.z).verdict.text();
    const std::string zhitVerdict = zhit::test(spectrum.frequencyHz, spectrum.z).verdict.text();
    EXPECT_EQ(rows[0].verdicts, (std::vector<std::string>{kkVerdict, zhitVerdict}));
    EXPECT_NE(text.find(kkVerdict), std::string::npos);
    for (std::size_t r : {1u, 2u}) {
        ASSERT_EQ(rows[r].verdicts.size(), 2u);
        for (const std::string& v : rows[r].verdicts)
            EXPECT_EQ(v.rfind("not tested: ", 0), 0u) << v;
    }
    EXPECT_NE(rows[1].verdicts[0].find("complex data"), std::string::npos) << rows[1].verdicts[0];
    EXPECT_EQ(rows[3].reason, batch::kInterrupted);
    EXPECT_EQ(table[4][table[4].size() - 1], "");
    EXPECT_EQ(table[4][table[4].size() - 2], "");
}

} // namespace
