#include "platform/Drawing.h"
#include "support/TempDir.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace nosk;

namespace {

// A 100 x 100 frame whose top half is filled red.
QPicture halfRedPicture()
{
    QPicture picture;
    QPainter p(&picture);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::red);
    p.drawRect(0, 0, 100, 50);
    p.end();
    picture.setBoundingRect(QRect(0, 0, 100, 100));
    return picture;
}

bool isRed(const QImage& img, int x, int y)
{
    QColor c = img.pixelColor(x, y);
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

} // namespace

class DrawingDpi : public ::testing::TestWithParam<int> {};

TEST_P(DrawingDpi, PictureFillsTargetWhateverTheResolution)
{
    int dpi = GetParam();
    QImage img(300, 300, QImage::Format_RGB32);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    img.fill(Qt::white);
    ASSERT_TRUE(playPicture(img, halfRedPicture(), QRect(10, 20, 200, 200)));
    EXPECT_TRUE(isRed(img, 12, 22));
    EXPECT_TRUE(isRed(img, 205, 115));
    EXPECT_FALSE(isRed(img, 215, 60));   // right of the target
    EXPECT_FALSE(isRed(img, 100, 125));  // the lower, empty half
    EXPECT_FALSE(isRed(img, 8, 60));     // left of the target
}

INSTANTIATE_TEST_SUITE_P(Resolutions, DrawingDpi, ::testing::Values(96, 300, 1200));

TEST(Drawing, PictureLandsOnPdfPrinterPage)
{
    QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    test::TempWorkDir work;
    QPicture picture;
    {
        QPainter p(&picture);
        QFont f;
        f.setPixelSize(20);
        p.setFont(f);
        p.drawText(QRect(0, 0, 400, 100), Qt::AlignCenter, QStringLiteral("NOSKPICTURE"));
        p.end();
    }
    picture.setBoundingRect(QRect(0, 0, 400, 100));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QStringLiteral("page.pdf"));
    QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    // The upper half of the page, full width.
    QRect target(0, 0, page.width(), page.width() / 4);
    ASSERT_TRUE(playPicture(printer, picture, target));

    QProcess run;
    run.start(pdftotext, {QStringLiteral("-bbox"), QStringLiteral("page.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(run.waitForFinished(10000));
    QString out = QString::fromUtf8(run.readAllStandardOutput());
    int at = out.indexOf(QStringLiteral("NOSKPICTURE"));
    ASSERT_GE(at, 0) << out.toStdString();
    // The word is drawn at 20/400 of the target width per pixel of font: on a
    // page of some 540 points it must be far wider than a 20-pixel word.
    int lineStart = out.lastIndexOf(QStringLiteral("<word"), at);
    QString word = out.mid(lineStart, at - lineStart);
    auto attr = [&](const QString& name) {
        int i = word.indexOf(name + QStringLiteral("=\""));
        return word.mid(i + name.size() + 2).section(QLatin1Char('"'), 0, 0).toDouble();
    };
    double width = attr(QStringLiteral("xMax")) - attr(QStringLiteral("xMin"));
    double pageWidthPt = page.width() * 72.0 / printer.resolution();
    EXPECT_GT(width, pageWidthPt * 0.2);
    EXPECT_LT(width, pageWidthPt);
}
