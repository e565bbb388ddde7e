// Run -> "Fit series..." from the window: the roles of the grid reach the
// fit, the files are those of noskrun --series, the choices come back; a
// series it cannot fit leaves no file and the folder free.
#include "CSeriesDlg.h"
#include "CommandLine.h"
#include "OrganiserTestSupport.h"
#include "SeriesCommand.h"
#include "core/WorkFolderFiles.h"
#include "core/WorkFolderLock.h"
#include "engine/series/ParameterRoles.h"
#include "support/SyntheticData.h"

#include <QComboBox>
#include <QListWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace nosk {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

constexpr double kEa = 0.5;  // eV, R1's activation energy

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// R0 + (R1 || CPE), circuit S with the second arc shorted; R1 follows
// Arrhenius. The start values are off the truth.
FitJob seriesJob(double T)
{
    FitJob job = impedanceFitJob('S', 11, "series dialog test");
    job.IRCH = 3;
    const double truth[11] = {5, 0, 0, 100 * std::exp(kEa / series::kBoltzmannEv * (1 / T - 1 / 300.0)), 1e-6, 0.8,
        0, 0, 0, 0, 0};
    const int codes[11] = {1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 11; ++i) {
        job.P[i] = truth[i];
        job.NFREE[i] = codes[i];
    }
    test::fillSyntheticData(job, job.P, test::logSpaced(1, 1e6, 25), 0.005, static_cast<unsigned>(T));
    job.P[0] = 7;
    job.P[3] = 150;
    return job;
}

// The spectrum as a plain data file (frequency, Z', Z''): no model of its own.
void writeDataFile(const std::string& path, double T)
{
    const FitJob job = seriesJob(T);
    std::ofstream out(path);
    char line[100];
    for (std::size_t i = 0; i < job.FREQ->size(); ++i) {
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", (*job.FREQ)[i], (*job.DATA1)[i], (*job.DATA2)[i]);
        out << line;
    }
}

// The value of "NAME" in the result's parameters, and its role.
std::pair<std::string, double> coefficient(const std::string& json, const std::string& name)
{
    const std::regex pattern("\\{\"name\": \"" + name + "\", \"role\": \"([a-z]+)\", \"value\": ([-0-9.eE+]+)");
    std::smatch m;
    if (!std::regex_search(json, m, pattern))
        return {"", std::nan("")};
    return {m[1], std::stod(m[2])};
}

struct SeriesDialog : ::testing::Test {
    void SetUp() override
    {
        fs::create_directory("series");
        for (int T : {280, 300, 320})
            writeDataFile("series/cell_" + std::to_string(T) + ".txt", T);
        // The window's job is the model of the data files.
        f.openJob(seriesJob(300));
    }

    // Opens the dialog from the menu; `fill` chooses and runs in it.
    void runDialog(const std::function<void(CSeriesDlg&)>& fill)
    {
        f.dialogRunner.next<CSeriesDlg>([&](CSeriesDlg* d) { fill(*d); });
        QAction* action = f.dlg->action(QStringLiteral("Fit &series..."));
        ASSERT_NE(action, nullptr);
        action->trigger();
    }

    test::OrganiserFixture f;
};

