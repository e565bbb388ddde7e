// The graph on Qt: ranges, layout after moves, the corner buttons and their
// notifications, painting checked on pixels, pictures and printing.
#include "CZuAxis.h"
#include "CZuAxisLabel.h"
#include "CZuGraph.h"
#include "CZuPlot.h"
#include "CZuSquareGraph.h"
#include "CZuTrace.h"
#include "support/ScriptedDialogRunner.h"

#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>

using namespace nosk;

namespace {

constexpr std::uint32_t kRed = 255;
constexpr std::uint32_t kBlue = 0xFF0000;

struct ChartGraph : ::testing::Test {
    QWidget page;
    CZuGraph graph;

    void SetUp() override { page.resize(900, 700); }

    void create(const QRect& rect = QRect(10, 10, 404, 304), int sizeButtons = 1)
    {
        ASSERT_TRUE(graph.Create(rect, &page, 12, 0, sizeButtons));
    }

    // The graph drawn as for printing, in client coordinates, on white.
    QImage render(const CZuGraph& g) const
    {
        QImage img(g.clientSize(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        g.paint(p, true);
        return img;
    }

    // Client coordinates of a data point.
    QPoint at(const CZuGraph& g, double x, double y) const
    {
        return g.plot()->pos() + QPoint(g.axisX()->MapValue(x), g.axisY()->MapValue(y));
    }
};

QColor pixel(const QImage& img, QPoint p)
{
    return img.pixelColor(p);
}

// Whether the colour lies within one pixel of p (a line between mapped
// points may round to the neighbouring pixel).
bool near(const QImage& img, QPoint p, QColor c)
{
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (img.pixelColor(p + QPoint(dx, dy)) == c)
                return true;
    return false;
}

} // namespace

TEST_F(ChartGraph, RangesWithoutTracesAndDefaultTitles)
{
    create();
    EXPECT_EQ(graph.clientSize(), QSize(400, 300));
    graph.UpdateRanges();
    EXPECT_DOUBLE_EQ(graph.axisX()->rangeMin(), 0);
    EXPECT_DOUBLE_EQ(graph.axisX()->rangeMax(), 10);
    EXPECT_DOUBLE_EQ(graph.axisY()->rangeMin(), 0);
    EXPECT_DOUBLE_EQ(graph.axisY()->rangeMax(), 10);
    EXPECT_EQ(graph.axisX()->GetTitleWindow()->text(), QStringLiteral("Axis X"));
    EXPECT_EQ(graph.axisY()->GetTitleWindow()->text(), QStringLiteral("Axis Y"));
    graph.axisX()->GetTitleWindow()->setText(QStringLiteral("Time, sec"));
    graph.axisX()->SetRange(0, 7);
    EXPECT_EQ(graph.axisX()->GetTitleWindow()->text(), QStringLiteral("Axis X"));
    // The plot's edges are the axes' ends.
    EXPECT_EQ(graph.axisX()->MapValue(0), 0);
    EXPECT_EQ(graph.axisX()->MapValue(8), graph.plot()->width() - 1);
    EXPECT_EQ(graph.axisY()->MapValue(10), 0);
    EXPECT_EQ(graph.axisY()->MapValue(0), graph.plot()->height());
}

TEST_F(ChartGraph, TracesReferToCallerArraysAndSkipNonFinite)
{
    double x[] = {1, 2, NAN, 4};
    double y[] = {10, INFINITY, 30, 40};
    create();
    graph.AddTrace(x, y, 4, StyleLine, kRed);
    graph.UpdateRanges();
    EXPECT_DOUBLE_EQ(graph.axisX()->GetDataMin(), 1);
    EXPECT_DOUBLE_EQ(graph.axisX()->GetDataMax(), 4);
    EXPECT_DOUBLE_EQ(graph.axisY()->GetDataMax(), 40);
    EXPECT_TRUE(std::isfinite(graph.axisX()->rangeMax()));
    x[3] = 3456;   // the trace sees the owner's array, not a copy
    EXPECT_NEAR(graph.axisX()->GetDataMax(), 3450, 1e-9);
    render(graph);  // non-finite points are skipped, not drawn
}

TEST_F(ChartGraph, LabelsOnANarrowAxisDoNotOverlap)
{
    create(QRect(0, 0, 150, 200));
    graph.UpdateRanges();
    const auto& labels = graph.axisX()->tickLabels();
    ASSERT_FALSE(labels.empty());
    std::vector<QRect> shown{graph.axisX()->minLabel()->geometry()};
    for (auto* l : labels)
        if (!l->isHidden())
            shown.push_back(l->geometry());
    if (!graph.axisX()->maxLabel()->isHidden())
        shown.push_back(graph.axisX()->maxLabel()->geometry());
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_FALSE(shown[i].intersects(shown[i - 1]));
    EXPECT_FALSE(graph.axisX()->minLabel()->isHidden());
    EXPECT_LT(shown.size(), labels.size() + 2);
}

TEST_F(ChartGraph, EnlargeRestoreAndLegendButtons)
{
    create();
    const QRect normal(10, 10, 404, 304);
    const QRect big(5, 5, 804, 604);
    graph.SetPositions(normal, big);
    QSignalSpy resized(&graph, &CZuGraph::graphResized);
    QSignalSpy closed(&graph, &CZuGraph::graphClose);
    EXPECT_EQ(graph.enlargeButton()->geometry(), QRect(2, 283, 15, 15));
    EXPECT_EQ(graph.restoreButton()->geometry().left(), 17);
    EXPECT_EQ(graph.legendButton()->geometry().left(), 32);
    EXPECT_TRUE(graph.enlargeButton()->isEnabled());
    EXPECT_FALSE(graph.restoreButton()->isEnabled());

    graph.axisY()->GetTitleWindow();
    graph.UpdateRanges();
    graph.axisY()->GetTitleWindow()->setText(QStringLiteral("Residuals"));
    graph.enlargeButton()->click();
    ASSERT_EQ(resized.count(), 1);
    EXPECT_EQ(resized[0][0].toInt(), 0);
    EXPECT_EQ(resized[0][1].value<CZuGraph*>(), &graph);
    EXPECT_EQ(graph.geometry(), big);
    EXPECT_FALSE(graph.enlargeButton()->isEnabled());
    EXPECT_TRUE(graph.restoreButton()->isEnabled());
    EXPECT_EQ(graph.enlargeButton()->geometry().top(), 600 - 17);
    EXPECT_EQ(graph.axisY()->GetTitleWindow()->text(), QStringLiteral("Residuals"));
    EXPECT_EQ(graph.plot()->x() + graph.plot()->width() - 1,
              graph.axisX()->x() + graph.axisX()->scale().maxEnd);

    graph.restoreButton()->click();
    ASSERT_EQ(resized.count(), 2);
    EXPECT_EQ(resized[1][0].toInt(), 1);
    EXPECT_EQ(graph.geometry(), normal);
    EXPECT_TRUE(graph.enlargeButton()->isEnabled());
    EXPECT_FALSE(graph.restoreButton()->isEnabled());

    graph.legendButton()->click();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed[0][0].toInt(), 0);
}

TEST_F(ChartGraph, LegendButtonTakesFirstSlotWithoutSizeButtons)
{
    create(QRect(10, 10, 404, 304), 0);
    EXPECT_TRUE(graph.enlargeButton()->isHidden());
    EXPECT_TRUE(graph.restoreButton()->isHidden());
    EXPECT_FALSE(graph.legendButton()->isHidden());
    EXPECT_EQ(graph.legendButton()->geometry().left(), 2);

    CZuGraph bare;
    bare.showLegendButton() = 0;
    bare.Create(QRect(0, 0, 200, 200), &page, 13, 0, 0);
    EXPECT_TRUE(bare.legendButton()->isHidden());
}

TEST_F(ChartGraph, MoveKeepsManualRangeAndTitles)
{
    double x[] = {1, 2, 3};
    double y[] = {5, 6, 7};
    create();
    graph.AddTrace(x, y, 3, StyleLine, kRed);
    graph.axisY()->autoScale() = 0;
    graph.axisY()->rangeMin() = 0;
    graph.axisY()->rangeMax() = 50;
    graph.UpdateRanges();
    graph.axisX()->GetTitleWindow()->setText(QStringLiteral("Angular frequency, rad/s"));
    EXPECT_DOUBLE_EQ(graph.axisY()->rangeMax(), 50);
    graph.MoveGraph(QRect(0, 0, 604, 504));
    EXPECT_EQ(graph.clientSize(), QSize(600, 500));
    EXPECT_DOUBLE_EQ(graph.axisY()->rangeMin(), 0);
    EXPECT_DOUBLE_EQ(graph.axisY()->rangeMax(), 50);
    EXPECT_EQ(graph.axisX()->GetTitleWindow()->text(), QStringLiteral("Angular frequency, rad/s"));
    EXPECT_EQ(graph.axisY()->GetTitleWindow()->text(), QStringLiteral("Axis Y"));
    EXPECT_EQ(graph.axisX()->y() + graph.axisX()->height(), 500);
}

TEST_F(ChartGraph, TracePixelsOnImageAndScreen)
{
    double x[] = {1, 5, 9};
    double y[] = {2, 5, 8};
    create();
    graph.AddTrace(x, y, 3, StyleLine, kRed);
    graph.UpdateRanges();
    const QImage img = render(graph);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pixel(img, at(graph, x[i], y[i])), QColor(Qt::red)) << i;
    // Between points the line runs; away from it the plot stays white.
    EXPECT_TRUE(near(img, at(graph, 3, 3.5), QColor(Qt::red)));
    EXPECT_EQ(pixel(img, at(graph, 3, 7) + QPoint(1, 1)), QColor(Qt::white));

