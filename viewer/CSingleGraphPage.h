#pragma once

#include "CViewerPage.h"

#include <optional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;

namespace nosk {

class CZuGraph;

// A page with one graph in a group box, built the first time it is shown,
// printed or exported: the analyses' pages (each drawn from its table in the
// work folder) and the residuals in percent of |Z|. A page builds itself in
// build(): createGraph(), its traces, then finishGraph().
class CSingleGraphPage : public CViewerPage {
    Q_OBJECT
public:
    CSingleGraphPage(const QString& title, int helpContext, int textHeight, QWidget* parent = nullptr);

    bool HasGraphs() const override { return true; }
    void GetPageGraphs(PageGraphs& list) const override;

    void ensureBuilt();
    // Drops the graph and builds the page again (a page that shows one of
    // several things, on a change of choice).
    void rebuild();
    CZuGraph* graph() const { return m_graph; }
    QGroupBox* groupBox() const { return m_group; }
    // Which spectrum the page's results belong to (empty when the page does
    // not say), and whether that is another spectrum than the run's.
    QString originText() const;
    bool stale() const { return m_stale; }

protected:
    virtual void build() = 0;
    // Places what the page shows under the graph inside `area` (the group's
    // rectangle) and returns the height it takes; nothing by default.
    virtual int layoutBelowGraph(const QRect& area);

    // The group box with its caption, then the graph in it at the page's
    // size with the trace-list id `id`; it reports through the page's prompt.
    void createGraph(const QString& caption, int id, bool legendButton);
    // Shows the graph with its ranges and axis titles, routes its help and
    // lays the page out.
    void finishGraph(const QString& xTitle, const QString& yTitle);
    // The text of a table of the work folder; empty when it is missing or no
    // regular file, which the tables' readers take as an empty table.
    static std::string readTableFile(const char* name);
    // The band from -level to +level over [lo, hi] in green, and an undrawn
    // trace at 1.5 times the level that keeps the band off the plot's frame;
    // `named`: the traces carry names for the legend.
    void addBand(double lo, double hi, double level, bool named);
    // The line above the graph that names the spectrum of the results
    // (`which`, empty: the page says nothing); `same`: whether it is the
    // spectrum of the run shown, nothing without a run to compare with.
    // Another spectrum's results get a red banner instead, and the caption,
    // which prints and exports with the graph, says so. Call between
    // createGraph() and finishGraph().
    void showOrigin(const std::string& which, std::optional<bool> same);
    int textHeight() const { return m_textHeight; }

    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutGraph();

    int m_textHeight;
    bool m_built = false;
    QGroupBox* m_group = nullptr;
    CZuGraph* m_graph = nullptr;
    QLabel* m_origin = nullptr;
    bool m_stale = false;
    // The band's traces point into these.
    std::vector<double> m_bandX, m_bandUp, m_bandDown, m_pad;
};

} // namespace nosk
