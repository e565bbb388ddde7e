#include "OrganiserTestSupport.h"
#include "Analyses.h"
#include "HeadlessCommands.h"
#include "core/Exception.h"
#include "job/DataStamp.h"
#include "engine/PreparedJob.h"
#include "ops/KramersKronigRun.h"
#include "ops/ZhitRun.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <QAction>

#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace nosk;
using test::OrganiserFixture;

std::string battery()
{
    return std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.B/BDE16BAT.TST";
}

TEST(KramersKronigCommand, TheSameSpectrumInAnyRepresentationGivesTheSameTest)
{
    FitJob z;
    z.load(battery());
    ASSERT_EQ(z.DINP, 'Z');
    ASSERT_EQ(z.PINP, 'R');
    ASSERT_EQ(z.FREEQ, 'F');
    const kkrun::Spectrum reference = kkrun::spectrumOf(z);

    // The same data as admittance in degrees against angular frequency, the
    // second column stored with the opposite sign.
    FitJob y = z;
    y.DINP = 'Y';
    y.PINP = 'D';
    y.FREEQ = ' ';
    y.NEG = 'N';
    for (int i = 0; i < z.M; ++i) {
        const std::size_t k = std::size_t(i);
        const std::complex<double> adm = 1.0 / std::complex<double>((*z.DATA1)[k], (*z.DATA2)[k]);
        (*y.FREQ)[k] = 2 * M_PI * (*z.FREQ)[k];
        (*y.DATA1)[k] = std::abs(adm);
        (*y.DATA2)[k] = -std::arg(adm) * 180 / M_PI;
    }
    const kkrun::Spectrum other = kkrun::spectrumOf(y);
    ASSERT_EQ(other.z.size(), reference.z.size());
    for (std::size_t i = 0; i < other.z.size(); ++i) {
        EXPECT_REL_NEAR(other.frequencyHz[i], reference.frequencyHz[i], 1e-9);
        EXPECT_REL_NEAR(other.z[i], reference.z[i], 1e-9) << i;
    }
    const kk::Result a = kk::test(reference.frequencyHz, reference.z);
    const kk::Result b = kk::test(other.frequencyHz, other.z);
    EXPECT_EQ(a.elements, b.elements);
    EXPECT_NEAR(a.mu, b.mu, 1e-6);

    FitJob real = z;
    real.DATTYP = 'R';
    EXPECT_THROW(kkrun::spectrumOf(real), nosk::exception);
    FitJob empty;
    EXPECT_THROW(kkrun::spectrumOf(empty), nosk::exception);
}

TEST(KramersKronigCommand, RunMenuTestsTheJobAndWritesKktest)
{
    OrganiserFixture f;
    fs::copy_file(battery(), "B.TST");
    f.dlg->LoadJobFile("B.TST");
    f.options.notifyViewer = 1;  // a running viewer reloads and shows the new page
    QAction* action = f.dlg->action(QStringLiteral("&Kramers-Kronig test..."));
    ASSERT_NE(action, nullptr);
    action->trigger();
    ASSERT_FALSE(f.prompt.messages.empty());
    const auto& shown = f.prompt.lastMessage();
    EXPECT_EQ(shown.caption, "Kramers-Kronig test");
    EXPECT_NE(shown.text.find("RC elements: M = 22, mu = 0.8473"), std::string::npos) << shown.text;
    EXPECT_NE(shown.text.find("\nVerdict: valid"), std::string::npos) << shown.text;
    const std::string table = test::readAll("KKTEST");
    // The data stamp, M and mu, the representation, the verdict and 66 points.
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 70);
    EXPECT_NE(table.find("# Verdict: valid"), std::string::npos);
    EXPECT_EQ(f.notifier.count, 1);

    // Real-only data cannot be tested: an error box, the old table stays.
    FitJob job;
    job.load("B.TST");
    job.DATTYP = 'R';
    job.save("R.TST");
    f.dlg->LoadJobFile("R.TST");
    action->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "The Kramers-Kronig test needs complex data (DATTYP C)!");
    EXPECT_EQ(test::readAll("KKTEST"), table);
    EXPECT_EQ(f.notifier.count, 1);
}

TEST(KramersKronigCommand, ZhitMenuTestsTheJobAndWritesZhittest)
{
    OrganiserFixture f;
    fs::copy_file(battery(), "B.TST");
    f.dlg->LoadJobFile("B.TST");
    f.options.notifyViewer = 1;
    QAction* action = f.dlg->action(QStringLiteral("&Z-HIT test..."));
    ASSERT_NE(action, nullptr);
    action->trigger();
    ASSERT_FALSE(f.prompt.messages.empty());
    const auto& shown = f.prompt.lastMessage();
    EXPECT_EQ(shown.caption, "Z-HIT test");
    EXPECT_NE(shown.text.find("\nVerdict: "), std::string::npos) << shown.text;
    std::istringstream in(test::readAll("ZHITTEST"));
    const zhit::Table table = zhit::readTable(in);
    EXPECT_EQ(table.frequencyHz.size(), 66u);
    EXPECT_NE(shown.text.find(table.verdict), std::string::npos);
    EXPECT_EQ(f.notifier.count, 1);

    // Data the test refuses: an error box, no table.
    fs::remove("ZHITTEST");
    FitJob job;
    job.load("B.TST");
    job.M = 4;
    job.save("S.TST");
    f.dlg->LoadJobFile("S.TST");
    action->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "Z-HIT test: at least 5 points are needed!");
    EXPECT_FALSE(fs::exists("ZHITTEST"));
}

