#include "CGraphPage.h"

#include "GraphPageSupport.h"
#include "ViewerRun.h"
#include "ViewerTexts.h"
#include "CZuAxis.h"
#include "CZuAxisLabel.h"
#include "CZuGraph.h"

#include <QGroupBox>

#include <algorithm>

namespace nosk {

namespace {
// Which display arrays the traces of graphs 1 to 4 draw.
const int kTraceArrays[4][2] = {
    {DisplayArrays::Data1, DisplayArrays::Model1},
    {DisplayArrays::Data2, DisplayArrays::Model2},
    {DisplayArrays::Residual1, DisplayArrays::Residual2},
    {DisplayArrays::Relative1, DisplayArrays::Relative2},
};
const int kGraphIds[4] = {12, 13, 14, 14};
} // namespace

CGraphPage::CGraphPage(const QString& title, const ViewerRun& run, GraphSettings& settings,
                       bool withResiduals, int textHeight, QWidget* parent)
    : CViewerPage(title, kHelpContext, parent), m_run(run), m_settings(settings),
      m_withResiduals(withResiduals), m_textHeight(textHeight)
{
}

bool CGraphPage::HasGraphs() const
{
    return true;
}

void CGraphPage::showEvent(QShowEvent* event)
{
    ensureBuilt();
    CViewerPage::showEvent(event);
}

void CGraphPage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    if (m_built)
        relayout();
}

void CGraphPage::relayout()
{
    if (width() < 200 || height() < 150)
        return;
    const LayoutRect client{0, 0, width(), height()};
    std::array<bool, 4> built{};
    for (int i = 0; i < 4; ++i)
        built[i] = m_graphs[i] != nullptr;
    const GraphSlots groups = graphPageGroups(built, client);
    for (int i = 0; i < 4; ++i) {
        if (!m_graphs[i] || !groups[i])
            continue;
        const LayoutRect normal = graphNormalRect(*groups[i], m_textHeight);
        const LayoutRect enlarged = graphEnlargedRect(client, m_textHeight);
        m_graphs[i]->SetPositions(toQRect(normal), toQRect(enlarged));
        if (i == m_enlarged) {
            m_graphs[i]->MoveGraph(toQRect(enlarged));
            m_groups[i]->setGeometry(toQRect(enlargedGroupRect(client)));
        } else {
            m_graphs[i]->MoveGraph(toQRect(normal));
            m_groups[i]->setGeometry(toQRect(*groups[i]));
        }
    }
}

void CGraphPage::ensureBuilt()
{
    if (m_built)
        return;
    m_built = true;
    const char d = m_run.job().DATTYP;
    const std::array<bool, 4> built = {d == 'C' || d == 'R', d == 'C' || d == 'I', m_withResiduals,
                                       m_withResiduals};
    QSize size = this->size();
    if (size.width() < 200 || size.height() < 150)
        size = QSize(960, 600);
    const LayoutRect client{0, 0, size.width(), size.height()};
    const GraphSlots groups = graphPageGroups(built, client);
    for (int n = 1; n <= 4; ++n)
        if (groups[n - 1])
            buildGraph(n, *groups[n - 1]);
}

