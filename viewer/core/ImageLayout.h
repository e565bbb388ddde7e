#pragma once

#include "LayoutRect.h"

namespace nosk {

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
