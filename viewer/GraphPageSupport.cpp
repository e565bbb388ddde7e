#include "GraphPageSupport.h"

#include "CZuAxis.h"
#include "CZuAxisLabel.h"
#include "CZuGraph.h"
#include "CZuLegendDlg.h"
#include "CZuPlot.h"
#include "CZuTrace.h"
#include "platform/DialogRunner.h"
#include "platform/Help.h"

#include <QGroupBox>
#include <QPalette>

namespace nosk {

QGroupBox* makeGraphGroup(QWidget* page, const QString& title)
{
    auto* group = new QGroupBox(title, page);
    QFont bold = group->font();
    bold.setWeight(QFont::DemiBold);
    group->setFont(bold);
    QPalette pal = group->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    group->setPalette(pal);
    group->show();
    return group;
}

void applyAxisSettings(CZuGraph& graph, const GraphAxisSettings& axes)
{
    graph.axisX()->autoScale() = axes.horizontal.autoScale;
    graph.axisX()->logScale() = axes.horizontal.logScale;
    graph.axisX()->rangeMin() = axes.horizontal.rangeMin;
    graph.axisX()->rangeMax() = axes.horizontal.rangeMax;
    graph.axisY()->autoScale() = axes.vertical.autoScale;
    graph.axisY()->logScale() = axes.vertical.logScale;
    graph.axisY()->rangeMin() = axes.vertical.rangeMin;
    graph.axisY()->rangeMax() = axes.vertical.rangeMax;
}

void storeAxisSettings(const CZuGraph& graph, GraphAxisSettings& axes)
{
    const CZuAxis* x = graph.axisX();
    const CZuAxis* y = graph.axisY();
    axes.horizontal = {x->autoScale(), x->logScale(), x->rangeMin(), x->rangeMax()};
    axes.vertical = {y->autoScale(), y->logScale(), y->rangeMin(), y->rangeMax()};
}

void storeTraceSettings(const CZuGraph& graph, TraceSlots& traceSlots, char dattyp)
{
    const auto& traces = graph.plot()->traces();
    if (traces.size() >= 2) {
        traceSlots.color1 = static_cast<std::int32_t>(traces[0]->color());
        traceSlots.style1 = traces[0]->style();
        traceSlots.color2 = static_cast<std::int32_t>(traces[1]->color());
        traceSlots.style2 = traces[1]->style();
    } else if (traces.size() == 1) {
        if (dattyp == 'R') {
            traceSlots.color1 = static_cast<std::int32_t>(traces[0]->color());
            traceSlots.style1 = traces[0]->style();
        } else if (dattyp == 'I') {
            traceSlots.color2 = static_cast<std::int32_t>(traces[0]->color());
            traceSlots.style2 = traces[0]->style();
        }
    }
}

void setAxisTitles(CZuGraph& graph, const QString& horizontal, const QString& vertical)
{
    graph.axisX()->GetTitleWindow()->setText(horizontal);
    graph.axisY()->GetTitleWindow()->setText(vertical);
}

void routeGraphHelp(CZuGraph& graph)
{
    QObject::connect(&graph, &CZuGraph::helpRequested, &graph, [](int context) { openHelpTopic(context); });
}

void showLegend(CZuGraph& graph, const QString& line1, const QString& line2, const QString& name1,
                const QString& name2)
{
    CZuLegendDlg dlg(&graph);
    QObject::connect(&dlg, &CZuLegendDlg::helpRequested, &dlg, [](int context) { openHelpTopic(context); });
    dlg.setLines(line1, line2);
    const auto& traces = graph.plot()->traces();
    if (traces.size() >= 1)
        dlg.AddEntry(name1, traces[0]->color(), traces[0]->style());
    if (traces.size() >= 2)
        dlg.AddEntry(name2, traces[1]->color(), traces[1]->style());
    if (runModal(dlg) == kLegendPrintResult)
        graph.PrintGraph();
}

} // namespace nosk
