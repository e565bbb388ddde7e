// noskrun --series from the command line to its files: a series of job
// files fitted and written, and each input it cannot fit refused with a
// message naming the file or the parameter, an existing table kept whole.
#include "SeriesCommand.h"

#include "CommandLine.h"
#include "engine/series/ParameterRoles.h"
#include "support/SyntheticData.h"
#include "support/TempDir.h"

#include "job/FitJob.h"
#include "results/SeriesCurve.h"
#include "results/SeriesResultReader.h"

#include <QImage>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nosk {
namespace {

using ::testing::HasSubstr;

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// R0 + (R1 || CPE): circuit S with the second arc shorted and no third CPE,
// R1 following Arrhenius with Ea 0.5 eV. The start values are off the truth.
void writeSpectrum(const std::string& path, double T)
{
    FitJob job = impedanceFitJob('S', 11, "series command test");
    job.IRCH = 3;
    const double truth[11] = {5, 0, 0, 100 * std::exp(0.5 / series::kBoltzmannEv * (1 / T - 1 / 300.0)), 1e-6, 0.8,
        0, 0, 0, 0, 0};
    const int codes[11] = {1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 11; ++i) {
        job.P[i] = truth[i];
        job.NFREE[i] = codes[i];
    }
    test::fillSyntheticData(job, job.P, test::logSpaced(1, 1e6, 31), 0.005, static_cast<unsigned>(T));
    job.P[0] = 7;
    job.P[3] = 150;
    job.save(path);
}

struct Outcome {
    int status;
    std::string err;
};

Outcome series(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"--series"};
    all.insert(all.end(), args.begin(), args.end());
    const CommandLine cl = CommandLine::parse(all);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = runSeriesCommand(cl);
    ::testing::internal::GetCapturedStdout();
    return {status, ::testing::internal::GetCapturedStderr()};
}

class SeriesCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int T : {280, 300, 320})
            writeSpectrum(dir.file("cell_" + std::to_string(T) + ".TST"), T);
        std::ofstream("list.csv") << "file,T/K\ncell_280.TST,280\ncell_300.TST,300\ncell_320.TST,320\n";
        std::ofstream("t.csv") << "the table of an earlier run\n";
    }
    test::TempWorkDir dir;
};

