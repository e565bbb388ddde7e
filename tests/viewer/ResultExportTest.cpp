#include "CKramersKronigPage.h"
#include "CZhitPage.h"
#include "analysis/zhit/Zhit.h"
#include "CStatisticsPage.h"
#include "CViewerDlg.h"
#include "CZuGrid.h"
#include "CZuGridCells.h"
#include "CZuGraph.h"
#include "CZuPlot.h"
#include "GraphSettings.h"
#include "ResultExport.h"
#include "RunFiles.h"
#include "ViewerTestSupport.h"
#include "core/ScriptedPrompt.h"
#include "model/ParameterNames.h"
#include "analysis/kk/KramersKronig.h"
#include "results/FitStatistics.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "CZuGridHeads.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace nosk;
using nosk::test::RunSpec;
using nosk::test::Viewer;

namespace {

std::vector<std::vector<std::string>> readCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::string f;
        std::istringstream cells(line);
        while (std::getline(cells, f, ','))
            fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

// The KKTEST of the RunSpec's data, as noskrun --kk writes it.
void writeKkTable(const RunSpec& s)
{
    std::vector<double> f;
    std::vector<std::complex<double>> z;
    for (int k = 0; k < s.count; ++k) {
        double re, im;
        test::specZ(s, k, re, im);
        f.push_back(test::specX(s, k));
        z.emplace_back(re, im);
    }
    test::writeAll("KKTEST", kk::formatTable(f, kk::test(f, z)));
}

TEST(ViewerResultsOut, ZhitTableGivesItsPageWithTheVerdict)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 30;
    writeKkTable(s);
    std::vector<double> f;
    std::vector<std::complex<double>> z;
    for (int k = 0; k < s.count; ++k) {
        double re, im;
        test::specZ(s, k, re, im);
        f.push_back(test::specX(s, k));
        z.emplace_back(re, im);
    }
    const zhit::Result r = zhit::test(f, z);
    test::writeAll("ZHITTEST", zhit::formatTable(r));
    Viewer v;
    v.open();
    v.prompt.messages.clear();  // no INFL: the load fails and says so
    EXPECT_EQ(v.dlg->tabTitles(), (QStringList{QStringLiteral("Kramers-Kronig"), QStringLiteral("Z-HIT")}));
    auto* page = qobject_cast<CZhitPage*>(v.dlg->pageByTitle(QStringLiteral("Z-HIT")));
    ASSERT_NE(page, nullptr);
    page->ensureBuilt();
    EXPECT_EQ(page->pointCount(), 30);
    EXPECT_EQ(page->graph()->plot()->traces().size(), 4u);  // the deviation, the band and its margin
    PageGraphs graphs;
    page->GetPageGraphs(graphs);
    EXPECT_EQ(graphs.count(), 1);
    EXPECT_TRUE(graphs.titles[0].endsWith(QString::fromStdString(r.verdict.text()))) << graphs.titles[0].toStdString();
    auto* kkPage = qobject_cast<CKramersKronigPage*>(v.dlg->pageByTitle(QStringLiteral("Kramers-Kronig")));
    ASSERT_NE(kkPage, nullptr);
    kkPage->GetPageGraphs(graphs);
    EXPECT_TRUE(graphs.titles[0].contains(QStringLiteral(". Verdict: "))) << graphs.titles[0].toStdString();
}

} // namespace

