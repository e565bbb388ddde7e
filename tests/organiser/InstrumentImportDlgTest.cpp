#include "CDataLinesPage.h"
#include "CSelectSpectrumDlg.h"
#include "OrganiserTestSupport.h"
#include "ops/InstrumentImport.h"
#include "support/Files.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::OrganiserFixture;

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(NOSK_SOURCE_DIR) + "/tests/data/instruments/";
const QString kImport = QStringLiteral("&Import instrument file...");

fs::path programDir()
{
    return fs::path(QCoreApplication::applicationDirPath().toStdString());
}

} // namespace

TEST(InstrumentMenu, EverySampleBecomesTheDataFromTheMenu)
{
    const std::pair<const char*, int> samples[] = {
        {"exampleData.csv", 66}, {"exampleDataAutolab.txt", 41}, {"exampleDataBioLogic.mpt", 43},
        {"exampleDataCHInstruments.txt", 73}, {"exampleDataGamry.DTA", 72}, {"exampleDataParstat.txt", 31},
        {"exampleDataPowersuite.txt", 30}, {"exampleDataVersaStudio.par", 61}, {"exampleDataZPlot.z", 21},
    };
    OrganiserFixture f;
    ASSERT_NE(f.dlg->action(kImport), nullptr);
    for (const auto& [file, rows] : samples) {
        f.prompt.files.push_back(kSamples + file);
        f.dlg->action(kImport)->trigger();
        ASSERT_FALSE(f.prompt.messages.empty()) << file;
        const auto& said = f.prompt.lastMessage();
        EXPECT_EQ(said.caption, "Import instrument file") << file << ": " << said.text;
        EXPECT_NE(said.text.find(std::to_string(rows) + " rows read"), std::string::npos) << said.text;
        EXPECT_EQ(f.dlg->job().M, rows) << file;
        EXPECT_EQ(f.dlg->job().description, std::string("Imported from ") + file);
        // The page shows the new rows.
        EXPECT_EQ(f.dlg->dataLinesPage()->mBox()->text(), QString::number(rows)) << file;
    }
    EXPECT_TRUE(f.dialogs.empty());  // one spectrum each: nothing to choose

    // A file it cannot read: the message, and the last import stays.
    test::writeAll("cv.txt", "Potential/V, Current/A, Charge/C\n0.1, 2e-6, 1e-7\n");
    f.prompt.files.push_back(f.dir.file("cv.txt"));
    f.dlg->action(kImport)->trigger();
    EXPECT_EQ(f.prompt.lastMessage().caption, "ERROR");
    EXPECT_EQ(f.dlg->job().M, 21);
}

TEST(InstrumentMenu, SeveralSpectraAskWhichOne)
{
    OrganiserFixture f;
    const std::string table = "ZCURVE\tTABLE\n\tPt\tFreq\tZreal\tZimag\n\t#\tHz\tohm\tohm\n";
    test::writeAll("two.DTA", "EXPLAIN\n" + table + "\t0\t100\t1\t-1\n\t1\t10\t2\t-2\n" + table +
                                  "\t0\t1000\t3\t-3\n\t1\t100\t4\t-4\n\t2\t10\t5\t-5\n");
    // Cancel: the job stays empty.
    f.prompt.files.push_back(f.dir.file("two.DTA"));
    f.dlg->action(kImport)->trigger();
    ASSERT_EQ(f.dialogs.size(), 1u);
    EXPECT_EQ(f.dialogs.back(), "Select spectrum");
    EXPECT_EQ(f.dlg->job().M, 0);

    std::string shown;
    f.answerDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CSelectSpectrumDlg&>(d);
        EXPECT_EQ(s.spectrumList()->count(), 2);
        s.spectrumList()->setCurrentRow(1);
        shown = s.spectrumDescription()->toPlainText().toStdString();
        s.selectButton()->click();
        return s.result();
    };
    f.prompt.files.push_back(f.dir.file("two.DTA"));
    f.dlg->action(kImport)->trigger();
    EXPECT_EQ(shown, "Spectrum #2: 3 rows (0 skipped)\n10 Hz to 1000 Hz\nlines 10-12");
    ASSERT_EQ(f.dlg->job().M, 3);
    EXPECT_EQ((*f.dlg->job().DATA1)[2], 5.0);
    // The window's job was new: the message says it is ready to fit.
    EXPECT_EQ(f.prompt.lastMessage().text, "Gamry DTA: 3 rows read, 0 skipped, 10 Hz to 1000 Hz, spectrum 2 of 2\n" + readyToFitText());
}

