#include "CZhitPage.h"

#include "GraphPageSupport.h"
#include "CZuAxis.h"
#include "CZuGraph.h"
#include "ChartMath.h"
#include "analysis/zhit/Zhit.h"

#include <QGroupBox>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;    // colour refs: red in the low byte
constexpr std::uint32_t kGrey = 0x808080;
constexpr std::uint32_t kGreen = 0x008000;
}

CZhitPage::CZhitPage(int textHeight, QWidget* parent)
    : CViewerPage(QString::fromLatin1(kTitle), kHelpId, parent), m_textHeight(textHeight)
{
}

void CZhitPage::showEvent(QShowEvent* event)
{
    ensureBuilt();
    CViewerPage::showEvent(event);
}

void CZhitPage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    if (m_built)
        layoutGraph();
}

void CZhitPage::ensureBuilt()
{
    if (m_built)
        return;
    m_built = true;
    std::ifstream in(kTableFile, std::ios::binary);
    const zhit::Table table = zhit::readTable(in);
    m_f = table.frequencyHz;
    m_re = table.deviation;

    QString title = QStringLiteral("Z-HIT: deviation of |Z|");
    if (!table.verdict.empty())
        title += QStringLiteral(". Verdict: ") + QString::fromStdString(table.verdict);
    m_group = makeGraphGroup(this, title);

    m_graph = new CZuGraph(this);
    m_graph->showLegendButton() = 0;
    QSize size = this->size();
    if (size.width() < 200 || size.height() < 150)
        size = QSize(960, 600);
    m_graph->Create(QRect(20, 20 + m_textHeight, size.width() - 40, size.height() - 40 - m_textHeight), this, 13,
                    CZuGraph::kStyleVisible, 0);
    m_graph->axisX()->logScale() = 1;
    if (!m_f.empty()) {
        const auto [lo, hi] = std::minmax_element(m_f.begin(), m_f.end());
        m_bandX = {*lo, *hi};
        m_bandUp = {zhit::kVerdictFloor, zhit::kVerdictFloor};
        m_bandDown = {-zhit::kVerdictFloor, -zhit::kVerdictFloor};
        const int n = static_cast<int>(m_f.size());
        m_graph->AddTrace(m_f.data(), m_re.data(), n, StyleLine | StyleDot, kRed);
        m_graph->AddTrace(m_bandX.data(), m_bandUp.data(), 2, StyleLine, kGreen);
        m_graph->AddTrace(m_bandX.data(), m_bandDown.data(), 2, StyleLine, kGreen);
        // Nothing drawn: keeps the band inside the plot, off its frame.
        m_pad = {-1.5 * zhit::kVerdictFloor, 1.5 * zhit::kVerdictFloor};
        m_graph->AddTrace(m_bandX.data(), m_pad.data(), 2, 0, kGrey);
    }
    m_graph->show();
    m_graph->UpdateRanges();
    setAxisTitles(*m_graph, QStringLiteral("Frequency, Hz"),
                  QStringLiteral("Deviation of |Z|, %"));
    routeGraphHelp(*m_graph);
    layoutGraph();
}

void CZhitPage::layoutGraph()
{
    if (!m_graph)
        return;
    const QRect area = rect().adjusted(10, m_textHeight + 10, -10, -10);
    if (area.width() < 100 || area.height() < 100)
        return;
    const QRect graphRect = area.adjusted(10, m_textHeight, -10, -10);
    m_graph->MoveGraph(graphRect);
    m_group->setGeometry(area);
    m_group->lower();
}

void CZhitPage::GetPageGraphs(PageGraphs& list) const
{
    const_cast<CZhitPage*>(this)->ensureBuilt();
    list.graphs[0] = m_graph;
    list.titles[0] = m_group ? m_group->title() : QString();
}

} // namespace nosk