#ifdef NOSKWIN_PATH
TEST(ViewerResultsOut, KramersKronigPageAndBothTablesReadBack)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 20;
    s.decadeStep = 0.3;
    test::writeEngineJob(s);
    ASSERT_TRUE(test::runEngine());
    writeKkTable(s);
    Viewer v;
    v.open();
    ASSERT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    const QStringList tabs = v.dlg->tabTitles();
    ASSERT_EQ(tabs.indexOf(QStringLiteral("Kramers-Kronig")), tabs.indexOf(QStringLiteral("Numerical data")) + 1);
    auto* kkPage = qobject_cast<CKramersKronigPage*>(v.dlg->pageByTitle(QStringLiteral("Kramers-Kronig")));
    ASSERT_NE(kkPage, nullptr);
    kkPage->ensureBuilt();
    EXPECT_EQ(kkPage->pointCount(), 20);
    ASSERT_NE(kkPage->graph(), nullptr);
    EXPECT_EQ(kkPage->graph()->plot()->traces().size(), 5u);  // real, imaginary, the band and its margin
    PageGraphs graphs;
    kkPage->GetPageGraphs(graphs);
    EXPECT_EQ(graphs.count(), 1);

    // Parameters: every parameter once, free ones with the report's numbers.
    const FitStatistics& stats = *v.dlg->run().statistics();
    v.prompt.files = {std::string("params.csv")};
    v.dlg->onExportParameters();
    ASSERT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    const auto p = readCsv(test::readAll("params.csv"));
    const int n = v.dlg->run().job().N;
    ASSERT_GE(p.size(), static_cast<std::size_t>(n + 1 + 6));
    EXPECT_EQ(p[0][0], "number");
    int free = 0;
    // Names from the model's circuit ("p1: R"), "p<n>: not used by circuit X"
    // where it has none.
    const std::vector<std::string> circuitNames = model::parameterNames(v.dlg->run().job().FUN);
    ASSERT_FALSE(circuitNames.empty());
    EXPECT_EQ(p[1][1], circuitNames[0]);
    EXPECT_EQ(p[1][1].rfind("p1: ", 0), 0u);
    for (int i = 1; i <= n; ++i) {
        ASSERT_EQ(p[i].size(), 7u) << i;  // ... free, status
        const bool named = i <= int(circuitNames.size()) && !circuitNames[i - 1].empty();
        EXPECT_EQ(p[i][1], named ? circuitNames[i - 1]
                                 : "p" + std::to_string(i) + ": not used by circuit " + v.dlg->run().job().FUN);
        if (p[i][5] == "free") {
            const FreeParameter& fp = stats.freeParameters[free++];
            EXPECT_EQ(fp.number, i);
            EXPECT_REL_NEAR(std::stod(p[i][2]), fp.estimate, 1e-9);
            EXPECT_REL_NEAR(std::stod(p[i][3]), fp.stdDev, 1e-9);
            // "determined" unless the data hardly fix it, as the viewer cautions.
            EXPECT_EQ(p[i][6].rfind(fp.relStdDev > 1 ? "hardly fixed by the data" : "determined", 0), 0u)
                << p[i][6];
        } else {
            EXPECT_EQ(p[i][5], "fixed");
            EXPECT_EQ(p[i][3], "");
            EXPECT_EQ(p[i][6], "fixed");
        }
    }
    EXPECT_EQ(free, stats.freeCount);
    const std::vector<std::string> names = {"S", "XS", "sigmaf", "nu", "quality factor"};
    for (std::size_t k = 0; k < names.size(); ++k)
        EXPECT_EQ(p[n + 3 + k][0], names[k]);
    EXPECT_REL_NEAR(std::stod(p[n + 3][1]), stats.sumOfSquares, 1e-9);
    EXPECT_EQ(std::stoi(p[n + 6][1]), stats.degreesOfFreedom);

    // Data: a line per point; residual = observed - model in both parts.
    v.prompt.files = {std::string("data.csv")};
    v.dlg->onExportData();
    const auto d = readCsv(test::readAll("data.csv"));
    ASSERT_EQ(d.size(), 21u);
    ASSERT_EQ(d[0].size(), 7u);
    // The data are in Hz and the viewer shows them so.
    ASSERT_FALSE(v.dlg->run().angular());
    EXPECT_EQ(d[0][0], "frequency (Hz)");
    for (int k = 1; k <= 20; ++k) {
        EXPECT_REL_NEAR(std::stod(d[k][0]), test::specX(s, k - 1), 1e-9);
        for (int c = 0; c < 2; ++c) {
            const double obs = std::stod(d[k][1 + c]), model = std::stod(d[k][3 + c]), res = std::stod(d[k][5 + c]);
            EXPECT_NEAR(res, obs - model, 1e-7 * std::max(1.0, std::abs(obs))) << k << " " << c;
        }
    }
    // Ctrl+C on the statistics page's grids: the numbers as tab-separated text.
    auto* statsPage = qobject_cast<CStatisticsPage*>(v.dlg->pageByTitle(QStringLiteral("Numerical data")));
    ASSERT_NE(statsPage, nullptr);
    v.dlg->selectPage(v.dlg->tabTitles().indexOf(QStringLiteral("Numerical data")));
    for (CZuGrid* grid : {statsPage->parameterGrid(), statsPage->correlationGrid()}) {
        ASSERT_NE(grid, nullptr);
        QGuiApplication::clipboard()->clear();
        grid->cells()->selectAll();
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // A header row of the grid's column titles after an empty corner,
        // then each row's title and its numbers.
        const int rows = grid == statsPage->parameterGrid() ? 3 : stats.freeCount;
        ASSERT_EQ(lines.size(), 1 + rows);
        const QStringList header = lines[0].split(QLatin1Char('\t'));
        ASSERT_EQ(header.size(), stats.freeCount + 1);
        EXPECT_EQ(header[0], QString());
        for (int c = 0; c < stats.freeCount; ++c)
            EXPECT_EQ(header[c + 1], grid->columnHeader()->title(c).trimmed());
        for (int r = 0; r < rows; ++r) {
            const QStringList cells = lines[1 + r].split(QLatin1Char('\t'));
            ASSERT_EQ(cells.size(), stats.freeCount + 1);
            EXPECT_FALSE(cells[0].isEmpty());
            EXPECT_EQ(cells[0], grid->rowHeader()->title(r).trimmed());
        }
        bool ok = false;
        lines[1].split(QLatin1Char('\t'))[1].trimmed().toDouble(&ok);
        EXPECT_TRUE(ok) << lines[1].toStdString();
    }

    // A cancelled dialog writes nothing.
    v.prompt.files = {std::nullopt};
    v.dlg->onExportData();
    EXPECT_FALSE(std::filesystem::exists("data.csv.tmp"));
}
#endif

