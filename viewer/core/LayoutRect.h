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

} // namespace nosk