void CGraphPage::buildGraph(int n, const LayoutRect& groupRect)
{
    const FitJob& job = m_run.job();
    const char d = job.DATTYP;
    if ((n == 1 && d != 'R' && d != 'C') || (n == 2 && d != 'I' && d != 'C'))
        return;
    // Graph 4 of complex data without uncertainties: the residuals in percent
    // of |model| rather than of each component, which spike to any size
    // where a component of the model passes through zero.
    const bool modulus = n == 4 && d == 'C' && job.IPAR <= 0;
    const GraphTitles titles = modulus ? modulusResidualTitles(job.xVariable, m_run.angular())
                                       : graphTitles(n, job.DFIT, job.PFIT, job.xVariable, m_run.angular(),
                                                     m_run.imagNegated(), job.IPAR);
    QGroupBox* group = makeGraphGroup(this, QString::fromStdString(titles.group));
    group->setGeometry(toQRect(groupRect));
    m_groups[n - 1] = group;

    auto* graph = new CZuGraph(this);
    graph->setPrompt(prompt());
    const LayoutRect normal = graphNormalRect(groupRect, m_textHeight);
    graph->Create(toQRect(normal), this, kGraphIds[n - 1], 0, 1);
    // Create lays the axes out for 0 to 100; the stored choices come after it.
    applyAxisSettings(*graph, m_settings.axes[n - 1]);
    const TraceSlots& traceSlots = m_settings.traces[n - 1];
    const DisplayArrays& arrays = m_run.arrays();
    const double* x = m_run.xValues() ? m_run.xValues()->data() : nullptr;
    int count = m_run.count();
    const auto* first = arrays.get(kTraceArrays[n - 1][0]);
    const auto* second = arrays.get(kTraceArrays[n - 1][1]);
    if (modulus) {
        RelativeResiduals r = residualsRelativeToModulus(arrays, m_run.imagNegated());
        m_modulusRe = std::move(r.re);
        m_modulusIm = std::move(r.im);
        first = m_modulusRe.empty() ? nullptr : &m_modulusRe;
        second = m_modulusIm.empty() ? nullptr : &m_modulusIm;
        count = std::min(count, static_cast<int>(m_modulusRe.size()));
    }
    // The trace dialog names each trace as the legend does.
    const QString c1 = QString::fromStdString(firstComponentName(job.PFIT));
    const QString c2 = QString::fromStdString(secondComponentName(job.PFIT));
    const QString name1 = n <= 2 ? QStringLiteral("Input data") : d == 'I' ? c2 : c1;
    const QString name2 = n <= 2 ? QStringLiteral("Fitting result") : c2;
    if (x && first) {
        graph->AddTrace(x, first->data(), count, traceSlots.style1, static_cast<std::uint32_t>(traceSlots.color1));
        graph->nameLastTrace(name1);
    }
    if (x && second) {
        graph->AddTrace(x, second->data(), count, traceSlots.style2, static_cast<std::uint32_t>(traceSlots.color2));
        graph->nameLastTrace(name2);
    }
    graph->show();
    graph->UpdateRanges();
    setAxisTitles(*graph, QString::fromStdString(titles.horizontal), QString::fromStdString(titles.vertical));
    graph->setHelpContexts(10021, 10025);
    routeGraphHelp(*graph);
    const LayoutRect client{0, 0, width() > 0 ? width() : 960, height() > 0 ? height() : 600};
    graph->SetPositions(toQRect(normal), toQRect(graphEnlargedRect(client, m_textHeight)));
    connect(graph, &CZuGraph::graphResized, this, &CGraphPage::onGraphResized);
    connect(graph, &CZuGraph::graphClose, this, [this](int, CZuGraph* g) { onLegend(g); });
    m_graphs[n - 1] = graph;
}

void CGraphPage::onGraphResized(int restored, CZuGraph* graph)
{
    m_enlarged = -1;
    for (int i = 0; i < 4; ++i)
        if (m_graphs[i] == graph && !restored)
            m_enlarged = i;
    for (int i = 0; i < 4; ++i) {
        if (!m_graphs[i])
            continue;
        if (m_graphs[i] == graph) {
            const LayoutRect client{0, 0, width(), height()};
            m_groups[i]->setGeometry(toQRect(restored ? groupAroundGraph(toLayoutRect(graph->geometry()), m_textHeight)
                                                      : enlargedGroupRect(client)));
            m_groups[i]->show();
            m_groups[i]->lower();
        } else {
            m_graphs[i]->setVisible(restored != 0);
            m_groups[i]->setVisible(restored != 0);
        }
    }
    graph->raise();
    update();
}

void CGraphPage::onLegend(CZuGraph* graph)
{
    const FitJob& job = m_run.job();
    for (int i = 0; i < 4; ++i) {
        if (m_graphs[i] != graph)
            continue;
        const int n = i + 1;
        const QString line1 = m_groups[i]->title();
        QString line2, name1, name2;
        if (n <= 2) {
            line2 = graph->axisY()->GetTitleWindow()->text();
            name1 = QStringLiteral("Input data");
            name2 = QStringLiteral("Fitting result");
        } else {
            line2 = QString::fromStdString(levelName(job.DFIT));
            const QString f = QString::fromStdString(firstComponentName(job.PFIT));
            const QString s = QString::fromStdString(secondComponentName(job.PFIT));
            if (job.DATTYP == 'C') {
                name1 = f;
                name2 = s;
            } else {
                name1 = job.DATTYP == 'R' ? f : s;
            }
        }
        showLegend(*graph, line1, line2, name1, name2);
        return;
    }
}

void CGraphPage::GetPageGraphs(PageGraphs& list) const
{
    const_cast<CGraphPage*>(this)->ensureBuilt();
    for (int i = 0; i < 4; ++i) {
        list.graphs[i] = m_graphs[i];
        list.titles[i] = m_graphs[i] ? m_groups[i]->title() : QString();
    }
}

void CGraphPage::SaveGraphSettings(GraphSettings& settings, char dattyp) const
{
    for (int i = 0; i < 4; ++i) {
        if (!m_graphs[i])
            continue;
        storeTraceSettings(*m_graphs[i], settings.traces[i], dattyp);
        storeAxisSettings(*m_graphs[i], settings.axes[i]);
    }
}

} // namespace nosk