TEST(ViewerResultsOut, KramersKronigTableAloneGivesItsPageAndNothingToExport)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 12;
    writeKkTable(s);
    Viewer v;
    v.open();
    // No INFL: no run, which is no fault while the test's page has
    // something to show.
    EXPECT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    EXPECT_EQ(v.dlg->tabTitles(), QStringList{QStringLiteral("Kramers-Kronig")});
    v.prompt.files = {std::string("params.csv")};
    v.dlg->onExportParameters();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.messages[0].text, "No results to export!");
    EXPECT_FALSE(std::filesystem::exists("params.csv"));

    // The table read back as written.
    std::ifstream in("KKTEST");
    const kk::Table t = kk::readTable(in);
    EXPECT_EQ(t.frequencyHz.size(), 12u);
    EXPECT_GT(t.elements, 0);
}

// A parameter the data do not determine is exported with its value and no
// std dev (never 0), and its status says why.
TEST(ViewerResultsOut, UndeterminedParametersExportWithoutAStdDev)
{
    FitJob job;
    job.N = 3;
    job.P[0] = 10;
    FitStatistics s;
    s.freeCount = 2;
    const double nan = std::nan("");
    s.freeParameters = {{1, 10.0, 0.5, 0.05, ParameterStatus::Determined},
                        {3, 2e-9, nan, nan, ParameterStatus::Undetermined}};
    s.end.kind = Reason::Kind::MaxFev;
    const std::string csv = resultexport::parameterTable(job, &s, {});
    EXPECT_NE(csv.find("\n1,P1,10,0.5,0.05,free,determined\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n2,P2,0,,,fixed,fixed\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n3,P3,2e-09,,,free,undetermined\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\nend,stopped at MAXFEV\n"), std::string::npos) << csv;

    // One at a bound: its status says so, and the others' std devs hold only
    // given its value.
    s.freeParameters[1].status = ParameterStatus::AtLogBound;
    s.given = {{3, 0.0}};
    const std::string atBound = resultexport::parameterTable(job, &s, {});
    EXPECT_NE(atBound.find("\n1,P1,10,0.5,0.05,free,determined (given P3 = 0)\n"), std::string::npos) << atBound;
    EXPECT_NE(atBound.find("\n3,P3,2e-09,,,free,at bound\n"), std::string::npos) << atBound;
}