    // The screen draws the same.
    page.show();
    graph.show();
    const QImage screen = graph.client()->grab().toImage();
    EXPECT_EQ(screen.pixelColor(at(graph, 5, 5)), QColor(Qt::red));
    // Grid line at an interior tick, light grey.
    const int gx = graph.plot()->x() + graph.axisX()->MapValue(graph.axisX()->tickValues()[0]);
    EXPECT_EQ(screen.pixelColor(gx, graph.plot()->y() + 3), QColor(220, 220, 220));
}

TEST_F(ChartGraph, MarkersAndDashOrder)
{
    double hx[] = {1, 9};
    double hy[] = {5, 5};
    double vx[] = {5, 5};
    double vy[] = {1, 9};
    create();
    graph.AddTrace(hx, hy, 2, StyleLine, kBlue);                  // solid, first
    graph.AddTrace(vx, vy, 2, StyleLine | StyleDash, kRed);        // dotted, drawn first
    graph.UpdateRanges();
    const QPoint cross = at(graph, 5, 5);
    EXPECT_EQ(pixel(render(graph), cross), QColor(Qt::blue));
    // A solid red trace drawn after would cover the blue one.
    graph.plot()->traces()[1]->setStyle(StyleLine);
    EXPECT_EQ(pixel(render(graph), cross), QColor(Qt::red));

    // Dot: a 3 x 3 outline; dot and cross bits: squares only.
    graph.plot()->traces()[0]->setStyle(StyleDot | StyleCross);
    graph.plot()->traces()[1]->setStyle(StyleCross);
    const QImage img = render(graph);
    const QPoint p0 = at(graph, 1, 5);
    EXPECT_EQ(pixel(img, p0 + QPoint(1, 1)), QColor(Qt::blue));
    EXPECT_EQ(pixel(img, p0 + QPoint(-1, 0)), QColor(Qt::blue));
    EXPECT_EQ(pixel(img, p0 + QPoint(2, 2)), QColor(Qt::white));
    const QPoint p1 = at(graph, 5, 1);
    EXPECT_EQ(pixel(img, p1 + QPoint(2, 2)), QColor(Qt::red));
    EXPECT_EQ(pixel(img, p1 + QPoint(-2, 2)), QColor(Qt::red));
    EXPECT_EQ(pixel(img, p1 + QPoint(1, 0)), QColor(Qt::white));
}