TEST_F(SeriesCommand, FitsAListAndWritesTableAndResult)
{
    const Outcome run = series({"list.csv", "--shared", "P1,P6", "--vary", "P4=arrhenius", "--out", "t.csv", "--json",
        "r.json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string table = readText("t.csv");
    EXPECT_THAT(table, ::testing::StartsWith("file,T/K,S,P1,P1 std dev,P1 status,P4,"));
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);
    const std::string json = readText("r.json");
    for (const char* key : {"\"P4.Ea\"", "\"P4.A\"", "\"ci95\"", "\"f_statistic\"", "\"aic_independent\"",
             "\"verdict\"", "\"spectra\""})
        EXPECT_THAT(json, HasSubstr(key));
    // The same series from the files, the covariate from their names.
    EXPECT_EQ(series({"cell_280.TST", "cell_300.TST", "cell_320.TST", "--covariate", "T/K", "--vary",
                  "P4=arrhenius", "--out", "u.csv"}).status, 0);
    EXPECT_THAT(readText("u.csv"), HasSubstr("cell_320.TST,320,"));
}

TEST_F(SeriesCommand, RefusesBadInputsAndKeepsTheTable)
{
    struct Case {
        std::vector<std::string> args;
        std::string list;  // the list file's text, when the case needs its own
        std::string message;
    };
    const Case cases[] = {
        {{"list.csv", "--vary", "P2=arrhenius"}, "", "P2 is fixed in the template: it cannot be arrhenius"},
        {{"list.csv", "--vary", "P4=sigmoid"}, "", "no function \"sigmoid\""},
        {{"list.csv", "--shared", "P12"}, "", "there is no parameter P12"},
        {{"bad.csv", "--vary", "P4=arrhenius"}, "file,T/K\ncell_280.TST,280\ncell_300.TST,\n", "bad.csv line 3: no value of T/K"},
        {{"bad.csv"}, "file,T/K\ncell_280.TST,280\nmissing.TST,290\n", "missing.TST"},
        {{"bad.csv", "--vary", "P4=arrhenius"}, "file,T/degC\ncell_280.TST,-300\ncell_300.TST,20\n",
            "cell_280.TST: the temperature"},
        {{"bad.csv", "--vary", "P4=arrhenius"}, "file,E/mV\ncell_280.TST,0\ncell_300.TST,20\n",
            "a temperature in K or degC, and E/mV is not"},
    };
    for (const Case& c : cases) {
        if (!c.list.empty())
            std::ofstream("bad.csv") << c.list;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--out", "t.csv", "--json", "r.json"});
        const Outcome run = series(args);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_EQ(readText("t.csv"), "the table of an earlier run\n") << c.message;
        EXPECT_FALSE(std::ifstream("r.json").good()) << c.message;
    }
}

// Files without a covariate: numbered in their order when no parameter
// follows a function, refused naming the file when one does.
TEST_F(SeriesCommand, WithoutCovariateTheSpectraAreNumberedUnlessAFunctionNeedsOne)
{
    for (const char* name : {"alpha", "beta", "gamma"})
        std::filesystem::copy_file("cell_300.TST", std::string(name) + ".TST");
    ::testing::internal::CaptureStdout();
    const int status = runSeriesCommand(CommandLine::parse({"--series", "alpha.TST", "beta.TST", "gamma.TST",
        "--shared", "P1,P6", "--out", "t.csv", "--json", "r.json"}));
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(status, 0);
    const std::string table = readText("t.csv");
    EXPECT_THAT(table, ::testing::StartsWith("file,index,S,"));
    EXPECT_THAT(table, HasSubstr("\nbeta.TST,2,"));
    EXPECT_THAT(table, HasSubstr("\ngamma.TST,3,"));
    EXPECT_THAT(out, HasSubstr("numbered 1 to 3"));
    EXPECT_THAT(readText("r.json"), HasSubstr("\"name\": \"index\""));

    std::ofstream("t.csv") << "the table of an earlier run\n";
    std::remove("r.json");
    const Outcome refused = series({"alpha.TST", "beta.TST", "--covariate", "E/mV", "--vary", "P4=linear", "--out",
        "t.csv", "--json", "r.json"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("alpha.TST: no value of E/mV"));
    EXPECT_EQ(readText("t.csv"), "the table of an earlier run\n");
    EXPECT_FALSE(std::ifstream("r.json").good());
}

TEST_F(SeriesCommand, OneSpectrumIsItsSingleFit)
{
    std::ofstream("one.csv") << "file,T/K\ncell_300.TST,300\n";
    const Outcome run = series({"one.csv", "--shared", "P1", "--vary", "P4=arrhenius", "--out", "t.csv", "--json",
        "r.json", "--plot", "r.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(readText("r.json"), HasSubstr("\"single_fit\": true"));
    // Read back (and drawn): the function fitted as a value is local there.
    const SeriesResultFile r = readSeriesResult("r.json");
    EXPECT_TRUE(r.singleFit);
    EXPECT_EQ(r.roles, (std::vector<std::string>{"shared", "local", "local", "local"}));
    EXPECT_FALSE(QImage(QStringLiteral("r.png")).isNull());
}

// The result as the viewer reads it back: every value of the table, the
// band of the Arrhenius parameter from the published coefficients and
// their correlations against the std dev the engine gives each spectrum
// from its own (centred) covariance, and the picture with the curve drawn.
TEST_F(SeriesCommand, ResultReadsBackWithItsBandAndPicture)
{
    std::ofstream("five.csv") << "file,T/degC\ncell_280.TST,6.85\ncell_290.TST,16.85\ncell_300.TST,26.85\n"
                                 "cell_310.TST,36.85\ncell_320.TST,46.85\n";
    for (int T : {290, 310})
        writeSpectrum(dir.file("cell_" + std::to_string(T) + ".TST"), T);
    const Outcome run = series({"five.csv", "--shared", "P1", "--vary", "P4=arrhenius", "--out", "t.csv", "--json",
        "r.json", "--plot", "r.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    const SeriesResultFile r = readSeriesResult("r.json");
    ASSERT_EQ(r.spectra.size(), 5u);
    EXPECT_EQ(r.covariateUnit, "degC");
    EXPECT_EQ(r.parameters, (std::vector<std::string>{"P1", "P4", "P5", "P6"}));
    EXPECT_EQ(r.roles, (std::vector<std::string>{"shared", "arrhenius", "local", "local"}));
    ASSERT_TRUE(r.tests.available);
    EXPECT_FALSE(r.tests.verdict.empty());

    // The table, written by its own writer with ten digits.
    std::istringstream table(readText("t.csv"));
    std::string line;
    std::getline(table, line);
    for (const SeriesSpectrum& s : r.spectra) {
        ASSERT_TRUE(std::getline(table, line));
        std::vector<std::string> cells;
        std::istringstream in(line);
        for (std::string c; std::getline(in, c, ',');)
            cells.push_back(c);
        ASSERT_EQ(cells.size(), 3 + 3 * r.parameters.size());
        EXPECT_EQ(cells[0], s.file);
        EXPECT_NEAR(std::stod(cells[1]), s.covariate, 1e-9);
        for (std::size_t j = 0; j < r.parameters.size(); ++j) {
            EXPECT_NEAR(std::stod(cells[3 + 3 * j]), s.joint[j].value, 1e-9 * std::abs(s.joint[j].value));
            EXPECT_NEAR(std::stod(cells[4 + 3 * j]), s.joint[j].stdDev, 1e-9 * s.joint[j].stdDev);
            EXPECT_EQ(cells[5 + 3 * j], s.joint[j].status);
        }
    }

    // The recovered activation energy, and the band at each temperature.
    const std::vector<int> k = r.coefficientsOf("P4");
    ASSERT_EQ(k.size(), 2u);
    EXPECT_NEAR(r.coefficients[static_cast<std::size_t>(k[1])].value, 0.5, 0.05);
    const SeriesPlotData d = seriesPlotData(r, "P4", 5);
    ASSERT_TRUE(d.arrhenius);
    const double t = seriesTFactor(r);
    EXPECT_GT(t, 1.9);
    EXPECT_LT(t, 2.1);
    // Five samples, even in 1/T from 280 K to 320 K: the first and last
    // are the ends of the series, where the engine gave the std dev.
    for (int end : {0, 4}) {
        const SeriesValue& v = r.spectra[end == 0 ? 0 : 4].joint[1];
        EXPECT_NEAR(d.curveX[end], 1000 / (r.spectra[end == 0 ? 0 : 4].covariate + 273.15), 1e-9);
        EXPECT_NEAR(std::exp(d.curve[end]), v.value, 1e-6 * v.value);
        EXPECT_NEAR((d.bandHigh[end] - d.curve[end]) / t, v.stdDev / v.value, 1e-4 * v.stdDev / v.value);
    }

    // The picture holds the function's red curve.
    const QImage image(QStringLiteral("r.png"));
    ASSERT_FALSE(image.isNull());
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            red += qRed(c) > 150 && qGreen(c) < 60 && qBlue(c) < 60;
        }
    EXPECT_GT(red, 50);
}

} // namespace
} // namespace nosk
