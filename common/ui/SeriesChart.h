#pragma once

// The pictures of a series fitted as one, drawn with QPainter: one panel
// per parameter (results/SeriesCurve.h says what each shows). The
// organiser's `--series --plot` writes all panels as one image; the
// viewer's "Series" page draws one at a time on screen and in its prints
// and images.

#include "results/SeriesCurve.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <string>

class QPainter;

namespace nosk {

struct PlotAxis;

// The frame of a panel's plot area: grid lines at the y ticks, the frame,
// the tick labels of both axes (the y labels right-aligned against the
// frame) and `xTitle` below; `px` and `py` map values to pixels.
void drawPlotFrame(QPainter& painter, const QRect& plot, const PlotAxis& xAxis, const PlotAxis& yAxis,
                   const std::function<double(double)>& px, const std::function<double(double)>& py,
                   const QString& xTitle);

// One parameter's panel inside `box`: title, axes, the band and the
// function (or the shared level), the spectra fitted alone (grey rings)
// and the joint fit's values (blue dots), with error bars of one std dev,
// and a key. The painter's font sets the size of the texts.
void drawSeriesPanel(QPainter& painter, const QRect& box, const SeriesPlotData& data);

// Every parameter's panel in a grid of `panel`-sized cells on white.
// Throws nosk::exception when a panel's numbers cannot be made.
QImage seriesImage(const SeriesResultFile& result, QSize panel = QSize(440, 320));

} // namespace nosk
