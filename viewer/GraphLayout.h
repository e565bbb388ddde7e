#pragma once

#include <array>
#include <optional>

namespace nosk {

// Integer rectangles with exclusive right and bottom edges, as the layouts of
// the graph pages and of the printed and saved pages are computed.
struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const LayoutRect&) const = default;
    void moveTo(int x, int y)
    {
        right += x - left;
        bottom += y - top;
        left = x;
        top = y;
    }
    void moveBy(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
};

using GraphSlots = std::array<std::optional<LayoutRect>, 4>;

// Group boxes of a graph page for the graphs built (graph 1 to 4 at index 0
// to 3); unused slots stay empty.
GraphSlots graphPageGroups(const std::array<bool, 4>& built, const LayoutRect& client);
// A graph's normal rectangle inside its group box (L: text height of the dialog font).
LayoutRect graphNormalRect(const LayoutRect& group, int textHeight);
// The rectangle of an enlarged graph.
LayoutRect graphEnlargedRect(const LayoutRect& client, int textHeight);
// The group box of an enlarged graph.
LayoutRect enlargedGroupRect(const LayoutRect& client);
// The group box around a graph (the inverse of graphNormalRect).
LayoutRect groupAroundGraph(const LayoutRect& graph, int textHeight);

// The printer layout: where each graph (titled sizes given, empty slot = no
// graph) goes on a printable page of W x H pixels.
GraphSlots printerLayout(const std::array<std::optional<LayoutRect>, 4>& sizes, int W, int H);

// The image layout: where each graph goes and the image's width and height.
struct ImageLayout {
    GraphSlots rects;
    int width = 0;
    int height = 0;
};
ImageLayout imageLayout(const std::array<std::optional<LayoutRect>, 4>& sizes);

} // namespace nosk