TEST_F(ChartGraph, SquareGraphRanges)
{
    double x[] = {0, 1, 4};
    double y[] = {-1, 0.5, 0};
    CZuSquareGraph square;
    ASSERT_TRUE(square.Create(QRect(10, 10, 304, 404), &page, 12, 0, 0));
    EXPECT_EQ(square.plot()->width(), square.plot()->height());
    square.AddTrace(x, y, 3, StyleLine, kRed);
    square.UpdateRanges();
    EXPECT_DOUBLE_EQ(square.axisX()->rangeMin(), 0);
    EXPECT_DOUBLE_EQ(square.axisX()->rangeMax(), 4);
    EXPECT_DOUBLE_EQ(square.axisY()->rangeMin(), -1);
    EXPECT_DOUBLE_EQ(square.axisY()->rangeMax(), 3);
    EXPECT_EQ(square.axisX()->autoScale(), 0);
    EXPECT_EQ(square.axisY()->autoScale(), 0);
    EXPECT_TRUE(square.KeepsFullFrame());
}

TEST_F(ChartGraph, PicturesKeepTheirFrameOnAnyDevice)
{
    double x[] = {0, 10};
    double y[] = {0, 10};
    create();
    graph.AddTrace(x, y, 2, StyleLine, kRed);
    graph.UpdateRanges();
    const QPicture plain = graph.MakeMetafile();
    EXPECT_EQ(plain.boundingRect(), QRect(0, 0, 400, 300));
    const QRect titled = graph.TitledSize();
    EXPECT_EQ(titled, QRect(0, 0, 400, 300 + graph.titleBand()));
    EXPECT_GE(graph.titleBand(), graph.axisX()->height() / 2);
    const QPicture titledPicture = graph.MakeTitledMetafile(nullptr, QStringLiteral("Impedance vs. Time, sec"));
    EXPECT_EQ(titledPicture.boundingRect(), titled);
    {
        // The title is drawn whole inside its band, clear of the picture's
        // top edge (the edge of an exported image).
        QImage band(titled.size(), QImage::Format_RGB32);
        band.fill(Qt::white);
        {
            QPainter p(&band);
            p.drawPicture(0, 0, titledPicture);
        }
        int firstDark = -1;
        for (int y = 0; y < graph.titleBand() && firstDark < 0; ++y)
            for (int x = 0; x < band.width(); ++x)
                if (qGray(band.pixel(x, y)) < 128) {
                    firstDark = y;
                    break;
                }
        EXPECT_GE(firstDark, 2) << "the title touches the top edge";
        EXPECT_LT(firstDark, graph.titleBand()) << "no title drawn";
    }

    // Played at twice the size into a 1200 dpi image, the picture fills
    // exactly its target.
    QImage img(1000, 800, QImage::Format_RGB32);
    img.setDotsPerMeterX(47244);
    img.setDotsPerMeterY(47244);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        PlayMetafile(p, plain, QRect(100, 100, 800, 600));
    }
    // The red diagonal runs from the plot's bottom-left to its top-right.
    const QPoint lo = at(graph, 0, 0) * 2 + QPoint(100, 100);
    const QPoint hi = at(graph, 10, 10) * 2 + QPoint(100, 100);
    auto reddish = [&](QPoint p) {
        for (int dx = -3; dx <= 3; ++dx)
            for (int dy = -3; dy <= 3; ++dy) {
                const QColor c = img.pixelColor(p + QPoint(dx, dy));
                if (c.red() > 200 && c.green() < 80)
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(reddish(lo));
    EXPECT_TRUE(reddish(hi));
    EXPECT_TRUE(reddish((lo + hi) / 2));
    // Nothing outside the target.
    for (int xx = 0; xx < 1000; xx += 7)
        EXPECT_EQ(img.pixelColor(xx, 99), QColor(Qt::white));
}

TEST_F(ChartGraph, PrintScaleOnAFakePage)
{
    // A 300 x 200 graph on a 2400 x 3200 page: scale 8, 800 pixels down.
    create(QRect(0, 0, 304, 204));
    graph.UpdateRanges();
    QImage page3200(2400, 3200, QImage::Format_RGB32);
    page3200.setDotsPerMeterX(11811);   // 300 dpi
    page3200.setDotsPerMeterY(11811);
    page3200.fill(Qt::white);
    {
        QPainter p(&page3200);
        graph.renderForPrinter(p, page3200.size());
    }
    int firstRow = -1;
    int lastRow = -1;
    for (int yy = 0; yy < 3200; yy += 1) {
        const uchar* line = page3200.constScanLine(yy);
        bool any = false;
        for (int xx = 0; xx < 2400 * 4; xx += 4)
            if (line[xx] != 255) {
                any = true;
                break;
            }
        if (any) {
            if (firstRow < 0)
                firstRow = yy;
            lastRow = yy;
        }
    }
    EXPECT_GE(firstRow, 800);
    EXPECT_LE(firstRow, 800 + 8 * graph.plot()->y() + 8);
    EXPECT_LT(lastRow, 2400);
    EXPECT_GT(lastRow, 2400 - 8 * 20);
}

TEST_F(ChartGraph, PrintsToPdf)
{
    create();
    graph.UpdateRanges();
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("graph.pdf")));
    bool asked = false;
    test::ScriptedDialogRunner dialogs;
    dialogs.next<QPrintDialog>([&](QPrintDialog* d) {
        asked = true;
        QPrinter& p = *d->printer();
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(dir.filePath(QStringLiteral("graph.pdf")));
        d->done(QDialog::Accepted);  // OK, without the controls read into the printer again
    });
    graph.PrintGraph();
    EXPECT_TRUE(asked);
    QFile pdf(dir.filePath(QStringLiteral("graph.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF"));

    // Cancel prints nothing.
    dialogs.next<QPrintDialog>([](QPrintDialog* d) { d->reject(); });
    pdf.close();
    pdf.remove();
    graph.PrintGraph();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("graph.pdf"))));
}

