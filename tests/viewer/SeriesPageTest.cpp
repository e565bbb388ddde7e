// The "Series" page: there while the work folder holds SERIES, made again
// when the file is written, damaged or removed (the window watches it),
// never showing an older series than the file: a spectrum changed since
// the fit marks it, a damaged file shows why and no picture.
#include "CSeriesPage.h"
#include "CViewerDlg.h"
#include "ViewerTestSupport.h"
#include "core/WorkFolderFiles.h"
#include "platform/Drawing.h"
#include "platform/FileWatch.h"
#include "support/TempDir.h"
#include "ui/SeriesChart.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QPicture>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace nosk;
using ::testing::HasSubstr;

namespace {

std::string fixture()
{
    std::ifstream in(NOSK_SOURCE_DIR "/tests/data/series/SERIES.json", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// SERIES written an hour ago (a spectrum written now is newer).
void writeSeries(const std::string& text)
{
    std::ofstream(workfiles::kSeriesResult, std::ios::binary) << text;
    std::filesystem::last_write_time(workfiles::kSeriesResult,
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
}

CSeriesPage* seriesPage(const test::Viewer& v)
{
    return qobject_cast<CSeriesPage*>(v.dlg->pageByTitle(QString::fromLatin1(CSeriesPage::kTitle)));
}

} // namespace

TEST(SeriesPage, FollowsTheFileAndNeverShowsAnOlderSeries)
{
    test::TempWorkDir dir;
    test::Viewer v;
    v.open();
    EXPECT_FALSE(v.tabs().contains(QStringLiteral("Series")));
    v.prompt.messages.clear();

    // Written: the page comes, without a box about the missing run.
    writeSeries(fixture());
    v.dlg->seriesWatch()->check();
    EXPECT_EQ(v.tabs(), QStringList{QStringLiteral("Series")});
    EXPECT_TRUE(v.prompt.messages.empty()) << v.prompt.lastMessage().text;
    CSeriesPage* page = seriesPage(v);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->errorText().empty());
    EXPECT_FALSE(page->stale());
    const QString report = page->reportText();
    EXPECT_THAT(report.toStdString(), HasSubstr("Verdict: the joint model agrees with the independent fits: p = 0.154"));
    EXPECT_THAT(report.toStdString(), HasSubstr("sharing P1 accepted: p = 0.0945"));
    EXPECT_THAT(report.toStdString(), HasSubstr("cell_320.TST (46.85 degC)"));
    EXPECT_THAT(report.toStdString(), HasSubstr("P4.Ea"));
    // The Arrhenius parameter first, on its axes with its curve.
    ASSERT_NE(page->shownData(), nullptr);
    EXPECT_EQ(page->shownData()->title, "P4 (arrhenius)");
    EXPECT_TRUE(page->shownData()->arrhenius);
    EXPECT_EQ(page->parameterChoice()->count(), 5);  // four parameters and "All parameters"
    // F1 on the page opens a topic of its own.
    EXPECT_NE(page->helpContext(), 0);
    EXPECT_TRUE(std::filesystem::exists(NOSK_SOURCE_DIR "/help/" + std::to_string(page->helpContext()) + ".html"));
    page->parameterChoice()->setCurrentIndex(4);
    EXPECT_EQ(page->shownData(), nullptr);

    // Its picture prints and exports: the image holds the function's curve
    // and nothing of another page.
    v.dlg->saveImage("series.png", *page);
    const QImage image(QStringLiteral("series.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), page->ownPictureSize());
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            red += qRed(c) > 150 && qGreen(c) < 60 && qBlue(c) < 60;
        }
    EXPECT_GT(red, 50);

    // A spectrum of the series written after the fit: out of date.
    std::ofstream("cell_300.TST") << "changed\n";
    v.dlg->LoadRun(0);
    page = seriesPage(v);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->stale());
    EXPECT_THAT(page->bannerText().toStdString(), HasSubstr("OUT OF DATE: cell_300.TST changed after"));

    // Damaged: why, and no picture left from before.
    const std::string text = fixture();
    writeSeries(text.substr(0, text.size() / 2));
    v.dlg->seriesWatch()->check();
    page = seriesPage(v);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->HasGraphs());
    EXPECT_FALSE(page->result().has_value());
    EXPECT_THAT(page->bannerText().toStdString(), HasSubstr("cannot be shown: SERIES: JSON: the text ends"));
    EXPECT_TRUE(page->reportText().isEmpty());

    // Removed: the page goes.
    std::filesystem::remove(workfiles::kSeriesResult);
    v.dlg->seriesWatch()->check();
    EXPECT_EQ(seriesPage(v), nullptr);
    EXPECT_TRUE(v.tabs().isEmpty());
}

// A panel recorded in a picture and played into an image (the viewer's
// image, print and PDF) keeps the key's texts beside their marks, and the
// last x label stays whole inside the panel's box.
TEST(SeriesPage, ThePanelShowsItsKeyAndWholeLabelsWhenPlayedBack)
{
    SeriesPlotData d;
    d.title = "P1 (shared)";
    d.xTitle = "U/mV";
    d.yTitle = "P1";
    for (int i = 0; i <= 8; ++i) {
        d.x.push_back(25.0 * i);  // ticks up to "200" at the frame's right edge
        d.joint.push_back(1.0);
        d.independent.push_back(1.0 + 0.02 * (i % 3 - 1));
        d.curveX.push_back(25.0 * i);
        d.curve.push_back(1.0);
        d.bandLow.push_back(0.99);
        d.bandHigh.push_back(1.01);
    }
    d.jointErr = d.independentErr = std::vector<double>(d.x.size(), 0.01);
    const QRect box(0, 0, 600, 400);
    QPicture picture;
    {
        QPainter p(&picture);
        p.fillRect(box, Qt::white);  // the picture's frame is the whole box
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(13);
        p.setFont(font);
        drawSeriesPanel(p, box, d);
    }
    QImage image(box.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    ASSERT_TRUE(playPicture(image, picture, box));

    // The key's first mark is the lowest joint-fit blue; its row holds text.
    auto dark = [&](int x, int y) { const QRgb c = image.pixel(x, y); return std::max({qRed(c), qGreen(c), qBlue(c)}) < 100; };
    int keyX = -1, keyY = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QRgb c = image.pixel(x, y); qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 60)
                keyX = x, keyY = y;
    ASSERT_GT(keyY, image.height() * 3 / 4);
    int text = 0, edge = 0;
    for (int y = keyY - 8; y < std::min(keyY + 8, image.height()); ++y)
        for (int x = keyX + 6; x < image.width(); ++x)
            text += dark(x, y);
    EXPECT_GT(text, 100);
    // Nothing of "200" runs into the box's last columns.
    for (int y = 0; y < image.height(); ++y)
        for (int x = image.width() - 3; x < image.width(); ++x)
            edge += dark(x, y);
    EXPECT_EQ(edge, 0);
}
