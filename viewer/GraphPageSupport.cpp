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
    graph.AxisX()->AutoScale() = axes.horizontal.autoScale;
    graph.AxisX()->LogScale() = axes.horizontal.logScale;
    graph.AxisX()->RangeMin() = axes.horizontal.rangeMin;
    graph.AxisX()->RangeMax() = axes.horizontal.rangeMax;
    graph.AxisY()->AutoScale() = axes.vertical.autoScale;
    graph.AxisY()->LogScale() = axes.vertical.logScale;
    graph.AxisY()->RangeMin() = axes.vertical.rangeMin;
    graph.AxisY()->RangeMax() = axes.vertical.rangeMax;
}

void storeAxisSettings(const CZuGraph& graph, GraphAxisSettings& axes)
{
    const CZuAxis* x = graph.AxisX();
    const CZuAxis* y = graph.AxisY();
    axes.horizontal = {x->AutoScale(), x->LogScale(), x->RangeMin(), x->RangeMax()};
    axes.vertical = {y->AutoScale(), y->LogScale(), y->RangeMin(), y->RangeMax()};
}

void storeTraceSettings(const CZuGraph& graph, TraceSlots& traceSlots, char dattyp)
{
    const auto& traces = graph.Plot()->Traces();
    if (traces.size() >= 2) {
        traceSlots.color1 = static_cast<std::int32_t>(traces[0]->Color());
        traceSlots.style1 = traces[0]->Style();
        traceSlots.color2 = static_cast<std::int32_t>(traces[1]->Color());
        traceSlots.style2 = traces[1]->Style();
    } else if (traces.size() == 1) {
        if (dattyp == 'R') {
            traceSlots.color1 = static_cast<std::int32_t>(traces[0]->Color());
            traceSlots.style1 = traces[0]->Style();
        } else if (dattyp == 'I') {
            traceSlots.color2 = static_cast<std::int32_t>(traces[0]->Color());
            traceSlots.style2 = traces[0]->Style();
        }
    }
}

void setAxisTitles(CZuGraph& graph, const QString& horizontal, const QString& vertical)
{
    graph.AxisX()->GetTitleWindow()->setText(horizontal);
    graph.AxisY()->GetTitleWindow()->setText(vertical);
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
    dlg.SetLines(line1, line2);
    const auto& traces = graph.Plot()->Traces();
    if (traces.size() >= 1)
        dlg.AddEntry(name1, traces[0]->Color(), traces[0]->Style());
    if (traces.size() >= 2)
        dlg.AddEntry(name2, traces[1]->Color(), traces[1]->Style());
    if (runModal(dlg) == kLegendPrintResult)
        graph.PrintGraph();
}

} // namespace nosk
