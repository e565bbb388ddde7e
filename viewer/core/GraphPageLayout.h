#pragma once

#include "LayoutRect.h"

namespace nosk {

// Where the graphs of a graph page sit on screen.
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

} // namespace nosk