// The battery export into the battery model job from the menu, then SAVE AND
// RUN with the bundled engine.
TEST(InstrumentMenu, TheImportedBatteryFitsWithSaveAndRun)
{
    if (!fs::exists(programDir() / "noskwin"))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    fs::copy_file(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.B/BDE16BAT.TST", "battery.tst");
    f.dlg->LoadJobFile("battery.tst");
    const int parameters = f.dlg->job().N;
    f.prompt.files.push_back(kSamples + "exampleData.csv");
    f.dlg->action(kImport)->trigger();
    ASSERT_EQ(f.dlg->job().M, 66) << f.prompt.lastMessage().text;
    EXPECT_EQ(f.dlg->job().N, parameters);
    const size_t said = f.prompt.messages.size();
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.dlg->engineRunning()) << f.prompt.lastMessage().text;
    ASSERT_TRUE(f.waitForEngine(30000));
    EXPECT_EQ(f.prompt.messages.size(), said) << f.prompt.lastMessage().text;  // no failure shown
    EXPECT_TRUE(fs::exists("PNTOUTL"));
    EXPECT_EQ(fs::file_size("solartron.fra"), 700u + 84u * 66u);
}

// The battery export into the battery model job, headless as a script would
// do it, then fitted by the bundled engine.
TEST(InstrumentMenu, HeadlessImportThenTheBatteryFits)
{
    const fs::path organiser = programDir() / "noskrun";
    if (!fs::exists(programDir() / "noskwin") || !fs::exists(organiser))
        GTEST_SKIP() << "the programs are not built";
    test::TempWorkDir dir;
    fs::copy_file(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.B/BDE16BAT.TST", "battery.tst");
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    auto run = [&](const QStringList& args) {
        p.start(QString::fromStdString(organiser.string()), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return p.exitCode();
    };
    const QString csv = QString::fromStdString(kSamples + "exampleData.csv");
    ASSERT_EQ(run({QStringLiteral("--import"), csv, QStringLiteral("--to"), QStringLiteral("battery.tst")}), 0)
        << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput().toStdString(),
              "CSV: 66 rows read, 0 skipped, 0.0031623 Hz to 10000 Hz\nWritten to battery.tst\n");
    FitJob job;
    job.load("battery.tst");
    EXPECT_EQ(job.M, 66);
    EXPECT_GT(job.N, 0);  // the model stayed
    ASSERT_EQ(run({QStringLiteral("--run"), QStringLiteral("battery.tst")}), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(fs::exists("PNTOUTL"));
    EXPECT_EQ(fs::file_size("solartron.fra"), 700u + 84u * 66u);

    // Without --to: FILE.TST beside the current folder's name; a bad file:
    // status 1 and the line on standard error, no job written.
    test::writeAll("cell.csv", "f,Zre,Zim\n1,2,3\n2,3\n");
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("cell.csv")}), 1);
    EXPECT_EQ(p.readAllStandardError().toStdString(), "noskrun: cell.csv: line 3: 3 numbers expected, found 2\n");
    EXPECT_FALSE(fs::exists("cell.TST"));
    test::writeAll("cell.csv", "f,Zre,Zim\n1,2,3\n2,3,4\n");
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("cell.csv")}), 0);
    EXPECT_TRUE(fs::exists("cell.TST"));
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("cell.csv"), QStringLiteral("--bogus")}), 2);

    // A --to that is not a job (the data file itself, by a slip): refused,
    // and the file stays as it was.
    const std::string before = test::readAll("cell.csv");
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("cell.csv"), QStringLiteral("--to"), QStringLiteral("cell.csv")}), 1);
    EXPECT_EQ(test::readAll("cell.csv"), before);

    // Several spectra: the first unless --spectrum names another.
    const std::string table = "ZCURVE\tTABLE\n\tPt\tFreq\tZreal\tZimag\n\t#\tHz\tohm\tohm\n";
    test::writeAll("two.DTA", "EXPLAIN\n" + table + "\t0\t100\t1\t-1\n" + table + "\t0\t1000\t3\t-3\n\t1\t100\t4\t-4\n");
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("two.DTA")}), 0);
    EXPECT_NE(p.readAllStandardOutput().indexOf("The file holds 2 spectra"), -1);
    job.load("two.TST");
    EXPECT_EQ(job.M, 1);
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("two.DTA"), QStringLiteral("--spectrum"), QStringLiteral("2")}), 0);
    job.load("two.TST");
    EXPECT_EQ(job.M, 2);
    EXPECT_EQ((*job.DATA2)[1], -4.0);
    EXPECT_EQ(run({QStringLiteral("--import"), QStringLiteral("two.DTA"), QStringLiteral("--spectrum"), QStringLiteral("3")}), 1);
}
