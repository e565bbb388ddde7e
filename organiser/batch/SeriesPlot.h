#pragma once

#include "BatchRun.h"
#include "core/AtomicFileWriter.h"

#include <string>
#include <vector>

class QImage;

namespace nosk {

// Draws each fitted parameter of a batch against the series (the number in
// the file names, else the position): one small graph per parameter, the
// values joined by lines, error bars of one std dev. Spectra that failed are
// left out. Written as PNG (or any format Qt writes, by the name's suffix);
// needs a QGuiApplication. Returns an empty string, or why nothing was written.
// `axis` names the horizontal axis (empty: the batch's series number).
std::string writeSeriesPlot(const std::vector<batch::Row>& rows, const std::vector<std::string>& names,
                            const std::string& path, const std::string& axis = {});

// An axis of the batch's pictures: its ends, whether it is logarithmic, the
// values of its ticks and their labels.
struct PlotAxis {
    double low = 0, high = 1;
    bool log = false;
    std::vector<double> ticks;
    std::vector<std::string> labels;
};

// The axis for values (with their error bars `err`, NaN for none): ticks
// at 1, 2 or 5 times a power of ten, about four of them, the ends on ticks,
// labels with as many digits as the step needs ("2.4", "-5e-07", never
// 2.41 or -5.027e-07). Values all above 0 keep the axis at or above 0, and
// when they span three decades or more (largest / smallest >= 1000) the
// axis is logarithmic with a tick at each power of ten (every second or
// third when they are many).
PlotAxis valueAxis(const std::vector<double>& values, const std::vector<double>& err = {});

// The legend text of a spectrum in the batch's DRT picture: its file's name.
std::string drtLegendText(const batch::Row& row);

// Writes `image` to `path` in the format its suffix names (PNG for any other)
// through an AtomicFileWriter: encoded first, the old file kept whole when
// the write fails, a FIFO or device under the name refused at once; `links`
// says whether a symbolic link there is followed (a name the user typed) or
// replaced (a name of ours). Returns an empty string, or why nothing was
// written.
std::string saveImageSafely(const QImage& image, const std::string& path, AtomicFileWriter::Links links);

} // namespace nosk
