#pragma once

#include "CZuTrace.h"
#include "analysis/kk/KramersKronig.h"

#include <vector>

namespace nosk {

// The points an analysis names as standing apart, drawn in its graph as a
// red ring round the data point with its frequency beside it. The marks are
// a trace of the graph, so the screen, the saved images and the printed
// pages and PDF files show them alike.
class CPointMarkTrace : public CZuXYTrace {
public:
    CPointMarkTrace(const double* x, const double* y, int count, CZuGraph* graph);
    void Draw(QPainter& painter, const AxisScale& x, const AxisScale& y, bool printing) const override;
};

// Where the marks go: for each point named, the table's point at its
// frequency (the nearest in log frequency), on the series that is farthest
// from zero there. Points the table does not hold are left out.
void pointMarkPlaces(const std::vector<kk::Outlier>& points, const std::vector<double>& frequencyHz,
                     const std::vector<const std::vector<double>*>& series, std::vector<double>& x,
                     std::vector<double>& y);

// Adds the marks to the graph over x and y, which the page keeps alive.
void addPointMarks(CZuGraph& graph, const std::vector<double>& x, const std::vector<double>& y);

} // namespace nosk
