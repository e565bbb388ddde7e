#include "PageComposer.h"

#include "CViewerPage.h"
#include "GraphPageSupport.h"
#include "ImageLayout.h"
#include "CZuGraph.h"
#include "CZuTrace.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace nosk {

namespace {

std::array<std::optional<LayoutRect>, 4> titledSizes(const PageGraphs& list)
{
    std::array<std::optional<LayoutRect>, 4> sizes;
    for (int i = 0; i < 4; ++i)
        if (list.graphs[i]) {
            const QRect r = list.graphs[i]->TitledSize();
            sizes[i] = LayoutRect{0, 0, r.width(), r.height()};
        }
    return sizes;
}

void playGraphs(QPainter& painter, const PageGraphs& list, const GraphSlots& rects, QPaintDevice* reference)
{
    for (int i = 0; i < 4; ++i) {
        if (!list.graphs[i] || !rects[i] || rects[i]->width() <= 0 || rects[i]->height() <= 0)
            continue;
        const QPicture titled = list.graphs[i]->MakeTitledMetafile(reference, list.titles[i]);
        PlayMetafile(painter, titled, toQRect(*rects[i]));
    }
}

// The colour key in rows across `width`, in a font `pixelSize` pixels high:
// each entry a short line and its text. Returns the height it takes; draws
// only with a painter.
int layKey(QPainter* painter, const std::vector<PageGraphs::KeyEntry>& key, int left, int top, int width,
           int pixelSize)
{
    if (key.empty() || width <= 0)
        return 0;
    QFont font;
    font.setPixelSize(std::max(pixelSize, 6));
    const QFontMetrics fm(font);
    const int line = fm.height();
    const int swatch = 3 * fm.averageCharWidth();
    const int gap = 2 * fm.averageCharWidth();
    int x = 0, y = line / 2;
    if (painter)
        painter->setFont(font);
    for (const PageGraphs::KeyEntry& e : key) {
        // A little room beyond the measured text: a picture played on
        // another device may set it a few pixels wider.
        const int textWidth = std::min(fm.horizontalAdvance(e.text) + fm.averageCharWidth(), width - swatch - gap);
        const int w = swatch + gap / 2 + textWidth;
        if (x > 0 && x + w > width) {
            x = 0;
            y += line;
        }
        if (painter) {
            const int mid = top + y + line / 2;
            painter->setPen(QPen(ColorFromRef(e.color), std::max(1, pixelSize / 8), e.dotted ? Qt::DotLine : Qt::SolidLine));
            painter->drawLine(left + x, mid, left + x + swatch, mid);
            painter->setPen(Qt::black);
            painter->drawText(QRect(left + x + swatch + gap / 2, top + y, textWidth, line),
                              int(Qt::AlignLeft | Qt::AlignVCenter), fm.elidedText(e.text, Qt::ElideRight, textWidth));
        }
        x += w + gap;
    }
    return y + line + line / 2;
}


// A page that draws itself: its picture on white.
std::unique_ptr<QPicture> ownPicture(const CViewerPage& page, int W, int H)
{
    auto picture = std::make_unique<QPicture>();
    QPainter painter(picture.get());
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, W - 1, H - 1);
    page.drawOwnPicture(painter, QRect(0, 0, W, H));
    painter.end();
    return picture;
}

} // namespace

std::unique_ptr<QPicture> ComposeForPrinter(const CViewerPage& page, QPaintDevice* reference, int W, int H)
{
    if (page.ownPictureSize().isValid()) {
        // Scaled to the page with the picture's own proportions.
        const QSize own = page.ownPictureSize();
        const double f = std::min(double(W) / own.width(), double(H) / own.height());
        auto picture = std::make_unique<QPicture>();
        QPainter painter(picture.get());
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(Qt::white);
        painter.drawRect(0, 0, W - 1, H - 1);
        painter.scale(f, f);
        page.drawOwnPicture(painter, QRect(QPoint(0, 0), own));
        painter.end();
        return picture;
    }
    PageGraphs list;
    page.GetPageGraphs(list);
    if (list.count() == 0)
        return nullptr;
    // The key takes the foot of the page, in a font of a sixtieth of its height.
    const int keyPixels = std::max(H / 60, 8);
    const int keyHeight = layKey(nullptr, list.key, 0, 0, W, keyPixels);
    const GraphSlots rects = printerLayout(titledSizes(list), W, H - keyHeight);
    auto picture = std::make_unique<QPicture>();
    QPainter painter(picture.get());
    // The white frame makes the picture span the whole page.
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, W - 1, H - 1);
    playGraphs(painter, list, rects, reference);
    layKey(&painter, list.key, 0, H - keyHeight, W, keyPixels);
    painter.end();
    return picture;
}

std::unique_ptr<QPicture> ComposeForImage(const CViewerPage& page, int& width, int& height)
{
    width = height = 0;
    if (page.ownPictureSize().isValid()) {
        width = page.ownPictureSize().width();
        height = page.ownPictureSize().height();
        return ownPicture(page, width, height);
    }
    PageGraphs list;
    page.GetPageGraphs(list);
    if (list.count() == 0)
        return nullptr;
    const ImageLayout layout = imageLayout(titledSizes(list));
    width = layout.width;
    // The key goes under the graphs, in the size of the graphs' own texts.
    const int keyPixels = std::max(QFontMetrics(QFont()).height() * (list.count() == 1 ? 2 : 1) * 3 / 4, 8);
    const int keyHeight = layKey(nullptr, list.key, 8, 0, width - 16, keyPixels);
    height = layout.height + keyHeight;
    auto picture = std::make_unique<QPicture>();
    QPainter painter(picture.get());
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, width - 1, height - 1);
    playGraphs(painter, list, layout.rects, nullptr);
    layKey(&painter, list.key, 8, layout.height, width - 16, keyPixels);
    painter.end();
    return picture;
}

} // namespace nosk