TEST(ChartPictures, NestedPicturesComposeExactlyOnAHighResolutionDevice)
{
    // The viewer composes graph pictures into a page picture and plays that
    // on the printer: each level must land on its target rectangle.
    QPicture inner;
    {
        QPainter p(&inner);
        p.fillRect(QRect(0, 0, 100, 50), Qt::red);
    }
    inner.setBoundingRect(QRect(0, 0, 100, 50));
    QPicture outer;
    {
        QPainter p(&outer);
        PlayMetafile(p, inner, QRect(500, 500, 200, 100));
    }
    outer.setBoundingRect(QRect(0, 0, 1000, 1000));
    QImage img(1000, 1000, QImage::Format_RGB32);
    img.setDotsPerMeterX(47244);   // 1200 dpi
    img.setDotsPerMeterY(47244);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        PlayMetafile(p, outer, QRect(0, 0, 1000, 1000));
    }
    QRect red;
    for (int yy = 0; yy < 1000; ++yy)
        for (int xx = 0; xx < 1000; ++xx)
            if (img.pixelColor(xx, yy) == QColor(Qt::red))
                red |= QRect(xx, yy, 1, 1);
    EXPECT_EQ(red, QRect(500, 500, 200, 100));
}

namespace {

// A polyline drawn the plain way, every point, with a one-pixel pen.
QImage drawnPolyline(const std::vector<QPoint>& points, const QSize& size, const QTransform& t = {})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setTransform(t);
    p.setPen(QPen(Qt::black, 0));
    p.drawPolyline(points.data(), int(points.size()));
    return image;
}

} // namespace

