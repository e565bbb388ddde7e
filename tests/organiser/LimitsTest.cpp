// Parameter limits in the organiser: the editor's two limit columns, and
// limits honoured by a headless run and by a batch template.

#include "BatchRun.h"
#include "CFitOptionsPage.h"
#include "CParamEditor.h"
#include "OrganiserTestSupport.h"
#include "platform/Process.h"
#include "support/Files.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <sstream>

using namespace nosk;
using nosk::test::OrganiserFixture;

namespace fs = std::filesystem;

namespace {

constexpr double kNone = std::numeric_limits<double>::infinity();

// The battery job of circuit T whose fit without limits ends below the
// lower limit of p1 (0.0155) and above the upper limit of p5 (0.5).
FitJob limitedBatteryJob()
{
    FitJob job;
    job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.T/TBAT.TST");
    job.P[0] = 0.016;
    job.LOWER[0] = 0.0155;
    job.P[4] = 0.45;
    job.LOWER[4] = 0.3;
    job.UPPER[4] = 0.5;
    job.UPPER[6] = 1e4;
    return job;
}

} // namespace

TEST(LimitsEditor, TwoMoreColumnsRoundTripThroughTheJobFile)
{
    OrganiserFixture f;
    f.openJob(limitedBatteryJob());
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    CParamEditor* ed = page->paramEditor();
    EXPECT_EQ(ed->lowerBox(1)->text(), QStringLiteral("0.0155"));
    EXPECT_EQ(ed->upperBox(1)->text(), QString());
    EXPECT_EQ(ed->upperBox(7)->text(), QStringLiteral("10000"));
    EXPECT_EQ(ed->label(5)->toolTip(), QStringLiteral("p5: Q (alpha)\nLimits: 0.3 to 0.5"));
    EXPECT_EQ(ed->label(2)->toolTip(), QStringLiteral("p2: Q (Q)"));
    EXPECT_TRUE(ed->lowerBox(1)->isHidden());

    // Shown: one parameter a display row, value, code and both limits side by side.
    page->limitsBox()->setChecked(true);
    ASSERT_TRUE(ed->limitsShown());
    EXPECT_FALSE(ed->lowerBox(1)->isHidden());
    EXPECT_EQ(ed->label(2)->x(), ed->label(1)->x());
    EXPECT_GT(ed->label(2)->y(), ed->label(1)->y());
    EXPECT_EQ(ed->lowerBox(3)->y(), ed->valueBox(3)->y());
    EXPECT_GT(ed->lowerBox(3)->x(), ed->codeList(3)->x() + ed->codeList(3)->width() - 1);
    EXPECT_LE(ed->upperBox(3)->x() + ed->upperBox(3)->width(), ed->scrollBar()->x());
    EXPECT_EQ(ed->scrollBar()->maximum(), 45);
    ed->scrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(ed->firstVisibleParam(), 45);
    EXPECT_EQ(ed->lastVisibleParam(), 50);
    EXPECT_FALSE(ed->lowerBox(8)->isEnabled());  // beyond N = 7

    ed->lowerBox(1)->setText(QStringLiteral("0.0156"));
    ed->lowerBox(5)->clear();
    ed->upperBox(6)->setText(QStringLiteral(" 2.5e-1 "));
    ASSERT_TRUE(f.dlg->storeToJob());
    const FitJob& job = f.dlg->job();
    EXPECT_EQ(job.LOWER[0], 0.0156);
    EXPECT_EQ(job.LOWER[4], -kNone);
    EXPECT_EQ(job.UPPER[4], 0.5);
    EXPECT_EQ(job.UPPER[5], 0.25);
    EXPECT_EQ(job.LOWER[1], -kNone);
    job.save("B.TST");
    f.dlg->LoadJobFile("B.TST");
    EXPECT_EQ(ed->lowerBox(1)->text(), QStringLiteral("0.0156"));
    EXPECT_EQ(ed->lowerBox(5)->text(), QString());
    EXPECT_EQ(ed->upperBox(6)->text(), QStringLiteral("0.25"));

    // A limit that is no number stops the reading and leaves the limits.
    ed->upperBox(2)->setText(QStringLiteral("1e"));
    EXPECT_FALSE(f.dlg->storeToJob());
    EXPECT_EQ(f.prompt.lastMessage().text.rfind("Wrong number!", 0), 0u) << f.prompt.lastMessage().text;
    EXPECT_EQ(f.dlg->job().UPPER[1], kNone);
    EXPECT_EQ(f.dlg->job().LOWER[0], 0.0156);

    // Hidden again: the two-to-a-row editor as it always was.
    page->limitsBox()->setChecked(false);
    EXPECT_TRUE(ed->lowerBox(1)->isHidden());
    EXPECT_NE(ed->label(2)->x(), ed->label(1)->x());
    EXPECT_EQ(ed->scrollBar()->maximum(), 20);
    EXPECT_EQ(ed->lastVisibleParam(), 50);
}

// `noskrun --run` and a batch with a template fit within the job's limits.
TEST(Limits, HeadlessRunAndBatchTemplateHonourThem)
{
    const fs::path bin = fs::path(QCoreApplication::applicationDirPath().toStdString());
    if (!fs::exists(bin / "noskwin") || !fs::exists(bin / "noskrun"))
        GTEST_SKIP() << "the programs are not built";
    test::TempWorkDir dir;
    limitedBatteryJob().save("job.tst");
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    p.start(QString::fromStdString((bin / "noskrun").string()), {QStringLiteral("--run"), QStringLiteral("job.tst")});
    ASSERT_TRUE(p.waitForFinished(20000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // The terminal names the parameters the limits hold, and what the other
    // std devs hold only given.
    const std::string said = p.readAllStandardOutput().toStdString();
    EXPECT_NE(said.find("\nParameters: P1 at bound (limit), P5 at bound (limit); the others' "
                        "std devs hold only given P1 = 0.0155, P5 = 0.5\n"),
        std::string::npos)
        << said;
    FitJob out;
    out.load("OUTIN");
    EXPECT_NEAR(out.P[0], 0.0155, 1e-9);
    EXPECT_NEAR(out.P[4], 0.5, 1e-9);
    EXPECT_LE(out.P[4], 0.5);
    EXPECT_EQ(out.UPPER[4], 0.5);

    fs::create_directory("series");
    fs::copy_file(std::string(NOSK_SOURCE_DIR) + "/tests/data/battery-eis.txt", "series/cell_1.txt");
    batch::Settings s;
    s.inputs = {"series"};
    s.templateFile = "job.tst";
    s.engine = (bin / "noskwin").string();
    PosixProcessLauncher launcher;
    std::ostringstream progress;
    const std::vector<batch::Row> rows = batch::run(s, launcher, progress, false);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_TRUE(rows[0].ok) << rows[0].reason;
    EXPECT_NEAR(rows[0].value[0], 0.0155, 1e-9);
    EXPECT_NEAR(rows[0].value[4], 0.5, 1e-9);
    EXPECT_LE(rows[0].value[4], 0.5);
    EXPECT_EQ(rows[0].atBound, "P1 P5");
    EXPECT_EQ(rows[0].given, "given P1 = 0.0155, P5 = 0.5");
}
