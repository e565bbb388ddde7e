#pragma once

#include "LayoutRect.h"
#include "GraphSettings.h"

#include <QRect>
#include <QString>

class QGroupBox;
class QWidget;

namespace nosk {

class CZuGraph;

// Helpers both graph pages share.
inline QRect toQRect(const LayoutRect& r) { return QRect(r.left, r.top, r.width(), r.height()); }
inline LayoutRect toLayoutRect(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

// A group box with the main window's bold font and the given title.
QGroupBox* makeGraphGroup(QWidget* page, const QString& title);
// Axis flags and ranges of the settings block into the graph, and back.
void applyAxisSettings(CZuGraph& graph, const GraphAxisSettings& axes);
void storeAxisSettings(const CZuGraph& graph, GraphAxisSettings& axes);
// The traces' colours and styles into the settings block (one trace: slot 1
// for real-only data, slot 2 for imaginary-only data).
void storeTraceSettings(const CZuGraph& graph, TraceSlots& traceSlots, char dattyp);
void setAxisTitles(CZuGraph& graph, const QString& horizontal, const QString& vertical);
// F1 in the graph's axis and trace dialogs opens their help topics.
void routeGraphHelp(CZuGraph& graph);
// The legend of a graph: two text lines and the entries of its traces.
void showLegend(CZuGraph& graph, const QString& line1, const QString& line2,
                const QString& name1, const QString& name2);

} // namespace nosk
