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
#include <QImage>
#include <QPainter>
#include <QPicture>

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

// A point the tests name is ringed in red with its frequency beside it, in
// the picture that the images, the printed pages and PDF files are made of;
// a clean spectrum has no ring.
TEST(AnalysisPages, APointApartIsRingedInTheGraphsPicture)
{
    auto ringPixels = [](CSingleGraphPage* page) {
        const QPicture picture = page->graph()->MakeMetafile();
        QImage image(picture.boundingRect().size() * 2, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        PlayMetafile(painter, picture, image.rect());
        painter.end();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) == qRgb(255, 0, 0);
        return count;
    };
    for (bool glitch : {false, true}) {
        SCOPED_TRACE(glitch ? "one point 5 % off" : "clean");
        test::TempWorkDir dir;
        std::vector<double> f;
        std::vector<std::complex<double>> z;
        zarcSpectrum(f, z);
        if (glitch)
            z[25] *= 1.05;
        const kk::Result k = kk::test(f, z);
        const zhit::Result zh = zhit::test(f, z);
        ASSERT_EQ(k.verdict.points.empty(), !glitch) << k.verdict.text();
        ASSERT_EQ(zh.verdict.points.empty(), !glitch) << zh.verdict.text();
        test::writeAll(CZhitPage::kTableFile, zhit::formatTable(zh));
        test::writeAll(CKramersKronigPage::kTableFile, kk::formatTable(f, k));
        Viewer v;
        v.open();
        for (const char* title : {CKramersKronigPage::kTitle, CZhitPage::kTitle}) {
            SCOPED_TRACE(title);
            CSingleGraphPage* page = builtPage(v, title);
            ASSERT_NE(page, nullptr);
            ASSERT_NE(page->graph(), nullptr);
            if (glitch)
                EXPECT_GT(ringPixels(page), 30);
            else
                EXPECT_EQ(ringPixels(page), 0);
        }
    }
}
