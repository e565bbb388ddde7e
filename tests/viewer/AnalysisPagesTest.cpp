// The analyses' pages, made from the one table of analyses: which come and
// in what order, and that their graphs tell the user through the window.
#include "CDrtPage.h"
#include "CKramersKronigPage.h"
#include "CViewerDlg.h"
#include "CZhitPage.h"
#include "CZuGraph.h"
#include "ViewerTestSupport.h"
#include "analysis/drt/Drt.h"
#include "analysis/kk/KramersKronig.h"
#include "analysis/zhit/Zhit.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QGroupBox>

#include <sys/stat.h>

#include <cmath>
#include <complex>
#include <numbers>

using namespace nosk;
using test::Viewer;

namespace {

// A ZARC measured from 100 kHz down, ten points a decade.
void zarcSpectrum(std::vector<double>& f, std::vector<std::complex<double>>& z)
{
    for (int i = 0; i < 50; ++i) {
        f.push_back(1e5 * std::pow(10.0, -i / 10.0));
        const std::complex<double> iw(0, 2 * std::numbers::pi * f.back());
        z.push_back(5.0 + 100.0 / (1.0 + std::pow(iw * 1e-3, 0.9)));
    }
}

CSingleGraphPage* builtPage(const Viewer& v, const char* title)
{
    auto* page = qobject_cast<CSingleGraphPage*>(v.dlg->pageByTitle(QString::fromLatin1(title)));
    if (page)
        page->ensureBuilt();
    return page;
}

} // namespace

TEST(AnalysisPages, EachTableGivesItsPageInOrderAndTheGraphsReportThroughTheWindow)
{
    test::TempWorkDir dir;
    std::vector<double> f;
    std::vector<std::complex<double>> z;
    zarcSpectrum(f, z);
    // Written in another order than the pages come in.
    test::writeAll(CDrtPage::kTableFile, drt::formatTable(drt::compute(f, z, {}), {}));
    test::writeAll(CZhitPage::kTableFile, zhit::formatTable(zhit::test(f, z)));
    test::writeAll(CKramersKronigPage::kTableFile, kk::formatTable(f, kk::test(f, z)));

    Viewer v;
    v.open();
    // No run is no fault while an analysis has something to show.
    EXPECT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    EXPECT_EQ(v.dlg->tabTitles(),
              (QStringList{QStringLiteral("Kramers-Kronig"), QStringLiteral("Z-HIT"), QStringLiteral("DRT")}));
    for (const char* title : {CKramersKronigPage::kTitle, CZhitPage::kTitle, CDrtPage::kTitle}) {
        SCOPED_TRACE(title);
        CSingleGraphPage* page = builtPage(v, title);
        ASSERT_NE(page, nullptr);
        ASSERT_NE(page->graph(), nullptr);
        // A failed print or a wrong number in the axis box is said in a box.
        EXPECT_EQ(page->graph()->getPrompt(), &v.prompt);
        PageGraphs graphs;
        page->GetPageGraphs(graphs);
        EXPECT_EQ(graphs.count(), 1);
        EXPECT_EQ(graphs.titles[0], page->groupBox()->title());
    }
    EXPECT_EQ(qobject_cast<CKramersKronigPage*>(builtPage(v, CKramersKronigPage::kTitle))->pointCount(), 50);
    EXPECT_EQ(qobject_cast<CZhitPage*>(builtPage(v, CZhitPage::kTitle))->pointCount(), 50);
}

// A table that is no regular file (a FIFO nobody writes to) gives an empty
// page at once instead of a window that waits for ever.
TEST(AnalysisPages, ATableThatIsNoRegularFileGivesAnEmptyPage)
{
    test::TempWorkDir dir;
    ASSERT_EQ(::mkfifo(CDrtPage::kTableFile, 0600), 0);
    Viewer v;
    v.open();
    auto* page = qobject_cast<CDrtPage*>(builtPage(v, CDrtPage::kTitle));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->pointCount(), 0);
    EXPECT_EQ(page->peakCount(), 0);
}