// Every table names the data it was made from, so that the viewer can tell
// a page of other data: from the window the job's checksum (which INFL,
// once saved, gives too) and its description; from the terminal a job
// file's checksum or, for an instrument file, none, and the file's name.
TEST(KramersKronigCommand, EveryTableNamesTheDataItWasMadeFrom)
{
    OrganiserFixture f;
    fs::copy_file(battery(), "B.TST");
    f.dlg->LoadJobFile("B.TST");
    FitJob job;
    job.load("B.TST");
    const std::string sum = dataChecksum(job);
    for (const analyses::Analysis& a : analyses::all()) {
        f.dlg->action(QString::fromUtf8(a.menuText))->trigger();
        const auto stamp = readStamp(a.outputFile);
        ASSERT_TRUE(stamp) << a.outputFile;
        EXPECT_EQ(stamp->checksum, sum) << a.outputFile;
        EXPECT_EQ(stamp->source, f.dlg->spectrumName());
    }
    EXPECT_NE(f.dlg->spectrumName().find_first_not_of(' '), std::string::npos);
    f.dlg->onSaveInfl();
    FitJob infl;
    infl.load("INFL");
    EXPECT_EQ(dataChecksum(infl), readStamp("KKTEST")->checksum);

    // Other data in the job: a new table has another checksum, so the old
    // ones no longer match INFL once it is saved.
    (*f.dlg->job().DATA1)[3] *= 1.5;
    f.dlg->loadFromJob();
    f.dlg->action(QStringLiteral("&Kramers-Kronig test..."))->trigger();
    f.dlg->onSaveInfl();
    infl.load("INFL");
    EXPECT_EQ(dataChecksum(infl), readStamp("KKTEST")->checksum);
    EXPECT_NE(dataChecksum(infl), readStamp("ZHITTEST")->checksum);

    const analyses::Analysis& kk = analyses::all()[0];
    ASSERT_EQ(runAnalysisCommand(kk, "B.TST", {}), 0);
    EXPECT_EQ(readStamp("KKTEST")->checksum, sum);
    EXPECT_EQ(readStamp("KKTEST")->source, spectrumName(job, "B.TST"));
    std::string csv = "freq;Zre;Zim\n";
    for (int i = 0; i < job.M; ++i) {
        char line[100];
        std::snprintf(line, sizeof line, "%.10g;%.10g;%.10g\n", (*job.FREQ)[std::size_t(i)],
                      (*job.DATA1)[std::size_t(i)], (*job.DATA2)[std::size_t(i)]);
        csv += line;
    }
    test::writeAll("cell.csv", csv);
    ASSERT_EQ(runAnalysisCommand(kk, "cell.csv", {}), 0);
    EXPECT_EQ(readStamp("KKTEST")->checksum, kNoJobChecksum);
    EXPECT_EQ(readStamp("KKTEST")->source, "cell.csv");

    // A refusal names the file, whether or not the reader's message does.
    test::writeAll("nofreq.csv", "time;Zre;Zim\n1;2;3\n2;3;4\n3;4;5\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(runAnalysisCommand(kk, "nofreq.csv", {}), 1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("noskrun: ", 0), 0u) << said;
    EXPECT_NE(said.find("nofreq.csv"), std::string::npos) << said;
    EXPECT_EQ(said.find("nofreq.csv"), said.rfind("nofreq.csv")) << said;  // once
}

} // namespace

// The analyses' tables are files of ours under fixed names: a link planted
// under such a name is replaced, and the file it points to stays as it was.
TEST(KramersKronigCommand, TablesReplaceAPlantedLink)
{
    test::TempWorkDir dir;
    FitJob job;
    job.load(battery());
    const kkrun::Spectrum spectrum = kkrun::spectrumOf(job);
    test::writeAll("victim", "keep me\n");
    for (const char* name : {kkrun::kTableFile, zhitrun::kTableFile}) {
        fs::create_symlink("victim", name);
        if (std::string(name) == kkrun::kTableFile)
            kkrun::runAndWrite(spectrum, kk::Options{}, name);
        else
            zhitrun::runAndWrite(spectrum, name);
        EXPECT_FALSE(fs::is_symlink(name)) << name;
        EXPECT_EQ(test::readAll("victim"), "keep me\n") << name;
    }
}

// A spectrum whose impedances are subnormal (|Z| about 1e-312) has lost its
// digits: every analysis refuses it with exit status 1 and writes no table,
// and the engine (the fit of noskwin and of the Python module) refuses it
// with the row and the value rather than ending at the start with S = inf.
TEST(KramersKronigCommand, EveryAnalysisAndTheFitRefuseASubnormalSpectrum)
{
    test::TempWorkDir dir;
    FitJob job;
    job.load(battery());
    for (int i = 0; i < job.M; ++i) {
        (*job.DATA1)[std::size_t(i)] *= 1e-312;
        (*job.DATA2)[std::size_t(i)] *= 1e-312;
    }
    job.IRCH = 3;  // weights by the modulus
    job.save("TINY.TST");
    for (const analyses::Analysis& analysis : analyses::all())
        EXPECT_EQ(runAnalysisCommand(analysis, "TINY.TST", analyses::Settings{}), 1) << analysis.name;
    for (const char* table : {"KKTEST", "ZHITTEST", "DRT"})
        EXPECT_FALSE(fs::exists(table)) << table;
    try {
        engine::PreparedJob prepared(job);
        ADD_FAILURE() << "the engine took a subnormal spectrum";
    } catch (const nosk::exception& e) {
        EXPECT_NE(std::string(e.what()).find("Data row 0: sigma "), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("is below the smallest normal number"), std::string::npos) << e.what();
    }
}
