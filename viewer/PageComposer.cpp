#include "PageComposer.h"

#include "CViewerPage.h"
#include "GraphPageSupport.h"
#include "ImageLayout.h"
#include "CZuGraph.h"

#include <QPainter>

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

} // namespace

std::unique_ptr<QPicture> ComposeForPrinter(const CViewerPage& page, QPaintDevice* reference, int W, int H)
{
    PageGraphs list;
    page.GetPageGraphs(list);
    if (list.count() == 0)
        return nullptr;
    const GraphSlots rects = printerLayout(titledSizes(list), W, H);
    auto picture = std::make_unique<QPicture>();
    QPainter painter(picture.get());
    // The white frame makes the picture span the whole page.
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, W - 1, H - 1);
    playGraphs(painter, list, rects, reference);
    painter.end();
    return picture;
}

std::unique_ptr<QPicture> ComposeForImage(const CViewerPage& page, int& width, int& height)
{
    width = height = 0;
    PageGraphs list;
    page.GetPageGraphs(list);
    if (list.count() == 0)
        return nullptr;
    const ImageLayout layout = imageLayout(titledSizes(list));
    width = layout.width;
    height = layout.height;
    auto picture = std::make_unique<QPicture>();
    QPainter painter(picture.get());
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, width - 1, height - 1);
    playGraphs(painter, list, layout.rects, nullptr);
    painter.end();
    return picture;
}

} // namespace nosk
