#include "CRelativeResidualsPage.h"

#include "GraphPageSupport.h"
#include "ViewerRun.h"
#include "ViewerTexts.h"
#include "CZuAxis.h"
#include "CZuGraph.h"
#include "ChartMath.h"

#include <QGroupBox>

#include <algorithm>
#include <cmath>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;  // colour refs: red in the low byte
constexpr std::uint32_t kBlue = 0xC00000;
constexpr std::uint32_t kGrey = 0x808080;
constexpr std::uint32_t kGreen = 0x008000;
}

CRelativeResidualsPage::CRelativeResidualsPage(const ViewerRun& run, int textHeight, QWidget* parent)
    : CViewerPage(QString::fromLatin1(kTitle), kHelpContext, parent), m_run(run), m_textHeight(textHeight)
{
}

void CRelativeResidualsPage::showEvent(QShowEvent* event)
{
    ensureBuilt();
    CViewerPage::showEvent(event);
}

void CRelativeResidualsPage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    if (m_built)
        layoutGraph();
}

void CRelativeResidualsPage::ensureBuilt()
{
    if (m_built)
        return;
    m_built = true;
    const RelativeResiduals r = residualsRelativeToModulus(m_run.arrays(), m_run.imagNegated());
    const std::vector<double>* x = m_run.xValues();
    const std::size_t n = x ? std::min({x->size(), r.re.size(), std::size_t(std::max(m_run.count(), 0))}) : 0;
    m_x.clear();
    if (x)
        m_x.assign(x->begin(), x->begin() + std::ptrdiff_t(n));
    m_re.assign(r.re.begin(), r.re.begin() + std::ptrdiff_t(n));
    m_im.assign(r.im.begin(), r.im.begin() + std::ptrdiff_t(n));

    const std::string level = levelName(m_run.job().DFIT);
    m_group = makeGraphGroup(this, QString::fromStdString("Residuals in % of the model's |" + level + "|"));
    m_graph = new CZuGraph(this);
    m_graph->setPrompt(prompt());
    QSize size = this->size();
    if (size.width() < 200 || size.height() < 150)
        size = QSize(960, 600);
    m_graph->Create(QRect(20, 20 + m_textHeight, size.width() - 40, size.height() - 40 - m_textHeight), this, 14,
                    CZuGraph::kStyleVisible, 0);
    m_graph->axisX()->logScale() = m_run.job().xVariable == kXFrequency ? 1 : 0;
    double lo = 0, hi = 0;
    bool any = false;
    for (double v : m_x)
        if (std::isfinite(v) && (!m_graph->axisX()->logScale() || v > 0)) {
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    if (any) {
        const int count = static_cast<int>(m_x.size());
        m_graph->AddTrace(m_x.data(), m_re.data(), count, StyleLine | StyleDot, kRed);
        m_graph->nameLastTrace(QStringLiteral("Real part"));
        m_graph->AddTrace(m_x.data(), m_im.data(), count, StyleLine | StyleCross, kBlue);
        m_graph->nameLastTrace(QStringLiteral("Imaginary part"));
        m_bandX = {lo, hi};
        m_bandUp = {1.0, 1.0};
        m_bandDown = {-1.0, -1.0};
        m_graph->AddTrace(m_bandX.data(), m_bandUp.data(), 2, StyleLine, kGreen);
        m_graph->nameLastTrace(QStringLiteral("+1 %"));
        m_graph->AddTrace(m_bandX.data(), m_bandDown.data(), 2, StyleLine, kGreen);
        m_graph->nameLastTrace(QStringLiteral("-1 %"));
        // Nothing drawn: keeps the band inside the plot, off its frame.
        m_pad = {-1.5, 1.5};
        m_graph->AddTrace(m_bandX.data(), m_pad.data(), 2, 0, kGrey);
        m_graph->nameLastTrace(QStringLiteral("(range padding, not drawn)"));
    }
    m_graph->show();
    m_graph->UpdateRanges();
    setAxisTitles(*m_graph, QString::fromStdString(xAxisTitle(m_run.job().xVariable, m_run.angular())),
                  QString::fromStdString("Residual, % of |" + level + "| (red: real, blue: imaginary)"));
    m_graph->setHelpContexts(10021, 10025);
    routeGraphHelp(*m_graph);
    layoutGraph();
}

void CRelativeResidualsPage::layoutGraph()
{
    if (!m_graph)
        return;
    const QRect area = rect().adjusted(10, m_textHeight + 10, -10, -10);
    if (area.width() < 100 || area.height() < 100)
        return;
    m_graph->MoveGraph(area.adjusted(10, m_textHeight, -10, -10));
    m_group->setGeometry(area);
    m_group->lower();
}

void CRelativeResidualsPage::GetPageGraphs(PageGraphs& list) const
{
    const_cast<CRelativeResidualsPage*>(this)->ensureBuilt();
    list.graphs[0] = m_graph;
    list.titles[0] = m_group ? m_group->title() : QString();
}

} // namespace nosk