// A parameter the circuit does not use is named like the others; one whose
// std dev is known but the data hardly fix it (relative std dev above 1, or
// tied to another by a correlation above 0.99) is not "determined": its
// status says what the viewer's caution says of the same parameters.
TEST(ViewerResultsOut, ExportSaysWhatTheViewerSaysOfPoorlyFixedParameters)
{
    FitJob job;
    job.N = 5;
    job.FUN = 'R';
    FitStatistics s;
    s.freeCount = 4;
    s.freeParameters = {{1, 10.0, 0.5, 0.05, ParameterStatus::Determined},
                        {3, 1e-12, 0.8, 8e11, ParameterStatus::Determined},
                        {4, 50.0, 1.0, 0.02, ParameterStatus::Determined},
                        {5, 7.0, 0.1, 0.014, ParameterStatus::Determined}};
    s.correlation = {{1, 0.2, 0.1, 0.1}, {0.2, 1, 0.3, 0.1}, {0.1, 0.3, 1, -0.9951}, {0.1, 0.1, -0.9951, 1}};
    const std::vector<std::string> names = {"p1: R", "", "p3: L", "p4: R", "p5: W (sigma)"};
    const std::string csv = resultexport::parameterTable(job, &s, names);
    EXPECT_NE(csv.find("\n1,p1: R,10,0.5,0.05,free,determined\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n2,p2: not used by circuit R,0,,,fixed,fixed\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n3,p3: L,1e-12,0.8,8e+11,free,hardly fixed by the data: relative std dev 8e+11 is above 1\n"),
              std::string::npos) << csv;
    EXPECT_NE(csv.find(",free,\"hardly fixed by the data: correlation -0.9951 with p5, the data fix little"),
              std::string::npos) << csv;
    EXPECT_NE(csv.find("with p4, the data fix little"), std::string::npos) << csv;

    // The viewer's caution names exactly the parameters the export does not
    // call determined.
    const QString caution = CStatisticsPage::cautionLines(s).join(QLatin1Char('\n'));
    for (const FreeParameter& p : s.freeParameters) {
        const std::string line = csv.substr(csv.find("\n" + std::to_string(p.number) + ","));
        const bool hardly = line.substr(0, line.find('\n', 1)).find("hardly fixed") != std::string::npos;
        EXPECT_EQ(caution.contains(QStringLiteral("p[%1]").arg(p.number)), hardly) << p.number << "\n"
                                                                                  << caution.toStdString();
    }
}

// A stopped or failed fit leaves INFL without AUXPNTL: a Kramers-Kronig test
// after it shows its page without a box; without the test's table the
// missing AUXPNTL is still reported.
TEST(ViewerResultsOut, AStoppedFitThenAKramersKronigTestGivesNoFalseError)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 12;
    test::writeRun(s);
    std::filesystem::remove("AUXPNTL");
    Viewer v;
    v.open();
    ASSERT_EQ(v.prompt.messages.size(), 1u);
    EXPECT_EQ(v.prompt.lastMessage().text, "File AUXPNTL not found!");
    v.prompt.messages.clear();
    writeKkTable(s);
    v.dlg->onLoadResults();
    EXPECT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    EXPECT_EQ(v.dlg->tabTitles(), QStringList{QStringLiteral("Kramers-Kronig")});
    // A damaged INFL is a fault whatever else is there.
    test::writeAll("AUXPNTL", "");
    test::writeAll("INFL", "not a job\r\n");
    v.dlg->onLoadResults();
    EXPECT_EQ(v.prompt.messages.size(), 1u);
}
