#pragma once

#include "BatchRun.h"
#include "core/AtomicFileWriter.h"
#include "ui/PlotAxis.h"

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
