#pragma once

#include "CZuGraph.h"

namespace nosk {

// The complex-plane graph: a square plot area, and both axes always span
// the same width of values, each from its own automatic minimum.
class CZuSquareGraph : public CZuGraph {
    Q_OBJECT
public:
    explicit CZuSquareGraph(QWidget* parent = nullptr);

    // The rectangle's width is changed so that the plot area is square.
    bool Create(const QRect& rect, QWidget* parent, int id, int style,
                int showSizeButtons) override;
    // Automatic ranges for both axes, then both widened to the larger
    // width; afterwards both axes are manual.
    void UpdateRanges() override;
    bool KeepsFullFrame() const override { return true; }
};

} // namespace nosk