TEST(ChartTraces, DecimatedPolylinesCoverTheSamePixels)
{
    // Noisy columns of many points, steps back and forth between columns,
    // flat stretches and far jumps: the reduced line must light exactly
    // the pixels of the full one.
    std::vector<QPoint> pts;
    unsigned seed = 7;
    auto rnd = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % unsigned(n));
    };
    for (int i = 0; i < 60000; ++i) {
        int x = i / 150;
        if (i % 1000 > 990)
            x -= 3;  // the line goes back a little
        int y = 100 + rnd(40) - 20;
        if (i % 777 == 0)
            y = rnd(300);
        if (i % 5000 < 300)
            y = 50;  // flat
        pts.emplace_back(x, y);
    }
    const std::vector<QPoint> reduced = DecimatePolyline(pts);
    EXPECT_LT(reduced.size(), pts.size() / 20);
    EXPECT_EQ(reduced.front(), pts.front());
    EXPECT_EQ(reduced.back(), pts.back());
    const QSize size(420, 310);
    EXPECT_EQ(drawnPolyline(reduced, size), drawnPolyline(pts, size));
    // A hairline stays exact under the scale of a printed picture.
    const QTransform twice = QTransform::fromScale(2, 2);
    EXPECT_EQ(drawnPolyline(reduced, size * 2, twice), drawnPolyline(pts, size * 2, twice));

    // Nothing to reduce in a line without shared columns.
    const std::vector<QPoint> diagonal = {{0, 0}, {1, 1}, {2, 5}, {3, 2}};
    EXPECT_EQ(DecimatePolyline(diagonal), diagonal);
    EXPECT_TRUE(DecimatePolyline({}).empty());
}

