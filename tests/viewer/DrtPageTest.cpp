#include "CDrtPage.h"
#include "CViewerDlg.h"
#include "CZuGraph.h"
#include "CZuPlot.h"
#include "ViewerTestSupport.h"
#include "analysis/drt/Drt.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
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
