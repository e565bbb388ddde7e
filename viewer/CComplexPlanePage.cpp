#include "CComplexPlanePage.h"

#include "GraphPageLayout.h"
#include "GraphPageSupport.h"
#include "ViewerRun.h"
#include "ViewerTexts.h"
#include "CZuGraph.h"
#include "CZuSquareGraph.h"

#include <QGroupBox>

namespace nosk {

CComplexPlanePage::CComplexPlanePage(const QString& title, const ViewerRun& run, GraphSettings& settings,
                                     int textHeight, QWidget* parent)
    : CViewerPage(title, kHelpContext, parent), m_run(run), m_settings(settings), m_textHeight(textHeight)
{
}

bool CComplexPlanePage::HasGraphs() const
{
    return true;
}

void CComplexPlanePage::showEvent(QShowEvent* event)
{
    ensureBuilt();
    CViewerPage::showEvent(event);
}

void CComplexPlanePage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    if (m_built)
        centre();
}

void CComplexPlanePage::ensureBuilt()
{
    if (m_built)
        return;
    m_built = true;
    const FitJob& job = m_run.job();
    if (job.DATTYP != 'C')
        return;
    const GraphTitles titles = graphTitles(5, job.DFIT, job.PFIT, job.xVariable, m_run.angular(),
                                           m_run.imagNegated(), job.IPAR);
    m_group = makeGraphGroup(this, QString::fromStdString(titles.group));

    QSize size = this->size();
    if (size.width() < 200 || size.height() < 150)
        size = QSize(960, 600);
    QRect initial(20, 20, size.width() - 40, size.height() - 40);
    initial.setWidth(300);

    m_graph = new CZuSquareGraph(this);
    m_graph->setPrompt(prompt());
    m_graph->showLegendButton() = 1;
    m_graph->Create(initial, this, 12, CZuGraph::kStyleVisible, 0);
    // Create lays the axes out for 0 to 100; the stored choices come after it.
    applyAxisSettings(*m_graph, m_settings.axes[4]);
    const TraceSlots& traceSlots = m_settings.traces[4];
    const DisplayArrays& a = m_run.arrays();
    const int count = m_run.count();
    if (a.has(DisplayArrays::DataRe) && a.has(DisplayArrays::DataIm)) {
        m_graph->AddTrace(a.get(DisplayArrays::DataRe)->data(), a.get(DisplayArrays::DataIm)->data(), count,
                          traceSlots.style1, static_cast<std::uint32_t>(traceSlots.color1));
        m_graph->nameLastTrace(QStringLiteral("Input data"));
    }
    if (a.has(DisplayArrays::ModelRe) && a.has(DisplayArrays::ModelIm)) {
        m_graph->AddTrace(a.get(DisplayArrays::ModelRe)->data(), a.get(DisplayArrays::ModelIm)->data(), count,
                          traceSlots.style2, static_cast<std::uint32_t>(traceSlots.color2));
        m_graph->nameLastTrace(QStringLiteral("Fitting result"));
    }
    m_graph->show();
    m_graph->UpdateRanges();
    setAxisTitles(*m_graph, QString::fromStdString(titles.horizontal), QString::fromStdString(titles.vertical));
    m_graph->setHelpContexts(10021, 10025);
    routeGraphHelp(*m_graph);
    connect(m_graph, &CZuGraph::graphClose, this, [this](int, CZuGraph* g) {
        showLegend(*g, m_group->title(), QString(), QStringLiteral("Input data"), QStringLiteral("Fitting result"));
    });
    centre();
}

void CComplexPlanePage::centre()
{
    if (!m_graph)
        return;
    QRect r = m_graph->geometry();
    r.moveCenter(rect().center());
    if (r.top() < m_textHeight + 7)
        r.moveTop(m_textHeight + 7);
    m_graph->move(r.topLeft());
    m_group->setGeometry(toQRect(groupAroundGraph(toLayoutRect(r), m_textHeight)));
    m_group->lower();
}

void CComplexPlanePage::GetPageGraphs(PageGraphs& list) const
{
    const_cast<CComplexPlanePage*>(this)->ensureBuilt();
    list.graphs[0] = m_graph;
    list.titles[0] = m_group ? m_group->title() : QString();
}

void CComplexPlanePage::SaveGraphSettings(GraphSettings& settings, char dattyp) const
{
    if (!m_graph)
        return;
    storeTraceSettings(*m_graph, settings.traces[4], dattyp);
    storeAxisSettings(*m_graph, settings.axes[4]);
}

} // namespace nosk