TEST_F(SeriesDialog, FitsTheSeriesWithTheGridsRolesAsTheCommandDoes)
{
    runDialog([&](CSeriesDlg& d) {
        EXPECT_EQ(d.roleBox(1), nullptr) << "a fixed parameter has no role";
        ASSERT_NE(d.roleBox(3), nullptr);
        f.prompt.files.push_back("series");
        d.onAddFolder();
        d.covariateBox()->setCurrentText(QStringLiteral("T/K"));
        d.roleBox(0)->setCurrentText(QStringLiteral("shared"));
        d.roleBox(3)->setCurrentText(QStringLiteral("arrhenius"));
        d.roleBox(5)->setCurrentText(QStringLiteral("shared"));
        d.onRun();
        EXPECT_TRUE(d.running());
        // The window's loop goes on while the series is fitted; the dialog
        // closes itself once the files are written.
        d.reject();
        EXPECT_TRUE(d.isVisible()) << "a running series fit is not stopped";
        QElapsedTimer clock;
        clock.start();
        while (d.isVisible() && clock.elapsed() < 60000) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        EXPECT_FALSE(d.running());
    });
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_THAT(f.prompt.lastMessage().text, HasSubstr("cannot be stopped"));
    const std::string json = readText(workfiles::kSeriesResult);
    // The roles reached the fit, and the fit found the truth.
    EXPECT_EQ(coefficient(json, "P1").first, "shared");
    EXPECT_EQ(coefficient(json, "P6").first, "shared");
    const auto [role, ea] = coefficient(json, "P4.Ea");
    EXPECT_EQ(role, "arrhenius");
    EXPECT_NEAR(ea, kEa, 0.03);
    EXPECT_NEAR(coefficient(json, "P1").second, 5.0, 0.1);
    const std::string table = readText("series.csv");
    EXPECT_THAT(table, ::testing::StartsWith("file,T/K,S,P1,"));
    EXPECT_THAT(table, HasSubstr("cell_320.txt,320,"));
    // The window says how it ended, and the viewer is told; the folder is free.
    EXPECT_THAT(f.dlg->statusText().toStdString(), HasSubstr("Series of 3 spectra"));
    EXPECT_THAT(f.dlg->statusText().toStdString(), HasSubstr("Written to SERIES and series.csv"));
    EXPECT_EQ(f.notifier.count, 1);
    WorkFolderLock lock;
    EXPECT_TRUE(lock.tryLock("test"));
    lock.unlock();

    // The same series from the command line with the job as its template
    // writes the same result.
    f.dlg->job().save("t.TST");
    const CommandLine cl = CommandLine::parse({"--series", "series", "--template", "t.TST", "--covariate", "T/K",
        "--shared", "P1,P6", "--vary", "P4=arrhenius", "--out", "cmd.csv", "--json", "cmd.json"});
    ::testing::internal::CaptureStdout();
    const int status = runSeriesCommand(cl);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readText("cmd.json"), json);
    EXPECT_EQ(readText("cmd.csv"), table);

    // The dialog opens again with the last choices.
    runDialog([&](CSeriesDlg& d) {
        ASSERT_EQ(d.inputList()->count(), 1);
        EXPECT_EQ(d.inputList()->item(0)->text(), QStringLiteral("series"));
        EXPECT_EQ(d.covariateBox()->currentText(), QStringLiteral("T/K"));
        EXPECT_EQ(d.roleBox(3)->currentText(), QStringLiteral("arrhenius"));
        EXPECT_EQ(d.roleBox(4)->currentText(), QStringLiteral("local"));
    });
    // ... also after the options went through their file.
    ASSERT_TRUE(f.options.write());
    RunOptions read;
    read.read();
    EXPECT_EQ(read.seriesChoices, f.options.seriesChoices);
    EXPECT_EQ(read.starts, f.options.starts);
}

TEST_F(SeriesDialog, ARefusedSeriesWritesNothingAndFreesTheFolder)
{
    struct Case {
        std::string list;  // the list file's text; empty: the folder
        std::string covariate;
        std::string message;
    };
    const Case cases[] = {
        {"file,T/K\nseries/cell_280.txt,280\nseries/missing.txt,290\n", "", "missing.txt"},
        {"file,T/K\nseries/cell_280.txt,280\nseries/cell_300.txt,\n", "", "list.csv line 3: no value of T/K"},
        // An Arrhenius parameter needs a temperature for every spectrum.
        {"", "E/mV", "a temperature in K or degC, and E/mV is not"},
    };
    for (const Case& c : cases) {
        f.prompt.messages.clear();
        if (!c.list.empty())
            std::ofstream("list.csv") << c.list;
        runDialog([&](CSeriesDlg& d) {
            d.inputList()->clear();
            f.prompt.files.push_back(c.list.empty() ? "series" : "list.csv");
            c.list.empty() ? d.onAddFolder() : d.onAddFile();
            d.covariateBox()->setCurrentText(c.covariate.empty() ? QString::fromLatin1(CSeriesDlg::kFromNames)
                                                                 : QString::fromStdString(c.covariate));
            d.roleBox(3)->setCurrentText(QStringLiteral("arrhenius"));
            d.onRun();
            d.waitForEnd();
            EXPECT_TRUE(d.isVisible()) << "the dialog stays open to change the choices";
        });
        ASSERT_EQ(f.prompt.messages.size(), 1u) << c.message;
        EXPECT_THAT(f.prompt.lastMessage().text, HasSubstr(c.message));
        EXPECT_EQ(f.prompt.lastMessage().icon, Icon::Error);
        EXPECT_FALSE(fs::exists(workfiles::kSeriesResult)) << c.message;
        EXPECT_FALSE(fs::exists("series.csv")) << c.message;
        EXPECT_EQ(f.notifier.count, 0);
        WorkFolderLock lock;
        EXPECT_TRUE(lock.tryLock("test")) << c.message;
    }

    // A folder another run holds: nothing starts.
    WorkFolderLock other;
    ASSERT_TRUE(other.tryLock("another run"));
    f.prompt.messages.clear();
    runDialog([&](CSeriesDlg& d) {
        d.inputList()->clear();
        f.prompt.files.push_back("series");
        d.onAddFolder();
        d.onRun();
        EXPECT_FALSE(d.running());
    });
    ASSERT_EQ(f.prompt.messages.size(), 1u);
    EXPECT_THAT(f.prompt.lastMessage().text, HasSubstr("another run"));
    EXPECT_FALSE(fs::exists("series.csv"));
}

} // namespace
} // namespace nosk