TEST(ChartTraces, ALongNoisyLineTraceLooksAsItsFullPolyline)
{
    // The trace's own drawing (reduced) against every segment of every
    // point drawn with the trace's pen.
    const int n = 100000;
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = 1.0 + i * 1e-3;
        y[i] = std::sin(i * 0.37) * 40 + std::cos(i * 0.011) * 30;
    }
    CZuXYTrace trace(x.data(), y.data(), n, StyleLine, kRed, nullptr);
    AxisScale xs;
    xs.min = 0;
    xs.max = 101;
    xs.minEnd = 0;
    xs.maxEnd = 400;
    AxisScale ys;
    ys.orientation = AxisOrientation::Vertical;
    ys.min = -80;
    ys.max = 80;
    ys.minEnd = 300;
    ys.maxEnd = 0;
    QImage drawn(402, 302, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter p(&drawn);
        trace.Draw(p, xs, ys, false);
    }
    std::vector<QPoint> pts;
    const AxisMapper mx(xs), my(ys);
    for (int i = 0; i < n; ++i)
        pts.emplace_back(mx.map(x[i]), my.map(y[i]));
    QImage full(402, 302, QImage::Format_RGB32);
    full.fill(Qt::white);
    {
        QPainter p(&full);
        p.setPen(QPen(QColor(255, 0, 0), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        for (int i = 1; i < n; ++i)
            p.drawLine(pts[i - 1], pts[i]);
    }
    int differ = 0;
    for (int r = 0; r < drawn.height(); ++r)
        for (int c = 0; c < drawn.width(); ++c)
            differ += drawn.pixel(c, r) != full.pixel(c, r);
    EXPECT_EQ(differ, 0);
}
