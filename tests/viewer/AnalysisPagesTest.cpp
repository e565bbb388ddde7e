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
#include "job/DataStamp.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QGroupBox>

#include <sys/stat.h>

#include <algorithm>
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

namespace {

// The run's own spectrum as the analyses get it: frequencies in Hz and Z.
void runSpectrum(const test::RunSpec& s, std::vector<double>& f, std::vector<std::complex<double>>& z)
{
    for (int k = 0; k < s.count; ++k) {
        double re = 0, im = 0;
        test::specZ(s, k, re, im);
        f.push_back(test::specX(s, k));
        z.emplace_back(re, im);
    }
}

void writeTables(const std::vector<double>& f, const std::vector<std::complex<double>>& z)
{
    test::writeAll(CKramersKronigPage::kTableFile, kk::formatTable(f, kk::test(f, z)));
    test::writeAll(CZhitPage::kTableFile, zhit::formatTable(zhit::test(f, z)));
    test::writeAll(CDrtPage::kTableFile, drt::formatTable(drt::compute(f, z, {}), {}));
}

} // namespace

// Each analysis page names the spectrum it was made from. Made from the run's
// data they carry no mark, and the DRT page draws the fitted circuit beside
// its DRT; made from another spectrum (a new import and fit since) each says
// so in a red banner and in its caption, which prints and exports, and the
// DRT page does not draw the new circuit over the old spectrum's DRT.
TEST(AnalysisPages, ResultsOfAnotherSpectrumAreMarkedOutOfDate)
{
    const char* titles[] = {CKramersKronigPage::kTitle, CZhitPage::kTitle, CDrtPage::kTitle};
    test::RunSpec s;
    s.count = 30;
    s.decadeStep = 0.2;  // 1 Hz to 630 kHz
    {
        test::TempWorkDir dir;
        std::vector<double> f;
        std::vector<std::complex<double>> z;
        runSpectrum(s, f, z);
        // The table lists the points in another order than the data lines.
        std::reverse(f.begin(), f.end());
        std::reverse(z.begin(), z.end());
        writeTables(f, z);
        Viewer v;
        v.openRun(s);
        for (const char* title : titles) {
            SCOPED_TRACE(title);
            CSingleGraphPage* page = builtPage(v, title);
            ASSERT_NE(page, nullptr);
            EXPECT_FALSE(page->stale());
            EXPECT_TRUE(page->originText().startsWith(QStringLiteral("Spectrum: "))) << page->originText().toStdString();
            EXPECT_TRUE(page->originText().contains(QStringLiteral("1 Hz to 631 kHz")))
                << page->originText().toStdString();
            EXPECT_FALSE(page->groupBox()->title().contains(QStringLiteral("OUT OF DATE")));
        }
        EXPECT_TRUE(builtPage(v, CKramersKronigPage::kTitle)->originText().contains(QStringLiteral("30 points")));
        // the run's circuit is drawn when it has a relaxation (this one has none)
        auto* drtPage = qobject_cast<CDrtPage*>(builtPage(v, CDrtPage::kTitle));
        EXPECT_FALSE(drtPage->modelNote().contains(QStringLiteral("another spectrum")));
    }
    {
        // The tables of the ZARC from 100 kHz to 1.3 Hz, the run of the RC above.
        test::TempWorkDir dir;
        std::vector<double> f;
        std::vector<std::complex<double>> z;
        zarcSpectrum(f, z);
        writeTables(f, z);
        Viewer v;
        v.openRun(s);
        for (const char* title : titles) {
            SCOPED_TRACE(title);
            CSingleGraphPage* page = builtPage(v, title);
            ASSERT_NE(page, nullptr);
            EXPECT_TRUE(page->stale());
            const std::string banner = page->originText().toStdString();
            EXPECT_EQ(banner.rfind("These results belong to another spectrum (", 0), 0u) << banner;
            EXPECT_NE(banner.find("1.259 Hz to 100 kHz); run the analysis again"), std::string::npos) << banner;
            PageGraphs graphs;
            page->GetPageGraphs(graphs);
            EXPECT_TRUE(graphs.titles[0].startsWith(QStringLiteral("OUT OF DATE"))) << graphs.titles[0].toStdString();
        }
        auto* drtPage = qobject_cast<CDrtPage*>(builtPage(v, CDrtPage::kTitle));
        EXPECT_FALSE(drtPage->hasModel());
        EXPECT_TRUE(drtPage->modelNote().contains(QStringLiteral("another spectrum"))) << drtPage->modelNote().toStdString();
    }
    {
        // Tables with the organiser's data stamp are judged by it: the same
        // frequencies with other values are another spectrum, which only the
        // stamp can tell; the stamp's name is the page's.
        test::TempWorkDir dir;
        test::writeRun(s);
        FitJob job;
        job.load("INFL");
        FitJob other = job;
        (*other.DATA1)[3] *= 1.5;
        std::vector<double> f;
        std::vector<std::complex<double>> z;
        runSpectrum(s, f, z);
        const std::string own = stampLine({dataChecksum(job), "cell7.mpr, spectrum 2"});
        test::writeAll(CKramersKronigPage::kTableFile, own + kk::formatTable(f, kk::test(f, z)));
        test::writeAll(CZhitPage::kTableFile, stampLine({dataChecksum(other), "cell8.mpr"}) +
                                                  zhit::formatTable(zhit::test(f, z)));
        test::writeAll(CDrtPage::kTableFile, own + drt::formatTable(drt::compute(f, z, {}), {}));
        Viewer v;
        v.open();
        CSingleGraphPage* kkPage = builtPage(v, CKramersKronigPage::kTitle);
        EXPECT_FALSE(kkPage->stale());
        EXPECT_EQ(kkPage->originText().toStdString(),
                  "Spectrum: cell7.mpr, spectrum 2; 30 points, 1 Hz to 631 kHz (the data of the run shown)");
        CSingleGraphPage* zhitPage = builtPage(v, CZhitPage::kTitle);
        EXPECT_TRUE(zhitPage->stale());
        EXPECT_EQ(zhitPage->originText().toStdString(),
                  "These results belong to another spectrum (cell8.mpr; 30 points, 1 Hz to 631 kHz); run the "
                  "analysis again");
        auto* drtPage = qobject_cast<CDrtPage*>(builtPage(v, CDrtPage::kTitle));
        EXPECT_FALSE(drtPage->stale());
        EXPECT_FALSE(drtPage->modelNote().contains(QStringLiteral("another spectrum")));
        // a stamp of an instrument file analysed from the terminal matches no run
        test::writeAll(CKramersKronigPage::kTableFile,
                       stampLine({kNoJobChecksum, "eis.csv"}) + kk::formatTable(f, kk::test(f, z)));
        v.dlg->onLoadResults();
        EXPECT_TRUE(builtPage(v, CKramersKronigPage::kTitle)->stale());
    }
    {
        // The same frequencies less one point are another spectrum too.
        test::TempWorkDir dir;
        std::vector<double> f;
        std::vector<std::complex<double>> z;
        runSpectrum(s, f, z);
        f.pop_back();
        z.pop_back();
        test::writeAll(CKramersKronigPage::kTableFile, kk::formatTable(f, kk::test(f, z)));
        Viewer v;
        v.openRun(s);
        EXPECT_TRUE(builtPage(v, CKramersKronigPage::kTitle)->stale());
    }
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

