#pragma once

#include <QPicture>

#include <memory>

class QPaintDevice;

namespace nosk {

class CViewerPage;

// All graphs of a page on one picture, each with its group box text as
// title: for a printer page of W x H device pixels (the graphs enlarged by
// whole factors), or for an image in screen pixels (width and height
// returned). Nothing when the page has no graphs.
std::unique_ptr<QPicture> ComposeForPrinter(const CViewerPage& page, QPaintDevice* reference, int W, int H);
std::unique_ptr<QPicture> ComposeForImage(const CViewerPage& page, int& width, int& height);

} // namespace nosk
