#include "CDrtPage.h"
#include "CViewerDlg.h"
#include "CZuGraph.h"
#include "CZuPlot.h"
#include "ViewerTestSupport.h"
#include "analysis/drt/Drt.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include "job/FitJob.h"
#include "results/FitStatistics.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

using namespace nosk;
using test::Viewer;

namespace {

// The DRT of a ZARC and a smaller RC-like process, with the band.
drt::Result twoProcesses()
{
    std::vector<double> f;
    std::vector<std::complex<double>> z;
    for (int i = 0; i < 60; ++i) {
        f.push_back(1e5 * std::pow(10.0, -i / 8.0));
        const std::complex<double> iw(0, 2 * std::numbers::pi * f.back());
        z.push_back(3.0 + 80.0 / (1.0 + std::pow(iw * 1e-4, 0.85)) + 40.0 / (1.0 + std::pow(iw * 0.1, 0.9)));
    }
    drt::Options o;
    o.bandSamples = 200;
    return drt::compute(f, z, o);
}

} // namespace

TEST(DrtPage, ShownFromTheWorkFolderTableWithoutARun)
{
    test::TempWorkDir dir;
    const drt::Result r = twoProcesses();
    test::writeAll("DRT", drt::formatTable(r, {}));
    Viewer v;
    v.open();
    auto* page = qobject_cast<CDrtPage*>(v.dlg->pageByTitle(QStringLiteral("DRT")));
    ASSERT_NE(page, nullptr);
    page->ensureBuilt();
    EXPECT_EQ(page->pointCount(), static_cast<int>(r.tau.size()));
    EXPECT_EQ(page->peakCount(), 2);
    ASSERT_NE(page->graph(), nullptr);
    EXPECT_EQ(page->graph()->plot()->traces().size(), 4u);  // band low and high, gamma, peaks
    PageGraphs graphs;
    page->GetPageGraphs(graphs);
    EXPECT_EQ(graphs.count(), 1);
    EXPECT_NE(graphs.titles[0].indexOf(QStringLiteral("2 peaks")), -1);
}

#ifdef NOSKWIN_PATH
TEST(DrtPage, FittedCircuitDrawnBesideTheData)
{
    // The engine fits an RC (DE 1: R / (1 + i w R T)) in series with R; the
    // page draws the data's DRT and the fitted RC as a line of its
    // resistance at R T, as wide as the page draws every line.
    test::TempWorkDir dir;
    test::RunSpec s;
    s.count = 30;
    s.decadeStep = 0.2;
    test::writeEngineJob(s);
    ASSERT_TRUE(test::runEngine());
    FitJob job;
    job.load("INFL");
    std::vector<double> f(job.FREQ->begin(), job.FREQ->end());
    std::vector<std::complex<double>> z;
    for (int i = 0; i < job.M; ++i)
        z.emplace_back((*job.DATA1)[i], job.NEG == 'N' ? -(*job.DATA2)[i] : (*job.DATA2)[i]);
    ASSERT_EQ(job.FREEQ, 'F');
    test::writeAll("DRT", drt::formatTable(drt::compute(f, z), {}));
    Viewer v;
    v.open();
    ASSERT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    auto* page = qobject_cast<CDrtPage*>(v.dlg->pageByTitle(QStringLiteral("DRT")));
    ASSERT_NE(page, nullptr);
    page->ensureBuilt();
    ASSERT_TRUE(page->hasModel()) << page->modelNote().toStdString();
    ASSERT_EQ(page->modelPartCount(), 1);
    EXPECT_EQ(page->modelPartLabels()[0], "p6, p7, p8, p9, p10: DE 1 (RC)");
    double r = 0, t = 0;
    for (const FreeParameter& p : v.dlg->run().statistics()->freeParameters) {
        if (p.number == 6)
            r = p.estimate;
        if (p.number == 7)
            t = p.estimate;
    }
    ASSERT_GT(r * t, 0);
    // The curve's maximum at R T and its area R.
    const std::vector<double>& g = page->modelGamma();
    const auto top = std::max_element(g.begin(), g.end()) - g.begin();
    std::ifstream in("DRT");
    const drt::Table table = drt::readTable(in);
    EXPECT_NEAR(std::log10(table.tau[top]), std::log10(r * t), 0.03);
    double area = 0;
    for (std::size_t i = 0; i + 1 < g.size(); ++i)
        area += 0.5 * (g[i] + g[i + 1]) * std::log(table.tau[i + 1] / table.tau[i]);
    EXPECT_NEAR(area, r, 0.01 * r);
    // Data, circuit and peaks; the legend button names the first two.
    EXPECT_EQ(page->graph()->plot()->traces().size(), 3u);
    PageGraphs graphs;
    page->GetPageGraphs(graphs);
    EXPECT_TRUE(graphs.titles[0].contains(QStringLiteral("fitted circuit"))) << graphs.titles[0].toStdString();
    EXPECT_TRUE(page->modelNote().contains(QStringLiteral("DE 1 (RC)")));
}
#endif
